#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Instrument/instrument.h"
#include "Market/life_cycle_data.h"
#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/boundary_coefficients.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_scheme.h"
#include "PDE/scheme/pde_storage.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// Values instruments by finite differences: the diffusions' models give the coefficients of the PDE on one space
// grid per dimension, a scheme of the PDE engine rolls the instruments' values over the time grid, and the
// instruments write their pay-offs and apply their early-exercise events on the grid.
//
// Dimensions are listed grid 0 first, in the engine's order (dimension 0 outermost, the last grid's points
// adjacent in memory): dimensions()[d] (Python's dimensions() alike) is the size of space grid d, pv_indices[d]
// a point of grid d, and every tensor of the manager (coefficients, stored results, an instrument's values)
// has the shape dimensions(), preceded by the count of values when there are several.
//
// The manager keeps its own copies of the diffusion list, the pv indices and the correlation; a copy of the
// manager shares the scheme and the coefficient sets with it, and the results until one of the two runs again.
class pde_manager {
 public:
  // scheme_sizes, scheme_flags, type and scheme_option go to pde_scheme::create_scheme unchanged (stencil widths,
  // divided-difference flags, scheme type, rescaling by the factors of run). pv_indices: for a backward time
  // grid, the point of each space grid, grid 0 first, at which pv reads each result (missing trailing indices
  // read 0).
  // At least one space grid; no null grid or diffusion.
  pde_manager(const std::vector<ptr_const<diffusion>>& diffusions, const ptr_const<time_grid>& time_grid,
              const std::vector<size_t>& pv_indices, const std::vector<ptr_const<space_grid>>& space_grids,
              const std::vector<size_t>& scheme_sizes, const std::vector<bool>& scheme_flags, pde_scheme_type type,
              bool scheme_option, const matrix<double>& correlation);

  // Values the instruments over the time grid, between its first and last event dates, in its direction. Each
  // step, from the grid date k to its neighbour: every instrument writes its values at the step's start date,
  // every diffusion fills the coefficients (all the sets, in time order of the two dates), the scheme diffuses
  // the values and multiplies them by factors[k + 1] walking forward and factors[k] walking backward (the
  // factor of the step's later date) when the scheme rescales, then every instrument applies its events at the
  // step's end date with its life-cycle entry (null when life_cycle is empty).
  //
  // factors has one entry per time-grid date and life_cycle is empty or has one entry per instrument. Errors of
  // the diffusions, the scheme and the instruments propagate; the results then hold the partial run.
  void run(const std::vector<ptr_const<instrument>>& instruments, const std::vector<double>& factors,
           const std::vector<ptr_mutable<life_cycle_data>>& life_cycle);

  // One number per result of the last run into output (size() entries): walking forward the sum of the
  // result over the grid, walking backward its value at the pv indices. An Error before the first run.
  void pv(double* output) const;
  // Whether a run has left results for pv to read.
  bool has_results() const noexcept { return storage_ != nullptr; }

  const std::vector<datetime>& dates() const noexcept { return time_grid_->dates(); }
  // The number of points of each space grid, grid 0 first.
  const std::vector<size_t>& dimensions() const noexcept { return dimensions_; }
  // The number of values of the instruments of the last run (0 before).
  size_t size() const noexcept { return size_; }

 private:
  // The shape of `count` values on the grid: the grid's alone for one value.
  std::vector<size_t> values_shape(size_t count) const;
  // What the steps of one run share: its arguments, each instrument's view of the results and the diffusions'
  // market-data views.
  struct run_state {
    const std::vector<ptr_const<instrument>>& instruments;
    const std::vector<double>& factors;
    const std::vector<ptr_mutable<life_cycle_data>>& life_cycle;
    std::vector<tensor<double>> values;
    std::vector<ptr_const<market_data>> views;
  };
  // The step from grid date k to its neighbour, `earlier` and `later` being its dates in time order.
  void pde_step(const datetime& earlier, const datetime& later, size_t k, run_state& run);

  std::vector<ptr_const<diffusion>> diffusions_;
  ptr_const<time_grid> time_grid_;
  std::vector<size_t> pv_indices_;
  std::vector<ptr_const<space_grid>> space_grids_;
  matrix<double> correlation_;
  std::vector<std::shared_ptr<pde_model_coefficients>> coefficients_;
  std::shared_ptr<pde_scheme> scheme_;
  std::vector<size_t> dimensions_;
  std::shared_ptr<pde_storage> storage_;
  // One pair per space grid, both members that grid's coefficient set.
  boundary_coefficients coefficient_pairs_;
  size_t size_ = 0;
};

}  // namespace qavrek
