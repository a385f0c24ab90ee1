// The list view at the application's scale on screen against Qt's QListView in icon mode (static
// movement, uniform item sizes, a 218 x 58 grid, single-pass layout) on the offscreen platform,
// at 10,000, 100,000 and 1,000,000 uniform virtual tiles (a 32 x 32 image and a caption) in an
// 800 x 480 client:
//   - adding, laying out and painting the first frame: warm (in this process) and cold (the first
//     build of a fresh process), with the peak resident size of that process;
//   - one page scrolled, and a jump to the end;
//   - the item under a point, and Page Down from item N-100;
//   - selecting all items and then one, each shown in a frame;
//   - sorting by caption without case (Qt through a QSortFilterProxyModel).
// Every case runs both sides in each repetition, their order alternating, and reports the
// median of each side; both sides are checked to draw or answer the same before anything is
// timed.
#include <benchmark/benchmark.h>

#include <QtCore/QAbstractListModel>
#include <QtCore/QSortFilterProxyModel>
#include <QtGui/QImage>
#include <QtGui/QPixmap>
#include <QtWidgets/QApplication>
#include <QtWidgets/QListView>
#include <QtWidgets/QScrollBar>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "classlib/bitmap.h"
#include "classlib/form.h"
#include "classlib/forms.h"
#include "classlib/imagelist.h"
#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "components/listview/sort.h"
#include "platform/user/surfaces.h"

extern char** environ;

namespace {

using namespace dashtune;
using Clock = std::chrono::steady_clock;

// The item counts; --sizes=N,M,... on the command line runs others.
std::vector<int> sizes = {10000, 100000, 1000000};
constexpr int kRepetitions = 5;
constexpr int kColdRuns = 3;
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 480;
constexpr int kTileWidth = 218;
constexpr int kTileHeight = 58;
// The images of the tiles that show whole in a frame: three columns of eight rows.
constexpr int kWholeImagesShown = 3 * 8;
// Hit tests timed per repetition (their total is reported).
constexpr int kHitTests = 1000;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int RedPixels(const std::uint32_t* pixels, std::size_t count) {
  return static_cast<int>(std::count_if(pixels, pixels + count, [](std::uint32_t p) { return (p & 0xFFFFFF) == 0xFF0000; }));
}

// The caption of row i: eight letters of mixed case from a hash of i, the same on both sides.
template <class Char>
void CaptionOf(int row, Char* out) {
  std::uint32_t x = static_cast<std::uint32_t>(row) * 2654435761u + 12345u;
  for (int k = 0; k < 8; ++k) {
    x = x * 1103515245u + 12345u;
    const char letter = static_cast<char>('a' + (x >> 16) % 26);
    out[k] = static_cast<Char>((x >> 28) & 1 ? letter - 32 : letter);
  }
}

// The points the hit tests use: on the images of the tiles in the client, where both sides have
// an item, and between tiles, where neither has.
std::vector<QPoint> HitPoints() {
  std::vector<QPoint> points;
  std::uint32_t x = 7;
  while (static_cast<int>(points.size()) < kHitTests) {
    x = x * 1103515245u + 12345u;
    const int column = static_cast<int>((x >> 8) % 4), row = static_cast<int>((x >> 12) % 8);
    const int dx = static_cast<int>((x >> 16) % 16) - 8, dy = static_cast<int>((x >> 20) % 16) - 8;
    points.emplace_back(column * kTileWidth + kTileWidth / 2 + dx, row * kTileHeight + 20 + dy);
  }
  return points;
}

// ---- The list view ----

struct ListviewSide {
  explicit ListviewSide(int items) : items_(items) {
    images.SetWidth(32);
    images.SetHeight(32);
    TBitmap red;
    red.SetPixelFormat(pf24bit);
    red.SetSize(32, 32);
    red.GetCanvas()->GetBrush()->SetColor(clRed);
    red.GetCanvas()->FillRect(win::RECT{0, 0, 32, 32});
    images.Add(&red, nullptr);
  }

