#pragma once

#include "Market/data_id.h"

namespace qavrek {

// Id of a market object (a curve, a spot, a surface): the key under which it is stored and found.
class market_data_id : public data_id {
 public:
  ~market_data_id() override;

 protected:
  market_data_id() = default;
  market_data_id(const market_data_id&) = default;
  market_data_id& operator=(const market_data_id&) = default;
};

}  // namespace qavrek
