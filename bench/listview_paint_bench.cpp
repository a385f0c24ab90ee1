// The list view at the application's scale on screen against Qt's QListView in icon mode (static
// movement, uniform item sizes, a 218 x 58 grid, single-pass layout, extended selection) on the
// offscreen platform, at 10,000, 100,000 and 1,000,000 uniform virtual tiles (a 32 x 32 image and
// a caption) in an 800 x 480 client:
//   - adding, laying out and painting the first frame: warm (in this process) and cold (the first
//     build of a fresh process), with the peak resident size of that process;
//   - one page scrolled, and a jump to the end;
//   - the item under a point, and the Page Down key from item N-22 with its frame;
//   - selecting all items and then one, each shown in a frame;
//   - sorting by caption without case (Qt through a QSortFilterProxyModel, attached for this case
//     only).
// A timed step paints what it changed (ours: the window's update; Qt: the pending update
// request into the backing store); pixels are read back only outside the timed steps. Every
// case runs both sides in each repetition, their order alternating, and reports the median of
// each side; both sides are checked to draw, select and answer the same before anything is
// timed.
// Then, ours alone: loading a saved state of 1,000, 10,000 and 100,000 groups of one tile each,
// which should take time linear in the groups.
#include <benchmark/benchmark.h>

#include <QtCore/QAbstractListModel>
#include <QtCore/QSortFilterProxyModel>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QKeyEvent>
#include <QtGui/QPixmap>
#include <QtGui/QScreen>
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
#include "platform/core/strings.h"
#include "platform/user/messages.h"
#include "platform/user/surfaces.h"
#include "platform/user/virtual_keys.h"

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
// Page Down starts this many items before the end, seven rows above the last: both sides then
// move seven rows to the last item. (From further up they part by a row: Qt's page is the
// viewport less a row, ours the whole client height.)
constexpr int kPageDownFromEnd = 22;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// A frame read back from a side: 32-bit pixels, red in bits 16 to 23.
struct Frame {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

int RedPixels(const Frame& frame) {
  return static_cast<int>(
      std::count_if(frame.pixels.begin(), frame.pixels.end(), [](std::uint32_t p) { return (p & 0xFFFFFF) == 0xFF0000; }));
}

// The tiles shown whole (three columns of eight rows, numbered row by row) where a frame differs
// from another in a good part of the tile: a selection's highlight.
std::vector<int> ChangedTiles(const Frame& frame, const Frame& before) {
  std::vector<int> changed;
  if (frame.width != before.width || frame.height != before.height) return {-1};
  for (int tile = 0; tile < kWholeImagesShown; ++tile) {
    const int left = tile % 3 * kTileWidth, top = tile / 3 * kTileHeight;
    int differing = 0;
    for (int y = top; y < top + kTileHeight && y < frame.height; ++y)
      for (int x = left; x < left + kTileWidth && x < frame.width; ++x)
        differing += frame.pixels[static_cast<std::size_t>(y) * frame.width + x] !=
                     before.pixels[static_cast<std::size_t>(y) * frame.width + x];
    if (differing >= kTileWidth * kTileHeight / 16) changed.push_back(tile);
  }
  return changed;
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

  // Adds the items, lays them out and paints the first frame.
  void Build() {
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
    Show();
  }

  TTouchGroup* Group() const { return listview->GetGroups()->GetGroup(0); }
  TTouchItem* Item(int index) const { return Group()->GetItem(index); }

  void ScrollTo(int y) {
    listview->GetScrollbars()->SetOffsetY(y);
    Show();
  }
  void ScrollPage() { ScrollTo(listview->GetScrollbars()->GetOffsetY() + kClientHeight); }
  void JumpToEnd() { ScrollTo(listview->GetScrollbars()->GetViewRect().bottom); }

  // Paints what changed.
  void Show() { listview->Update(); }
  // The frame painted whole anew, for checking that Show painted everything that changed.
  Frame Repainted() {
    listview->Invalidate();
    Show();
    return Read();
  }
  Frame Read() const {
    win::WindowPixels read;
    if (!win::ReadWindowPixels(listview->GetHandle(), &read)) return {};
    return {read.width, read.height, std::move(read.pixels)};
  }

  // The row under a client point, -1 for none.
  int RowAt(QPoint point) const {
    const win::POINT view = listview->GetScrollbars()->MapWindowToView({point.x(), point.y()});
    TTouchItem* item = listview->GetGroups()->ItemAtPoint(view);
    return item ? static_cast<int>(item->GetData()) : -1;
  }

  // The row focused and selected alone, shown.
  void FocusRow(int row) {
    SelectOne(row);
    Item(row)->MakeVisible(3);
    Show();
  }
  // The Page Down key and its frame; answers the focused row.
  int PageDown() {
    listview->Perform(win::WM_KEYDOWN, win::VK_NEXT, 0);
    Show();
    return FocusedRow();
  }
  int FocusedRow() const {
    TTouchItem* focused = listview->GetSelection()->GetFocusedItem();
    return focused ? static_cast<int>(focused->GetData()) : -1;
  }

  // Selects every item and shows it.
  void SelectAll() {
    for (int i = 0; i < items_; ++i) Item(i)->SetSelected(true);
    Show();
  }
  // Focuses and selects one row alone and shows it.
  void SelectOne(int row) {
    TTouchItem* one = Item(row);
    one->SetFocused(true);
    listview->GetSelection()->ClearAll();
    one->SetSelected(true);
    Show();
  }
  void ClearSelection() {
    listview->GetSelection()->ClearAll();
    Show();
  }
  int SelectedCount() const { return listview->GetSelection()->GetCount(); }

  void SortByCaption() { listview->GetSort()->SortAll(true); }
  void PrepareSort() { Unsort(); }
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

  void Build() {
    model = std::make_unique<TileModel>(items_);
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
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->resize(kClientWidth, kClientHeight);
    view->setModel(model.get());
    view->show();
    // The offscreen platform exposes the window as the event loop next runs: the first frame.
    QCoreApplication::processEvents();
  }

  void ScrollTo(int y) {
    view->verticalScrollBar()->setValue(y);
    Show();
  }
  void ScrollPage() {
    QScrollBar* bar = view->verticalScrollBar();
    ScrollTo(bar->value() + bar->pageStep());
  }
  void JumpToEnd() { ScrollTo(view->verticalScrollBar()->maximum()); }

  // Paints what changed into the window's backing store, as the event loop would next.
  void Show() { QCoreApplication::sendPostedEvents(view.get(), QEvent::UpdateRequest); }
  // The backing store's pixels, as painted.
  Frame Read() const {
    return FrameOf(QGuiApplication::primaryScreen()->grabWindow(view->winId()).toImage());
  }
  // The view rendered whole anew, for checking that Show painted everything that changed.
  Frame Repainted() const { return FrameOf(view->grab().toImage()); }
  static Frame FrameOf(const QImage& grabbed) {
    const QImage image = grabbed.convertToFormat(QImage::Format_RGB32);
    Frame frame{image.width(), image.height(), {}};
    for (int y = 0; y < image.height(); ++y) {
      const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
      frame.pixels.insert(frame.pixels.end(), line, line + image.width());
    }
    return frame;
  }

  QAbstractItemModel* Shown() const { return view->model(); }
  int RowOf(const QModelIndex& index) const {
    if (!index.isValid()) return -1;
    return Shown() == proxy.get() ? proxy->mapToSource(index).row() : index.row();
  }
  int RowAt(QPoint point) const { return RowOf(view->indexAt(point)); }

  void FocusRow(int row) {
    const QModelIndex index = Shown()->index(row, 0);
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    view->scrollTo(index);
    Show();
  }
  // The Page Down key as the window gets it, and its frame; answers the current row.
  int PageDown() {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &press);
    Show();
    return FocusedRow();
  }
  int FocusedRow() const { return RowOf(view->selectionModel()->currentIndex()); }

