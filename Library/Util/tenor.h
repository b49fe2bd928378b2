#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qavrek {

// A period such as a swap frequency or an option expiry, written "<n><D|W|M|Y>" ("3M", "10Y").
// Its text is its persisted form: to_string() and construction (or assignment) from text round trip.
// The default tenor is "0D". Tenors compare by their text, so "12M" and "1Y" are different tenors.
class tenor {
 public:
  enum class unit : std::int32_t { DAYS = 0, WEEKS = 1, MONTHS = 2, YEARS = 3 };

  tenor() noexcept = default;
  // A negative count is an error.
  tenor(std::int32_t count, unit units);
  // Text that is not "<digits><D|W|M|Y>" is an error.
  explicit tenor(std::string_view text);
  tenor& operator=(std::string_view text);

  std::int32_t count() const noexcept { return count_; }
  unit units() const noexcept { return units_; }

  std::string to_string() const;

  friend bool operator==(const tenor&, const tenor&) noexcept = default;

 private:
  static tenor parse(std::string_view text);

  // Eight bytes, as the persisted parameter sets expect of a tenor.
  std::int32_t count_ = 0;
  unit units_ = unit::DAYS;
};

}  // namespace qavrek
