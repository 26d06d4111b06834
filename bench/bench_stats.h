// Summaries of frame times: medians with their interquartile range, and bootstrap intervals for
// comparing two paths whose frames were rendered in alternation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fxaa_bench {

// The q-quantile (0..1) of `values`, interpolating linearly between order statistics; NaN when
// there are none.
double Quantile(std::vector<double> values, double q);
double Median(const std::vector<double>& values);

struct Spread {
  double median, q1, q3;  // NaN for no values
  std::size_t count;
};
Spread Summarise(const std::vector<double>& values);

// An estimate and its interval (NaN bounds when there is nothing to resample).
struct Interval {
  double estimate, low, high;
};

// median(a) / median(b), with a percentile bootstrap interval at `confidence` (e.g. 0.95).
// a[i] and b[i] were measured side by side, so they are resampled as pairs: load that slowed
// both alike cancels out of the ratio. Needs a.size() == b.size(); deterministic for a seed.
Interval MedianRatio(const std::vector<double>& a, const std::vector<double>& b,
                     double confidence = 0.95, int resamples = 4000, uint32_t seed = 1);

// median(a) - median(b), resampled the same way.
Interval MedianDifference(const std::vector<double>& a, const std::vector<double>& b,
                          double confidence = 0.95, int resamples = 4000, uint32_t seed = 1);

}  // namespace fxaa_bench
