#pragma once

#include <cstddef>
#include <vector>

#include "Util/datetime.h"

namespace qavrek {

// The periods of one swap leg over a schedule d_0 < d_1 < ... < d_n: period i accrues from d_i to
// d_{i+1} and pays at d_{i+1}. The schedule is the swap's `all_dates`, so the indices of a period's
// dates are positions in it. Each period carries a factor `dcf` that the leg's kind defines.
class leg {
 public:
  size_t size() const noexcept { return dcfs_.size(); }

  // The factor of period i (an index past the last period is an error).
  double dcf(size_t period) const;
  const std::vector<double>& dcfs() const noexcept { return dcfs_; }

  const std::vector<datetime>& start_dates() const noexcept { return start_dates_; }
  const std::vector<datetime>& end_dates() const noexcept { return end_dates_; }
  const std::vector<datetime>& payment_dates() const noexcept { return payment_dates_; }
  const std::vector<size_t>& start_index() const noexcept { return start_index_; }
  const std::vector<size_t>& end_index() const noexcept { return end_index_; }
  const std::vector<size_t>& pay_index() const noexcept { return pay_index_; }

 protected:
  // At least two strictly increasing dates, one factor per period.
  leg(const std::vector<datetime>& schedule, std::vector<double> dcfs);

 private:
  std::vector<double> dcfs_;
  std::vector<datetime> start_dates_;
  std::vector<datetime> end_dates_;
  std::vector<datetime> payment_dates_;
  std::vector<size_t> start_index_;
  std::vector<size_t> end_index_;
  std::vector<size_t> pay_index_;
};

}  // namespace qavrek