  // Adds the items, lays them out and paints the first frame; answers the red pixels shown.
  int Build() {
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, kClientWidth + 20, kClientHeight + 20);
    listview = new TTouchListview(form.get());
    listview->SetParent(form.get());
    listview->SetBounds(0, 0, kClientWidth, kClientHeight);
    listview->SetView(elsTile);
    listview->GetCellSizes()->GetTile()->SetSize(kTileWidth, kTileHeight);
    listview->GetFont()->SetName("DejaVu Sans");
    listview->SetImagesExLarge(&images);
    listview->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
      caption.resize(8);
      CaptionOf(static_cast<int>(item->GetData()), caption.data());
    };
    listview->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 1; };
    listview->OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    form->Show();
    listview->BeginUpdate();
    for (int i = 0; i < items_; ++i) listview->GetItems()->AddVirtual(i);
    listview->EndUpdate(true);
    return Paint();
  }

  TTouchGroup* Group() const { return listview->GetGroups()->GetGroup(0); }
  TTouchItem* Item(int index) const { return Group()->GetItem(index); }

  void ScrollTo(int y) { listview->GetScrollbars()->SetOffsetY(y); }
  int ScrollPage() {
    ScrollTo(listview->GetScrollbars()->GetOffsetY() + kClientHeight);
    return Paint();
  }
  int JumpToEnd() {
    ScrollTo(listview->GetScrollbars()->GetViewRect().bottom);
    return Paint();
  }

  int Paint() {
    listview->Update();
    win::WindowPixels pixels;
    if (!win::ReadWindowPixels(listview->GetHandle(), &pixels)) return -1;
    return RedPixels(pixels.pixels.data(), pixels.pixels.size());
  }

  // The row under a client point, -1 for none.
  int RowAt(QPoint point) const {
    const win::POINT view = listview->GetScrollbars()->MapWindowToView({point.x(), point.y()});
    TTouchItem* item = listview->GetGroups()->ItemAtPoint(view);
    return item ? static_cast<int>(item->GetData()) : -1;
  }

  int PageDownFrom(int row) const {
    TTouchItem* found = Group()->GetGrid()->AdjacentItem(Item(row), acdPageDown);
    return found ? static_cast<int>(found->GetData()) : -1;
  }

  // Selects every item and shows it, then selects one and shows that.
  int SelectAllThenOne(int row) {
    for (int i = 0; i < items_; ++i) Item(i)->SetSelected(true);
    const int all = Paint();
    TTouchItem* one = Item(row);
    one->SetFocused(true);
    listview->GetSelection()->ClearAll();
    one->SetSelected(true);
    return all + Paint();
  }

  void SortByCaption() { listview->GetSort()->SortAll(true); }
  // Back to the order of adding, untimed.
  void Unsort() {
    listview->OnItemCompare = [](TCustomTouchListview*, TTouchColumn*, TTouchGroup*, TTouchItem* a, TTouchItem* b) {
      return a->GetData() < b->GetData() ? -1 : a->GetData() > b->GetData() ? 1 : 0;
    };
    listview->GetSort()->SortAll(true);
    listview->OnItemCompare = nullptr;
  }
  int RowAtPlace(int place) const { return static_cast<int>(Item(place)->GetData()); }

  int items_;
  TCustomImageList images{nullptr};
  std::unique_ptr<TForm> form;
  TTouchListview* listview = nullptr;  // owned by the form
};

// ---- Qt ----

class TileModel : public QAbstractListModel {
 public:
  explicit TileModel(int items) : items_(items) {
    QPixmap red(32, 32);
    red.fill(Qt::red);
    icon_ = red;
  }
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : items_; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) {
      QString caption(8, QChar());
      CaptionOf(index.row(), caption.data());
      return caption;
    }
    if (role == Qt::DecorationRole) return icon_;
    return {};
  }

 private:
  int items_;
  QPixmap icon_;
};

// Opens the view's cursor moves to the bench.
class TileView : public QListView {
 public:
  QModelIndex PageDown() { return moveCursor(MovePageDown, Qt::NoModifier); }
};

struct QtSide {
  explicit QtSide(int items) : items_(items) {}

  int Build() {
    model = std::make_unique<TileModel>(items_);
    proxy = std::make_unique<QSortFilterProxyModel>();
    proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    proxy->setSourceModel(model.get());
    view = std::make_unique<TileView>();
    view->setViewMode(QListView::IconMode);
    view->setMovement(QListView::Static);
    view->setUniformItemSizes(true);
    view->setLayoutMode(QListView::SinglePass);
    view->setGridSize(QSize(kTileWidth, kTileHeight));
    view->setIconSize(QSize(32, 32));
    view->setFlow(QListView::LeftToRight);
    view->setWrapping(true);
    view->setResizeMode(QListView::Fixed);
    view->setFrameShape(QFrame::NoFrame);
    view->resize(kClientWidth, kClientHeight);
    view->setModel(proxy.get());
    view->show();
    return Grab();
  }

