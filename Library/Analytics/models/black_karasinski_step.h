#pragma once

#include <cstddef>

namespace qavrek {

// What one Black-Karasinski step does to every path: the volatility sigma of the factor's move and its drift
// (sigma times the change of measure's shift), the level of the step's start, the factor's decays a0 and a1 at
// the step's ends and half the step's year fraction.
struct black_karasinski_step_coefficients {
  double volatility = 0.0;
  double drift = 0.0;
  double level = 0.0;
  double start_decay = 0.0;
  double end_decay = 0.0;
  double half_step = 0.0;
};

// Steps the states of `paths` paths: row 0 of `states` holds the factor and row 1 the integral of the rate,
// rows of `paths` values one after the other; `draws` holds one row and the two rows of `previous` receive the
// states on entry. Per path, with the draw z and e(y) the exponential of y held within [-708, 709]:
//   x1 = x0 + (sigma z - drift),   I <- I + half_step (e(level + a0 x0) + e(level + a1 x1)),
// the rates saturating so that the integral stays a number however far the factor goes. On the widest vector
// instructions of the machine, chosen at run time; every instruction set gives the same bits, those of the
// per-path formulas evaluated in that order.
void black_karasinski_step(const black_karasinski_step_coefficients& step, const double* draws, double* previous,
                           double* states, size_t paths) noexcept;

}  // namespace qavrek
