#pragma once

#include <vector>

#include "Core/pointers.h"
#include "Market/default_id.h"
#include "Market/log_linear_interpolation.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Survival probabilities of one credit, Q(from, to) = Q(to) / Q(from) with Q(t) the probability of
// surviving from the curve's valuation date to t (Q = 1 there). Times are year fractions from the
// valuation date under the curve's day count (ACT/365F unless given).
//
// The deterministic curve is either a flat hazard rate, Q(t) = exp(-h t), or probabilities at dates,
// interpolated linearly in ln Q over time, continued after the last date with the last segment's hazard
// rate and before the valuation date with the first segment's.
//
// Simulated views derive from this class and answer the queries path by path; the order of the virtual
// queries is part of that contract. The vectorised queries of the deterministic curve write the same
// value on every path (every entry of the output).
class survival_curve : public market_data {
 public:
  // A flat hazard rate, finite and not negative.
  survival_curve(const datetime& valuation_date, double hazard_rate, ptr_const<default_id> id = nullptr,
                 ptr_const<day_count_convention> convention = nullptr);
  // Survival probabilities at dates strictly after the valuation date, in increasing order (and
  // increasing in time under the day count), in (0, 1] and not increasing.
  survival_curve(const datetime& valuation_date, const std::vector<datetime>& dates,
                 const std::vector<double>& probabilities, ptr_const<default_id> id = nullptr,
                 ptr_const<day_count_convention> convention = nullptr);
  ~survival_curve() override;

  // A deterministic curve is the same at every simulation date and every query names its dates, so
  // finalizing it keeps its valuation date; views override this to follow the simulation.
  void finalize(const datetime& date) const override;

  // ln Q(from, to) on every path of `output`.
  virtual void log_survival_probability(vector<double>& output, const datetime& from, const datetime& to) const;
  // ln Q(from, to); dates that are not set are an error.
  virtual double log_survival_probability(const datetime& from, const datetime& to) const;
  // The survival probability from the valuation date (for a view: from the first simulation date) to
  // `date` on every path of `output`.
  virtual void survival_probability(vector<double>& output, const datetime& date) const;
  // Q(from, to).
  virtual double survival_probability(const datetime& from, const datetime& to) const;

  // Empty for a curve built without an id and for views.
  const ptr_const<qavrek::default_id>& id() const noexcept { return id_; }
  const ptr_const<day_count_convention>& convention() const noexcept { return convention_; }
  // The dates of the given probabilities; empty for a flat hazard rate.
  const std::vector<datetime>& dates() const noexcept { return dates_; }

 protected:
  // For simulated views, which answer every query themselves; the deterministic queries then fail.
  survival_curve();
  survival_curve(const survival_curve&) = default;
  survival_curve& operator=(const survival_curve&) = default;

 private:
  // ln Q(t) from the valuation date.
  double log_probability_at(const datetime& t) const;

  ptr_const<qavrek::default_id> id_;
  ptr_const<day_count_convention> convention_;
  std::vector<datetime> dates_;
  log_linear_interpolation log_probabilities_;
};

}  // namespace qavrek