  void ScrollTo(int y) { view->verticalScrollBar()->setValue(y); }
  int ScrollPage() {
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(bar->value() + bar->pageStep());
    return Grab();
  }
  int JumpToEnd() {
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    return Grab();
  }

  int Grab() {
    const QImage frame = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return RedPixels(reinterpret_cast<const std::uint32_t*>(frame.constBits()),
                     static_cast<std::size_t>(frame.width()) * static_cast<std::size_t>(frame.height()));
  }

  int RowOf(const QModelIndex& index) const { return index.isValid() ? proxy->mapToSource(index).row() : -1; }
  int RowAt(QPoint point) const { return RowOf(view->indexAt(point)); }

  int PageDownFrom(int row) {
    view->selectionModel()->setCurrentIndex(proxy->index(row, 0), QItemSelectionModel::NoUpdate);
    return RowOf(view->PageDown());
  }

  int SelectAllThenOne(int row) {
    view->selectAll();
    const int all = Grab();
    view->selectionModel()->setCurrentIndex(proxy->index(row, 0), QItemSelectionModel::ClearAndSelect);
    return all + Grab();
  }

  void SortByCaption() { proxy->sort(0, Qt::AscendingOrder); }
  void Unsort() { proxy->sort(-1); }
  int RowAtPlace(int place) const { return RowOf(proxy->index(place, 0)); }

  int items_;
  std::unique_ptr<TileModel> model;
  std::unique_ptr<QSortFilterProxyModel> proxy;
  std::unique_ptr<TileView> view;
};

// ---- Timing ----

// Each side's times of a case, in seconds.
struct Times {
  std::vector<double> ours, qt;
};
std::map<std::string, Times> times;

