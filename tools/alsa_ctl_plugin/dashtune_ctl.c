/* An ALSA external control plugin with a fixed, sound-card-like set of mixer elements whose
 * values live in a small text file. Every handle that names the same file shares the values, so a
 * second handle or another process (amixer) sees and makes changes; each handle's poll
 * descriptor (inotify on the file) becomes readable when the file changes, and the handle then
 * reports one value event per element that differs from what it reported last.
 *
 * Configuration:
 *   ctl_type.dashtune { lib "/path/libasound_module_ctl_dashtune.so" }
 *   ctl.NAME { type dashtune state "/path/to/state-file" source_enum "Input Source" }
 * source_enum (optional, default "Capture Source") names the capture-source enumeration, which
 * ALSA's simple mixer presents as exclusive capture switches under "Capture Source" and as an
 * enumeration under "Input Source".
 *
 * State file: one line per element, "<element name>=<value>[,<value>]"; unknown or malformed
 * lines are ignored and missing elements keep their defaults. */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#define MAX_CHANNELS 2
#define STATE_FILE_MAX 4096

enum elem_kind { KIND_INTEGER, KIND_BOOLEAN, KIND_ENUMERATED };

struct elem_def {
  const char *name;
  enum elem_kind kind;
  unsigned int channels;
  long min;
  long max;
  long initial;
};

static const char *const capture_sources[] = {"Mic", "CD", "Line"};
#define CAPTURE_SOURCE_COUNT (sizeof(capture_sources) / sizeof(capture_sources[0]))

static const struct elem_def elems[] = {
    {"Master Playback Volume", KIND_INTEGER, 2, 0, 31, 24},
    {"Master Playback Switch", KIND_BOOLEAN, 2, 0, 1, 1},
    {"PCM Playback Volume", KIND_INTEGER, 2, 0, 255, 200},
    {"PCM Playback Switch", KIND_BOOLEAN, 2, 0, 1, 1},
    {"Line Playback Volume", KIND_INTEGER, 2, 0, 31, 16},
    {"Line Playback Switch", KIND_BOOLEAN, 2, 0, 1, 1},
    {"CD Playback Volume", KIND_INTEGER, 2, 0, 31, 16},
    {"CD Playback Switch", KIND_BOOLEAN, 2, 0, 1, 1},
    {"Mic Playback Volume", KIND_INTEGER, 1, 0, 15, 8},
    {"Mic Playback Switch", KIND_BOOLEAN, 1, 0, 1, 0},
    {"Capture Volume", KIND_INTEGER, 2, 0, 63, 40},
    {"Capture Switch", KIND_BOOLEAN, 2, 0, 1, 1},
    {"Capture Source", KIND_ENUMERATED, 1, 0, CAPTURE_SOURCE_COUNT - 1, 0},
};
#define ELEM_COUNT (sizeof(elems) / sizeof(elems[0]))

struct state {
  long values[ELEM_COUNT][MAX_CHANNELS];
};

struct plugin {
  snd_ctl_ext_t ext;
  char *state_path;
  char *source_enum_name;
  int inotify_fd;
  struct state reported; /* the values this handle last reported events for */
  unsigned int pending;  /* bit per element: a value event still to be read */
};

static void state_set_defaults(struct state *state) {
  for (size_t e = 0; e < ELEM_COUNT; e++)
    for (unsigned int c = 0; c < MAX_CHANNELS; c++) state->values[e][c] = elems[e].initial;
}

static int find_elem_by_name(const char *name, size_t length) {
  for (size_t e = 0; e < ELEM_COUNT; e++)
    if (strlen(elems[e].name) == length && memcmp(elems[e].name, name, length) == 0) return (int)e;
  return -1;
}

/* Parses "v" or "v,v" into the element's channels; answers 0 when the line is malformed or a
 * value is out of range, leaving the state untouched. */
