#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/scratch_block.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace qavrek {

class pde_model_coefficients;
class space_grid;

// The multi-factor Gaussian Markovian HJM model (rates or intensities). Factor k has the decay
// D_k(t) (HULL_WHITE: exp(-integral of the mean reversion); PICEWISE_CONSTANT: the decays row itself)
// and the integrated decay G_k(t), the integral of D_k from the first model date. Its states x_k
// enter the log zero-coupon price from t to T as -(G(T) - G(t)).x - 1/2 (G(T) - G(t))' S(t) (G(T) + G(t)),
// S(t) being the covariance of the states at t.
//
// Everything that depends only on dates and parameters is tabulated per model date by `fill`, so that
// simulation steps and prices are look-ups plus loops over paths:
//   decay_, integral_decay_   m x n    D and G at every model date
//   incremental_volatility_sv_/mm_  s x n  per simulation step, standard deviations of the state
//                                      increment and of its G-weighted counterpart (simulation models only)
//   states_covariance_        m x n x n  S at the model dates (every date with the full-covariance flag,
//                                      else the simulation dates, accumulated step by step)
// These tables, in that order, are the model's flat state-parameter vector.
//
// Parameter rows apply on (d_{k-1}, d_k] and the last row after the last date, so the interval that
// follows model date i reads the parameter rows of model date i + 1, and the interval after the last
// model date the parameters' last rows.
//
// The parameter set is borrowed: it must outlive the model, and values changed in place take effect at
// the next `fill`. Everything but `fill` and `set_state_parameters` only reads the model, so several
// threads may price with one model at once.
//
// State matrices of a simulation have number_of_states() = n + 1 rows (the n factor states, then the
// discounting integral) and one column per path.
class model_markovian_hjm : public aad_state_parameters_manager {
 public:
  // Model dates: the valuation date alone with the full-covariance flag; otherwise the simulation
  // dates, plus the valuation date when they start after it. Then the parameter dates and the extra
  // dates are merged in. Simulation dates must be strictly increasing and not before the valuation date.
  model_markovian_hjm(const parameter_markovian_hjm& parameter, const datetime& valuation_date,
                      const std::vector<datetime>& simulation_dates, bool full_covariance_flag,
                      const std::vector<datetime>& extra_dates = {});
  model_markovian_hjm(const model_markovian_hjm&) = default;
  model_markovian_hjm& operator=(const model_markovian_hjm&) = delete;
  ~model_markovian_hjm() override = default;

  // Recomputes every table from the parameter set's current values.
  void fill();

  // --- Shape and dates -------------------------------------------------------------------------
  size_t number_of_factors() const noexcept { return parameter_->number_of_factors(); }
  size_t number_of_states() const noexcept { return number_of_factors() + 1; }
  // Row of the discounting integral in a state matrix.
  size_t discounting_state_index() const noexcept { return number_of_factors(); }

  const parameter_markovian_hjm& parameter() const noexcept { return *parameter_; }
  const datetime& valuation_date() const noexcept { return valuation_date_; }
  const std::vector<datetime>& simulation_dates() const noexcept { return simulation_dates_; }
  const std::vector<datetime>& extra_dates() const noexcept { return extra_dates_; }
  bool full_covariance_flag() const noexcept { return full_covariance_flag_; }
  const std::vector<datetime>& model_dates() const noexcept { return model_dates_; }
  // Per simulation date, its position among the model dates (empty with the full-covariance flag).
  const std::vector<size_t>& simulation_index() const noexcept { return simulation_index_; }
  // Position of the last model date not after t (0 before the first).
  size_t date_offset(const datetime& t) const;

  // --- Tables ----------------------------------------------------------------------------------
  const matrix<double>& decay() const noexcept { return decay_; }
  const matrix<double>& integral_decay() const noexcept { return integral_decay_; }
  const matrix<double>& incremental_volatility_sv() const noexcept { return incremental_volatility_sv_; }
  const matrix<double>& incremental_volatility_mm() const noexcept { return incremental_volatility_mm_; }
  const tensor<double>& states_covariance() const noexcept { return states_covariance_; }

