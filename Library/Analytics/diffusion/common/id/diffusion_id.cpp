#include "Analytics/diffusion/common/id/diffusion_id.h"

namespace qavrek {

diffusion_id::~diffusion_id() = default;

}  // namespace qavrek
