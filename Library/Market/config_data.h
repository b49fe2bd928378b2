#pragma once

namespace qavrek {

// Base of configuration objects (measures, settings, targets): what a container stores under a config_data_id.
class config_data {
 public:
  virtual ~config_data();

 protected:
  config_data() = default;
  config_data(const config_data&) = default;
  config_data& operator=(const config_data&) = default;
};

}  // namespace qavrek
