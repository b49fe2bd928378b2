#pragma once

#include "Market/data_id.h"

namespace qavrek {

// Id of the life-cycle state of an instrument (what a valuation remembers between event dates).
class life_cycle_data_id : public data_id {
 public:
  ~life_cycle_data_id() override;

 protected:
  life_cycle_data_id() = default;
  life_cycle_data_id(const life_cycle_data_id&) = default;
  life_cycle_data_id& operator=(const life_cycle_data_id&) = default;
};

}  // namespace qavrek
