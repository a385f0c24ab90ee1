// Enumerating a folder of 100,000 files with TNamespace::EnumerateFolderEx, reading each item's
// name, attribute getters and AttributesString, against a plain readdir+lstat loop making the
// same texts and against GIO's g_file_enumerate_children, in the same run; and the same folder
// with DetailsOf of the five default columns per item against both peers making the same five
// texts (the content type's description included). Goal: at most 1.3 times the plain loop.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "classlib/forms.h"
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
// GLib after the platform headers: its TRUE and FALSE are macros.
#include <gio/gio.h>

namespace {

using namespace dashtune;
namespace fs = std::filesystem;

constexpr int kFiles = 100000;

// One item as every side describes it: its name and its attribute letters.
struct Row {
  std::u16string name;
  std::u16string attributes;
  bool operator<(const Row& other) const { return name < other.name; }
  bool operator==(const Row& other) const = default;
};

const fs::path& Folder() {
  static const fs::path folder = [] {
    const fs::path path = fs::path(DASHTUNE_BENCH_DIR) / "shell-100000";
    // The marker lies beside the folder, so that it is not one of the rows measured.
    const fs::path done = fs::path(DASHTUNE_BENCH_DIR) / "shell-100000.done";
    if (!fs::exists(done)) {
      fs::create_directories(path);
      for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), i % 50 == 0 ? ".hidden-%06d" : "file-%06d.txt", i);
        std::ofstream(path / name) << i;
        if (i % 7 == 0) chmod((path / name).c_str(), 0444);
      }
      std::ofstream{done};
    }
    return path;
  }();
  return folder;
}

std::u16string Letters(bool hidden, bool read_only) {
  std::u16string text;
  if (hidden) text += u'H';
  if (read_only) text += u'R';
  return text;
}

// Each side's walk over the folder, handing every entry to `each`.
template <class Each>
void ForEachLstat(Each each) {
  DIR* dir = opendir(Folder().c_str());
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (lstat((Folder() / name).c_str(), &info) == 0) each(name, info);
  }
  closedir(dir);
}

template <class Each>
void ForEachGioInfo(const char* attributes, Each each) {
  GFile* file = g_file_new_for_path(Folder().c_str());
  GFileEnumerator* enumerator =
      g_file_enumerate_children(file, attributes, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, nullptr);
  while (GFileInfo* info = g_file_enumerator_next_file(enumerator, nullptr, nullptr)) {
    each(info);
    g_object_unref(info);
  }
  g_object_unref(enumerator);
  g_object_unref(file);
}

template <class Each>
void ForEachItem(Each each) {
  const auto folder = TNamespace::CreateFromFileName(win::Utf8ToUtf16(Folder().string()));
  folder->EnumerateFolderEx(
      nullptr, {TFileObject::foFolders, TFileObject::foNonFolders, TFileObject::foHidden},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        TNamespace item(id, parent);
        each(item);
        return true;
      },
      nullptr);
}

bool ReadOnly(guint32 mode) { return (mode & S_IWUSR) == 0; }

std::vector<Row> PlainLoop() {
  std::vector<Row> rows;
  ForEachLstat([&](const std::string& name, const struct stat& info) {
    rows.push_back({win::Utf8ToUtf16(name), Letters(name.front() == '.', ReadOnly(info.st_mode))});
  });
  return rows;
}

std::vector<Row> GioLoop() {
  std::vector<Row> rows;
  ForEachGioInfo("standard::name,standard::is-hidden,unix::mode", [&](GFileInfo* info) {
    rows.push_back({win::Utf8ToUtf16(g_file_info_get_name(info)),
                    Letters(g_file_info_get_is_hidden(info), ReadOnly(g_file_info_get_attribute_uint32(info, "unix::mode")))});
  });
  return rows;
}

std::vector<Row> NamespaceLoop() {
  std::vector<Row> rows;
  ForEachItem([&](TNamespace& item) {
    benchmark::DoNotOptimize(item.Hidden() + item.ReadOnlyFile() + item.Directory() + item.SystemFile());
    rows.push_back({item.NameInFolder(), item.AttributesString()});
  });
  return rows;
}

// ---- Details: the five default columns ----

struct DetailRow {
  std::u16string name, size, type, modified, attributes;
  bool operator<(const DetailRow& other) const { return name < other.name; }
  bool operator==(const DetailRow& other) const = default;
};

// The type text the shell gives a file of that name and content type.
std::u16string TypeText(const std::string& name, const char* content_type) {
  if (content_type != nullptr && !g_content_type_is_unknown(content_type)) {
    char* description = g_content_type_get_description(content_type);
    std::u16string text = win::Utf8ToUtf16(description);
    g_free(description);
    return text;
  }
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return u"File";
  std::string extension = name.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return win::Utf8ToUtf16(extension) + u" File";
}

std::u16string TimeText(std::int64_t seconds, std::uint32_t nanoseconds) {
  return shell::ConvertFileTimeToString(win::file_info::UnixTimeToFileTime(seconds, nanoseconds));
}

