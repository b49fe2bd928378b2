#include "Random/well_19937a.h"

namespace qavrek {

template class well_generator<well_19937a_recurrence>;

}  // namespace qavrek
