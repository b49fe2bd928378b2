#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/equity_spot.h"
#include "Market/fx_spot.h"
#include "Market/market_data.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class pde_model_coefficients;
class states_variables;

// One simulated risk factor (an interest rate, a credit intensity, an equity or an exchange rate) driven
// by a model. The simulation manager asks it for its state rows and Brownian factors, sets its initial
// states, moves it one simulation date at a time and lets it build the market-data view that reads its
// states.
//
// A state block has one row per state variable and one column per path, so that one state variable of
// all paths is contiguous; a block of correlated increments has one row per factor. Date 0 of `dates` is
// the start of the simulation: the initial states belong to it, and step t moves them from date t - 1 to
// date t.
//
// Diffusions are immutable once built and are shared as ptr_const<diffusion>.
class diffusion {
 public:
  virtual ~diffusion();

  // Writes the states of date 0 into the whole block.
  virtual void states_initialize(matrix<double>& states) const = 0;

  // One step, from date time_index - 1 (held by `next` on entry) to date time_index (in `next` on return).
  // Models that keep the previous date leave it in `current`. `gaussians` holds number_of_factors() rows
  // of correlated standard normals for this date, one column per path.
  virtual void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                               const matrix<double>& gaussians, const change_of_measure& measure_change) const = 0;

  virtual size_t number_of_states() const = 0;
  virtual size_t number_of_factors() const = 0;

  // The market-data view of this diffusion over its two state blocks. `asset` is the shared pointer that
  // holds this very diffusion; `storage` owns the memory of the blocks and is kept by the view, so a view
  // never outlives its states (it may be null only for blocks that own their memory). `data` holds the
  // views already built for the diffusions before this one, in simulation order: position 0 is the
  // domestic rate.
  virtual ptr_const<market_data> create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                                    matrix<double>&& current,
                                                    const std::vector<ptr_const<market_data>>& data,
                                                    const ptr_const<states_variables>& storage) const = 0;

  // The PDE coefficients of the model over one step between two dates in time order, written into the
  // coefficient sets of the space grids (one per grid, all of them). No diffusion of the library offers them:
  // NotImplementedError.
  virtual void coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                            const datetime& earlier, const datetime& later) const;

  const std::vector<datetime>& dates() const noexcept { return dates_; }

  // A simulated view as the Market interface that instruments read; empty when `data` is empty or holds
  // another kind of market data. The result shares ownership with `data`.
  static ptr_const<discount_curve> diffusion_discount_curve(const ptr_const<market_data>& data);
  static ptr_const<survival_curve> diffusion_survival_curve(const ptr_const<market_data>& data);
  static ptr_const<equity_spot> diffusion_equity_spot(const ptr_const<market_data>& data);
  static ptr_const<fx_spot> diffusion_fx_spot(const ptr_const<market_data>& data);

 protected:
  // At least one date, every date set and the dates strictly increasing.
  explicit diffusion(const std::vector<datetime>& dates);
  diffusion(const diffusion&) = default;
  diffusion& operator=(const diffusion&) = delete;

  // The family bases check that the asset handed to create_market_data is this diffusion: the view
  // forwards its queries to it.
  void check_is_this(const ptr_const<diffusion>& asset) const;

  // The discount curve that the view at `position` of `data` offers (position 0 is the domestic rate), for
  // families whose views read the rates simulated before them; an Error when that view is missing or is
  // not a discount curve.
  static ptr_const<discount_curve> discount_curve_at(const std::vector<ptr_const<market_data>>& data,
                                                     size_t position);

  // The states of a block belong to a simulation date; a query from another date would combine them with
  // tables of the wrong date. An Error unless `date` is one of dates().
  void check_simulation_date(const datetime& date, const char* query) const;

  // output[j] = exp(shift - states(row, j)) for every path j; the output must have one entry per path.
  static void exp_of_shifted_row(vector<double>& output, const matrix<double>& states, size_t row, double shift);

 private:
  std::vector<datetime> dates_;
};

}  // namespace qavrek
