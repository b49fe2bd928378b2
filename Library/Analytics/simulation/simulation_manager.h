#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

class random_manager;
class states_variables;

// The Monte Carlo simulation of one batch of paths for a list of correlated diffusions. The caller drives
// it: states_initialize, then propagate(1), propagate(2), ... up to the last simulation date, reading the
// market-data views (`data`) after each step. Several batches are several managers, each built with the
// batch index of its random configuration.
//
// The Brownian factors are numbered diffusion by diffusion in list order, each diffusion's factors
// contiguous; the correlation matrix follows that numbering. The first diffusion is the domestic interest
// rate, whose view the views of later families read as their discount curve.
//
// Single-threaded: every call mutates the states and the random buffer.
class simulation_manager {
 public:
  // One change of measure per diffusion; a symmetric positive-definite correlation with unit diagonal over
  // all factors; a random configuration with one Brownian per factor and one simulation date per date; and
  // every diffusion built on `simulation_dates`. Anything else is an Error.
  simulation_manager(std::vector<ptr_const<diffusion>> assets,
                     std::vector<ptr_const<change_of_measure>> change_of_measures, const matrix<double>& correlation,
                     const ptr_const<random_config>& config, const std::vector<datetime>& simulation_dates);
  ~simulation_manager();

  simulation_manager(const simulation_manager&) = delete;
  simulation_manager& operator=(const simulation_manager&) = delete;

  // Puts every diffusion at its start state; the views then answer for the first simulation date. May be
  // called again to restart the batch.
  void states_initialize();

  // Moves every diffusion from simulation date time_index - 1 to time_index, which must be the date after
  // the last one reached; the views then answer for date time_index.
  void propagate(size_t time_index);

  // The market-data view of diffusion i, the same object for the life of the manager.
  const ptr_const<market_data>& data(size_t i) const;

  size_t number_of_diffusions() const noexcept { return assets_.size(); }
  size_t number_of_factors() const noexcept { return number_of_factors_; }
  size_t number_of_paths() const noexcept { return number_of_paths_; }
  const std::vector<datetime>& simulation_dates() const noexcept { return simulation_dates_; }
  // The lower Cholesky factor of the correlation, zero above the diagonal.
  const matrix<double>& decomposed_correlation() const noexcept { return decomposed_correlation_; }

 private:
  void check_inputs(const matrix<double>& correlation, const random_config& config) const;
  void decompose_correlation(const matrix<double>& correlation);

  std::vector<ptr_const<diffusion>> assets_;
  std::vector<ptr_const<change_of_measure>> change_of_measures_;
  std::vector<datetime> simulation_dates_;
  std::vector<ptr_const<market_data>> data_;
  std::shared_ptr<states_variables> states_;
  std::unique_ptr<random_manager> random_manager_;
  matrix<double> decomposed_correlation_;
  // Per diffusion, its first factor.
  std::vector<size_t> factor_offsets_;
  size_t number_of_factors_ = 0;
  size_t number_of_paths_ = 0;
  // The simulation date that the states hold; none before states_initialize.
  static constexpr size_t not_initialized = static_cast<size_t>(-1);
  size_t date_reached_ = not_initialized;
};

}  // namespace qavrek