static int parse_values(const struct elem_def *def, const char *text, long *out) {
  long parsed[MAX_CHANNELS];
  const char *cursor = text;
  for (unsigned int c = 0; c < def->channels; c++) {
    char *end;
    errno = 0;
    parsed[c] = strtol(cursor, &end, 10);
    if (end == cursor || errno != 0 || parsed[c] < def->min || parsed[c] > def->max) return 0;
    cursor = end;
    if (c + 1 < def->channels) {
      if (*cursor != ',') return 0;
      cursor++;
    }
  }
  if (*cursor != '\0') return 0;
  for (unsigned int c = 0; c < def->channels; c++) out[c] = parsed[c];
  return 1;
}

static void parse_state(const char *text, size_t length, struct state *state) {
  size_t start = 0;
  while (start < length) {
    const char *line = text + start;
    const char *newline = memchr(line, '\n', length - start);
    size_t line_length = newline ? (size_t)(newline - line) : length - start;
    start += line_length + 1;
    const char *equals = memchr(line, '=', line_length);
    if (!equals) continue;
    int e = find_elem_by_name(line, (size_t)(equals - line));
    size_t value_length = line_length - (size_t)(equals - line) - 1;
    char value_text[64];
    if (e < 0 || value_length >= sizeof(value_text)) continue;
    memcpy(value_text, equals + 1, value_length);
    value_text[value_length] = '\0';
    parse_values(&elems[e], value_text, state->values[e]);
  }
}

/* Reads the whole file (at most STATE_FILE_MAX bytes) from the start of fd. */
static int read_state_fd(int fd, struct state *state) {
  char buffer[STATE_FILE_MAX];
  size_t used = 0;
  for (;;) {
    ssize_t got = pread(fd, buffer + used, sizeof(buffer) - used, (off_t)used);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (got == 0) break;
    used += (size_t)got;
    if (used == sizeof(buffer)) break;
  }
  state_set_defaults(state);
  parse_state(buffer, used, state);
  return 0;
}

static int format_state(const struct state *state, char *buffer, size_t size) {
  size_t used = 0;
  for (size_t e = 0; e < ELEM_COUNT; e++) {
    int n = elems[e].channels == 2
                ? snprintf(buffer + used, size - used, "%s=%ld,%ld\n", elems[e].name,
                           state->values[e][0], state->values[e][1])
                : snprintf(buffer + used, size - used, "%s=%ld\n", elems[e].name,
                           state->values[e][0]);
    if (n < 0 || (size_t)n >= size - used) return -ENOSPC;
    used += (size_t)n;
  }
  return (int)used;
}

