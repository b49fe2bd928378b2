#pragma once

#include <cstddef>
#include <vector>

namespace qavrek {

// The logarithm of a curve that equals 1 at time 0 (discount factors, survival probabilities),
// known at node times t_1 < ... < t_n after 0: linear in t between 0 and the nodes, continued with
// the slope of the last segment after t_n (a flat forward rate or hazard rate) and with the slope of
// the first segment before 0. One node at any time with ln f = -r t gives the flat curve exp(-r t).
class log_linear_interpolation {
 public:
  log_linear_interpolation() = default;
  // The times must be finite, strictly increasing and after 0, the logarithms finite and as many.
  log_linear_interpolation(const std::vector<double>& times, const std::vector<double>& logs);

  // ln f(t); a node time gives its logarithm exactly.
  double operator()(double t) const;

  bool empty() const noexcept { return times_.empty(); }

 private:
  // times_[0] = 0 and logs_[0] = 0 ahead of the nodes; slopes_[k] belongs to [times_[k], times_[k + 1]].
  std::vector<double> times_;
  std::vector<double> logs_;
  std::vector<double> slopes_;
};

}  // namespace qavrek
