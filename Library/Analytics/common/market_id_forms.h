#pragma once

#include "Core/multi_process_stream.h"
#include "Core/pointers.h"
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Serialization/serialization.h"
#include "Util/key.h"

namespace qavrek {

// The persistent forms of the Market ids that analytics objects hold, so that every holder writes
// and reads them alike. Each id is an envelope ("Class", then its fields):
//   discount_id          "id": its discount_definition, "ccy": its currency
//   discount_definition  "id": the key's text
//   currency             "ccy": the key's text
//   default_id           "name", "ccy" (a currency), "seniority", "restructuring", "isda"
// A null pointer is the null envelope. Loading always gives a new object, also from a null envelope
// (then default-built, unchecked). A key is its text, in JSON a string.
void discount_id_to_json(ordered_json& j, const ptr_const<discount_id>& id);
void discount_id_to_binary(multi_process_stream& s, const ptr_const<discount_id>& id);
void discount_id_from_json(const ordered_json& j, ptr_const<discount_id>& out);
void discount_id_from_binary(multi_process_stream& s, ptr_const<discount_id>& out);

void discount_definition_to_json(ordered_json& j, const ptr_const<discount_definition>& definition);
void discount_definition_to_binary(multi_process_stream& s, const ptr_const<discount_definition>& definition);
void discount_definition_from_json(const ordered_json& j, ptr_const<discount_definition>& out);
void discount_definition_from_binary(multi_process_stream& s, ptr_const<discount_definition>& out);

void currency_to_json(ordered_json& j, const ptr_const<currency>& ccy);
void currency_to_binary(multi_process_stream& s, const ptr_const<currency>& ccy);
void currency_from_json(const ordered_json& j, ptr_const<currency>& out);
void currency_from_binary(multi_process_stream& s, ptr_const<currency>& out);

void default_id_to_json(ordered_json& j, const ptr_const<default_id>& id);
void default_id_to_binary(multi_process_stream& s, const ptr_const<default_id>& id);
void default_id_from_json(const ordered_json& j, ptr_const<default_id>& out);
void default_id_from_binary(multi_process_stream& s, ptr_const<default_id>& out);

void key_to_json(ordered_json& j, const key& k);
void key_to_binary(multi_process_stream& s, const key& k);
void key_from_json(const ordered_json& j, key& out);
void key_from_binary(multi_process_stream& s, key& out);

}  // namespace qavrek
