#include "Instrument/instrument.h"

namespace qavrek {

instrument::~instrument() = default;

void instrument::value_american_events(const datetime&, const std::vector<ptr_const<market_data>>&, life_cycle_data*,
                                       tensor<double>&) const {}

void instrument::update_event_dates(std::vector<datetime>&) const {}

ptr_mutable<life_cycle_data> instrument::make_life_cycle_data() const { return nullptr; }

}  // namespace qavrek