  // Where each table starts in the flat state-parameter vector (and in the adjoint array, from the
  // model's adjoint offset on).
  size_t decay_offset() const noexcept { return decay_offset_; }
  size_t integral_decay_offset() const noexcept { return integral_decay_offset_; }
  size_t incremental_volatility_sv_offset() const noexcept { return incremental_volatility_sv_offset_; }
  size_t incremental_volatility_mm_offset() const noexcept { return incremental_volatility_mm_offset_; }
  size_t states_covariance_offset() const noexcept { return states_covariance_offset_; }

  // --- Decay and integrated decay ----------------------------------------------------------------
  // An empty (owning) `out` is sized to n; otherwise it must hold n values, and may view a table row.

  // D at t carried forward from model date i (the row of model date i when t is not after it).
  void decay(const datetime& t, size_t i, vector<double>& out) const;
  // G at any date: the table row at a model date, otherwise carried forward from the model date before.
  void integral_decay(const datetime& t, vector<double>& out) const;
  // G at t carried forward from model date i.
  void continue_integral_decay(const datetime& t, size_t i, vector<double>& out) const;

  // --- Incremental volatilities ----------------------------------------------------------------
  // Row r, factor k: the square root of the sv (resp. mm) variance accumulated over the model
  // intervals in (dates[r-1], dates[r]] (from the first model date for r = 0; a zero row when dates[0]
  // is the valuation date). HULL_WHITE: sv = integral of sigma^2 / D^2, mm = integral of
  // sigma^2 G^2 / D^2; PICEWISE_CONSTANT: the same without the division by D. `dates` ascending model
  // dates; `out` has at least dates.size() rows and n columns, rows of unmatched dates are left alone.
  void incremental_volatility_sv(const std::vector<datetime>& dates, matrix<double>& out) const;
  void incremental_volatility_mm(const std::vector<datetime>& dates, matrix<double>& out) const;

  // --- State covariance ------------------------------------------------------------------------
  // An empty (owning) `out` is sized n x n; otherwise it must hold n x n values.

  // S(t), carried forward from the last model date not after t.
  void states_variable_covariance(const datetime& t, matrix<double>& out) const;
  // S at t carried forward from the slice of model date m.
  void continue_states_variable_covariance(const datetime& t, size_t m, matrix<double>& out) const;
  // Whether S(t) is exact: at any date with the full-covariance flag, otherwise at the valuation date and the
  // simulation dates (the slices of other model dates are not filled).
  bool has_covariance_at(const datetime& t) const;
  // The lower factor L of S(t) = L L', zero above the diagonal. A semi-definite S (a zero variance, or
  // perfectly correlated factors) gets a factor with zero columns; an indefinite S is an error.
  void states_variable_covariance_cholesky(const datetime& t, matrix<double>& out) const;

