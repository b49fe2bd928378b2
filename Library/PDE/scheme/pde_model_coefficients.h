#pragma once

#include <cstddef>
#include <vector>

#include "Vectorization/tensor.h"

namespace qavrek {

// The coefficients of the PDE at every point of the space grid for one date step, filled by a model: diffusion
// (second order), convection (first order), reaction (zero order) and, for several dimensions, the cross term.
// Every tensor starts at zero, so a coefficient that no model writes is absent from the equation.
class pde_model_coefficients {
 public:
  // Tensors of shape `dimensions`; the correlation tensor has shape {0} (no value) unless with_correlation.
  pde_model_coefficients(std::vector<size_t> dimensions, bool with_correlation);

  const tensor<double>& diffusion() const noexcept { return diffusion_; }
  const tensor<double>& convection() const noexcept { return convection_; }
  const tensor<double>& reaction() const noexcept { return reaction_; }
  const tensor<double>& correlation() const noexcept { return correlation_; }

  // For the models that fill them.
  tensor<double>& diffusion() noexcept { return diffusion_; }
  tensor<double>& convection() noexcept { return convection_; }
  tensor<double>& reaction() noexcept { return reaction_; }
  tensor<double>& correlation() noexcept { return correlation_; }

 private:
  tensor<double> diffusion_;
  tensor<double> convection_;
  tensor<double> reaction_;
  tensor<double> correlation_;
};

}  // namespace qavrek
