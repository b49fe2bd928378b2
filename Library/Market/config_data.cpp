#include "Market/config_data.h"

namespace qavrek {

config_data::~config_data() = default;

}  // namespace qavrek
