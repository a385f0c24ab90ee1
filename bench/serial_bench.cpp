// The com port component over a pseudo-terminal against a plain poll/read loop on the same kind
// of pair, in the same run: 16 MiB received, the one-byte round trip through an echoing far end,
// a stream paced at 115200 baud for ten seconds (CPU time of the process and write-to-handler
// latency), the component's resident memory while a far end outpaces a slow handler, and how soon
// the line's end is known once the far end vanishes. The component's side waits as an
// application does, blocked in its message wait until its handlers have seen what it waits for.
// Every received byte is checked against the far end's pattern; a failed check fails the program.
// Times are wall-clock: both sides mostly wait on the terminal.
#include <benchmark/benchmark.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_summary.h"
#include "classlib/forms.h"
#include "classlib/sysutils.h"
#include "classlib/threads.h"
#include "components/serial/com_port.h"
#include "platform/comm/line_settings.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"

namespace {

using namespace dashtune;
using namespace std::chrono_literals;
using bench::FailCheck;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlock = 16 << 20;
constexpr unsigned kPort = 77;

// 115200 baud moves 11520 bytes a second (ten bits a byte); the far end writes it in small
// chunks on a fixed schedule, as a UART's driver hands on what its FIFO collected.
constexpr std::size_t kStreamBytesPerSecond = 11520;
constexpr std::size_t kStreamChunk = 32;
constexpr std::size_t kStreamSeconds = 10;
constexpr std::size_t kStreamChunks = kStreamBytesPerSecond * kStreamSeconds / kStreamChunk;
constexpr std::size_t kStreamBytes = kStreamChunks * kStreamChunk;
constexpr auto kStreamPeriod = std::chrono::nanoseconds(1'000'000'000ull * kStreamChunk / kStreamBytesPerSecond);

// No wait of a benchmark lasts longer than this; a stalled side fails the program instead.
constexpr auto kWaitLimit = 120s;

// The far end's byte at an offset of its stream: losses, repeats and reorderings all show.
std::uint8_t PatternByte(std::size_t offset) { return static_cast<std::uint8_t>((offset * 131) ^ (offset >> 8)); }

// Counts received bytes and checks each against the pattern.
class PatternChecker {
 public:
  void Take(std::uint8_t byte) {
    intact_ &= byte == PatternByte(count_);
    ++count_;
  }
  void Take(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) Take(data[i]);
  }
  std::size_t Count() const { return count_; }
  bool Intact() const { return intact_; }
  // Empty when exactly `expected` bytes of the pattern arrived; otherwise what went wrong.
  std::string Problem(std::size_t expected) const {
    if (count_ != expected) return std::to_string(count_) + " bytes received of " + std::to_string(expected);
    return intact_ ? std::string() : "received bytes differ from those sent";
  }

 private:
  std::size_t count_ = 0;
  bool intact_ = true;
};

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
  // The terminal side opened as the plain loop opens it: raw, non-blocking.
  int OpenPlainSide() const {
    const int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    win::comm::MakeRaw(fd);
    return fd;
  }

 private:
  int master_;
  std::string path_;
};

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else {
      pollfd entry{fd, POLLOUT, 0};
      poll(&entry, 1, 100);
    }
  }
}

// `size` bytes of the pattern from `offset` on.
std::vector<std::uint8_t> PatternChunk(std::size_t offset, std::size_t size) {
  std::vector<std::uint8_t> chunk(size);
  for (std::size_t i = 0; i < size; ++i) chunk[i] = PatternByte(offset + i);
  return chunk;
}

// The far end sends `size` bytes of the pattern as fast as the terminal takes them.
std::thread Sender(int fd, std::size_t size) {
  return std::thread([fd, size] {
    for (std::size_t sent = 0; sent < size; sent += 65536) {
      const std::vector<std::uint8_t> chunk = PatternChunk(sent, std::min<std::size_t>(65536, size - sent));
      WriteAll(fd, chunk.data(), chunk.size());
    }
  });
}

// The far end echoes what arrives until nothing has come for a second.
std::thread Echo(int fd) {
  return std::thread([fd] {
    std::uint8_t c;
    for (;;) {
      pollfd entry{fd, POLLIN, 0};
      if (poll(&entry, 1, 1000) <= 0 || (entry.revents & POLLIN) == 0) return;
      if (read(fd, &c, 1) == 1) WriteAll(fd, &c, 1);
    }
  });
}

