#include "bench/bench_stats.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace fxaa_bench {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Bootstraps `statistic` of paired samples: the estimate on the data as measured, and the
// percentile interval of the statistic over resampled pairs.
Interval PairedBootstrap(const std::vector<double>& a, const std::vector<double>& b,
                         double confidence, int resamples, uint32_t seed,
                         const std::function<double(double, double)>& statistic) {
  if (a.empty() || a.size() != b.size()) return {kNaN, kNaN, kNaN};
  const double estimate = statistic(Median(a), Median(b));
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> pick(0, a.size() - 1);
  std::vector<double> ra(a.size()), rb(b.size()), results;
  results.reserve(size_t(std::max(resamples, 1)));
  for (int r = 0; r < resamples; ++r) {
    for (size_t i = 0; i < a.size(); ++i) {
      const size_t k = pick(random);
      ra[i] = a[k];
      rb[i] = b[k];
    }
    results.push_back(statistic(Median(ra), Median(rb)));
  }
  const double tail = (1.0 - confidence) / 2.0;
  return {estimate, Quantile(results, tail), Quantile(results, 1.0 - tail)};
}

}  // namespace

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return kNaN;
  std::sort(values.begin(), values.end());
  const double position = std::clamp(q, 0.0, 1.0) * double(values.size() - 1);
  const size_t below = size_t(std::floor(position));
  const size_t above = std::min(below + 1, values.size() - 1);
  const double fraction = position - double(below);
  return values[below] + fraction * (values[above] - values[below]);
}

double Median(const std::vector<double>& values) { return Quantile(values, 0.5); }

Spread Summarise(const std::vector<double>& values) {
  return {Quantile(values, 0.5), Quantile(values, 0.25), Quantile(values, 0.75), values.size()};
}

Interval MedianRatio(const std::vector<double>& a, const std::vector<double>& b, double confidence,
                     int resamples, uint32_t seed) {
  return PairedBootstrap(a, b, confidence, resamples, seed,
                         [](double x, double y) { return x / y; });
}

Interval MedianDifference(const std::vector<double>& a, const std::vector<double>& b,
                          double confidence, int resamples, uint32_t seed) {
  return PairedBootstrap(a, b, confidence, resamples, seed,
                         [](double x, double y) { return x - y; });
}

}  // namespace fxaa_bench
