#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/calibration/common/parameter_bounds.h"
#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/settings/calibration_hjm_settings.h"
#include "Analytics/settings/calibration_ir_targets_configuration.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/ir_volatility_surface.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

template <class T>
class workspace_pool;
struct lm_parameters;

// Calibrates a multi-factor Markovian HJM parameter set to swaption volatilities by Levenberg-Marquardt.
//
// The targets come from the configuration: caplets (one `frequency` long per expiry), coterminal swaptions
// (from each expiry to the common end) and CMS targets (each CMS tenor from each expiry). The calibrated set
// has one decay row per calibration date (every start and end date of a target) and one volatility row per
// expiry date (every start date).
//
// The optimiser works on unbounded unknowns: each decay and volatility p within its bounds [lo, hi] is
//   x = atanh((2p - lo - hi) / (hi - lo)) / 0.1,   p = (lo + hi + (hi - lo) tanh(0.1 x)) / 2,
// and, when the correlation is calibrated, each strict-lower entry (i, j) of its Cholesky factor L is
// tanh(0.1 x) (the diagonal makes the rows unit length), so every x gives a valid correlation. Residuals are
// (market - model) volatilities times 1e6, then optionally Tikhonov rows on the differences of consecutive
// decay and volatility rows. The model volatilities of the targets are computed in parallel (Core's
// parallel_for), and so are the rows of the adjoint Jacobian.
class calibration_ir_hjm {
 public:
  calibration_ir_hjm(const datetime& valuation_date, const ptr_const<discount_curve>& curve,
                     const ptr_const<calibration_ir_targets_configuration>& targets_config,
                     const ptr_const<day_count_convention>& convention);
  ~calibration_ir_hjm();

  const std::vector<ptr_const<calibration_ir_hjm_swaption>>& swaptions() const noexcept { return swaptions_; }
  const std::vector<datetime>& expiry_dates() const noexcept { return expiry_dates_; }
  const std::vector<datetime>& calibration_dates() const noexcept { return calibration_dates_; }

  // Fits a new parameter set to the surface's volatilities at `strikes` (one per target; empty: each target
  // at its own swap rate). `correlation` fixes the factor count and is the starting correlation; the
  // starting decays and volatilities are those of `initial_parameter` (shaped on this driver's date grids)
  // or, without one, the middle of the decay bounds and the first market volatilities. A starting value
  // on or beyond its bounds starts just inside them. Returns the set at the optimiser's final point; when the
  // optimiser ran out of iterations or damping before converging, a warning on the log says so.
  ptr_const<parameter_markovian_hjm> calibrate(const ptr_const<ir_volatility_surface>& volatility_surface,
                                               const matrix<double>& correlation,
                                               const ptr_const<calibration_hjm_settings>& settings,
                                               const std::vector<double>& strikes = {},
                                               const ptr_const<parameter_markovian_hjm>& initial_parameter = {}) const;

  // Experimental: the normal volatility of the at-the-money option on the 10Y - 2Y CMS spread (quarterly
  // swaps, ACT/365F) fixed at `expiry_date`, priced under the parameter set, its strike the model's
  // expected spread; 0.0 for a price below its intrinsic value.
  static double cms_spread_pricing_experimental(const datetime& valuation_date, const datetime& expiry_date,
                                                const ptr_const<parameter_markovian_hjm>& parameter,
                                                const ptr_const<discount_curve>& discount_crv,
                                                bool use_forward_measure = true);

 private:
  friend struct calibration_ir_hjm_access;

  // The interval [lo, hi] of a bounds vector (its first two entries, either order).
  using bounds = parameter_bounds;

  // What the correlation maps work in: the unit-row lower factor that the angles describe, the squared
  // lengths of its rows before any shrinking, and the adjoints of its entries. Sized on first use.
  struct correlation_buffers {
    matrix<double> factor;
    std::vector<double> lengths;
    matrix<double> factor_adjoint;
  };

  // What the residual and Jacobian callbacks share during one calibration run.
  class problem {
   public:
    problem(const calibration_ir_hjm& driver, const ptr_const<ir_volatility_surface>& volatility_surface,
            const matrix<double>& correlation, const ptr_const<calibration_hjm_settings>& settings,
            const std::vector<double>& strikes, const ptr_const<parameter_markovian_hjm>& initial_parameter);
    ~problem();

    size_t number_of_targets() const noexcept { return model_volatilities_.size(); }  // K
    size_t number_of_unknowns() const noexcept { return number_of_unknowns_; }         // N
    size_t number_of_residuals() const noexcept { return number_of_residuals_; }       // M

    // The starting unknowns.
    vector<double> initial_unknowns() const;
    // Writes the unknowns into the parameter set and refreshes the model.
    void set_unknowns(const vector<double>& x);

    void residuals(const vector<double>& x, vector<double>& residuals);
    // Evaluated at x: the model volatilities are recomputed when x is not the latest residual point.
    void jacobian(const vector<double>& x, matrix<double>& jacobian);
    // The same by finite differences of the residuals, as `settings` steps them (lm_parameters.h), the columns
    // in parallel. Every shifted point prices from the roots at x on a parameter set and model of its range,
    // so the columns do not depend on how the ranges share them out, and the state at x is left as it was.
    void finite_difference_jacobian(const vector<double>& x, matrix<double>& jacobian, const lm_parameters& settings);

