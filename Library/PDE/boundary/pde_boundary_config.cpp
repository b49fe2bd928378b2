#include "PDE/boundary/pde_boundary_config.h"

#include <compare>

#include "Core/check.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/PDE/boundary/pde_boundary_config";
constexpr const char* not_floating = "boundary value exist onley for flaoting";

}  // namespace

pde_boundary_config::pde_boundary_config(boundary_conditions_type up_type, bool up_floating, double up_value,
                                         boundary_conditions_type down_type, bool down_floating, double down_value)
    : up_type_(up_type),
      up_floating_(up_floating),
      up_value_(up_value),
      down_type_(down_type),
      down_floating_(down_floating),
      down_value_(down_value) {}

double pde_boundary_config::up_boundary() const {
  if (!up_floating_) details::check_fail("up_boundary", source_file, 50, not_floating);
  return up_value_;
}

double pde_boundary_config::down_boundary() const {
  if (!down_floating_) details::check_fail("down_boundary", source_file, 69, not_floating);
  return down_value_;
}

bool pde_boundary_config::operator<(const pde_boundary_config& other) const noexcept {
  if (auto c = static_cast<std::int32_t>(up_type_) <=> static_cast<std::int32_t>(other.up_type_); c != 0) return c < 0;
  if (auto c = up_floating_ <=> other.up_floating_; c != 0) return c < 0;
  if (auto c = std::weak_order(up_value_, other.up_value_); c != 0) return c < 0;
  if (auto c = static_cast<std::int32_t>(down_type_) <=> static_cast<std::int32_t>(other.down_type_); c != 0) {
    return c < 0;
  }
  if (auto c = down_floating_ <=> other.down_floating_; c != 0) return c < 0;
  return std::weak_order(down_value_, other.down_value_) < 0;
}

}  // namespace qavrek
