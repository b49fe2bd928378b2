#pragma once

#include <cstdint>

namespace qavrek {

// How the two ends of one space dimension are treated: the kind of condition, and whether the domain stops at a
// floating level (in the model's own variable) instead of at the grid end. The up side comes first.
class pde_boundary_config {
 public:
  // Stored as numbers; other values are allowed and mean "no special rows".
  enum class boundary_conditions_type : std::int32_t {
    DIRICHLET = 0,     // the value is held at the end of the domain
    NO_DIFFUSION = 1,  // only convection and reaction act at the end (the default)
  };

  // Both sides of type NO_DIFFUSION, not floating, at level 0.
  pde_boundary_config() = default;
  pde_boundary_config(boundary_conditions_type up_type, bool up_floating, double up_value,
                      boundary_conditions_type down_type, bool down_floating, double down_value);

  // The floating levels; asking for the level of a side that does not float is an error.
  double up_boundary() const;
  double down_boundary() const;

  boundary_conditions_type up_type() const noexcept { return up_type_; }
  bool is_up_floating() const noexcept { return up_floating_; }
  boundary_conditions_type down_type() const noexcept { return down_type_; }
  bool is_down_floating() const noexcept { return down_floating_; }

  // Lexicographic over (up type, up floating, up value, down type, down floating, down value), levels in the
  // weak order of doubles (-0 equals +0, NaN after +infinity), so that any configurations can key a map.
  bool operator<(const pde_boundary_config& other) const noexcept;

 private:
  boundary_conditions_type up_type_ = boundary_conditions_type::NO_DIFFUSION;
  bool up_floating_ = false;
  double up_value_ = 0.0;
  boundary_conditions_type down_type_ = boundary_conditions_type::NO_DIFFUSION;
  bool down_floating_ = false;
  double down_value_ = 0.0;
};

}  // namespace qavrek
