#pragma once

#include "Util/datetime.h"

namespace qavrek {

// Base of market objects (curves, spots, surfaces, simulated views of them). An object answers
// as of its valuation date; a simulated view is moved from date to date by `finalize`.
class market_data {
 public:
  virtual ~market_data();

  // Makes the object answer as of `date`. Market objects are shared as ptr_const, and their
  // owner (the simulation) still advances them in place, so the date is the object's cursor
  // rather than part of its value. Overrides that derive state from the new date call this.
  // "No date" is refused.
  virtual void finalize(const datetime& date) const;

  const datetime& valuation_date() const noexcept { return valuation_date_; }

 protected:
  // No date yet: for views dated by their first finalize and for loaders.
  market_data() = default;
  explicit market_data(const datetime& valuation_date) : valuation_date_(valuation_date) {}
  market_data(const market_data&) = default;
  market_data& operator=(const market_data&) = default;

  void set_valuation_date(const datetime& date) noexcept { valuation_date_ = date; }

  // The refusal of "no date", for overrides to call before they change anything.
  static void check_finalize_date(const datetime& date);

 private:
  mutable datetime valuation_date_;
};

}  // namespace qavrek
