#include "Market/config_data_id.h"

namespace qavrek {

config_data_id::~config_data_id() = default;

}  // namespace qavrek
