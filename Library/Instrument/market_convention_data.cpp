#include "Instrument/market_convention_data.h"

#include <algorithm>
#include <utility>

#include "Core/check.h"

namespace qavrek {

market_convention_data::market_convention_data(std::string code, std::int32_t business_day_rule,
                                               std::int32_t float_frequency, std::int32_t two_day_spot,
                                               std::int32_t fixed_day_count, std::int32_t float_day_count,
                                               std::int32_t fixed_frequency, std::int32_t bond_day_count,
                                               std::int32_t bond_frequency, std::int32_t schedule_rules)
    : code_(std::move(code)),
      business_day_rule_(business_day_rule),
      float_frequency_(float_frequency),
      two_day_spot_(two_day_spot),
      fixed_day_count_(fixed_day_count),
      float_day_count_(float_day_count),
      fixed_frequency_(fixed_frequency),
      bond_day_count_(bond_day_count),
      bond_frequency_(bond_frequency),
      schedule_rules_(schedule_rules) {}

const std::vector<market_convention_data>& market_convention_data::table() {
  // code, business_day_rule, float_frequency, two_day_spot, fixed_day_count, float_day_count,
  // fixed_frequency, bond_day_count, bond_frequency, schedule_rules
  static const std::vector<market_convention_data> conventions{
      {"ATS", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"AUD", 3, 3, 0, 1, 0, 1, 0, 3, 0},
      {"BEF", 3, 1, 0, 2, 1, 0, 0, 0, 3},
      {"CAD", 3, 1, 1, 0, 1, 0, 0, 1, 3},
      {"CHF", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"CZK", 3, 1, 1, 2, 1, 0, 1, 1, 3},
      {"DEM", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"DKK", 3, 1, 1, 0, 1, 0, 3, 1, 3},
      {"ESP", 3, 1, 1, 2, 1, 0, 3, 1, 3},
      {"EUR", 3, 1, 1, 2, 1, 0, 3, 0, 7},
      {"FIM", 3, 1, 1, 2, 1, 1, 3, 1, 3},
      {"FRF", 3, 3, 1, 1, 1, 0, 3, 0, 7},
      {"GBP", 3, 1, 0, 0, 0, 1, 0, 1, 0},
      {"GRD", 3, 1, 0, 2, 1, 1, 0, 1, 3},
      {"HKD", 3, 3, 0, 0, 0, 3, 0, 3, 0},
      {"HUF", 3, 3, 1, 2, 1, 3, 1, 1, 3},
      {"IEP", 3, 1, 1, 2, 1, 1, 3, 1, 3},
      {"ITL", 3, 1, 1, 2, 1, 0, 3, 1, 3},
      {"JPY", 3, 1, 1, 2, 1, 1, 0, 1, 3},
      {"NLG", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"NOK", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"NZD", 3, 1, 1, 2, 1, 1, 3, 1, 3},
      {"PHP", 3, 1, 0, 1, 1, 1, 0, 1, 3},
      {"PLN", 3, 1, 0, 2, 1, 0, 0, 1, 3},
      {"PTE", 3, 1, 0, 2, 1, 0, 3, 1, 3},
      {"SEK", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"SGD", 3, 1, 0, 2, 0, 1, 1, 1, 1},
      {"USD", 3, 3, 1, 2, 1, 1, 3, 1, 3},
      {"XEU", 3, 1, 1, 2, 1, 0, 3, 0, 3},
      {"ZAR", 3, 3, 0, 0, 1, 3, 0, 1, 3},
  };
  return conventions;
}

const market_convention_data& market_convention_data::of(std::string_view code) {
  const std::vector<market_convention_data>& conventions = table();
  const auto found = std::lower_bound(conventions.begin(), conventions.end(), code,
                                      [](const market_convention_data& row, std::string_view c) { return row.code() < c; });
  QAVREK_CHECK(found != conventions.end() && found->code() == code, "no market conventions for currency \"", code,
               "\"");
  return *found;
}

}  // namespace qavrek