std::vector<DetailRow> PlainDetailsLoop() {
  std::vector<DetailRow> rows;
  ForEachLstat([&](const std::string& name, const struct stat& info) {
    gboolean uncertain = 0;
    char* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
    rows.push_back({win::Utf8ToUtf16(name), shell::FileSizeKBText(info.st_size), TypeText(name, type),
                    TimeText(info.st_mtim.tv_sec, static_cast<std::uint32_t>(info.st_mtim.tv_nsec)),
                    Letters(name.front() == '.', ReadOnly(info.st_mode))});
    g_free(type);
  });
  return rows;
}

std::vector<DetailRow> GioDetailsLoop() {
  std::vector<DetailRow> rows;
  ForEachGioInfo(
      "standard::name,standard::size,standard::fast-content-type,standard::is-hidden,time::modified,"
      "time::modified-usec,unix::mode",
      [&](GFileInfo* info) {
        const std::string name = g_file_info_get_name(info);
        const auto seconds = static_cast<std::int64_t>(g_file_info_get_attribute_uint64(info, "time::modified"));
        const auto microseconds = g_file_info_get_attribute_uint32(info, "time::modified-usec");
        rows.push_back({win::Utf8ToUtf16(name), shell::FileSizeKBText(g_file_info_get_size(info)),
                        TypeText(name, g_file_info_get_attribute_string(info, "standard::fast-content-type")),
                        TimeText(seconds, microseconds * 1000),
                        Letters(g_file_info_get_is_hidden(info), ReadOnly(g_file_info_get_attribute_uint32(info, "unix::mode")))});
      });
  return rows;
}

std::vector<DetailRow> NamespaceDetailsLoop() {
  std::vector<DetailRow> rows;
  ForEachItem([&](TNamespace& item) {
    rows.push_back({item.DetailsOf(0), item.DetailsOf(1), item.DetailsOf(2), item.DetailsOf(3), item.DetailsOf(4)});
  });
  return rows;
}

template <class RowType, std::vector<RowType> (*Loop)()>
void Enumerate(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Loop());
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_PlainReaddirLstat(benchmark::State& state) { Enumerate<Row, PlainLoop>(state); }
void BM_GioEnumerateChildren(benchmark::State& state) { Enumerate<Row, GioLoop>(state); }
void BM_NamespaceEnumerateFolderEx(benchmark::State& state) { Enumerate<Row, NamespaceLoop>(state); }
void BM_PlainDetails(benchmark::State& state) { Enumerate<DetailRow, PlainDetailsLoop>(state); }
void BM_GioDetails(benchmark::State& state) { Enumerate<DetailRow, GioDetailsLoop>(state); }
void BM_NamespaceDetailsOf(benchmark::State& state) { Enumerate<DetailRow, NamespaceDetailsLoop>(state); }

BENCHMARK(BM_PlainReaddirLstat)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_GioEnumerateChildren)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_NamespaceEnumerateFolderEx)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_PlainDetails)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_GioDetails)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_NamespaceDetailsOf)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();

template <class RowType>
bool SameRows(std::vector<RowType> a, std::vector<RowType> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

}  // namespace

int main(int argc, char** argv) {
  dashtune::TApplication application;
  application.Initialize();
  const std::vector<Row> plain = PlainLoop();
  if (plain.size() != kFiles || !SameRows(plain, GioLoop()) || !SameRows(plain, NamespaceLoop())) {
    std::fprintf(stderr, "shell_bench: the three loops disagree\n");
    return 1;
  }
  const std::vector<DetailRow> plain_details = PlainDetailsLoop();
  if (plain_details.size() != kFiles || !SameRows(plain_details, GioDetailsLoop()) ||
      !SameRows(plain_details, NamespaceDetailsLoop())) {
    std::fprintf(stderr, "shell_bench: the three details loops disagree\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  // CPU time of the whole process (helper threads included): the loops never wait on the disk
  // once its cache is warm, and on a shared machine wall time mostly measures the neighbours.
  dashtune::bench::TimesReporter times(dashtune::bench::TimesReporter::Measure::kCpuTime);
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  const auto ms = [&](const char* name) { return times.Seconds(name) * 1e3; };
  dashtune::bench::PrintSummary(
      "CPU milliseconds of the process per enumeration, mean over all iterations; ratio = ours / peer "
      "(goal against readdir+lstat: at most 1.3)",
      {{"enumerate 100,000 files, peer readdir+lstat [ms]", ms("BM_NamespaceEnumerateFolderEx"), ms("BM_PlainReaddirLstat")},
       {"enumerate 100,000 files, peer GIO [ms]", ms("BM_NamespaceEnumerateFolderEx"), ms("BM_GioEnumerateChildren")},
       {"details of 100,000 files, peer readdir+lstat [ms]", ms("BM_NamespaceDetailsOf"), ms("BM_PlainDetails")},
       {"details of 100,000 files, peer GIO [ms]", ms("BM_NamespaceDetailsOf"), ms("BM_GioDetails")}});
  return 0;
}
