// The list view's model at the application's scale: a million virtual items added inside an
// update and sorted by integer keys through OnItemCompare with the merge sorter, against as many
// plain objects of the item's size sorted by std::stable_sort over pointers by the same keys; and
// the same items sorted by their captions without case (asked of OnItemGetCaption), against
// plain objects holding their captions sorted by std::stable_sort with a case-blind comparison.
// Repetitions of the cases run interleaved; each side's median is reported.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "classlib/forms.h"
#include "components/listview/listview.h"
#include "components/listview/sort.h"

namespace {

using namespace dashtune;
// Seconds of CPU time of the running thread: on a loaded machine, time spent waiting for a core
// is not the sort's.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr int kItems = 1000000;

// The keys: random, with repeats, so stability matters.
const std::vector<std::intptr_t>& Keys() {
  static const std::vector<std::intptr_t> keys = [] {
    std::mt19937 random(20261207);
    std::vector<std::intptr_t> out(kItems);
    for (auto& key : out) key = static_cast<std::intptr_t>(random() % (kItems / 4));
    return out;
  }();
  return keys;
}

// The peer's object: as large as a virtual item, its key where the item keeps its data.
struct PeerItem {
  std::intptr_t key;
  char rest[sizeof(TTouchItemVirtual) - sizeof(std::intptr_t)];
};

std::unique_ptr<TTouchListview> AddItems() {
  auto listview = std::make_unique<TTouchListview>(nullptr);
  listview->OnItemCompare = [](TCustomTouchListview*, TTouchColumn*, TTouchGroup*, TTouchItem* a, TTouchItem* b) {
    return a->GetData() < b->GetData() ? -1 : a->GetData() > b->GetData() ? 1 : 0;
  };
  listview->BeginUpdate();
  for (std::intptr_t key : Keys()) listview->GetItems()->AddVirtual(key);
  listview->EndUpdate();
  return listview;
}

std::vector<std::unique_ptr<PeerItem>> AddPeers() {
  std::vector<std::unique_ptr<PeerItem>> peers;
  peers.reserve(kItems);
  for (std::intptr_t key : Keys()) {
    peers.push_back(std::make_unique<PeerItem>());
    peers.back()->key = key;
  }
  return peers;
}

void SortPeers(std::vector<PeerItem*>& pointers) {
  std::stable_sort(pointers.begin(), pointers.end(), [](const PeerItem* a, const PeerItem* b) { return a->key < b->key; });
}

std::vector<PeerItem*> PointersOf(const std::vector<std::unique_ptr<PeerItem>>& peers) {
  std::vector<PeerItem*> pointers;
  pointers.reserve(peers.size());
  for (const auto& peer : peers) pointers.push_back(peer.get());
  return pointers;
}

// Both sides must give the same key order before anything is timed.
bool SameOrder() {
  auto listview = AddItems();
  listview->GetSort()->SortAll(true);
  auto peers = AddPeers();
  std::vector<PeerItem*> pointers = PointersOf(peers);
  SortPeers(pointers);
  TTouchItems* items = listview->GetGroups()->GetGroup(0)->GetItems();
  for (int i = 0; i < kItems; ++i)
    if (items->GetItem(i)->GetData() != pointers[static_cast<std::size_t>(i)]->key) return false;
  return true;
}

// Each side's runs, in seconds of CPU time.
std::vector<double> listview_sort, listview_total, peer_sort, peer_total, listview_caption_sort, peer_caption_sort;

double Median(std::vector<double> values) {
  if (values.empty()) return bench::kNone;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The caption of item i: eight letters of mixed case from a hash of i.
void CaptionOf(std::intptr_t item, char16_t* out) {
  std::uint32_t x = static_cast<std::uint32_t>(item) * 2654435761u + 12345u;
  for (int k = 0; k < 8; ++k) {
    x = x * 1103515245u + 12345u;
    const char16_t letter = static_cast<char16_t>(u'a' + (x >> 16) % 26);
    out[k] = (x >> 28) & 1 ? static_cast<char16_t>(letter - 32) : letter;
  }
}

// The peer's comparison: code units compared with ASCII letters folded.
bool CaseBlindLess(const std::u16string& a, const std::u16string& b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

struct CaptionedPeer {
  std::u16string caption;
  char rest[sizeof(TTouchItemVirtual) > sizeof(std::u16string) ? sizeof(TTouchItemVirtual) - sizeof(std::u16string) : 1];
};

std::unique_ptr<TTouchListview> AddCaptionedItems() {
  auto listview = std::make_unique<TTouchListview>(nullptr);
  listview->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
    caption.resize(8);
    CaptionOf(item->GetData(), caption.data());
  };
  listview->BeginUpdate();
  for (int i = 0; i < kItems; ++i) listview->GetItems()->AddVirtual(i);
  listview->EndUpdate();
  return listview;
}

std::vector<std::unique_ptr<CaptionedPeer>> AddCaptionedPeers() {
  std::vector<std::unique_ptr<CaptionedPeer>> peers;
  peers.reserve(kItems);
  for (int i = 0; i < kItems; ++i) {
    peers.push_back(std::make_unique<CaptionedPeer>());
    peers.back()->caption.resize(8);
    CaptionOf(i, peers.back()->caption.data());
  }
  return peers;
}

void SortCaptionedPeers(std::vector<CaptionedPeer*>& pointers) {
  std::stable_sort(pointers.begin(), pointers.end(),
                   [](const CaptionedPeer* a, const CaptionedPeer* b) { return CaseBlindLess(a->caption, b->caption); });
}

// Both sides must give the same caption order before anything is timed.
bool SameCaptionOrder() {
  auto listview = AddCaptionedItems();
  listview->GetSort()->SortAll(true);
  auto peers = AddCaptionedPeers();
  std::vector<CaptionedPeer*> pointers;
  for (const auto& peer : peers) pointers.push_back(peer.get());
  SortCaptionedPeers(pointers);
  TTouchItems* items = listview->GetGroups()->GetGroup(0)->GetItems();
  for (int i = 0; i < kItems; ++i)
    if (items->GetItem(i)->GetCaption() != pointers[static_cast<std::size_t>(i)]->caption) return false;
  return true;
}

double Seconds(double since) { return ThreadSeconds() - since; }

void BM_ListviewAddAndSort(benchmark::State& state) {
  for (auto _ : state) {
    const double start = ThreadSeconds();
    auto listview = AddItems();
    const double sort_start = ThreadSeconds();
    listview->GetSort()->SortAll(true);
    const double sort = Seconds(sort_start), total = Seconds(start);
    listview_sort.push_back(sort);
    listview_total.push_back(total);
    state.SetIterationTime(total);
    state.PauseTiming();
    listview.reset();
    state.ResumeTiming();
  }
}

void BM_PeerAddAndSort(benchmark::State& state) {
  for (auto _ : state) {
    const double start = ThreadSeconds();
    auto peers = AddPeers();
    std::vector<PeerItem*> pointers = PointersOf(peers);
    const double sort_start = ThreadSeconds();
    SortPeers(pointers);
    const double sort = Seconds(sort_start), total = Seconds(start);
    peer_sort.push_back(sort);
    peer_total.push_back(total);
    state.SetIterationTime(total);
    benchmark::DoNotOptimize(pointers.data());
    state.PauseTiming();
    peers.clear();
    state.ResumeTiming();
  }
}

// Times sorting what `make` answers into `seconds`; making and freeing it are not timed.
template <class Make, class Sort>
void TimeSorting(benchmark::State& state, const Make& make, const Sort& sort, std::vector<double>& seconds) {
  for (auto _ : state) {
    state.PauseTiming();
    auto made = make();
    state.ResumeTiming();
    const double start = ThreadSeconds();
    sort(made);
    seconds.push_back(Seconds(start));
    state.SetIterationTime(seconds.back());
    state.PauseTiming();
    made = {};
    state.ResumeTiming();
  }
}

void BM_ListviewSortByCaption(benchmark::State& state) {
  TimeSorting(state, AddCaptionedItems, [](auto& listview) { listview->GetSort()->SortAll(true); },
              listview_caption_sort);
}

// The peers and the pointers the sort reorders.
struct CaptionedPeers {
  std::vector<std::unique_ptr<CaptionedPeer>> peers;
  std::vector<CaptionedPeer*> pointers;
};

void BM_PeerSortByCaption(benchmark::State& state) {
  TimeSorting(
      state,
      [] {
        CaptionedPeers made{AddCaptionedPeers(), {}};
        for (const auto& peer : made.peers) made.pointers.push_back(peer.get());
        return made;
      },
      [](CaptionedPeers& made) {
        SortCaptionedPeers(made.pointers);
        benchmark::DoNotOptimize(made.pointers.data());
      },
      peer_caption_sort);
}

BENCHMARK(BM_ListviewAddAndSort)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseManualTime();
BENCHMARK(BM_PeerAddAndSort)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseManualTime();
BENCHMARK(BM_ListviewSortByCaption)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseManualTime();
BENCHMARK(BM_PeerSortByCaption)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  dashtune::TApplication application;
  if (!SameOrder() || !SameCaptionOrder()) {
    std::fprintf(stderr, "the list view and the peer sort differently\n");
    return 1;
  }
  dashtune::bench::InitializeInterleaved(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  dashtune::bench::PrintSummary("Milliseconds of CPU time, median of each side's runs (interleaved); peer: std::stable_sort over "
                                "plain objects; ratio = ours / peer (goal: at most 1.5)",
                                {{"sort 1,000,000 items by key [ms]", Median(listview_sort) * 1e3, Median(peer_sort) * 1e3},
                                 {"add and sort 1,000,000 items by key [ms]", Median(listview_total) * 1e3,
                                  Median(peer_total) * 1e3},
                                 {"sort 1,000,000 items by caption [ms]", Median(listview_caption_sort) * 1e3,
                                  Median(peer_caption_sort) * 1e3}});
  return 0;
}
