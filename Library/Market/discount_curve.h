#pragma once

#include <vector>

#include "Core/pointers.h"
#include "Market/discount_id.h"
#include "Market/log_linear_interpolation.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Zero-coupon prices of one currency's discounting, P(from, to) = P(to) / P(from) with P(t) the
// discount factor from the curve's valuation date (P = 1 there). Times are year fractions from the
// valuation date under the curve's day count (ACT/365F unless given).
//
// The deterministic curve is either a flat continuously-compounded rate, P(t) = exp(-r t), or discount
// factors at dates, interpolated linearly in ln P over time, continued after the last date with the
// last segment's forward rate and before the valuation date with the first segment's.
//
// Simulated views derive from this class and answer the queries path by path; the order of the virtual
// queries is part of that contract. The vectorised queries of the deterministic curve write the same
// value on every path (every entry of the output).
class discount_curve : public market_data {
 public:
  // A flat continuously-compounded rate (finite).
  discount_curve(const datetime& valuation_date, double rate, ptr_const<discount_id> id = nullptr,
                 ptr_const<day_count_convention> convention = nullptr);
  // Discount factors at dates strictly after the valuation date, in increasing order (and increasing
  // in time under the day count), positive and finite.
  discount_curve(const datetime& valuation_date, const std::vector<datetime>& dates, const std::vector<double>& dfs,
                 ptr_const<discount_id> id = nullptr, ptr_const<day_count_convention> convention = nullptr);
  ~discount_curve() override;

  // A deterministic curve is the same at every simulation date and every query names its dates, so
  // finalizing it keeps its valuation date; views override this to follow the simulation.
  void finalize(const datetime& date) const override;

  // P(from, to); dates that are not set are an error.
  virtual double df(const datetime& from, const datetime& to) const;
  // ln P(from, to) on every path of `output`.
  virtual void log_df(vector<double>& output, const datetime& from, const datetime& to) const;
  // ln P(from, to).
  virtual double log_df(const datetime& from, const datetime& to) const;
  // The discount factor from the valuation date (for a view: from the first simulation date) to `date`
  // on every path of `output`.
  virtual void discounting(vector<double>& output, const datetime& date) const;
  // Per path, minus the log of the simulated discounting over the curve's own: a view's row of states.
  // A deterministic curve has no paths and returns an empty vector (the value is 0 on every path).
  virtual vector<double> log_normalized_discounting() const;

  // Empty for a curve built without an id and for views.
  const ptr_const<qavrek::discount_id>& id() const noexcept { return id_; }
  const ptr_const<day_count_convention>& convention() const noexcept { return convention_; }
  // The dates of the given discount factors; empty for a flat rate.
  const std::vector<datetime>& dates() const noexcept { return dates_; }

 protected:
  // For simulated views, which answer every query themselves; the deterministic queries then fail.
  discount_curve();
  discount_curve(const discount_curve&) = default;
  discount_curve& operator=(const discount_curve&) = default;

 private:
  // ln P(t) from the valuation date.
  double log_df_at(const datetime& t) const;

  ptr_const<qavrek::discount_id> id_;
  ptr_const<day_count_convention> convention_;
  std::vector<datetime> dates_;
  log_linear_interpolation log_dfs_;
};

}  // namespace qavrek