    const parameter_markovian_hjm& parameter() const noexcept { return *parameter_; }
    const std::vector<double>& market_volatilities() const noexcept { return market_volatilities_; }
    const std::vector<double>& model_volatilities() const noexcept { return model_volatilities_; }

   private:
    struct range_buffers;
    struct shifted_point;

    // Model volatilities of the fitted targets at the current parameters, in parallel.
    void price_targets();
    // Model volatilities of targets first .. last - 1 under `model`, each root search starting from and
    // leaving its root in its row of `roots`.
    void price_range(const model_markovian_hjm& model, matrix<double>& roots, double* volatilities, size_t first,
                     size_t last, range_buffers& buffers) const;
    // The residuals of the fitted targets' model volatilities under `parameter`, regularisation included.
    void residuals_from(const double* model_volatilities, const parameter_markovian_hjm& parameter,
                        vector<double>& residuals) const;
    // Checks a Jacobian's shape and offers the caller a stop; true when x is the latest residual point.
    bool start_jacobian(const vector<double>& x, const matrix<double>& jacobian) const;
    // The residuals at x, priced on `point` from the roots at the latest residual point.
    void shifted_residuals(const vector<double>& x, shifted_point& point, range_buffers& buffers) const;
    double strike(size_t i) const { return strikes_.empty() ? driver_.swaptions_[i]->swap_rate() : strikes_[i]; }

    const calibration_ir_hjm& driver_;
    ptr_const<calibration_hjm_settings> settings_;
    std::vector<double> strikes_;
    std::vector<double> market_volatilities_;
    std::shared_ptr<parameter_markovian_hjm> parameter_;
    std::unique_ptr<model_markovian_hjm> model_;
    bounds decay_bounds_;
    bounds volatility_bounds_;
    size_t number_of_unknowns_ = 0;
    size_t number_of_residuals_ = 0;
    std::vector<double> model_volatilities_;
    matrix<double> roots_;
    size_t adjoint_size_ = 0;
    // The point of the latest pricing, to which model_volatilities_ and these residuals belong.
    vector<double> priced_at_;
    vector<double> priced_residuals_;
    correlation_buffers correlation_buffers_;
    // What the targets of a range of the parallel loops are priced in (defined with the implementation):
    // one per thread at work, reused by every loop, so that no target allocates.
    std::unique_ptr<workspace_pool<range_buffers>> buffers_;
    // One per range of the finite-difference loop, reused by every Jacobian.
    std::unique_ptr<workspace_pool<shifted_point>> shifted_points_;
  };

  std::shared_ptr<parameter_markovian_hjm> build_initial_parameter(
      const std::vector<double>& market_volatilities, const calibration_hjm_settings& settings,
      const matrix<double>& correlation, const ptr_const<parameter_markovian_hjm>& initial_parameter) const;
  size_t number_of_instruments(const calibration_hjm_settings& settings, size_t number_of_unknowns) const;
  static size_t number_of_unknowns(const parameter_markovian_hjm& parameter, bool calibrate_correlation);
  static size_t number_of_regularization_rows(const parameter_markovian_hjm& parameter, bool regularization);

  static void map_to_R(vector<double>& x, const parameter_markovian_hjm& parameter, const bounds& decay_bounds,
                       const bounds& volatility_bounds, bool calibrate_correlation);
  static void map_from_R(const vector<double>& x, const parameter_markovian_hjm& parameter,
                         const bounds& decay_bounds, const bounds& volatility_bounds, bool calibrate_correlation);
  static void map_from_R(const vector<double>& x, const parameter_markovian_hjm& parameter,
                         const bounds& decay_bounds, const bounds& volatility_bounds, bool calibrate_correlation,
                         correlation_buffers& buffers);
  // One Jacobian row: the derivatives, with respect to the unknowns, of the function whose adjoints at the
  // parameter set's state positions are `adjoints`.
  static void map_from_R_aad(const double* adjoints, const vector<double>& x, const parameter_markovian_hjm& parameter,
                             const bounds& decay_bounds, const bounds& volatility_bounds, bool calibrate_correlation,
                             double* jacobian_row);
  static void map_from_R_aad(const double* adjoints, const vector<double>& x, const parameter_markovian_hjm& parameter,
                             const bounds& decay_bounds, const bounds& volatility_bounds, bool calibrate_correlation,
                             double* jacobian_row, correlation_buffers& buffers);

  static void tikhonov_regularization(vector<double>& residuals, const parameter_markovian_hjm& parameter,
                                      size_t first_row, double factor);
  static void tikhonov_regularization_aad(const parameter_markovian_hjm& parameter, size_t first_row, double factor,
                                          const vector<double>& x, const bounds& decay_bounds,
                                          const bounds& volatility_bounds, matrix<double>& jacobian);

  // Logs the fit, market against model, per expiry date in basis points.
  void report(const problem& run) const;

  datetime valuation_date_;
  ptr_const<day_count_convention> convention_;
  std::vector<ptr_const<calibration_ir_hjm_swaption>> swaptions_;
  std::vector<datetime> expiry_dates_;
  std::vector<datetime> calibration_dates_;
};

}  // namespace qavrek
