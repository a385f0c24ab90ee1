// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/applications.h"

#include "platform/shell/desktop_entry.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

namespace win::applications {
namespace {

struct GFreeDeleter {
  void operator()(void* block) const { g_free(block); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;
struct ObjectDeleter {
  void operator()(void* object) const { g_object_unref(object); }
};
using AppInfo = std::unique_ptr<GAppInfo, ObjectDeleter>;
using StringVector = std::unique_ptr<gchar*, void (*)(gchar**)>;

std::optional<Application> Describe(GAppInfo* info) {
  const char* id = g_app_info_get_id(info);
  const char* name = g_app_info_get_name(info);
  if (id == nullptr) return std::nullopt;
  return Application{id, name != nullptr ? name : id};
}

}  // namespace

std::string ContentTypeOf(const std::string& path, bool is_folder) {
  if (is_folder) return "inode/directory";
  gboolean uncertain = 0;
  GText type(g_content_type_guess(path.c_str(), nullptr, 0, &uncertain));
  return type == nullptr ? std::string() : std::string(type.get());
}

std::optional<Application> DefaultFor(const std::string& content_type) {
  if (content_type.empty()) return std::nullopt;
  AppInfo info(g_app_info_get_default_for_type(content_type.c_str(), 0));
  return info == nullptr ? std::nullopt : Describe(info.get());
}

std::vector<Application> RecommendedFor(const std::string& content_type) {
  std::vector<Application> found;
  if (content_type.empty()) return found;
  GList* list = g_app_info_get_recommended_for_type(content_type.c_str());
  for (GList* node = list; node != nullptr; node = node->next)
    if (std::optional<Application> application = Describe(static_cast<GAppInfo*>(node->data)))
      found.push_back(std::move(*application));
  g_list_free_full(list, g_object_unref);
  return found;
}

std::optional<std::vector<std::string>> CommandFor(const std::string& application_id, const std::string& path) {
  std::unique_ptr<GDesktopAppInfo, ObjectDeleter> info(g_desktop_app_info_new(application_id.c_str()));
  if (info == nullptr) return std::nullopt;
  GText exec(g_desktop_app_info_get_string(info.get(), G_KEY_FILE_DESKTOP_KEY_EXEC));
  if (exec == nullptr) return std::nullopt;
  GText uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  GText icon(g_desktop_app_info_get_string(info.get(), G_KEY_FILE_DESKTOP_KEY_ICON));
  const char* name = g_app_info_get_name(G_APP_INFO(info.get()));
  const char* location = g_desktop_app_info_get_filename(info.get());
  desktop_entry::FieldValues values;
  values.files = {path};
  values.urls = {uri != nullptr ? std::string(uri.get()) : path};
  values.name = name != nullptr ? name : "";
  values.icon = icon != nullptr ? icon.get() : "";
  values.location = location != nullptr ? location : "";
  std::string error;
  return desktop_entry::ExpandExec(exec.get(), values, error);
}

std::optional<std::vector<std::string>> SplitArguments(const std::string& text) {
  std::vector<std::string> arguments;
  if (text.find_first_not_of(" \t\n") == std::string::npos) return arguments;
  gint argc = 0;
  gchar** argv = nullptr;
  if (!g_shell_parse_argv(text.c_str(), &argc, &argv, nullptr)) return std::nullopt;
  const StringVector owner(argv, g_strfreev);
  for (gint i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

}  // namespace win::applications
