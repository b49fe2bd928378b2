// The placing of a rank on many paths runs on the widest vector instructions of the machine, chosen at run
// time; this file is compiled once per instruction set, without contraction, so that every set rounds as
// `increments` does.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Random/brownian_bridge.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// lw left + rw right + deviation normals, left or right null for W(0) = 0.
void place_on_paths(double lw, double rw, double deviation, const double* left, const double* right,
                    const double* normals, double* values, size_t n) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  const auto zero = hn::Zero(d);
  const auto lane = [&](const double* source, size_t p) { return source != nullptr ? hn::LoadU(d, source + p) : zero; };
  size_t p = 0;
  for (; p + N <= n; p += N) {
    const auto sum = hn::Add(hn::Mul(hn::Set(d, lw), lane(left, p)), hn::Mul(hn::Set(d, rw), lane(right, p)));
    hn::StoreU(hn::Add(sum, hn::Mul(hn::Set(d, deviation), hn::LoadU(d, normals + p))), d, values + p);
  }
  for (; p < n; ++p) {
    const double at_left = left != nullptr ? left[p] : 0.0;
    const double at_right = right != nullptr ? right[p] : 0.0;
    values[p] = lw * at_left + rw * at_right + deviation * normals[p];
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "Random/brownian_bridge.h"

#include <cmath>
#include <deque>
#include <utility>

namespace qavrek {

HWY_EXPORT(place_on_paths);

brownian_bridge::brownian_bridge(size_t steps) : path_(steps + 1, 0.0) {
  if (steps == 0) return;
  date_.reserve(steps);
  auto place = [&](size_t date, size_t left, size_t right) {
    const double l = static_cast<double>(left), r = static_cast<double>(right), m = static_cast<double>(date);
    date_.push_back(date);
    left_.push_back(left);
    right_.push_back(right);
    left_weight_.push_back((r - m) / (r - l));
    right_weight_.push_back((m - l) / (r - l));
    deviation_.push_back(std::sqrt((m - l) * (r - m) / (r - l)));
  };
  // The terminal value, conditioned on W(0) = 0 alone.
  date_.push_back(steps);
  left_.push_back(0);
  right_.push_back(0);
  left_weight_.push_back(0.0);
  right_weight_.push_back(0.0);
  deviation_.push_back(std::sqrt(static_cast<double>(steps)));
  // Breadth-first over the intervals, so that ranks follow the levels.
  std::deque<std::pair<size_t, size_t>> intervals{{0, steps}};
  while (!intervals.empty()) {
    const auto [left, right] = intervals.front();
    intervals.pop_front();
    if (right - left < 2) continue;
    const size_t middle = left + (right - left) / 2;
    place(middle, left, right);
    intervals.emplace_back(left, middle);
    intervals.emplace_back(middle, right);
  }
}

void brownian_bridge::increments(const double* normals, size_t normal_stride, double* increments,
                                 size_t increment_stride) {
  const size_t n = steps();
  for (size_t j = 0; j < n; ++j)
    path_[date_[j]] = left_weight_[j] * path_[left_[j]] + right_weight_[j] * path_[right_[j]] +
                      deviation_[j] * normals[j * normal_stride];
  for (size_t t = 1; t <= n; ++t) increments[(t - 1) * increment_stride] = path_[t] - path_[t - 1];
}

void brownian_bridge::place(size_t rank, const double* left, const double* right, const double* normals,
                            double* values, size_t n) const {
  HWY_DYNAMIC_DISPATCH(place_on_paths)(left_weight_[rank], right_weight_[rank], deviation_[rank], left, right, normals,
                                       values, n);
}

}  // namespace qavrek
#endif  // HWY_ONCE
