#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Market/life_cycle_data.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Vectorization/tensor.h"

namespace qavrek {

// Base of instruments that simulations and PDE valuations value path by path. The order of the virtual
// operations is part of the contract with the engines that call them.
class instrument {
 public:
  virtual ~instrument();

  // Writes the instrument's values at `date` into `output`, reading the market data (simulated views
  // or deterministic data) that the instrument needs; each instrument documents the layout.
  virtual void value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                     tensor<double>& output) const = 0;
  // Applies the instrument's early-exercise events at `date` to the values in `output`, updating its
  // life-cycle state when it has one (`life` may be null). Instruments without such events leave the
  // values as they are.
  virtual void value_american_events(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                                     life_cycle_data* life, tensor<double>& output) const;
  // Adds the instrument's event dates to `dates`, keeping them ascending and without repeats.
  virtual void update_event_dates(std::vector<datetime>& dates) const;
  // How many values `value` writes per path.
  virtual size_t size() const = 0;
  // A fresh life-cycle state for a valuation; null for instruments that keep none.
  virtual ptr_mutable<life_cycle_data> make_life_cycle_data() const;

 protected:
  instrument() = default;
  instrument(const instrument&) = default;
  instrument& operator=(const instrument&) = default;
};

}  // namespace qavrek
