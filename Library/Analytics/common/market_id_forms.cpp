#include "Analytics/common/market_id_forms.h"

#include "Serialization/serialization_impl.h"

namespace qavrek {

using serialization::load;
using serialization::load_shared_object;
using serialization::save;

void discount_id_to_json(ordered_json& j, const ptr_const<discount_id>& id) { save(j, id); }
void discount_id_to_binary(multi_process_stream& s, const ptr_const<discount_id>& id) { save(s, id); }
void discount_id_from_json(const ordered_json& j, ptr_const<discount_id>& out) { load_shared_object(j, out); }
void discount_id_from_binary(multi_process_stream& s, ptr_const<discount_id>& out) { load_shared_object(s, out); }

void discount_definition_to_json(ordered_json& j, const ptr_const<discount_definition>& definition) {
  save(j, definition);
}
void discount_definition_to_binary(multi_process_stream& s, const ptr_const<discount_definition>& definition) {
  save(s, definition);
}
void discount_definition_from_json(const ordered_json& j, ptr_const<discount_definition>& out) {
  load_shared_object(j, out);
}
void discount_definition_from_binary(multi_process_stream& s, ptr_const<discount_definition>& out) {
  load_shared_object(s, out);
}

void currency_to_json(ordered_json& j, const ptr_const<currency>& ccy) { save(j, ccy); }
void currency_to_binary(multi_process_stream& s, const ptr_const<currency>& ccy) { save(s, ccy); }
void currency_from_json(const ordered_json& j, ptr_const<currency>& out) { load_shared_object(j, out); }
void currency_from_binary(multi_process_stream& s, ptr_const<currency>& out) { load_shared_object(s, out); }

void default_id_to_json(ordered_json& j, const ptr_const<default_id>& id) { save(j, id); }
void default_id_to_binary(multi_process_stream& s, const ptr_const<default_id>& id) { save(s, id); }
void default_id_from_json(const ordered_json& j, ptr_const<default_id>& out) { load_shared_object(j, out); }
void default_id_from_binary(multi_process_stream& s, ptr_const<default_id>& out) { load_shared_object(s, out); }

void key_to_json(ordered_json& j, const key& k) { save(j, k); }
void key_to_binary(multi_process_stream& s, const key& k) { save(s, k); }
void key_from_json(const ordered_json& j, key& out) { load(j, out); }
void key_from_binary(multi_process_stream& s, key& out) { load(s, out); }

}  // namespace qavrek
