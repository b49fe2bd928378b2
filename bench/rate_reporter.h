#pragma once

// A console report that keeps one counter's rate of every run (the median when repetitions are asked for),
// so that a program can print, after the report, ratios of runs measured in the same process.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qavrek::bench {

class rate_reporter : public benchmark::ConsoleReporter {
 public:
  // `print_ratios` runs after the report and reads the rates through the reporter.
  rate_reporter(std::string counter, std::function<void(const rate_reporter&)> print_ratios)
      : ConsoleReporter(OO_Tabular), counter_(std::move(counter)), print_ratios_(std::move(print_ratios)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const auto found = run.counters.find(counter_);
      if ((median || single) && found != run.counters.end())
        rates_[run.run_name.function_name][run.run_name.args] = found->second.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    print_ratios_(*this);
  }

  // The rates of every measured run of `function`, by its arguments ("factors:3").
  std::map<std::string, double> rates(const std::string& function) const {
    const auto found = rates_.find(function);
    return found == rates_.end() ? std::map<std::string, double>{} : found->second;
  }

  // The rate of `function` with `args`, if it was measured.
  std::optional<double> rate(const std::string& function, const std::string& args) const {
    const std::map<std::string, double> of_function = rates(function);
    const auto found = of_function.find(args);
    return found == of_function.end() ? std::nullopt : std::optional<double>(found->second);
  }

  // "  label: numerator / denominator   (goal: ...)" for the runs with `args`, when both were measured.
  void print_ratio(const std::string& label, const std::string& numerator, const std::string& denominator,
                   const std::string& args, const std::string& goal = "") const {
    const std::optional<double> a = rate(numerator, args), b = rate(denominator, args);
    if (!a || !b) return;
    std::printf("  %s: %.2f%s\n", label.c_str(), *a / *b, goal.empty() ? "" : ("   (goal: " + goal + ")").c_str());
  }

 private:
  std::string counter_;
  std::function<void(const rate_reporter&)> print_ratios_;
  std::map<std::string, std::map<std::string, double>> rates_;
};

// Runs the benchmarks the command line selects, reported by `reporter`.
inline int run_benchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace qavrek::bench
