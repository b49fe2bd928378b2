#include "Util/tenor.h"

#include <charconv>
#include <system_error>

#include "Core/check.h"

namespace qavrek {
namespace {

constexpr char unit_letters[] = {'D', 'W', 'M', 'Y'};

static_assert(sizeof(tenor) == 8, "persisted parameter sets hold a tenor as an 8-byte value");

}  // namespace

tenor::tenor(std::int32_t count, unit units) : count_(count), units_(units) {
  QAVREK_CHECK(count >= 0, "a tenor cannot count ", count, " periods");
  const auto index = static_cast<std::int32_t>(units);
  QAVREK_CHECK(index >= 0 && index <= 3, "unknown tenor unit ", index);
}

tenor::tenor(std::string_view text) : tenor(parse(text)) {}

tenor& tenor::operator=(std::string_view text) {
  *this = parse(text);
  return *this;
}

std::string tenor::to_string() const {
  return std::to_string(count_) + unit_letters[static_cast<std::int32_t>(units_)];
}

tenor tenor::parse(std::string_view text) {
  // from_chars alone would accept a sign, so the digits are checked first.
  const bool shaped = text.size() >= 2 && text.front() >= '0' && text.front() <= '9';
  QAVREK_CHECK(shaped, "tenor text \"", text, "\" is not of the form <n><D|W|M|Y>");
  const std::string_view digits = text.substr(0, text.size() - 1);
  std::int32_t count = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  QAVREK_CHECK(error == std::errc() && end == digits.data() + digits.size(), "tenor text \"", text,
               "\" does not start with a whole number of periods that fits 32 bits");
  switch (text.back()) {
    case 'D':
      return tenor(count, unit::DAYS);
    case 'W':
      return tenor(count, unit::WEEKS);
    case 'M':
      return tenor(count, unit::MONTHS);
    case 'Y':
      return tenor(count, unit::YEARS);
    default:
      QAVREK_FAIL("tenor text \"", text, "\" does not end with one of the units D, W, M, Y");
  }
}

}  // namespace qavrek