// Reads what the plain side's terminal has into the receiver, waiting up to a second for it.
// Answers false once the line has gone.
template <typename Receiver>
bool PlainReadInto(int fd, Receiver& receiver) {
  pollfd entry{fd, POLLIN, 0};
  poll(&entry, 1, 1000);
  std::uint8_t buffer[65536];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return n < 0 && errno == EAGAIN;
  receiver.Take(buffer, static_cast<std::size_t>(n));
  return true;
}

// Handles the main thread's messages until done() holds, blocked in the message wait whenever
// none is waiting, as the application's loop is. A thread timer looks in once a second so that
// a side that stalls fails its check instead of hanging the program.
void RunMessagesUntil(const std::function<bool()>& done) {
  const win::UINT_PTR watchdog = win::SetTimer(nullptr, 0, 1000, nullptr);
  const auto until = Clock::now() + kWaitLimit;
  for (Application->ProcessMessages(); !done() && Clock::now() < until; Application->ProcessMessages())
    win::WaitMessage();
  win::KillTimer(nullptr, watchdog);
}

// For a change that no message announces (the line's end, the port's threads ending): handles
// the waiting messages and looks again each millisecond.
void PollUntil(const std::function<bool()>& done) {
  const auto until = Clock::now() + kWaitLimit;
  while (!done() && Clock::now() < until) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(1ms);
  }
}

// Opens the component on the pair's terminal with handler for its data-available events.
void OpenPort(TSerCustomComPort& port, TTriggerAvailEvent handler) {
  port.SetComNumber(kPort);
  port.SetBaud(115200);
  port.SetOnTriggerAvail(std::move(handler));
  port.SetOpen(true);
}

// Opens the component with a handler that checks every announced byte.
void OpenCheckingPort(TSerCustomComPort& port, PatternChecker& checker) {
  OpenPort(port, [&port, &checker](TObject*, win::WORD count) {
    for (int i = 0; i < count; ++i) checker.Take(port.GetChar());
  });
}

// --- 16 MiB received ---

