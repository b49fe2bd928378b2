#include "Random/well_44497a.h"

namespace qavrek {

template class well_generator<well_44497a_recurrence>;

}  // namespace qavrek