double Median(std::vector<double> values) {
  if (values.empty()) return bench::kNone;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Both sides built at one size, kept while the cases of that size run.
struct Built {
  int items = 0;
  std::unique_ptr<ListviewSide> ours;
  std::unique_ptr<QtSide> qt;
};
Built built;

Built& BuiltAt(int items) {
  if (built.items != items) {
    built = Built{};
    built.items = items;
    built.ours = std::make_unique<ListviewSide>(items);
    built.ours->Build();
    built.qt = std::make_unique<QtSide>(items);
    built.qt->Build();
  }
  return built;
}

std::string Key(const char* what, int items) { return std::string(what) + " " + std::to_string(items); }

// Runs a case: per repetition both sides, the first alternating; `prepare` runs untimed before
// each timed step.
template <class Step, class Prepare>
void RunCase(benchmark::State& state, const char* what, Step step, Prepare prepare) {
  const int items = static_cast<int>(state.range(0));
  Times& case_times = times[Key(what, items)];
  int repetition = 0;
  for (auto _ : state) {
    double ours_seconds = 0;
    for (int turn = 0; turn < 2; ++turn) {
      const bool ours_turn = (turn == 0) == (repetition % 2 == 0);
      state.PauseTiming();
      Built& sides = BuiltAt(items);
      ours_turn ? prepare(*sides.ours) : prepare(*sides.qt);
      state.ResumeTiming();
      const auto start = Clock::now();
      ours_turn ? step(*sides.ours) : step(*sides.qt);
      const double seconds = Seconds(start);
      (ours_turn ? case_times.ours : case_times.qt).push_back(seconds);
      if (ours_turn) ours_seconds = seconds;
    }
    state.SetIterationTime(ours_seconds);
    ++repetition;
  }
}

const auto kNothing = [](auto&) {};

// A fresh object of the side, built and painted; answers the seconds taken.
template <class Side>
double TimeBuild(int items) {
  Side side(items);
  const auto start = Clock::now();
  benchmark::DoNotOptimize(side.Build());
  return Seconds(start);
}

void BM_BuildAndFirstFrame(benchmark::State& state) {
  built = Built{};  // no other sides held meanwhile
  const int items = static_cast<int>(state.range(0));
  Times& case_times = times[Key("build and first frame", items)];
  int repetition = 0;
  for (auto _ : state) {
    const bool ours_first = repetition++ % 2 == 0;
    if (!ours_first) case_times.qt.push_back(TimeBuild<QtSide>(items));
    case_times.ours.push_back(TimeBuild<ListviewSide>(items));
    if (ours_first) case_times.qt.push_back(TimeBuild<QtSide>(items));
    state.SetIterationTime(case_times.ours.back());
  }
}

void BM_PageScroll(benchmark::State& state) {
  RunCase(state, "page scroll", [](auto& side) { benchmark::DoNotOptimize(side.ScrollPage()); },
          [](auto& side) { side.ScrollTo(0); });
}

void BM_JumpToEnd(benchmark::State& state) {
  RunCase(state, "jump to end", [](auto& side) { benchmark::DoNotOptimize(side.JumpToEnd()); },
          [](auto& side) { side.ScrollTo(0); });
}

void BM_HitTest(benchmark::State& state) {
  static const std::vector<QPoint> points = HitPoints();
  const int items = static_cast<int>(state.range(0));
  RunCase(
      state, "hit test x1000",
      [](auto& side) {
        int sum = 0;
        for (const QPoint& point : points) sum += side.RowAt(point);
        benchmark::DoNotOptimize(sum);
      },
      [items](auto& side) { side.ScrollTo((items / 3 - 10) * kTileHeight); });
}

void BM_PageDown(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  RunCase(state, "Page Down from N-100", [items](auto& side) { benchmark::DoNotOptimize(side.PageDownFrom(items - 100)); },
          kNothing);
}

void BM_SelectAllThenOne(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  RunCase(state, "select all, then one (2 frames)",
          [items](auto& side) { benchmark::DoNotOptimize(side.SelectAllThenOne(items / 2)); },
          [items](auto& side) { side.ScrollTo((items / 6) * kTileHeight); });
}

void BM_SortByCaption(benchmark::State& state) {
  RunCase(state, "sort by caption", [](auto& side) { side.SortByCaption(); }, [](auto& side) { side.Unsort(); });
}

void Register() {
  for (int items : sizes) {
    for (auto [name, function] : std::initializer_list<std::pair<const char*, void (*)(benchmark::State&)>>{
             {"BM_BuildAndFirstFrame", BM_BuildAndFirstFrame},
             {"BM_PageScroll", BM_PageScroll},
             {"BM_JumpToEnd", BM_JumpToEnd},
             {"BM_HitTest", BM_HitTest},
             {"BM_PageDown", BM_PageDown},
             {"BM_SelectAllThenOne", BM_SelectAllThenOne},
             {"BM_SortByCaption", BM_SortByCaption}}) {
      benchmark::RegisterBenchmark(name, function)
          ->Arg(items)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(kRepetitions)
          ->UseManualTime();
    }
  }
}

// ---- Checks: both sides draw and answer the same ----

bool Check(bool ok, const std::string& what) {
  if (!ok) std::fprintf(stderr, "check failed: %s\n", what.c_str());
  return ok;
}

bool SidesAgree(int items) {
  Built& sides = BuiltAt(items);
  ListviewSide& ours = *sides.ours;
  QtSide& qt = *sides.qt;
  bool ok = true;
  const int whole = kWholeImagesShown * 32 * 32;
  ok &= Check(ours.Paint() >= whole && qt.Grab() >= whole, "the first frames show the tiles' images");
  ours.ScrollTo((items / 3 - 10) * kTileHeight);
  qt.ScrollTo((items / 3 - 10) * kTileHeight);
  ok &= Check(ours.Paint() >= whole && qt.Grab() >= whole, "the scrolled frames show the tiles' images");
  for (const QPoint& point : HitPoints())
    if (!Check(ours.RowAt(point) == qt.RowAt(point), "the item under (" + std::to_string(point.x()) + "," +
                                                         std::to_string(point.y()) + "): " +
                                                         std::to_string(ours.RowAt(point)) + " against " +
                                                         std::to_string(qt.RowAt(point))))
      return false;
  const int ours_down = ours.PageDownFrom(items - 100), qt_down = qt.PageDownFrom(items - 100);
  ok &= Check(ours_down > items - 100 && qt_down > items - 100,
              "Page Down moves on (" + std::to_string(ours_down) + ", " + std::to_string(qt_down) + ")");
  ours.SortByCaption();
  qt.SortByCaption();
  for (int place = 0; place < items && ok; place += std::max(items / 997, 1))
    ok &= Check(ours.RowAtPlace(place) == qt.RowAtPlace(place), "the sorted order at " + std::to_string(place));
  ours.Unsort();
  qt.Unsort();
  return ok;
}

// ---- Cold builds and peak memory: each in a fresh process ----

long PeakResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// The child: builds one side and prints the build's seconds and the process's peak.
int RunChild(const std::string& side, int items, int argc, char** argv) {
  QApplication qt(argc, argv);
  const auto start = Clock::now();
  int shown = 0;
  std::unique_ptr<ListviewSide> ours;
  std::unique_ptr<QtSide> peer;
  if (side == "ours") {
    ours = std::make_unique<ListviewSide>(items);
    shown = ours->Build();
  } else {
    peer = std::make_unique<QtSide>(items);
    shown = peer->Build();
  }
  const double seconds = Seconds(start);
  std::printf("%.6f %ld %d\n", seconds, PeakResidentKilobytes(), shown);
  return 0;
}

struct ChildResult {
  double seconds = bench::kNone;
  double peak_megabytes = bench::kNone;
};

ChildResult RunInChild(const char* self, const std::string& side, int items) {
  const std::string out_path = "/tmp/listview_paint_bench." + std::to_string(getpid()) + ".out";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string side_arg = "--child=" + side, items_arg = "--items=" + std::to_string(items);
  char* args[] = {const_cast<char*>(self), side_arg.data(), items_arg.data(), nullptr};
  pid_t pid = 0;
  ChildResult result;
  if (posix_spawn(&pid, self, &actions, nullptr, args, environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(out_path);
    long peak = 0;
    int shown = 0;
    double seconds = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && (in >> seconds >> peak >> shown) &&
        shown >= kWholeImagesShown * 32 * 32) {
      result.seconds = seconds;
      result.peak_megabytes = static_cast<double>(peak) / 1024.0;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  std::remove(out_path.c_str());
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  dashtune::TApplication application;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strncmp(argv[i], "--child=", 8) == 0 && std::strncmp(argv[i + 1], "--items=", 8) == 0)
      return RunChild(argv[i] + 8, std::atoi(argv[i + 1] + 8), 1, argv);
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--sizes=", 8) != 0) continue;
    sizes.clear();
    std::stringstream list(argv[i] + 8);
    for (std::string one; std::getline(list, one, ',');)
      if (const int items = std::atoi(one.c_str()); items > 0) sizes.push_back(items);
    std::copy(argv + i + 1, argv + argc + 1, argv + i);  // Google Benchmark does not know it
    --argc;
    break;
  }

  std::vector<bench::SummaryLine> cold_lines, peak_lines;
  for (int items : sizes) {
    std::vector<double> ours_seconds, qt_seconds, ours_peak, qt_peak;
    for (int run = 0; run < kColdRuns * 2; ++run) {
      const bool ours_turn = (run % 4 == 0 || run % 4 == 3);  // ours, Qt, Qt, ours, ...
      const ChildResult result = RunInChild(argv[0], ours_turn ? "ours" : "qt", items);
      (ours_turn ? ours_seconds : qt_seconds).push_back(result.seconds);
      (ours_turn ? ours_peak : qt_peak).push_back(result.peak_megabytes);
    }
    const std::string size = std::to_string(items);
    cold_lines.push_back({"cold build and first frame " + size + " [ms]", Median(ours_seconds) * 1e3, Median(qt_seconds) * 1e3});
    peak_lines.push_back({"peak resident size, built " + size + " [MB]", Median(ours_peak), Median(qt_peak)});
  }

  QApplication qt(argc, argv);
  for (int items : sizes)
    if (!SidesAgree(items)) return 1;
  built = Built{};
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  built = Built{};

  std::vector<bench::SummaryLine> lines;
  for (const char* what : {"build and first frame", "page scroll", "jump to end", "hit test x1000",
                           "Page Down from N-100", "select all, then one (2 frames)", "sort by caption"}) {
    for (int items : sizes) {
      const auto found = times.find(Key(what, items));
      if (found == times.end()) continue;
      lines.push_back({std::string(what) + " " + std::to_string(items) + " [ms]", Median(found->second.ours) * 1e3,
                       Median(found->second.qt) * 1e3});
    }
  }
  lines.insert(lines.end(), cold_lines.begin(), cold_lines.end());
  lines.insert(lines.end(), peak_lines.begin(), peak_lines.end());
  bench::PrintSummary(
      "Median of " + std::to_string(kRepetitions) + " runs per side, sides alternating (cold builds and peaks: " +
          std::to_string(kColdRuns) + " fresh processes per side); peer: QListView, icon mode, uniform sizes; "
          "ratio = ours / Qt (goals: hit test and Page Down at most 2, sort at most 1.5, the rest below 1)",
      lines);
  return 0;
}