void BM_PlainLoopReceive(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Pair pair;
    const int slave = pair.OpenPlainSide();
    PatternChecker checker;
    state.ResumeTiming();
    std::thread sender = Sender(pair.Master(), kBlock);
    const auto until = Clock::now() + kWaitLimit;
    while (checker.Count() < kBlock && Clock::now() < until && PlainReadInto(slave, checker)) {
    }
    sender.join();
    state.PauseTiming();
    close(slave);
    const std::string problem = checker.Problem(kBlock);
    state.ResumeTiming();
    if (!problem.empty()) {
      FailCheck(state, "plain loop receive: " + problem);
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}

void BM_ComPortReceive(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Pair pair;
    TSerCustomComPort port(nullptr);
    PatternChecker checker;
    OpenCheckingPort(port, checker);
    state.ResumeTiming();
    std::thread sender = Sender(pair.Master(), kBlock);
    RunMessagesUntil([&] { return checker.Count() >= kBlock; });
    sender.join();
    state.PauseTiming();
    port.SetOpen(false);
    const std::string problem = checker.Problem(kBlock);
    state.ResumeTiming();
    if (!problem.empty()) {
      FailCheck(state, "component receive: " + problem);
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}

// --- one-byte round trip ---

void BM_PlainLoopRoundTrip(benchmark::State& state) {
  Pair pair;
  const int slave = pair.OpenPlainSide();
  std::thread echo = Echo(pair.Master());
  std::size_t trip = 0;
  for (auto _ : state) {
    const std::uint8_t sent = PatternByte(trip++);
    WriteAll(slave, &sent, 1);
    std::uint8_t answer = 0;
    const auto until = Clock::now() + kWaitLimit;
    for (;;) {
      pollfd entry{slave, POLLIN, 0};
      poll(&entry, 1, 1000);
      if (read(slave, &answer, 1) == 1 || Clock::now() >= until) break;
    }
    if (answer != sent) {
      FailCheck(state, "plain loop round trip: the echo differs from the byte sent");
      break;
    }
  }
  close(slave);
  echo.join();
}

void BM_ComPortRoundTrip(benchmark::State& state) {
  Pair pair;
  TSerCustomComPort port(nullptr);
  std::string answers;
  OpenPort(port, [&](TObject*, win::WORD count) {
    for (int i = 0; i < count; ++i) answers += static_cast<char>(port.GetChar());
  });
  std::thread echo = Echo(pair.Master());
  std::size_t trip = 0;
  for (auto _ : state) {
    const char sent = static_cast<char>(PatternByte(trip++));
    answers.clear();
    port.PutString(std::string(1, sent));
    RunMessagesUntil([&] { return !answers.empty(); });
    if (answers != std::string(1, sent)) {
      FailCheck(state, "component round trip: the echo differs from the byte sent");
      break;
    }
  }
  port.SetOpen(false);
  echo.join();
}

// --- a stream paced at 115200 baud ---

std::int64_t Nanoseconds(Clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The far end of the paced stream: one chunk of the pattern each period on a fixed schedule,
// noting when each was handed to the terminal, and its own CPU time.
class PacedFarEnd {
 public:
  explicit PacedFarEnd(int fd) : sent_at_(kStreamChunks) {
    thread_ = std::thread([this, fd] { Run(fd); });
  }
  ~PacedFarEnd() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // When the chunk was written (steady clock, ns); read once its last byte arrived.
  std::int64_t SentAt(std::size_t chunk) const { return sent_at_[chunk].load(std::memory_order_acquire); }
  // The far end's own CPU time; read after Join.
  double CpuSeconds() const { return cpu_seconds_; }

 private:
  void Run(int fd) {
    const double cpu_start = ::CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const Clock::time_point start = Clock::now();
    for (std::size_t chunk = 0; chunk < kStreamChunks; ++chunk) {
      std::this_thread::sleep_until(start + chunk * kStreamPeriod);
      const std::vector<std::uint8_t> bytes = PatternChunk(chunk * kStreamChunk, kStreamChunk);
      sent_at_[chunk].store(Nanoseconds(Clock::now()), std::memory_order_release);
      WriteAll(fd, bytes.data(), bytes.size());
    }
    cpu_seconds_ = ::CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
  }

  std::vector<std::atomic<std::int64_t>> sent_at_;
  double cpu_seconds_ = 0;
  std::thread thread_;
};

// The receiving side of the paced stream: every byte checked, and each chunk's latency from its
// write to the delivery (handler call or read) that brought its last byte.
class StreamReceiver {
 public:
  explicit StreamReceiver(const PacedFarEnd& far_end) : far_end_(far_end) { latencies_.reserve(kStreamChunks); }
  // A delivery starts: the handler is called, or a read returned.
  void BeginDelivery() { delivered_at_ = Nanoseconds(Clock::now()); }
  void Take(const std::uint8_t* data, std::size_t size) {
    BeginDelivery();
    for (std::size_t i = 0; i < size; ++i) Take(data[i]);
  }
  void Take(std::uint8_t byte) {
    checker_.Take(byte);
    if (checker_.Count() % kStreamChunk == 0 && checker_.Count() <= kStreamBytes)
      latencies_.push_back(static_cast<double>(delivered_at_ - far_end_.SentAt(checker_.Count() / kStreamChunk - 1)));
  }
  const PatternChecker& Checker() const { return checker_; }
  bool Complete() const { return checker_.Count() >= kStreamBytes; }
  // The latency (ms) that the given share of chunks did not exceed.
  double LatencyMs(double share) {
    if (latencies_.empty()) return 0;
    const auto at = latencies_.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(latencies_.size() - 1));
    std::nth_element(latencies_.begin(), at, latencies_.end());
    return *at / 1e6;
  }

 private:
  const PacedFarEnd& far_end_;
  PatternChecker checker_;
  std::int64_t delivered_at_ = 0;
  std::vector<double> latencies_;
};

struct StreamFigures {
  double cpu_ms = bench::kNone;
  double median_ms = bench::kNone;
  double p99_ms = bench::kNone;
};
StreamFigures plain_stream, port_stream;

// Runs the stream once into `receive`, which waits until the receiver is complete (or gives up).
// The receiving side's CPU time is the process's, less the far end's own.
template <typename Receive>
void PacedStream(benchmark::State& state, int far_fd, const char* side, StreamFigures& figures, Receive receive) {
  const double cpu_start = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  PacedFarEnd far_end(far_fd);
  StreamReceiver receiver(far_end);
  receive(receiver);
  far_end.Join();
  const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu_start - far_end.CpuSeconds();
  if (const std::string problem = receiver.Checker().Problem(kStreamBytes); !problem.empty())
    return FailCheck(state, std::string(side) + " paced stream: " + problem);
  figures = {cpu * 1e3, receiver.LatencyMs(0.5), receiver.LatencyMs(0.99)};
  state.counters["cpu_ms"] = figures.cpu_ms;
  state.counters["median_ms"] = figures.median_ms;
  state.counters["p99_ms"] = figures.p99_ms;
}

void BM_PlainLoopPacedStream(benchmark::State& state) {
  for (auto _ : state) {
    Pair pair;
    const int slave = pair.OpenPlainSide();
    PacedStream(state, pair.Master(), "plain loop", plain_stream, [&](StreamReceiver& receiver) {
      const auto until = Clock::now() + kWaitLimit;
      while (!receiver.Complete() && Clock::now() < until &&
             PlainReadInto(slave, receiver)) {
      }
    });
    close(slave);
  }
}

// The handler takes the bytes one GetChar at a time, as the component's users do.
void BM_ComPortPacedStream(benchmark::State& state) {
  for (auto _ : state) {
    Pair pair;
    TSerCustomComPort port(nullptr);
    StreamReceiver* receiving = nullptr;
    OpenPort(port, [&](TObject*, win::WORD count) {
      if (receiving == nullptr) return;
      receiving->BeginDelivery();
      for (int i = 0; i < count; ++i) receiving->Take(port.GetChar());
    });
    PacedStream(state, pair.Master(), "component", port_stream, [&](StreamReceiver& receiver) {
      receiving = &receiver;
      RunMessagesUntil([&] { return receiver.Complete(); });
      receiving = nullptr;
    });
    port.SetOpen(false);
  }
}

// --- a far end outpacing a slow handler ---

// Resident memory in bytes.
std::size_t ResidentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long pages = 0;
  unsigned long resident = 0;
  const int got = std::fscanf(statm, "%lu %lu", &pages, &resident);
  std::fclose(statm);
  return got == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

double blast_growth_mib = bench::kNone;

// The far end writes the pattern as fast as the terminal takes it for five seconds while the
// handler sleeps 2 ms per event: resident memory must stay bounded and every byte arrive in
// order.
void BM_ComPortBlastAgainstASlowHandler(benchmark::State& state) {
  for (auto _ : state) {
    Pair pair;
    TSerCustomComPort port(nullptr);
    PatternChecker checker;
    const std::size_t before = ResidentBytes();
    std::size_t peak = before;
    OpenPort(port, [&](TObject*, win::WORD count) {
      std::this_thread::sleep_for(2ms);
      for (int i = 0; i < count; ++i) checker.Take(port.GetChar());
      peak = std::max(peak, ResidentBytes());
    });
    std::atomic<std::size_t> sent{0};
    bool sender_done = false;  // main thread only: the sender hands its end over
    std::thread sender([fd = pair.Master(), &sent, &sender_done] {
      const auto until = Clock::now() + 5s;
      while (Clock::now() < until) {
        const std::vector<std::uint8_t> chunk = PatternChunk(sent, 4096);
        WriteAll(fd, chunk.data(), chunk.size());
        sent += chunk.size();
      }
      TThread::Queue(nullptr, [&sender_done] { sender_done = true; });
    });
    RunMessagesUntil([&] { return sender_done && checker.Count() >= sent; });
    sender.join();
    CheckSynchronize();  // the sender's call, should the wait have given up before it ran
    port.SetOpen(false);
    if (const std::string problem = checker.Problem(sent); !problem.empty()) {
      FailCheck(state, "component against a slow handler: " + problem);
      break;
    }
    blast_growth_mib = static_cast<double>(peak - before) / (1 << 20);
    state.counters["MiB_sent"] = static_cast<double>(sent) / (1 << 20);
    state.counters["rss_growth_MiB"] = blast_growth_mib;
  }
}

// --- the far end vanishing ---

constexpr std::size_t kBurst = 6000;
double plain_line_end_ms = bench::kNone, port_line_end_ms = bench::kNone;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The far end writes a burst and vanishes: the time until the plain loop sees the line's end
// (a hang-up, or a read that fails), after reading the whole burst.
void BM_PlainLoopLineEndReported(benchmark::State& state) {
  double slowest = 0;
  for (auto _ : state) {
    Pair pair;
    const int slave = pair.OpenPlainSide();
    const std::vector<std::uint8_t> burst = PatternChunk(0, kBurst);
    WriteAll(pair.Master(), burst.data(), burst.size());
    PatternChecker checker;
    const auto until = Clock::now() + kWaitLimit;
    while (checker.Count() < kBurst && Clock::now() < until && PlainReadInto(slave, checker)) {
    }
    const auto start = Clock::now();
    pair.CloseMaster();
    while (PlainReadInto(slave, checker) && Clock::now() < until) {
    }
    slowest = std::max(slowest, MillisecondsSince(start));
    close(slave);
    if (const std::string problem = checker.Problem(kBurst); !problem.empty()) {
      FailCheck(state, "plain loop line end: " + problem);
      break;
    }
  }
  plain_line_end_ms = slowest;
  state.counters["slowest_ms"] = slowest;
}

// The same for the component: the time until its line's end is known, after which a block
// write raises; every byte of the burst must still reach the handler.
void BM_ComPortLineEndReported(benchmark::State& state) {
  double slowest = 0;
  for (auto _ : state) {
    Pair pair;
    TSerCustomComPort port(nullptr);
    PatternChecker checker;
    OpenCheckingPort(port, checker);
    const std::vector<std::uint8_t> burst = PatternChunk(0, kBurst);
    WriteAll(pair.Master(), burst.data(), burst.size());
    // The burst has left the terminal; messages wait, so part of it is still to be delivered
    // when the line goes.
    const auto until = Clock::now() + kWaitLimit;
    while (checker.Count() + static_cast<std::size_t>(port.GetDispatcher()->CharReady()) +
                   static_cast<std::size_t>(port.GetDispatcher()->InQueueCount()) < kBurst &&
           Clock::now() < until) {
      std::this_thread::sleep_for(1ms);
    }
    const auto start = Clock::now();
    pair.CloseMaster();
    PollUntil([&] { return port.GetDispatcher()->ThreadError() != 0; });
    bool write_raised = false;
    try {
      port.PutString("AT\r");
    } catch (const EInOutError&) {
      write_raised = true;
    }
    slowest = std::max(slowest, MillisecondsSince(start));
    PollUntil([&] { return port.GetDispatcher()->ActiveThreads() == 0; });
    port.SetOpen(false);
    const std::string problem = write_raised ? checker.Problem(kBurst) : "a write after the line's end did not raise";
    if (!problem.empty()) {
      FailCheck(state, "component line end: " + problem);
      break;
    }
  }
  port_line_end_ms = slowest;
  state.counters["slowest_ms"] = slowest;
}

BENCHMARK(BM_PlainLoopReceive)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ComPortReceive)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainLoopRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();
BENCHMARK(BM_ComPortRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();
BENCHMARK(BM_PlainLoopPacedStream)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ComPortPacedStream)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ComPortBlastAgainstASlowHandler)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlainLoopLineEndReported)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_ComPortLineEndReported)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();

