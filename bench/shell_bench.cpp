// Enumerating a folder of 100,000 files with TNamespace::EnumerateFolderEx, reading each item's
// name, attribute getters and AttributesString, against a plain readdir+lstat loop making the
// same texts and against GIO's g_file_enumerate_children, in the same run. Goal: at most 1.3
// times the plain loop.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
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
    if (!fs::exists(path / "done")) {
      fs::create_directories(path);
      for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), i % 50 == 0 ? ".hidden-%06d" : "file-%06d.txt", i);
        std::ofstream(path / name) << i;
        if (i % 7 == 0) chmod((path / name).c_str(), 0444);
      }
      std::ofstream(path / "done");
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

std::vector<Row> PlainLoop() {
  std::vector<Row> rows;
  DIR* dir = opendir(Folder().c_str());
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (lstat((Folder() / name).c_str(), &info) != 0) continue;
    rows.push_back({win::Utf8ToUtf16(name), Letters(name.front() == '.', (info.st_mode & S_IWUSR) == 0)});
  }
  closedir(dir);
  return rows;
}

std::vector<Row> GioLoop() {
  std::vector<Row> rows;
  GFile* file = g_file_new_for_path(Folder().c_str());
  GFileEnumerator* enumerator =
      g_file_enumerate_children(file, "standard::name,standard::is-hidden,unix::mode", G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS,
                                nullptr, nullptr);
  while (GFileInfo* info = g_file_enumerator_next_file(enumerator, nullptr, nullptr)) {
    const bool read_only = (g_file_info_get_attribute_uint32(info, "unix::mode") & S_IWUSR) == 0;
    rows.push_back({win::Utf8ToUtf16(g_file_info_get_name(info)), Letters(g_file_info_get_is_hidden(info), read_only)});
    g_object_unref(info);
  }
  g_object_unref(enumerator);
  g_object_unref(file);
  return rows;
}

std::vector<Row> NamespaceLoop() {
  std::vector<Row> rows;
  const auto folder = TNamespace::CreateFromFileName(win::Utf8ToUtf16(Folder().string()));
  folder->EnumerateFolderEx(
      nullptr, {TFileObject::foFolders, TFileObject::foNonFolders, TFileObject::foHidden},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        TNamespace item(id, parent);
        benchmark::DoNotOptimize(item.Hidden() + item.ReadOnlyFile() + item.Directory() + item.SystemFile());
        rows.push_back({item.NameInFolder(), item.AttributesString()});
        return true;
      },
      nullptr);
  return rows;
}

template <std::vector<Row> (*Loop)()>
void Enumerate(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Loop());
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_PlainReaddirLstat(benchmark::State& state) { Enumerate<PlainLoop>(state); }
void BM_GioEnumerateChildren(benchmark::State& state) { Enumerate<GioLoop>(state); }
void BM_NamespaceEnumerateFolderEx(benchmark::State& state) { Enumerate<NamespaceLoop>(state); }

BENCHMARK(BM_PlainReaddirLstat)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_GioEnumerateChildren)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();
BENCHMARK(BM_NamespaceEnumerateFolderEx)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime();

bool SameRows(std::vector<Row> a, std::vector<Row> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

}  // namespace

int main(int argc, char** argv) {
  dashtune::TApplication application;
  application.Initialize();
  const std::vector<Row> plain = PlainLoop();
  if (plain.size() != kFiles + 1 || !SameRows(plain, GioLoop()) || !SameRows(plain, NamespaceLoop())) {
    std::fprintf(stderr, "shell_bench: the three loops disagree\n");
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
       {"enumerate 100,000 files, peer GIO [ms]", ms("BM_NamespaceEnumerateFolderEx"), ms("BM_GioEnumerateChildren")}});
  return 0;
}