  // --- Prices, simulation, decomposition -------------------------------------------------------
  // Per path, the stochastic part of the log zero-coupon price from t to T given the factor states at
  // t (rows 0 .. n-1 of `states`): -(G(T) - G(t)).x - 1/2 (G(T) - G(t))' S (G(T) + G(t)), with G(t) and
  // S those of the last model date not after t. `out` has one entry per column of `states`.
  void conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                         vector<double>& out) const;

  // One simulation step from simulation date step - 1 to simulation date step, 1 <= step < s, for a
  // model built without the full-covariance flag. `current` becomes a copy of `next` as it comes in;
  // `next` (n + 1 rows) then receives the states at the new date: the factor rows move by
  // -sv.(rho mm) - sv.eps and the discounting row by the step's exact increment, eps being the
  // correlated draws (rows 0 .. n-1 of `gaussians`) less the change of measure's shift row_dot(step, k).
  void evolve(const change_of_measure& measure, size_t step, const matrix<double>& gaussians,
              matrix<double>& current, matrix<double>& next) const;

  // The drift of each factor state from the first model date to t under the measure of the bank account,
  //   mu_k(t) = -sum_j rho_kj integral of l_k(u) l_j(u) G_j(u) du,
  // l being the states' loadings on their Brownian motions (sigma / D under HULL_WHITE, sigma under
  // PICEWISE_CONSTANT): the PDE operations centre each factor's grid on it. Tabulated at the model dates by
  // fill, exact in between. `out` must hold n values; 0 before the first model date.
  void state_drift(const datetime& t, vector<double>& out) const;

  // Factor loadings of the zero-coupon bonds maturing at `dates`, seen from t: row r of `out` is
  // L' (G(dates[r]) - g0), L the Cholesky factor of S(t) and g0 = G(t) when `relative`, else 0. So the
  // rows' products are the covariances of the terms (G(d) - G(t)).x of the log bond prices at t.
  // `out` has n columns and at least dates.size() rows.
  void decompose(matrix<double>& out, const datetime& t, const std::vector<datetime>& dates, bool relative) const;
  // The same, leaving in `factor` the Cholesky factor L that it used, so that decompose_aad can take it
  // instead of factorising again. `factor` is sized like a covariance (see below).
  void decompose(matrix<double>& out, matrix<double>& factor, const datetime& t, const std::vector<datetime>& dates,
                 bool relative) const;

  // --- PDE ---------------------------------------------------------------------------------------
  // One space grid per factor: a point x of factor i's grid stands for the state state_drift(t)_i + x, so
  // that the states move without drift on the grids. The dates of a step are dates where the model tabulates
  // the states' covariance (has_covariance_at); other dates are an Error, not a covariance carried forward
  // from an earlier model date, which would give the step another variance and convexity than its own.
  //
  // Coefficient tensors hold one value per point of their factor's grid, or one per node of the product of
  // all the grids, grid 0 outermost (the PDE engine's layout); a node's values are those of its point along
  // the factor's grid.

  // Coefficients of the step [t, T] (t <= T) for each factor's operator, carrying the step's length:
  //   diffusion_i  = 1/2 (S_ii(T) - S_ii(t)), the variance the factor's state gains over the step itself,
  //                  one value over the grid;
  //   convection_i = 0;
  //   reaction_i   = -dt/2 [D_i(t) (x + mu_i(t) + (S(t) G(t))_i) + D_i(T) (x + mu_i(T) + (S(T) G(T))_i)],
  //                  the trapezoid over [t, T] of the factor's share of the short rate, each end with its
  //                  own decay, drift mu, covariance and integrated decay.
  // The shares add up to the short rate less the market's forward rate, which the caller's discount factors
  // supply: the convexity term D' S G enters once, split over the factors as D_i (S G)_i. So a step
  // discounts by the exact log bond price of conditional_price to second order in its length. Adding the
  // whole D' S G to every factor's reaction instead would count it n times, an error of (n - 1) D' S G dt:
  // over one-day steps of two-factor Hull-White models one to eight years out, from a fraction of a percent
  // of the exact stochastic log discount to several times its size.
  void coefficients(std::span<tensor<double>> diffusions, std::span<tensor<double>> convections,
                    std::span<tensor<double>> reactions, std::span<const std::vector<double>> axes,
                    const datetime& t, const datetime& T) const;
  // The same into the coefficient sets of the factors' grids (the first n of each).
  void coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                    std::span<const ptr_const<space_grid>> grids, const datetime& t, const datetime& T) const;

  // Per grid point p (point p of every factor's grid, all grids of one size), the log of the stochastic
  // factor of the zero-coupon price from t to T: -1/2 dG' S (G(T) + G(t)) - sum_i dG_i (mu_i + x_i[p]).
  // Writes axes[0].size() values into out.
  void conditional_price(double* out, std::span<const std::vector<double>> axes, const datetime& t,
                         const datetime& T) const;
  // The same on the grids' axes (the first n).
  void conditional_price(double* out, std::span<const ptr_const<space_grid>> grids, const datetime& t,
                         const datetime& T) const;

  // --- Adjoints ---------------------------------------------------------------------------------
  // Reverse mode of the operations above. Every one of them is const, reads its adjoint arguments,
  // only adds into the flat adjoint array `adjoints`, and returns at once when every incoming adjoint
  // is below DBL_EPSILON in size. The array holds the parameter set's adjoints at their state positions
  // from 0 on (decays, volatilities, strict lower correlation triangle, through the set's decays_aad,
  // volatility_aad and correlation_aad) and the model's table adjoints from adjoint_offset() on, table
  // by table as get_state_parameters lays the tables out. So the model must be registered
  // (register_at) at an offset at or after the end of its parameter set's state; every entry point
  // checks it.
  //
  // The adjoint of a decay_ entry is taken with respect to log D under HULL_WHITE (D is a product of
  // exponentials there, and its adjoint then passes from date to date by plain addition) and with
  // respect to D itself under PICEWISE_CONSTANT. A covariance slice's adjoint is that of all n x n of
  // its entries, both triangles.
  //
  // The model-side table adjoints are intermediate: after the pricing adjoints have been added, one
  // call of fill_aad carries them back to the parameter set's positions (it adds into the earlier
  // table rows as it goes, so it is called once per array).

  // The work space of the adjoints. The parameter set takes its adjoints row by row as std::vectors, and
  // the correlation as a matrix that is worth scattering once per call rather than once per interval;
  // everything else is carved out of one block. A caller that runs many adjoints on one thread keeps one
  // and passes it to every call: once grown to the factor count, nothing is allocated.
  class adjoint_workspace {
   public:
    adjoint_workspace() = default;
    explicit adjoint_workspace(size_t n) { prepare(n); }
    adjoint_workspace(const adjoint_workspace&) = delete;
    adjoint_workspace& operator=(const adjoint_workspace&) = delete;

    // Every buffer for n factors, zero.
    void prepare(size_t n);
    // Adds the accumulated correlation adjoint to the parameter set's and clears it.
    void scatter_correlation(const parameter_markovian_hjm& parameter, double* adjoints);

    std::vector<double> kappa;  // one decays row
    std::vector<double> sigma;  // one volatilities row

   private:
    scratch_block storage_;

   public:
    double* log_decay = nullptr;      // one decay_ row
    double* ratio = nullptr;          // sigma / D per factor
    double* inverse_decay = nullptr;  // 1 / D per factor
    double* loading = nullptr;        // n values for a caller's own use
    matrix<double> correlation;       // n x n, accumulated
    matrix<double> folded;            // n x n, a covariance adjoint folded onto its lower triangle
    matrix<double> covariance;        // n x n, a covariance's adjoint (lower triangle) from its factor
    matrix<double> factor;            // n x n, a Cholesky factor's adjoint
  };

  // Adjoint of decay(t, i, out): `adjoint` is dF/dD(t) per factor, `decay` the forward result D(t).
  // Adds into the decays row applying after model date i and into decay_ row i.
  void decay_aad(const vector<double>& adjoint, const vector<double>& decay, const datetime& t, size_t i,
                 double* adjoints) const;
  // Adjoint of integral_decay(t, out): adds into integral_decay_ (and, off the model dates, decay_) of the
  // last model date not after t and into the decays row applying after it.
  void integral_decay_aad(const vector<double>& adjoint, const datetime& t, double* adjoints) const;

  // Adjoint of incremental_volatility_sv / _mm(dates, values): `adjoint` and `values` have at least
  // dates.size() rows and n columns, `values` being the forward result for the same dates. Adds into the
  // volatilities and decays rows, decay_ and (mm) integral_decay_ of every model interval walked. An
  // entry whose value is zero (no variance over the step) passes no adjoint on.
  void incremental_volatility_sv_aad(const matrix<double>& adjoint, const matrix<double>& values,
                                     const std::vector<datetime>& dates, double* adjoints) const;
  void incremental_volatility_mm_aad(const matrix<double>& adjoint, const matrix<double>& values,
                                     const std::vector<datetime>& dates, double* adjoints) const;

  // Adjoint of states_variable_covariance(t, out): `adjoint` (n x n) is dF/dS(t) entry by entry, both
  // triangles. Adds into the covariance slice of the last model date not after t and, for t after it,
  // into the volatilities, decays (HULL_WHITE), correlation and decay_ row (HULL_WHITE) of that interval.
  void states_variable_covariance_aad(const matrix<double>& adjoint, const datetime& t, double* adjoints) const;
  // The same for continue_states_variable_covariance(t, m, out).
  void continue_states_variable_covariance_aad(const matrix<double>& adjoint, const datetime& t, size_t m,
                                               double* adjoints) const;
  // Adjoint of states_variable_covariance_cholesky(t, factor): `factor_adjoint` is dF/dL (its strict upper
  // triangle is not read), `factor` the forward result. A factor with a zero or negative pivot (a
  // semi-definite covariance, where L is not differentiable) passes nothing on.
  void states_variable_covariance_cholesky_aad(const matrix<double>& factor_adjoint, const matrix<double>& factor,
                                               const datetime& t, double* adjoints) const;

  // Adjoint of decompose(out, t, dates, relative): `adjoint` has n columns and at least dates.size()
  // rows, row r being dF/d(row r of out). Adds into the integrated-decay and decay tables (and the decays
  // rows) at every date of `dates` and, when relative, at t, and through the Cholesky factor into the
  // covariance at t.
  void decompose_aad(const matrix<double>& adjoint, const datetime& t, const std::vector<datetime>& dates,
                     double* adjoints, bool relative) const;
  // The same given the factor that decompose(out, factor, t, dates, relative) left, unchanged since.
  void decompose_aad(const matrix<double>& adjoint, const matrix<double>& factor, const datetime& t,
                     const std::vector<datetime>& dates, double* adjoints, bool relative) const;
  void decompose_aad(const matrix<double>& adjoint, const matrix<double>& factor, const datetime& t,
                     const std::vector<datetime>& dates, double* adjoints, bool relative,
                     adjoint_workspace& work) const;

  // Reverse of fill: carries the adjoints of the tables (the model's block of the array, from
  // adjoint_offset() on) back to the parameter set's decays, volatilities and correlation.
  void fill_aad(double* adjoints) const;
  void fill_aad(double* adjoints, adjoint_workspace& work) const;

  // --- State parameters --------------------------------------------------------------------------
  void finalize_aad(double* adjoints) const override;
  // The tables in their flat order; the caller sizes the array by state_parameters_size().
  size_t get_state_parameters(double* out) const override;
  // Overwrites the tables from the flat order; nothing is recomputed until the next fill.
  size_t set_state_parameters(const double* in) override;

 private:
  void build_model_dates();
  void build_indices();
  void allocate_tables();

  double year_fraction(const datetime& from, const datetime& to) const;
  // Rows of the parameter matrices that apply on the interval after model date i. After the last model
  // date no parameter date follows, so the parameters' last rows apply. (Inline, as the adjoints call
  // them, and the two table accessors below, once per interval and entry.)
  size_t decays_row_after(size_t i) const noexcept {
    return i + 1 < decays_index_.size() ? decays_index_[i + 1] : parameter_->decays().rows() - 1;
  }
  size_t volatilities_row_after(size_t i) const noexcept {
    return i + 1 < volatilities_index_.size() ? volatilities_index_[i + 1] : parameter_->volatilities().rows() - 1;
  }

  // The kernels behind the vector overloads, writing n values.
  void continue_integral_decay_into(const datetime& t, size_t i, double* out) const;
  void integral_decay_into(const datetime& t, double* out) const;

  // Per model interval m (from t_m to t_{m+1}), the sv / mm variance increments added to acc (n values).
  void add_incremental_variance_sv(size_t m, double* acc) const;
  void add_incremental_variance_mm(size_t m, double* acc) const;
  template <class IntervalIncrement>
  void incremental_volatility(const std::vector<datetime>& dates, matrix<double>& out,
                              IntervalIncrement add_interval) const;

  // Subtracts the drift of the piece [from, to] of model interval m (from its start t_m) from out.
  void add_state_drift(size_t m, const datetime& from, const datetime& to, double* out) const;
  // mu(t) carried forward from model date j, the last not after t (n values).
  void state_drift_into(const datetime& t, size_t j, double* out) const;
  void fill_state_drift();

  // An Error unless the model tabulates the states' covariance at t (see the PDE operations).
  void check_covariance_date(const datetime& t, const char* operation) const;
  // The per-factor terms of the PDE step [t, T] into the first 3n values of `work` (pde_step_work_size(n)
  // values): the variance of the state over the step, then the reaction's level and slope in the grid point.
  static size_t pde_step_work_size(size_t n) noexcept { return 2 * n * n + 9 * n; }
  void pde_step_terms(const datetime& t, const datetime& T, double* work) const;
  template <class Axis>
  void grid_conditional_price(double* out, size_t size, const Axis& axis, const datetime& t,
                              const datetime& T) const;

  void fill_simulation_covariances();

  // Row r of out: L' (G(dates[r]) - origin), g being n values of work space.
  void loadings_into(matrix<double>& out, const matrix<double>& factor, const double* origin, double* g,
                     const std::vector<datetime>& dates) const;

  void check_adjoint_layout() const;
  // adjoints[model's offset + table_offset + index] += value.
  void add_to_table(double value, size_t table_offset, size_t index, double* adjoints) const noexcept {
    update_state_parameters(value, adjoint_offset() + table_offset, index, adjoints);
  }
  // The model's adjoint of entry `index` of the table at `table_offset`.
  double* table_adjoint(size_t table_offset, size_t index, double* adjoints) const noexcept {
    return get_state_parameters_aad(adjoint_offset() + table_offset, index, adjoints);
  }

  // Reverses of decay(t, i), continue_integral_decay(t, i) and continue_states_variable_covariance(t, m):
  // n (n x n) adjoints, the decay's adjoint being with respect to log D under HULL_WHITE.
  void decay_aad_at(const double* weighted_adjoint, const datetime& t, size_t i, double* adjoints,
                    adjoint_workspace& work) const;
  void integral_decay_aad_at(const double* adjoint, const datetime& t, size_t i, double* adjoints,
                             adjoint_workspace& work) const;
  void integral_decay_aad_into(const double* adjoint, const datetime& t, double* adjoints,
                               adjoint_workspace& work) const;
  void continue_covariance_aad(const double* adjoint, const datetime& t, size_t m, double* adjoints,
                               adjoint_workspace& work) const;
  void cholesky_aad(const matrix<double>& factor_adjoint, const matrix<double>& factor, const datetime& t,
                    double* adjoints, adjoint_workspace& work) const;
  // decompose_aad once its arguments are checked and the factor is at hand.
  void loadings_aad(const matrix<double>& adjoint, const matrix<double>& factor, const datetime& t,
                    const std::vector<datetime>& dates, double* adjoints, bool relative,
                    adjoint_workspace& work) const;

  // Reverses of add_incremental_variance_sv / _mm for the per-factor weights w (dF/d increment).
  void add_incremental_variance_sv_aad(size_t m, const double* w, double* adjoints, adjoint_workspace& work) const;
  void add_incremental_variance_mm_aad(size_t m, const double* w, double* adjoints, adjoint_workspace& work) const;
  template <class IntervalAdjoint>
  void incremental_volatility_aad(const matrix<double>& adjoint, const matrix<double>& values,
                                  const std::vector<datetime>& dates, IntervalAdjoint interval_adjoint) const;

  // Reverse of fill_simulation_covariances: slice adjoints into the sv block and the correlation.
  void simulation_covariances_aad(double* adjoints, adjoint_workspace& work) const;

  const parameter_markovian_hjm* parameter_;
  datetime valuation_date_;
  std::vector<datetime> simulation_dates_;
  bool full_covariance_flag_;
  std::vector<datetime> extra_dates_;
  std::vector<datetime> model_dates_;
  std::vector<size_t> decays_index_;
  std::vector<size_t> volatilities_index_;
  std::vector<size_t> simulation_index_;
  matrix<double> decay_;
  matrix<double> integral_decay_;
  matrix<double> incremental_volatility_sv_;
  matrix<double> incremental_volatility_mm_;
  tensor<double> states_covariance_;
  // mu at every model date; not a state parameter.
  matrix<double> state_drift_;
  size_t decay_offset_ = 0;
  size_t integral_decay_offset_ = 0;
  size_t incremental_volatility_sv_offset_ = 0;
  size_t incremental_volatility_mm_offset_ = 0;
  size_t states_covariance_offset_ = 0;
};

}  // namespace qavrek
