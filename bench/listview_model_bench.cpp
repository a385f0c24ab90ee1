// The list view's model at the application's scale: a million virtual items added inside an
// update and sorted by integer keys through OnItemCompare with the merge sorter, against as many
// plain objects of the item's size sorted by std::stable_sort over pointers by the same keys.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
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

// The fastest run of each side: the machine's other load only ever adds time.
double listview_sort = 1e9, listview_total = 1e9, peer_sort = 1e9, peer_total = 1e9;

double Seconds(double since) { return ThreadSeconds() - since; }

void BM_ListviewAddAndSort(benchmark::State& state) {
  for (auto _ : state) {
    const double start = ThreadSeconds();
    auto listview = AddItems();
    const double sort_start = ThreadSeconds();
    listview->GetSort()->SortAll(true);
    const double sort = Seconds(sort_start), total = Seconds(start);
    listview_sort = std::min(listview_sort, sort);
    listview_total = std::min(listview_total, total);
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
    peer_sort = std::min(peer_sort, sort);
    peer_total = std::min(peer_total, total);
    state.SetIterationTime(total);
    benchmark::DoNotOptimize(pointers.data());
    state.PauseTiming();
    peers.clear();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_ListviewAddAndSort)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_PeerAddAndSort)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  dashtune::TApplication application;
  if (!SameOrder()) {
    std::fprintf(stderr, "the list view and the peer sort differently\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (peer_sort < 1e9 && listview_sort < 1e9) {
    dashtune::bench::PrintSummary("Milliseconds of CPU time of the fastest run of each side; peer: std::stable_sort over plain objects; "
                        "ratio = ours / peer (goal: at most 1.5)",
                        {{"sort 1,000,000 items [ms]", listview_sort * 1e3, peer_sort * 1e3},
                         {"add and sort 1,000,000 items [ms]", listview_total * 1e3, peer_total * 1e3}});
  }
  return 0;
}