static int write_state_fd(int fd, const struct state *state) {
  char buffer[STATE_FILE_MAX];
  int length = format_state(state, buffer, sizeof(buffer));
  if (length < 0) return length;
  if (ftruncate(fd, 0) < 0) return -errno;
  size_t done = 0;
  while (done < (size_t)length) {
    ssize_t put = pwrite(fd, buffer + done, (size_t)length - done, (off_t)done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    done += (size_t)put;
  }
  return 0;
}

static int lock_fd(int fd, int operation) {
  while (flock(fd, operation) < 0)
    if (errno != EINTR) return -errno;
  return 0;
}

static int load_state(const struct plugin *plugin, struct state *state) {
  int fd = open(plugin->state_path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  int err = lock_fd(fd, LOCK_SH);
  if (err == 0) err = read_state_fd(fd, state);
  close(fd);
  return err;
}

/* Read-modify-write under an exclusive lock so that concurrent writers lose nothing. Answers 1
 * when the element changed, 0 when it already held the values. */
static int store_values(const struct plugin *plugin, size_t e, const long *values) {
  int fd = open(plugin->state_path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return -errno;
  struct state state;
  int err = lock_fd(fd, LOCK_EX);
  if (err == 0) err = read_state_fd(fd, &state);
  int changed = 0;
  if (err == 0) {
    for (unsigned int c = 0; c < elems[e].channels; c++) {
      if (state.values[e][c] != values[c]) changed = 1;
      state.values[e][c] = values[c];
    }
    if (changed) err = write_state_fd(fd, &state);
  }
  close(fd);
  return err < 0 ? err : changed;
}

/* Creates the state file with the default values when it is missing or empty. */
static int ensure_state_file(const char *path) {
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -errno;
  int err = lock_fd(fd, LOCK_EX);
  struct stat info;
  if (err == 0 && fstat(fd, &info) < 0) err = -errno;
  if (err == 0 && info.st_size == 0) {
    struct state state;
    state_set_defaults(&state);
    err = write_state_fd(fd, &state);
  }
  close(fd);
  return err;
}

static struct plugin *plugin_of(snd_ctl_ext_t *ext) { return ext->private_data; }

/* The element's name as ALSA sees it; the state file always uses the fixed names. */
static const char *alsa_name(const struct plugin *plugin, size_t e) {
  return elems[e].kind == KIND_ENUMERATED ? plugin->source_enum_name : elems[e].name;
}

static int valid_key(snd_ctl_ext_key_t key) { return key < ELEM_COUNT; }

static int dashtune_elem_count(snd_ctl_ext_t *ext) {
  (void)ext;
  return (int)ELEM_COUNT;
}

static int dashtune_elem_list(snd_ctl_ext_t *ext, unsigned int offset, snd_ctl_elem_id_t *id) {
  if (offset >= ELEM_COUNT) return -EINVAL;
  snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
  snd_ctl_elem_id_set_name(id, alsa_name(plugin_of(ext), offset));
  return 0;
}

static snd_ctl_ext_key_t dashtune_find_elem(snd_ctl_ext_t *ext, const snd_ctl_elem_id_t *id) {
  unsigned int numid = snd_ctl_elem_id_get_numid(id);
  if (numid > 0 && numid <= ELEM_COUNT) return numid - 1;
  if (snd_ctl_elem_id_get_interface(id) != SND_CTL_ELEM_IFACE_MIXER ||
      snd_ctl_elem_id_get_index(id) != 0)
    return SND_CTL_EXT_KEY_NOT_FOUND;
  const char *name = snd_ctl_elem_id_get_name(id);
  for (size_t e = 0; e < ELEM_COUNT; e++)
    if (strcmp(alsa_name(plugin_of(ext), e), name) == 0) return e;
  return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int dashtune_get_attribute(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, int *type,
                                  unsigned int *acc, unsigned int *count) {
  (void)ext;
  if (!valid_key(key)) return -EINVAL;
  static const int types[] = {SND_CTL_ELEM_TYPE_INTEGER, SND_CTL_ELEM_TYPE_BOOLEAN,
                              SND_CTL_ELEM_TYPE_ENUMERATED};
  *type = types[elems[key].kind];
  *acc = SND_CTL_EXT_ACCESS_READWRITE;
  *count = elems[key].channels;
  return 0;
}

static int dashtune_get_integer_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *imin,
                                     long *imax, long *istep) {
  (void)ext;
  if (!valid_key(key) || elems[key].kind == KIND_ENUMERATED) return -EINVAL;
  *imin = elems[key].min;
  *imax = elems[key].max;
  *istep = 1;
  return 0;
}

static int dashtune_get_enumerated_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key,
                                        unsigned int *items) {
  (void)ext;
  if (!valid_key(key) || elems[key].kind != KIND_ENUMERATED) return -EINVAL;
  *items = CAPTURE_SOURCE_COUNT;
  return 0;
}

static int dashtune_get_enumerated_name(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key,
                                        unsigned int item, char *name, size_t name_max_len) {
  (void)ext;
  if (!valid_key(key) || elems[key].kind != KIND_ENUMERATED || item >= CAPTURE_SOURCE_COUNT ||
      name_max_len == 0)
    return -EINVAL;
  snprintf(name, name_max_len, "%s", capture_sources[item]);
  return 0;
}

static int dashtune_read_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value) {
  if (!valid_key(key) || elems[key].kind == KIND_ENUMERATED) return -EINVAL;
  struct state state;
  int err = load_state(plugin_of(ext), &state);
  if (err < 0) return err;
  for (unsigned int c = 0; c < elems[key].channels; c++) value[c] = state.values[key][c];
  return 0;
}

static int dashtune_read_enumerated(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key,
                                    unsigned int *items) {
  if (!valid_key(key) || elems[key].kind != KIND_ENUMERATED) return -EINVAL;
  struct state state;
  int err = load_state(plugin_of(ext), &state);
  if (err < 0) return err;
  for (unsigned int c = 0; c < elems[key].channels; c++) items[c] = (unsigned int)state.values[key][c];
  return 0;
}

static int dashtune_write_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value) {
  if (!valid_key(key) || elems[key].kind == KIND_ENUMERATED) return -EINVAL;
  for (unsigned int c = 0; c < elems[key].channels; c++)
    if (value[c] < elems[key].min || value[c] > elems[key].max) return -EINVAL;
  return store_values(plugin_of(ext), key, value);
}

