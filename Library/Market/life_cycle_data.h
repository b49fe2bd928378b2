#pragma once

namespace qavrek {

// Base of the life-cycle state of an instrument, which its valuation updates at event dates (for instance the exercise boundary of a Bermudan option).
class life_cycle_data {
 public:
  virtual ~life_cycle_data();

 protected:
  life_cycle_data() = default;
  life_cycle_data(const life_cycle_data&) = default;
  life_cycle_data& operator=(const life_cycle_data&) = default;
};

}  // namespace qavrek