  void SelectAll() {
    view->selectAll();
    Show();
  }
  void SelectOne(int row) {
    view->selectionModel()->setCurrentIndex(Shown()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    Show();
  }
  void ClearSelection() {
    view->clearSelection();
    Show();
  }
  int SelectedCount() const {
    int count = 0;
    for (const QItemSelectionRange& range : view->selectionModel()->selection()) count += range.height();
    return count;
  }

  // Only the sorting case goes through the sort proxy.
  void UseProxy(bool on) {
    if (on == (Shown() == proxy.get())) return;
    if (on && !proxy) {
      proxy = std::make_unique<QSortFilterProxyModel>();
      proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
      proxy->setSourceModel(model.get());
    }
    view->setModel(on ? static_cast<QAbstractItemModel*>(proxy.get()) : model.get());
    Show();
  }
  void PrepareSort() {
    UseProxy(true);
    Unsort();
  }
  void SortByCaption() { proxy->sort(0, Qt::AscendingOrder); }
  void Unsort() { proxy->sort(-1); }
  int RowAtPlace(int place) const { return RowOf(Shown()->index(place, 0)); }

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

// A fresh object of the side, built and painted; answers the seconds taken.
template <class Side>
double TimeBuild(int items) {
  Side side(items);
  const auto start = Clock::now();
  side.Build();
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
  RunCase(state, "page scroll", [](auto& side) { side.ScrollPage(); }, [](auto& side) { side.ScrollTo(0); });
}

void BM_JumpToEnd(benchmark::State& state) {
  RunCase(state, "jump to end", [](auto& side) { side.JumpToEnd(); }, [](auto& side) { side.ScrollTo(0); });
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
  RunCase(state, "Page Down key from N-22 (1 frame)", [](auto& side) { benchmark::DoNotOptimize(side.PageDown()); },
          [items](auto& side) { side.FocusRow(items - kPageDownFromEnd); });
}

void BM_SelectAllThenOne(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  RunCase(
      state, "select all, then one (2 frames)",
      [items](auto& side) {
        side.SelectAll();
        side.SelectOne(items / 2);
      },
      [items](auto& side) { side.ScrollTo((items / 6) * kTileHeight); });
}

void BM_SortByCaption(benchmark::State& state) {
  RunCase(state, "sort by caption", [](auto& side) { side.SortByCaption(); }, [](auto& side) { side.PrepareSort(); });
}

// ---- Ours alone: loading a saved state of many groups ----

const std::vector<int> kLoadedGroups = {1000, 10000, 100000};

// A saved state of `groups` groups of one stored tile each, groups and tiles captioned.
void SaveStateOfGroups(int groups, TMemoryStream& saved) {
  TTouchListview source(nullptr);
  for (int g = 0; g < groups; ++g) {
    WideString caption(8, u' ');
    CaptionOf(g, caption.data());
    TTouchGroupStored* group = source.GetGroups()->AddGroup();
    group->SetCaption(caption);
    group->GetItems()->AddStored()->SetCaption(caption);
  }
  source.SaveStateToStream(&saved);
}

// Per repetition: a fresh shown list view (untimed) loads the state and paints its first frame.
void BM_LoadState(benchmark::State& state) {
  const int groups = static_cast<int>(state.range(0));
  TMemoryStream saved;
  SaveStateOfGroups(groups, saved);
  std::vector<double>& seconds = times[Key("load a saved state, groups:", groups)].ours;
  for (auto _ : state) {
    state.PauseTiming();
    auto form = std::make_unique<TForm>(nullptr);
    form->SetBounds(0, 0, kClientWidth + 20, kClientHeight + 20);
    auto* listview = new TTouchListview(form.get());
    listview->SetParent(form.get());
    listview->SetBounds(0, 0, kClientWidth, kClientHeight);
    listview->SetView(elsTile);
    listview->GetCellSizes()->GetTile()->SetSize(kTileWidth, kTileHeight);
    form->Show();
    saved.SetPosition(0);
    state.ResumeTiming();
    const auto start = Clock::now();
    listview->LoadStateFromStream(&saved);
    listview->Update();
    seconds.push_back(Seconds(start));
    state.SetIterationTime(seconds.back());
    TTouchGroups* loaded = listview->GetGroups();
    if (loaded->GetCount() != groups || loaded->GetGroup(groups - 1)->GetItem(0)->GetVisibleIndex() != groups - 1) {
      bench::FailCheck(state, "the loaded state holds every group, laid out");
      break;
    }
  }
}

void Register() {
  for (int groups : kLoadedGroups)
    benchmark::RegisterBenchmark("BM_LoadState", BM_LoadState)
        ->Arg(groups)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(kRepetitions)
        ->UseManualTime();
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

// Tiles as a list, for the checks' messages.
std::string ListOf(const std::vector<int>& tiles) {
  std::string text;
  for (int tile : tiles) {
    if (!text.empty()) text += ',';
    text += std::to_string(tile);
  }
  return "{" + text + "}";
}

template <class Side>
bool SelectsLikeItsPeer(Side& side, const char* name, int items) {
  const std::string who = std::string(name) + " at " + std::to_string(items) + ": ";
  side.ScrollTo((items / 6) * kTileHeight);
  side.SelectOne(items / 2);
  side.ClearSelection();
  const Frame unselected = side.Read();
  side.SelectAll();
  bool ok = ShowsAllItChanged(side, who + "select all");
  ok &= Check(side.SelectedCount() == items, who + "select all selected " + std::to_string(side.SelectedCount()));
  const std::vector<int> all = ChangedTiles(side.Read(), unselected);
  ok &= Check(static_cast<int>(all.size()) == kWholeImagesShown, who + "select all highlights tiles " + ListOf(all));
  side.SelectOne(items / 2);
  ok &= ShowsAllItChanged(side, who + "then one");
  ok &= Check(side.SelectedCount() == 1, who + "then one leaves " + std::to_string(side.SelectedCount()) + " selected");
  // Item items/2 is the top row's third tile.
  const std::vector<int> one = ChangedTiles(side.Read(), unselected);
  ok &= Check(one == std::vector<int>{2}, who + "then one highlights tiles " + ListOf(one));
  return ok;
}

// Whether the side's last step painted all it changed.
template <class Side>
bool ShowsAllItChanged(Side& side, const std::string& what) {
  const Frame shown = side.Read(), whole = side.Repainted();
  return Check(shown.width > 0 && shown.width == whole.width && shown.height == whole.height &&
                   shown.pixels == whole.pixels,
               what + ": the frame shown is the frame painted whole");
}

bool SidesAgree(int items) {
  Built& sides = BuiltAt(items);
  ListviewSide& ours = *sides.ours;
  QtSide& qt = *sides.qt;
  bool ok = true;
  const int whole = kWholeImagesShown * 32 * 32;
  ok &= Check(RedPixels(ours.Read()) >= whole && RedPixels(qt.Read()) >= whole, "the first frames show the tiles' images");
  ours.ScrollTo((items / 3 - 10) * kTileHeight);
  qt.ScrollTo((items / 3 - 10) * kTileHeight);
  ok &= ShowsAllItChanged(ours, "ours, scrolled") & ShowsAllItChanged(qt, "Qt, scrolled");
  ok &= Check(RedPixels(ours.Read()) >= whole && RedPixels(qt.Read()) >= whole, "the scrolled frames show the tiles' images");
  for (const QPoint& point : HitPoints())
    if (!Check(ours.RowAt(point) == qt.RowAt(point), "the item under (" + std::to_string(point.x()) + "," +
                                                         std::to_string(point.y()) + "): " +
                                                         std::to_string(ours.RowAt(point)) + " against " +
                                                         std::to_string(qt.RowAt(point))))
      return false;
  ours.FocusRow(items - kPageDownFromEnd);
  qt.FocusRow(items - kPageDownFromEnd);
  const int ours_down = ours.PageDown(), qt_down = qt.PageDown();
  ok &= ShowsAllItChanged(ours, "ours, Page Down") & ShowsAllItChanged(qt, "Qt, Page Down");
  ok &= Check(ours_down > items - kPageDownFromEnd && ours_down == qt_down,
              "Page Down lands on the same later item (" + std::to_string(ours_down) + ", " + std::to_string(qt_down) + ")");
  ok &= SelectsLikeItsPeer(ours, "ours", items);
  ok &= SelectsLikeItsPeer(qt, "Qt", items);
  ours.SortByCaption();
  qt.PrepareSort();
  qt.SortByCaption();
  for (int place = 0; place < items && ok; place += std::max(items / 997, 1))
    ok &= Check(ours.RowAtPlace(place) == qt.RowAtPlace(place), "the sorted order at " + std::to_string(place));
  ours.Unsort();
  qt.UseProxy(false);
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
  std::unique_ptr<ListviewSide> ours;
  std::unique_ptr<QtSide> peer;
  if (side == "ours") {
    ours = std::make_unique<ListviewSide>(items);
    ours->Build();
  } else {
    peer = std::make_unique<QtSide>(items);
    peer->Build();
  }
  const double seconds = Seconds(start);
  const int shown = RedPixels(ours ? ours->Read() : peer->Read());
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
  if (bench::AnyCheckFailed()) return bench::ExitCode();

  std::vector<bench::SummaryLine> lines;
  for (const char* what : {"build and first frame", "page scroll", "jump to end", "hit test x1000",
                           "Page Down key from N-22 (1 frame)", "select all, then one (2 frames)", "sort by caption"}) {
    for (int items : sizes) {
      const auto found = times.find(Key(what, items));
      if (found == times.end()) continue;
      lines.push_back({std::string(what) + " " + std::to_string(items) + " [ms]", Median(found->second.ours) * 1e3,
                       Median(found->second.qt) * 1e3});
    }
  }
  for (int groups : kLoadedGroups) {
    const auto found = times.find(Key("load a saved state, groups:", groups));
    if (found == times.end()) continue;
    const double seconds = Median(found->second.ours);
    lines.push_back({"load a saved state of " + std::to_string(groups) + " groups [ms]", seconds * 1e3, bench::kNone});
    lines.push_back({"  the same per group [us]", seconds * 1e6 / groups, bench::kNone});
  }
  lines.insert(lines.end(), cold_lines.begin(), cold_lines.end());
  lines.insert(lines.end(), peak_lines.begin(), peak_lines.end());
  bench::PrintSummary(
      "Median of " + std::to_string(kRepetitions) + " runs per side, sides alternating (cold builds and peaks: " +
          std::to_string(kColdRuns) + " fresh processes per side); peer: QListView, icon mode, uniform sizes; "
          "ratio = ours / Qt (goals: hit test and Page Down at most 2, sort at most 1.5, the rest below 1); "
          "the loads of a saved state are ours alone, linear when the time per group stays flat",
      lines);
  return 0;
}
