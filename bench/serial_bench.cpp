// The com port component over a pseudo-terminal against a plain read/write loop on the same kind
// of pair: 16 MiB of received data, and the one-byte round trip through an echoing far end; and
// the component's resident memory while a far end outpaces a slow handler.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "classlib/forms.h"
#include "classlib/sysutils.h"
#include "components/serial/com_port.h"
#include "components/serial/serial_misc.h"
#include "platform/comm/line_settings.h"

namespace {

using namespace dashtune;

constexpr std::size_t kBlock = 16 << 20;
constexpr unsigned kPort = 77;

// A raw pseudo-terminal pair; the terminal side is comm port kPort.
class Pair {
 public:
  Pair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    win::comm::MakeRaw(master_);
    path_ = ptsname(master_);
    setenv(("DASHTUNE_COM" + std::to_string(kPort)).c_str(), path_.c_str(), 1);
  }
  ~Pair() { CloseMaster(); }
  int Master() const { return master_; }
  // The far end goes away, as a peer that exits or is unplugged.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  const std::string& Path() const { return path_; }

 private:
  int master_;
  std::string path_;
};

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else {
      pollfd entry{fd, POLLOUT, 0};
      poll(&entry, 1, 100);
    }
  }
}

// The far end sends kBlock bytes.
std::thread Sender(int fd) {
  return std::thread([fd] {
    std::vector<char> chunk(65536, 'd');
    for (std::size_t sent = 0; sent < kBlock; sent += chunk.size()) WriteAll(fd, chunk.data(), chunk.size());
  });
}

// The far end echoes what arrives until nothing has come for a second.
std::thread Echo(int fd) {
  return std::thread([fd] {
    char c;
    for (;;) {
      pollfd entry{fd, POLLIN, 0};
      if (poll(&entry, 1, 1000) <= 0 || (entry.revents & POLLIN) == 0) return;
      if (read(fd, &c, 1) == 1) WriteAll(fd, &c, 1);
    }
  });
}

// Opens the component on the pair's terminal with handler for its data-available events.
void OpenPort(TSerCustomComPort& port, TTriggerAvailEvent handler) {
  port.SetComNumber(kPort);
  port.SetBaud(115200);
  port.SetOnTriggerAvail(std::move(handler));
  port.SetOpen(true);
}

// Opens the component with a handler that reads and counts every announced byte.
void OpenCountingPort(TSerCustomComPort& port, std::size_t& got) {
  OpenPort(port, [&port, &got](TObject*, win::WORD count) {
    for (int i = 0; i < count; ++i) port.GetChar();
    got += count;
  });
}

double plainThroughput = 0;
double portThroughput = 0;
double plainRoundTrip = 0;
double portRoundTrip = 0;

