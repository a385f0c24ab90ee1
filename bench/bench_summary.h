// What every benchmark prints after Google Benchmark's own report: one line per case,
// "case  ours  peer  ratio", from the times its runs reported; and how a benchmark whose check
// fails makes the program fail.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace dashtune::bench {

inline constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Google Benchmark's console report, keeping each run's time per iteration in seconds, by the
// name the benchmark was registered under. Real time unless asked for CPU time; a run with
// manual timing reports its manual time as real time. A benchmark run in repetitions keeps the
// median of its repetitions; its counters are kept beside its time.
class TimesReporter : public benchmark::ConsoleReporter {
 public:
  enum class Measure { kRealTime, kCpuTime };
  // Colours only on a terminal, as Google Benchmark's own reporter.
  explicit TimesReporter(Measure measure = Measure::kRealTime)
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None), measure_(measure) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
      const double time = measure_ == Measure::kCpuTime ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
      const std::string& name = run.run_name.function_name;
      // Aggregates follow their repetitions, so the median is what stays.
      seconds_[name] = time / benchmark::GetTimeUnitMultiplier(run.time_unit);
      for (const auto& [counter, value] : run.counters) counters_[name][counter] = value.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Seconds per iteration of the named benchmark; kNone when it failed or did not run.
  double Seconds(const std::string& name) const {
    const auto found = seconds_.find(name);
    return found == seconds_.end() ? kNone : found->second;
  }

  // A counter the named benchmark set; kNone when it failed, did not run or set no such counter.
  double Counter(const std::string& name, const std::string& counter) const {
    const auto found = counters_.find(name);
    if (found == counters_.end()) return kNone;
    const auto value = found->second.find(counter);
    return value == found->second.end() ? kNone : value->second;
  }

 private:
  Measure measure_;
  std::map<std::string, double> seconds_;
  std::map<std::string, std::map<std::string, double>> counters_;
};

// One case of the summary, both figures in the unit its label names. A case without a peer has
// kNone there.
struct SummaryLine {
  std::string label;
  double ours;
  double peer;
};

// Prints the note saying what the figures are, the column titles and one line per case. A case
// whose own figure is missing (filtered out, or failed) is left out.
inline void PrintSummary(const std::string& note, const std::vector<SummaryLine>& lines) {
  std::printf("\n%s\n%-56s %12s %12s %8s\n", note.c_str(), "case", "ours", "peer", "ratio");
  for (const SummaryLine& line : lines) {
    if (std::isnan(line.ours)) continue;
    if (std::isnan(line.peer)) {
      std::printf("%-56s %12.4f %12s %8s\n", line.label.c_str(), line.ours, "-", "-");
    } else {
      std::printf("%-56s %12.4f %12.4f %8.2f\n", line.label.c_str(), line.ours, line.peer, line.ours / line.peer);
    }
  }
  std::fflush(stdout);
}

// Whether any benchmark's check failed; the program's exit code reports it.
inline bool& AnyCheckFailed() {
  static bool failed = false;
  return failed;
}

// A check of what a benchmark timed failed: the run is reported as an error and the program
// ends with a failure. The caller leaves its benchmark loop.
inline void FailCheck(benchmark::State& state, const std::string& what) {
  AnyCheckFailed() = true;
  std::fprintf(stderr, "check failed: %s\n", what.c_str());
  state.SkipWithError(what.c_str());
}

inline int ExitCode() { return AnyCheckFailed() ? 1 : 0; }

// Google Benchmark's initialisation with the repetitions of all benchmarks run in a random
// interleaved order unless the command line says otherwise: run one after the other, the two
// sides of a case are timed minutes apart, and a shared machine that slows down meanwhile moves
// their ratio by a third; interleaved, a slow spell falls on both sides alike.
inline void InitializeInterleaved(int* argc, char** argv) {
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static std::vector<char*> args;
  args.assign(argv, argv + *argc);
  args.insert(args.begin() + (*argc > 0 ? 1 : 0), interleave);  // later flags on the command line win
  args.push_back(nullptr);
  int count = static_cast<int>(args.size()) - 1;
  benchmark::Initialize(&count, args.data());
}

}  // namespace dashtune::bench
