#include "Market/data_id.h"

#include <typeinfo>

namespace qavrek {

data_id::~data_id() = default;

bool operator==(const data_id& lhs, const data_id& rhs) {
  if (&lhs == &rhs) return true;
  return typeid(lhs) == typeid(rhs) && lhs.equals(rhs);
}

}  // namespace qavrek