void BM_PlainLoopReceive(benchmark::State& state) {
  for (auto _ : state) {
    Pair pair;
    int slave = open(pair.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    win::comm::MakeRaw(slave);
    auto start = std::chrono::steady_clock::now();
    std::thread sender = Sender(pair.Master());
    std::vector<char> buffer(65536);
    std::size_t got = 0;
    while (got < kBlock) {
      pollfd entry{slave, POLLIN, 0};
      poll(&entry, 1, 1000);
      ssize_t n = read(slave, buffer.data(), buffer.size());
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    sender.join();
    plainThroughput = kBlock / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(slave);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}

void BM_ComPortReceive(benchmark::State& state) {
  for (auto _ : state) {
    Pair pair;
    TSerCustomComPort port(nullptr);
    std::size_t got = 0;
    OpenCountingPort(port, got);
    auto start = std::chrono::steady_clock::now();
    std::thread sender = Sender(pair.Master());
    while (got < kBlock) {
      if (serial::SafeYield() == 0) std::this_thread::yield();
    }
    sender.join();
    portThroughput = kBlock / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    port.SetOpen(false);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}

void BM_PlainLoopRoundTrip(benchmark::State& state) {
  Pair pair;
  int slave = open(pair.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  win::comm::MakeRaw(slave);
  std::thread echo = Echo(pair.Master());
  auto start = std::chrono::steady_clock::now();
  std::int64_t trips = 0;
  for (auto _ : state) {
    char c = 'r';
    WriteAll(slave, &c, 1);
    for (;;) {
      pollfd entry{slave, POLLIN, 0};
      poll(&entry, 1, 1000);
      if (read(slave, &c, 1) == 1) break;
    }
    ++trips;
  }
  plainRoundTrip = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / trips;
  close(slave);
  echo.join();
}

void BM_ComPortRoundTrip(benchmark::State& state) {
  Pair pair;
  TSerCustomComPort port(nullptr);
  bool answered = false;
  OpenPort(port, [&](TObject*, win::WORD count) {
    for (int i = 0; i < count; ++i) port.GetChar();
    answered = true;
  });
  std::thread echo = Echo(pair.Master());
  auto start = std::chrono::steady_clock::now();
  std::int64_t trips = 0;
  for (auto _ : state) {
    answered = false;
    port.PutString("r");
    while (!answered) {
      if (serial::SafeYield() == 0) std::this_thread::yield();
    }
    ++trips;
  }
  portRoundTrip = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / trips;
  port.SetOpen(false);
  echo.join();
}

// Resident memory in bytes.
std::size_t ResidentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long pages = 0;
  unsigned long resident = 0;
  int got = std::fscanf(statm, "%lu %lu", &pages, &resident);
  std::fclose(statm);
  return got == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// The far end writes a counting pattern as fast as the terminal takes it for five seconds while
// the handler sleeps 2 ms per event: resident memory must stay bounded and every byte arrive in
// order.
void BM_ComPortBlastAgainstASlowHandler(benchmark::State& state) {
  for (auto _ : state) {
    Pair pair;
    TSerCustomComPort port(nullptr);
    std::size_t got = 0;
    bool inOrder = true;
    OpenPort(port, [&](TObject*, win::WORD count) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      for (int i = 0; i < count; ++i, ++got) inOrder &= port.GetChar() == static_cast<std::uint8_t>(got * 7);
    });
    std::size_t before = ResidentBytes();
    std::size_t peak = before;
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> done{false};
    std::thread sender([fd = pair.Master(), &sent, &done] {
      std::vector<char> chunk(4096);
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (std::chrono::steady_clock::now() < until) {
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((sent + i) * 7);
        WriteAll(fd, chunk.data(), chunk.size());
        sent += chunk.size();
      }
      done = true;
    });
    while (!done || got < sent) {
      if (serial::SafeYield() == 0) std::this_thread::yield();
      peak = std::max(peak, ResidentBytes());
    }
    sender.join();
    port.SetOpen(false);
    state.counters["MiB_sent"] = static_cast<double>(sent) / (1 << 20);
    state.counters["rss_growth_MiB"] = static_cast<double>(peak - before) / (1 << 20);
    state.counters["in_order"] = inOrder ? 1 : 0;
  }
}

// The far end writes a burst and vanishes: the time until the line's end is known, after which a
// block write raises; every byte of the burst must still be delivered.
void BM_ComPortLineEndReported(benchmark::State& state) {
  constexpr std::size_t kBurst = 6000;
  double slowest = 0;
  bool complete = true;
  for (auto _ : state) {
    Pair pair;
    TSerCustomComPort port(nullptr);
    std::size_t got = 0;
    OpenCountingPort(port, got);
    std::vector<char> burst(kBurst, 'b');
    WriteAll(pair.Master(), burst.data(), burst.size());
    while (got + static_cast<std::size_t>(port.GetDispatcher()->CharReady()) +
               static_cast<std::size_t>(port.GetDispatcher()->InQueueCount()) < kBurst) {
      std::this_thread::yield();
    }
    auto start = std::chrono::steady_clock::now();
    pair.CloseMaster();
    while (port.GetDispatcher()->ThreadError() == 0) serial::SafeYield();
    try {
      port.PutString("AT\r");
      complete = false;
    } catch (const EInOutError&) {
    }
    slowest = std::max(slowest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    while (port.GetDispatcher()->ActiveThreads() > 0) serial::SafeYield();
    complete &= got == kBurst;
    port.SetOpen(false);
  }
  state.counters["slowest_ms"] = slowest;
  state.counters["all_delivered"] = complete ? 1 : 0;
}

BENCHMARK(BM_PlainLoopReceive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ComPortReceive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainLoopRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ComPortRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ComPortBlastAgainstASlowHandler)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ComPortLineEndReported)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
  dashtune::TApplication application;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (plainThroughput > 0 && portThroughput > 0) {
    std::printf("throughput ratio (component / plain loop): %.3f (goal: at least 0.8)\n",
                portThroughput / plainThroughput);
  }
  if (plainRoundTrip > 0 && portRoundTrip > 0) {
    std::printf("round-trip ratio (component / plain loop): %.2f\n", portRoundTrip / plainRoundTrip);
  }
  return 0;
}