static int dashtune_write_enumerated(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key,
                                     unsigned int *items) {
  if (!valid_key(key) || elems[key].kind != KIND_ENUMERATED) return -EINVAL;
  long values[MAX_CHANNELS];
  for (unsigned int c = 0; c < elems[key].channels; c++) {
    if (items[c] >= CAPTURE_SOURCE_COUNT) return -EINVAL;
    values[c] = (long)items[c];
  }
  return store_values(plugin_of(ext), key, values);
}

static void drain_inotify(int fd) {
  char buffer[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
  while (read(fd, buffer, sizeof(buffer)) > 0) {
  }
}

/* Marks every element whose values differ from the last reported ones. */
static void collect_changes(struct plugin *plugin) {
  struct state current;
  if (load_state(plugin, &current) < 0) return;
  for (size_t e = 0; e < ELEM_COUNT; e++) {
    if (memcmp(current.values[e], plugin->reported.values[e], sizeof(current.values[e])) != 0) {
      plugin->pending |= 1u << e;
      memcpy(plugin->reported.values[e], current.values[e], sizeof(current.values[e]));
    }
  }
}

static void dashtune_subscribe_events(snd_ctl_ext_t *ext, int subscribe) {
  struct plugin *plugin = plugin_of(ext);
  plugin->pending = 0;
  if (subscribe && load_state(plugin, &plugin->reported) < 0) state_set_defaults(&plugin->reported);
}

static int dashtune_read_event(snd_ctl_ext_t *ext, snd_ctl_elem_id_t *id,
                               unsigned int *event_mask) {
  struct plugin *plugin = plugin_of(ext);
  if (plugin->pending == 0) {
    drain_inotify(plugin->inotify_fd);
    collect_changes(plugin);
  }
  if (plugin->pending == 0) return -EAGAIN;
  unsigned int e = (unsigned int)__builtin_ctz(plugin->pending);
  plugin->pending &= ~(1u << e);
  snd_ctl_elem_id_clear(id);
  snd_ctl_elem_id_set_numid(id, e + 1);
  snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
  snd_ctl_elem_id_set_name(id, alsa_name(plugin, e));
  *event_mask = SND_CTL_EVENT_MASK_VALUE;
  return 1;
}

static void free_plugin(struct plugin *plugin) {
  if (plugin->inotify_fd >= 0) close(plugin->inotify_fd);
  free(plugin->state_path);
  free(plugin->source_enum_name);
  free(plugin);
}

static void dashtune_close(snd_ctl_ext_t *ext) { free_plugin(plugin_of(ext)); }

static const snd_ctl_ext_callback_t dashtune_callbacks = {
    .close = dashtune_close,
    .elem_count = dashtune_elem_count,
    .elem_list = dashtune_elem_list,
    .find_elem = dashtune_find_elem,
    .get_attribute = dashtune_get_attribute,
    .get_integer_info = dashtune_get_integer_info,
    .get_enumerated_info = dashtune_get_enumerated_info,
    .get_enumerated_name = dashtune_get_enumerated_name,
    .read_integer = dashtune_read_integer,
    .read_enumerated = dashtune_read_enumerated,
    .write_integer = dashtune_write_integer,
    .write_enumerated = dashtune_write_enumerated,
    .subscribe_events = dashtune_subscribe_events,
    .read_event = dashtune_read_event,
};

static int parse_string_field(snd_config_t *node, const char *key, const char **value) {
  if (snd_config_get_string(node, value) < 0 || !**value) {
    SNDERR("dashtune: %s must be a non-empty string", key);
    return -EINVAL;
  }
  return 0;
}

static int parse_config(snd_config_t *conf, const char **state_path, const char **source_enum) {
  snd_config_iterator_t i, next;
  snd_config_for_each(i, next, conf) {
    snd_config_t *node = snd_config_iterator_entry(i);
    const char *key;
    if (snd_config_get_id(node, &key) < 0) continue;
    if (strcmp(key, "comment") == 0 || strcmp(key, "type") == 0 || strcmp(key, "hint") == 0)
      continue;
    int err = 0;
    if (strcmp(key, "state") == 0)
      err = parse_string_field(node, key, state_path);
    else if (strcmp(key, "source_enum") == 0)
      err = parse_string_field(node, key, source_enum);
    else
      err = -ENOENT;
    if (err == 0) continue;
    if (err != -ENOENT) return err;
    SNDERR("dashtune: unknown field %s", key);
    return -EINVAL;
  }
  if (!*state_path) {
    SNDERR("dashtune: no state file given");
    return -EINVAL;
  }
  return 0;
}

static int open_plugin(struct plugin *plugin, const char *name, int mode) {
  int err = ensure_state_file(plugin->state_path);
  if (err < 0) return err;
  plugin->inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (plugin->inotify_fd < 0) return -errno;
  if (inotify_add_watch(plugin->inotify_fd, plugin->state_path, IN_MODIFY | IN_CLOSE_WRITE) < 0)
    return -errno;
  state_set_defaults(&plugin->reported);

  snd_ctl_ext_t *ext = &plugin->ext;
  ext->version = SND_CTL_EXT_VERSION;
  ext->card_idx = 0;
  snprintf(ext->id, sizeof(ext->id), "Dashtune");
  snprintf(ext->driver, sizeof(ext->driver), "dashtune");
  snprintf(ext->name, sizeof(ext->name), "Dashtune Test Mixer");
  snprintf(ext->longname, sizeof(ext->longname), "Dashtune test mixer over a state file");
  snprintf(ext->mixername, sizeof(ext->mixername), "Dashtune Test Mixer");
  ext->poll_fd = plugin->inotify_fd;
  ext->callback = &dashtune_callbacks;
  ext->private_data = plugin;
  return snd_ctl_ext_create(ext, name, mode);
}

SND_CTL_PLUGIN_DEFINE_FUNC(dashtune) {
  (void)root;
  const char *state_path = NULL;
  const char *source_enum = "Capture Source";
  int err = parse_config(conf, &state_path, &source_enum);
  if (err < 0) return err;

  struct plugin *plugin = calloc(1, sizeof(*plugin));
  if (!plugin) return -ENOMEM;
  plugin->inotify_fd = -1;
  plugin->state_path = strdup(state_path);
  plugin->source_enum_name = strdup(source_enum);
  err = plugin->state_path && plugin->source_enum_name ? open_plugin(plugin, name, mode) : -ENOMEM;
  if (err < 0) {
    /* Before snd_ctl_ext_create succeeds nothing else owns the plugin. */
    free_plugin(plugin);
    return err;
  }
  *handlep = plugin->ext.handle;
  return 0;
}

SND_CTL_PLUGIN_SYMBOL(dashtune)
