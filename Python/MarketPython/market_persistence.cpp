// The market ids declare their persisted fields; their whole-object file functions, which Python
// offers as static functions, are instantiated here.
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Serialization/serialization_impl.h"

namespace qavrek::serialization {

template class persistable<currency>;
template class persistable<discount_definition>;
template class persistable<discount_id>;
template class persistable<default_id>;

}  // namespace qavrek::serialization
