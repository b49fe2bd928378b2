#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qavrek {

// The swap and bond market conventions of one currency, as codes:
//   business_day_rule   how payment dates roll: 0 unadjusted, 1 following, 2 preceding, 3 modified following
//   float_frequency     floating-leg payments per year minus one (0 annual, 1 semi-annual, 3 quarterly)
//   two_day_spot        1 when trades start two business days after the trade date, 0 on the trade date
//   fixed_day_count     fixed-leg day count, a day_count_convention_type
//   float_day_count     floating-leg day count, a day_count_convention_type
//   fixed_frequency     fixed-leg payments per year minus one
//   bond_day_count      day count of the government bonds, a day_count_convention_type
//   bond_frequency      coupons of the government bonds per year minus one
//   schedule_rules      bits: 1 month ends roll on month ends, 2 accrual dates are adjusted like the
//                       payments, 4 fixings follow the TARGET calendar
// The default value has an empty code and every field 0.
class market_convention_data {
 public:
  market_convention_data() = default;
  market_convention_data(std::string code, std::int32_t business_day_rule, std::int32_t float_frequency,
                         std::int32_t two_day_spot, std::int32_t fixed_day_count, std::int32_t float_day_count,
                         std::int32_t fixed_frequency, std::int32_t bond_day_count, std::int32_t bond_frequency,
                         std::int32_t schedule_rules);

  const std::string& code() const noexcept { return code_; }
  std::int32_t business_day_rule() const noexcept { return business_day_rule_; }
  std::int32_t float_frequency() const noexcept { return float_frequency_; }
  std::int32_t two_day_spot() const noexcept { return two_day_spot_; }
  std::int32_t fixed_day_count() const noexcept { return fixed_day_count_; }
  std::int32_t float_day_count() const noexcept { return float_day_count_; }
  std::int32_t fixed_frequency() const noexcept { return fixed_frequency_; }
  std::int32_t bond_day_count() const noexcept { return bond_day_count_; }
  std::int32_t bond_frequency() const noexcept { return bond_frequency_; }
  std::int32_t schedule_rules() const noexcept { return schedule_rules_; }

  friend bool operator==(const market_convention_data&, const market_convention_data&) = default;

  // The conventions of the 30 currencies the library knows, ordered by code.
  static const std::vector<market_convention_data>& table();
  // The conventions of a currency code of the table; another code is an error.
  static const market_convention_data& of(std::string_view code);

 private:
  std::string code_;
  std::int32_t business_day_rule_ = 0;
  std::int32_t float_frequency_ = 0;
  std::int32_t two_day_spot_ = 0;
  std::int32_t fixed_day_count_ = 0;
  std::int32_t float_day_count_ = 0;
  std::int32_t fixed_frequency_ = 0;
  std::int32_t bond_day_count_ = 0;
  std::int32_t bond_frequency_ = 0;
  std::int32_t schedule_rules_ = 0;
};

}  // namespace qavrek