void PrintSerialSummary(const bench::TimesReporter& times) {
  const auto ms = [&](const char* name) { return times.Seconds(name) * 1e3; };
  bench::PrintSummary(
      "Wall-clock time per iteration over all iterations; peer: a plain poll/read loop; ratio = ours / peer. "
      "No goals: the component takes one GetChar per byte and delivers each ring fill with a blocking send.",
      {
          {"receive 16 MiB [ms]", ms("BM_ComPortReceive"), ms("BM_PlainLoopReceive")},
          {"one-byte round trip [ms]", ms("BM_ComPortRoundTrip"), ms("BM_PlainLoopRoundTrip")},
          {"115200 baud for 10 s: CPU time of the process [ms]", port_stream.cpu_ms, plain_stream.cpu_ms},
          {"115200 baud: write to handler, median [ms]", port_stream.median_ms, plain_stream.median_ms},
          {"115200 baud: write to handler, p99 [ms]", port_stream.p99_ms, plain_stream.p99_ms},
          {"far end vanishes: line's end known, slowest [ms]", port_line_end_ms, plain_line_end_ms},
          {"5 s blast against a 2 ms handler: RSS growth [MiB]", blast_growth_mib, bench::kNone},
      });
}

}  // namespace

int main(int argc, char** argv) {
  dashtune::TApplication application;
  benchmark::Initialize(&argc, argv);
  bench::TimesReporter times;
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  PrintSerialSummary(times);
  return bench::ExitCode();
}
