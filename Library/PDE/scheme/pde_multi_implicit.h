#pragma once

#include <memory>
#include <vector>

#include "Vectorization/vector.h"

namespace qavrek {

class pde_multi_discrete;

// The implicit one-dimensional systems of a split step: (a A_d + b) x = y along each dimension d in turn.
class pde_multi_implicit {
 public:
  pde_multi_implicit(std::shared_ptr<const pde_multi_discrete> discrete, double a, double b);

  // Builds and factorises the matrices from the current operators; run after every update of the operators.
  void prepare_implicit();

  // Solves along every dimension in order, in place.
  void solve_implicit(vector<double>& x) const;

 private:
  std::shared_ptr<const pde_multi_discrete> discrete_;
  std::vector<vector<double>> matrices_;
  double a_;
  double b_;
};

}  // namespace qavrek
