// The com port component over a pseudo-terminal against a plain read/write loop on the same kind
// of pair: 16 MiB of received data, and the one-byte round trip through an echoing far end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "classlib/forms.h"
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
  ~Pair() { close(master_); }
  int Master() const { return master_; }
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
    port.SetComNumber(kPort);
    port.SetBaud(115200);
    std::size_t got = 0;
    port.SetOnTriggerAvail([&](TObject*, win::WORD count) {
      for (int i = 0; i < count; ++i) port.GetChar();
      got += count;
    });
    port.SetOpen(true);
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
  port.SetComNumber(kPort);
  port.SetBaud(115200);
  bool answered = false;
  port.SetOnTriggerAvail([&](TObject*, win::WORD count) {
    for (int i = 0; i < count; ++i) port.GetChar();
    answered = true;
  });
  port.SetOpen(true);
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

BENCHMARK(BM_PlainLoopReceive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ComPortReceive)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainLoopRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ComPortRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(2000);

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
