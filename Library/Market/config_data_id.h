#pragma once

#include "Market/data_id.h"

namespace qavrek {

// Id of a configuration object (a measure, settings): the key under which it is stored and found.
class config_data_id : public data_id {
 public:
  ~config_data_id() override;

 protected:
  config_data_id() = default;
  config_data_id(const config_data_id&) = default;
  config_data_id& operator=(const config_data_id&) = default;
};

}  // namespace qavrek
