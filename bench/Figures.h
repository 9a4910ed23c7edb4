#pragma once
// Figures for the benchmark table.
//
// Every benchmark reports the figures it measures with figure(): a name, the
// value, its unit and, when the figure has one, its target. When the
// environment variable QDL_FIGURES names a file, each call appends one line
// to it:
//
//   name <TAB> value <TAB> unit <TAB> target
//
// where target is empty or an operator and a bound ("< 3", ">= 100"). Tabs
// and line breaks in a name become blanks. scripts/bench sets QDL_FIGURES,
// runs every benchmark and ends with one table of all figures (figure,
// value, target, whether it holds), also written as build/bench/figures.csv.
// A figure reported more than once counts with its last value: Google
// Benchmark runs a benchmark function several times to find its iteration
// count, and the last run is the one it reports. Without QDL_FIGURES nothing
// is written.
//
// Any program can take part: a C++ one includes this header (the folder
// bench/ is on the include path of every benchmark); a script appends the
// same line with printf. Samples helps with medians and percentiles, which
// the targets usually name; cpuSeconds() measures the calling thread.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace qdl::bench {

// What a figure must be: below, at most, at least or above a bound; or
// nothing (the figure is shown without a target).
struct Target {
  const char* op = "";
  double bound = 0.0;
};
inline constexpr Target below(double bound) { return {"<", bound}; }
inline constexpr Target atMost(double bound) { return {"<=", bound}; }
inline constexpr Target atLeast(double bound) { return {">=", bound}; }
inline constexpr Target above(double bound) { return {">", bound}; }
inline constexpr Target noTarget() { return {}; }

// Appends the figure to the file QDL_FIGURES names (see above).
inline void figure(std::string_view name, double value, std::string_view unit,
                   Target target = noTarget()) {
  const char* path = std::getenv("QDL_FIGURES");
  if (!path || !*path) return;
  std::string clean(name);
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  std::string line = clean + '\t';
  char number[64];
  std::snprintf(number, sizeof number, "%.6g", value);
  line += number;
  line += '\t';
  line += unit;
  line += '\t';
  if (*target.op) {
    std::snprintf(number, sizeof number, "%s %.6g", target.op, target.bound);
    line += number;
  }
  line += '\n';
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

// Measured values of one kind, for their median, percentiles and mean.
class Samples {
 public:
  void add(double value) { values_.push_back(value); }
  void clear() { values_.clear(); }
  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }

  // The q-quantile (0..1) by the nearest rank; 0 without values.
  double quantile(double q) const {
    if (values_.empty()) return 0.0;
    std::vector<double> v = values_;
    const auto rank =
        std::size_t(std::clamp(std::ceil(q * double(v.size())), 1.0, double(v.size()))) - 1;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(rank), v.end());
    return v[rank];
  }
  double median() const { return quantile(0.5); }
  double max() const {
    return values_.empty() ? 0.0 : *std::max_element(values_.begin(), values_.end());
  }
  double mean() const {
    double sum = 0.0;
    for (double v : values_) sum += v;
    return values_.empty() ? 0.0 : sum / double(values_.size());
  }

 private:
  std::vector<double> values_;
};

// CPU time of the calling thread in seconds: other programs on a busy
// machine do not count.
inline double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Wall-clock time in seconds from an arbitrary start.
inline double wallSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace qdl::bench
