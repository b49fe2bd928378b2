#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_spread_option.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "Analytics/models/model_dfs.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/models/search_direction.h"
#include "Core/check.h"
#include "Math/normal_distribution.h"
#include "Util/bachelier.h"
#include "Util/datetime_helper.h"
#include "Vectorization/normalcdf.h"

namespace qavrek {
namespace {

// 2^-52: a search step whose gradient norm (or its inverse) falls below it is not taken, and a spread
// whose gradient is that small does not move with the state.
constexpr double epsilon = std::numeric_limits<double>::epsilon();

// Up to this |spread - K| the second-order model of the spread is trusted; further away the search takes
// safeguarded secant steps between bracket points instead.
constexpr double newton_region = 0.75;

// The interval a secant step may move towards a bracket of opposite sign.
constexpr double smallest_secant_fraction = 0.2;
constexpr double largest_secant_fraction = 0.8;

bool usable(double r) { return std::abs(r) >= epsilon && std::abs(1.0 / r) >= epsilon; }

double dot(const double* a, const double* b, size_t n) {
  double sum = 0.0;
  for (size_t k = 0; k < n; ++k) sum += a[k] * b[k];
  return sum;
}

// a'Mb.
double bilinear(const matrix<double>& M, const double* a, const double* b) {
  double sum = 0.0;
  for (size_t k = 0; k < M.columns(); ++k) sum += a[k] * dot(M[k], b, M.columns());
  return sum;
}

// T[a, b, c] = sum over i, j, k of T_ijk a_i b_j c_k.
double trilinear(const tensor<double>& T, const double* a, const double* b, const double* c) {
  const size_t n = T.shape()[0];
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) sum += a[i] * b[j] * dot(&T(i, j, 0), c, n);
  return sum;
}

// An empty owning vector becomes n zeros (a cold start); any other size than n is an error.
void size_to_factors(vector<double>& values, size_t factors, const char* name) {
  if (values.size() == factors) return;
  QAVREK_CHECK(values.empty() && values.owner(), "the ", name, " has ", values.size(), " entries for a model of ",
               factors, " factors");
  values.resize(factors);
}

// The spread against one strike as a function of the state, on one set of loadings: its value, gradient
// and second-order step. Every evaluation leaves the model discount factors of its state in `dfs`.
class spread_in_state {
 public:
  spread_in_state(const interest_rate_spread& spread, double strike, const matrix<double>& G)
      : spread_(spread), strike_(strike), G_(G), dfs_(spread.dfs().size()), log_dfs_adjoints_(spread.dfs().size()) {}

  double value(const vector<double>& y) {
    model_dfs(dfs_, y, G_, spread_.dfs());
    return spread_.value(strike_, dfs_);
  }

  void gradient(const vector<double>& y, vector<double>& g) {
    model_dfs(dfs_, y, G_, spread_.dfs());
    gradient_here(y, g);
  }

  // At y, whose value is v: the gradient into g, the Hessian into H and the step to subtract into d (left
  // alone when the step is not usable). Returns |g|.
  double step(const vector<double>& y, double v, vector<double>& g, matrix<double>& H, vector<double>& d) {
    model_dfs(dfs_, y, G_, spread_.dfs());
    gradient_here(y, g);
    spread_.hessian(H, 1.0, G_, dfs_);
    return direction_matrix_product(d, g, H, v);
  }

 private:
  void gradient_here(const vector<double>& y, vector<double>& g) {
    std::fill(log_dfs_adjoints_.begin(), log_dfs_adjoints_.end(), 0.0);
    spread_.value_aad(log_dfs_adjoints_, 1.0, dfs_);
    model_dfs_adjoint(g, G_, y, log_dfs_adjoints_);
  }

  const interest_rate_spread& spread_;
  double strike_;
  const matrix<double>& G_;
  std::vector<double> dfs_;
  std::vector<double> log_dfs_adjoints_;
};

// The reciprocal annuity of one swap expanded about a reference state x_r:
//   1/A(y) = exp(v.y) / level (1 + z'Mz + T[z,z,z]),  z = y - x_r,
// with what the Gaussian expectations of its terms need.
struct annuity_expansion {
  annuity_expansion(const calibration_ir_hjm_spread_option& option, const vector<double>& reference,
                    const matrix<double>& G, const ptr_const<interest_rate_swap>& swap)
      : v(reference.size()),
        M(reference.size(), reference.size()),
        T({reference.size(), reference.size(), reference.size()}),
        traces(reference.size(), 0.0) {
    const size_t n = reference.size();
    level = option.annuity_approximation(T, M, v, reference, G, swap);
    QAVREK_CHECK(std::isfinite(level) && level != 0.0, "the annuity of the swap ending ", swap->maturity(),
                 " expands to a level of ", level, ": no swap rate");
    constant = 1.0;
    for (size_t k = 0; k < n; ++k) {
      constant += M(k, k);
      for (size_t i = 0; i < n; ++i) traces[i] += T(i, k, k);
    }
  }

  vector<double> v;
  matrix<double> M;
  tensor<double> T;
  double level = 0.0;
  // trace(M) + 1, E[1 + z'Mz] for a standard normal z.
  double constant = 0.0;
  // traces[i] = sum over k of T_ikk.
  vector<double> traces;
};

// One part F exp(-g.y - k/2) of a discounted float leg, with loadings g, constant k and market factor F.
struct leg_part {
  const double* loadings;
  std::vector<double> shifted;  // G_P + G_S - G_E when the loadings are that combination
  double constant;
  double factor;
};

// The parts of float period i of `swap` on its own loadings G: the start part (or, when paid after its
// end, the combination that carries the rate to the payment date) and the payment part.
void period_parts(const interest_rate_swap& swap, const matrix<double>& G, size_t i, leg_part& first,
                  leg_part& second) {
  const size_t n = G.columns();
  const std::vector<double>& market = swap.dfs();
  const size_t s = swap.float_start_index()[i];
  const size_t e = swap.float_end_index()[i];
  const size_t p = swap.float_pay_index()[i];
  const double pay_norm = dot(G[p], G[p], n);
  second = {G[p], {}, pay_norm, market[p]};
  if (p == e) {
    first = {G[s], {}, dot(G[s], G[s], n), market[s]};
    return;
  }
  first.shifted.resize(n);
  for (size_t k = 0; k < n; ++k) first.shifted[k] = G(p, k) + G(s, k) - G(e, k);
  first.loadings = first.shifted.data();
  first.constant = pay_norm + dot(G[s], G[s], n) - dot(G[e], G[e], n);
  first.factor = market[p] * market[s] / market[e];
}

// The expected rate of `swap` (loadings G, one row per date of its own) with its reciprocal annuity
// expanded: the float leg's parts F exp(-g.y - k/2) times exp(v.y) (1 + z'Mz + T[z,z,z]), z = y - centre,
// over the expansion's level. Completing the square moves y to y' - w, w = g - v, and leaves the factor
// exp((|w|^2 - k)/2) and z = y' - m, m = w + centre; `moments`(w, m) gives the expectation of the polynomial
// in z over the region of y that the integral covers.
template <class Moments>
double expected_rate(const interest_rate_swap& swap, const matrix<double>& G, const annuity_expansion& expansion,
                     const vector<double>& centre, Moments moments) {
  const size_t n = G.columns();
  vector<double> w(n);
  vector<double> m(n);
  const auto part = [&](const leg_part& term) {
    for (size_t k = 0; k < n; ++k) {
      w[k] = term.loadings[k] - expansion.v[k];
      m[k] = w[k] + centre[k];
    }
    return term.factor * std::exp(0.5 * (dot(w.data(), w.data(), n) - term.constant)) * moments(w, m);
  };
  const leg& floating = *swap.float_leg_instrument();
  leg_part first{};
  leg_part second{};
  double sum = 0.0;
  for (size_t i = 0; i < swap.float_pay_index().size(); ++i) {
    period_parts(swap, G, i, first, second);
    sum += floating.dcf(i) * (part(first) - part(second));
  }
  return sum / expansion.level;
}

// The spread of the long swap over the short one; maturities in the other order are a mistake of the
// caller (the option's sign and its expansion would be read the wrong way round), not a spread.
ptr_const<interest_rate_spread> ordered_spread(const ptr_const<discount_curve>& curve, const datetime& expiry,
                                               const datetime& long_maturity, const datetime& short_maturity,
                                               const tenor& frequency,
                                               const ptr_const<day_count_convention>& convention, double long_weight,
                                               double short_weight) {
  QAVREK_CHECK(!(long_maturity < short_maturity), "the long swap matures on ", long_maturity,
               ", before the short one (", short_maturity, "): the maturities are swapped");
  return std::make_shared<const interest_rate_spread>(curve, expiry, long_maturity, short_maturity, frequency,
                                                      convention, long_weight, short_weight);
}

}  // namespace

calibration_ir_hjm_spread_option::calibration_ir_hjm_spread_option(
    const ptr_const<discount_curve>& curve, const datetime& expiry, const datetime& long_maturity,
    const datetime& short_maturity, const tenor& frequency, const ptr_const<day_count_convention>& convention,
    double long_weight, double short_weight, bool use_forward_measure)
    : spread_(ordered_spread(curve, expiry, long_maturity, short_maturity, frequency, convention, long_weight,
                             short_weight)),
      use_forward_measure_(use_forward_measure),
      long_positions_(datetime_helper::index_subset_dates(spread_->long_swap()->all_dates(), spread_->all_dates())),
      short_positions_(datetime_helper::index_subset_dates(spread_->short_swap()->all_dates(), spread_->all_dates())) {
  // A swap without annuity (every accrual zero) has no rate in any state of any model.
  for (const interest_rate_swap* swap : {spread_->long_swap().get(), spread_->short_swap().get()})
    QAVREK_CHECK(swap->annuity() > 0.0 && std::isfinite(swap->annuity()), "the swap ending ", swap->maturity(),
                 " has an annuity of ", swap->annuity(), ": no swap rate");
}

matrix<double> calibration_ir_hjm_spread_option::centred_decomposition(const model_markovian_hjm& model,
                                                                       vector<double>& origin) const {
  const size_t n = model.number_of_factors();
  matrix<double> G(spread_->all_dates().size(), n);
  model.decompose(G, spread_->expiry(), spread_->all_dates(), use_forward_measure_);
  // Row 0 is the expiry's: zero relative to the expiry; in the model's own coordinates L'G(expiry), minus
  // the mean of the state under the expiry's forward measure.
  origin = G.row(0);
  for (size_t i = 0; i < G.rows(); ++i)
    for (size_t k = 0; k < n; ++k) G(i, k) -= origin[k];
  return G;
}

matrix<double> calibration_ir_hjm_spread_option::swap_loadings(const matrix<double>& decomposition,
                                                               const interest_rate_swap& swap) const {
  const std::vector<size_t>& positions = &swap == spread_->long_swap().get() ? long_positions_ : short_positions_;
  QAVREK_CHECK(&swap == spread_->long_swap().get() || &swap == spread_->short_swap().get(),
               "the swap is neither of the spread's two");
  const size_t n = decomposition.columns();
  matrix<double> rows(positions.size(), n);
  for (size_t j = 0; j < positions.size(); ++j)
    std::copy(decomposition[positions[j]], decomposition[positions[j]] + n, rows[j]);
  return rows;
}

double calibration_ir_hjm_spread_option::value(double strike, const model_markovian_hjm& model, vector<double>& root,
                                               vector<double>& direction, bool is_call, size_t max_iterations,
                                               double tolerance) const {
  QAVREK_CHECK(std::isfinite(strike), "strike ", strike, " is not finite");
  // Without an iteration, or with a tolerance that no miss is below (NaN) or every miss is (infinity), the
  // search would stop off the boundary and the price would come from the wrong exercise region.
  QAVREK_CHECK(max_iterations > 0, "the root search needs at least one iteration");
  QAVREK_CHECK(std::isfinite(tolerance) && tolerance > 0.0, "the root search's tolerance ", tolerance,
               " is not a positive number");
  const size_t n = model.number_of_factors();
  size_to_factors(root, n, "root");
  size_to_factors(direction, n, "direction");
  vector<double> origin(n);
  const matrix<double> G = centred_decomposition(model, origin);
  // The search and the integrals work on the centred state x = root + origin, standard normal under the
  // expiry's forward measure: the boundary point nearest its mean, and reference points measured from it.
  vector<double> x = root + origin;
  matrix<double> H(n, n);
  find_root(x, direction, H, strike, G, max_iterations, tolerance);
  root = x - origin;

  const double norm = std::sqrt(dot(direction.data(), direction.data(), n));
  QAVREK_CHECK(norm >= epsilon && std::isfinite(norm), "the spread has a gradient of norm ", norm,
               " at the exercise boundary: it does not move with the model state");
  vector<double> unit = direction / norm;
  const double length = std::sqrt(dot(x.data(), x.data(), n));
  const double distance = dot(x.data(), direction.data(), n) > 0.0 ? length : -length;
  const size_t dates = spread_->all_dates().size();
  std::vector<double> dfs(dates, 0.0);
  std::vector<double> log_dfs_aad(dates, 0.0);
  const double reference_length = reference_distance(reference_root(x, dfs, log_dfs_aad, unit, G, distance), is_call);
  const vector<double> reference = reference_length * unit;
  if (!is_call) unit = -unit;

  const double long_rate = swap_rate_integral(G, x, reference, direction, spread_->long_swap(), is_call);
  const double short_rate = swap_rate_integral(G, x, reference, direction, spread_->short_swap(), is_call);
  // The probability of the exercise half-space under the forward measure of the expiry (zero loadings).
  const double probability = normalcdf(-dot(x.data(), unit.data(), n));
  const double discount = is_call ? spread_->dfs()[0] : -spread_->dfs()[0];
  return discount * (spread_->long_weight() * long_rate - spread_->short_weight() * short_rate - strike * probability);
}

double calibration_ir_hjm_spread_option::reference_distance(const std::pair<double, double>& roots, bool is_call) {
  // std::max and std::min return their first argument on a tie.
  return is_call ? std::max(roots.first, roots.second) : std::min(roots.first, roots.second);
}

std::pair<double, double> calibration_ir_hjm_spread_option::reference_root(
    const vector<double>& root, std::vector<double>& dfs, std::vector<double>& log_dfs_aad,
    const vector<double>& direction, const matrix<double>& decomposition, double distance) const {
  const size_t n = decomposition.columns();
  QAVREK_CHECK(direction.size() == n, "the direction has ", direction.size(), " entries for ", n, " factors");
  model_dfs(dfs, root, decomposition, spread_->dfs());
  std::fill(log_dfs_aad.begin(), log_dfs_aad.end(), 0.0);
  spread_->value_aad(log_dfs_aad, 1.0, dfs);
  vector<double> slope(n);
  interest_rate_swap::gradient(slope, decomposition, log_dfs_aad);
  matrix<double> hessian(n, n);
  spread_->hessian(hessian, 1.0, decomposition, dfs);
  const double curvature =
      bilinear(hessian, direction.data(), direction.data()) / dot(slope.data(), direction.data(), n);
  const double width = std::sqrt((curvature - distance) * (curvature - distance) + 4.0);
  return {0.5 * (curvature + distance + width), 0.5 * (curvature + distance - width)};
}

void calibration_ir_hjm_spread_option::find_root(vector<double>& x, vector<double>& g, matrix<double>& H, double strike,
                                                 const matrix<double>& G, size_t max_iterations,
                                                 double tolerance) const {
  const size_t n = G.columns();
  spread_in_state spread(*spread_, strike, G);
  double f = spread.value(x);
  if (std::abs(f) < tolerance) {
    spread.gradient(x, g);
    return;
  }
  // Takes y as the current point; true when it meets the tolerance.
  const auto accept = [&](const vector<double>& y, double value) {
    x = y;
    f = value;
    return std::abs(f) < tolerance;
  };
  const auto leave = [&] { spread.gradient(x, g); };

  vector<double> step(n, 0.0);
  vector<double> y(n, 0.0);
  // A curvature step from the origin, then one from the warm start.
  double r = spread.step(y, spread.value(y), g, H, step);
  if (usable(r)) y -= step;
  double candidate = spread.value(y);
  if (std::abs(candidate) < std::abs(f) && accept(y, candidate)) return leave();
  r = spread.step(x, f, g, H, step);
  if (usable(r)) y = x - step;
  candidate = spread.value(y);
  if (std::abs(candidate) < std::abs(f) && accept(y, candidate)) return leave();

  // Two anchors, halfway to the first and the last date's loadings; a is the one with the positive value
  // when they bracket the boundary.
  vector<double> a = -0.5 * G.row(0);
  vector<double> b = -0.5 * G.row(G.rows() - 1);
  double fa = spread.value(a);
  double fb = spread.value(b);
  if (fa < 0.0 && 0.0 < fb) {
    std::swap(a, b);
    std::swap(fa, fb);
  }
  if (std::abs(f) > std::abs(fa) && accept(a, fa)) return leave();
  if (std::abs(f) > std::abs(fb) && accept(b, fb)) return leave();

  // x := (1 - t) x + t p.
  const auto secant = [&](const vector<double>& p, double fp, bool clamped) {
    double t = f / (f - fp);
    if (clamped) t = std::clamp(t, smallest_secant_fraction, largest_secant_fraction);
    if (std::isfinite(t)) x = (1.0 - t) * x + t * p;
  };
  for (size_t iteration = 0; iteration < max_iterations; ++iteration) {
    if (std::abs(f) < tolerance) break;
    if (std::abs(f) <= newton_region) {
      r = spread.step(x, f, g, H, step);
      if (!usable(r)) break;
      x -= step;
      direction_projection(x, g);
    } else {
      if ((fb > 0.0 && f < 0.0) || (fa * f < 0.0 && std::abs(fb) > std::abs(f))) {
        b = x;
        fb = f;
      }
      if (f * fb < 0.0) {
        secant(b, fb, true);
      } else if (fa * f < 0.0) {
        secant(a, fa, true);
      } else if (std::abs(fa) > std::abs(fb)) {
        secant(b, fb, false);
      } else if (std::abs(fb) > std::abs(fa)) {
        secant(a, fa, false);
      }
    }
    f = spread.value(x);
  }
  leave();
}

double calibration_ir_hjm_spread_option::annuity_approximation(tensor<double>& T, matrix<double>& M, vector<double>& v,
                                                               const vector<double>& x, const matrix<double>& G,
                                                               const ptr_const<interest_rate_swap>& swap) const {
  QAVREK_CHECK(swap != nullptr, "no swap");
  const size_t n = x.size();
  const size_t dates = swap->all_dates().size();
  QAVREK_CHECK(v.size() == n && M.rows() == n && M.columns() == n && T.dimension() == 3 && T.shape()[0] == n &&
                   T.shape()[1] == n && T.shape()[2] == n,
               "the annuity moments are not sized for ", n, " factors");
  QAVREK_CHECK(G.columns() == n && G.rows() >= dates, "the loadings are ", G.rows(), " x ", G.columns(), " for ", dates,
               " dates and ", n, " factors");

  // The annuity's own terms at x: w_j = (dA/dP_j) P_j(x).
  std::vector<double> weights(dates, 0.0);
  model_dfs(weights, x, G, swap->dfs());
  const double annuity = swap->annuity(weights);
  QAVREK_CHECK(std::isfinite(annuity) && annuity != 0.0, "the swap ending ", swap->maturity(), " has an annuity of ",
               annuity, ": no swap rate");
  std::vector<double> accruals(dates, 0.0);
  swap->annuity_aad(accruals, weights);
  for (size_t j = 0; j < dates; ++j) weights[j] *= accruals[j] / annuity;

  // Loading differences D_j = G_j - G_0: their mean, then their central moments about it.
  v.fill(0.0);
  for (size_t j = 0; j < dates; ++j)
    for (size_t k = 0; k < n; ++k) v[k] += weights[j] * (G(j, k) - G(0, k));
  M.fill(0.0);
  T.fill(0.0);
  std::vector<double> centred(n);
  for (size_t j = 0; j < dates; ++j) {
    if (weights[j] == 0.0) continue;
    for (size_t k = 0; k < n; ++k) centred[k] = G(j, k) - G(0, k) - v[k];
    for (size_t k = 0; k < n; ++k) {
      for (size_t l = 0; l < n; ++l) {
        const double pair = weights[j] * centred[k] * centred[l];
        M(k, l) -= 0.5 * pair;
        for (size_t p = 0; p < n; ++p) T(k, l, p) += pair * centred[p] / 6.0;
      }
    }
  }
  return annuity * std::exp(dot(v.data(), x.data(), n));
}

double calibration_ir_hjm_spread_option::swap_rate_integral(const matrix<double>& decomposition,
                                                            const vector<double>& root, const vector<double>& reference,
                                                            const vector<double>& direction,
                                                            const ptr_const<interest_rate_swap>& swap,
                                                            bool is_call) const {
  const size_t n = root.size();
  const double norm = std::sqrt(dot(direction.data(), direction.data(), n));
  if (norm < epsilon) return 0.0;
  // The exercise region u.y > u.x0.
  const vector<double> u = (is_call ? 1.0 : -1.0) / norm * direction;
  const matrix<double> G = swap_loadings(decomposition, *swap);
  const annuity_expansion expansion(*this, reference, G, swap);
  const matrix<double>& M = expansion.M;
  const tensor<double>& T = expansion.T;

  // What the cubic in X = u.y' needs of u alone.
  vector<double> Mu(n);
  vector<double> Tuu(n, 0.0);
  matrix<double> Tu(n, n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    Mu[i] = dot(M[i], u.data(), n);
    for (size_t j = 0; j < n; ++j)
      for (size_t k = 0; k < n; ++k) Tu(j, k) += u[i] * T(i, j, k);
  }
  for (size_t j = 0; j < n; ++j)
    for (size_t k = 0; k < n; ++k) Tuu[k] += u[j] * Tu(j, k);
  const double uMu = dot(u.data(), Mu.data(), n);
  const double Tuuu = dot(Tuu.data(), u.data(), n);
  const double trace_u = dot(expansion.traces.data(), u.data(), n);

  // Over the half-space u.y > u.x0, that is X = u.y' > a = u.(x0 + w): with z = X u + y_perp - m the part
  // of z orthogonal to u integrates out exactly, leaving a cubic in X against the half-line moments of the
  // standard normal.
  return expected_rate(*swap, G, expansion, reference, [&](const vector<double>& w, const vector<double>& m) {
    double a = 0.0;
    for (size_t k = 0; k < n; ++k) a += u[k] * (root[k] + w[k]);
    const double uMm = dot(Mu.data(), m.data(), n);
    const double mMm = bilinear(M, m.data(), m.data());
    const double Tuum = dot(Tuu.data(), m.data(), n);
    const double Tumm = bilinear(Tu, m.data(), m.data());
    const double Tmmm = trilinear(T, m.data(), m.data(), m.data());
    const double trace_m = dot(expansion.traces.data(), m.data(), n);
    const double q3 = Tuuu;
    const double q2 = uMu - 3.0 * Tuum;
    const double q1 = -2.0 * uMm + 3.0 * (trace_u - Tuuu + Tumm);
    const double q0 = expansion.constant - uMu + mMm - Tmmm - 3.0 * (trace_m - Tuum);
    return (q0 + q2) * normalcdf(-a) + (q1 + a * q2 + (a * a + 2.0) * q3) * normal_distribution::density(-a);
  });
}

double calibration_ir_hjm_spread_option::expected_swap_rate(const matrix<double>& decomposition,
                                                            const vector<double>& expansion_point,
                                                            const ptr_const<interest_rate_swap>& swap) const {
  const size_t n = expansion_point.size();
  const matrix<double> G = swap_loadings(decomposition, *swap);
  const annuity_expansion expansion(*this, expansion_point, G, swap);
  // Over the whole space: E[1 + z'Mz + T[z,z,z]] for z = y' - m.
  return expected_rate(*swap, G, expansion, expansion_point, [&](const vector<double>&, const vector<double>& m) {
    return expansion.constant + bilinear(expansion.M, m.data(), m.data()) -
           trilinear(expansion.T, m.data(), m.data(), m.data()) - 3.0 * dot(expansion.traces.data(), m.data(), n);
  });
}

double calibration_ir_hjm_spread_option::spread(const model_markovian_hjm& model, const vector<double>& state) const {
  const size_t n = model.number_of_factors();
  QAVREK_CHECK(state.size() == n, "the state has ", state.size(), " entries for a model of ", n, " factors");
  vector<double> origin(n);
  const matrix<double> G = centred_decomposition(model, origin);
  // Expanded about the state's mean under the forward measure.
  const vector<double> mean(n, 0.0);
  return spread_->long_weight() * expected_swap_rate(G, mean, spread_->long_swap()) -
         spread_->short_weight() * expected_swap_rate(G, mean, spread_->short_swap());
}

void calibration_ir_hjm_spread_option::initial_root(vector<double>& root, double strike,
                                                    const model_markovian_hjm& model) const {
  const size_t n = model.number_of_factors();
  QAVREK_CHECK(root.size() == n, "the root has ", root.size(), " entries for a model of ", n, " factors");
  vector<double> origin(n);
  const matrix<double> G = centred_decomposition(model, origin);
  // From the state's mean under the forward measure, the origin of the centred state.
  root = 0.0;
  spread_in_state spread(*spread_, strike, G);
  vector<double> gradient(n);
  matrix<double> H(n, n);
  vector<double> step(n, 0.0);
  const double r = spread.step(root, spread.value(root), gradient, H, step);
  if (usable(r)) root -= step;
  root -= origin;
}

double calibration_ir_hjm_spread_option::value_henrard_experimental(double forward, double strike,
                                                                    const matrix<double>& G, vector<double>& x,
                                                                    bool is_call) const {
  const size_t n = G.columns();
  QAVREK_CHECK(x.size() == n, "the state has ", x.size(), " entries for loadings of ", n, " factors");
  const size_t dates = spread_->all_dates().size();
  QAVREK_CHECK(G.rows() >= dates, "the loadings have ", G.rows(), " rows for ", dates, " dates");
  // The state's mean under the expiry's forward measure is -G_0; centred on it, the loadings lose their
  // first row and the state is standard normal.
  x = -1.0 * G.row(0);
  matrix<double> centred(dates, n);
  for (size_t i = 0; i < dates; ++i)
    for (size_t k = 0; k < n; ++k) centred(i, k) = G(i, k) - G(0, k);
  const vector<double> mean(n, 0.0);
  std::vector<double> dfs(dates, 0.0);
  model_dfs(dfs, mean, centred, spread_->dfs());
  const double S = spread_->value(strike, dfs);
  std::vector<double> log_dfs_aad(dates, 0.0);
  spread_->value_aad(log_dfs_aad, 1.0, dfs);
  vector<double> g(n);
  interest_rate_swap::gradient(g, centred, log_dfs_aad);
  matrix<double> H(n, n);
  spread_->hessian(H, 1.0, centred, dfs);
  const double df0 = spread_->dfs()[0];

  const double r = std::sqrt(dot(g.data(), g.data(), n));
  QAVREK_CHECK(r >= epsilon && std::isfinite(r), "the spread has a gradient of norm ", r,
               " at the expansion point: it does not move with the model state");
  const vector<double> e = g / r;
  double trace = 0.0;
  for (size_t i = 0; i < n; ++i) trace += H(i, i);
  const double along = bilinear(H, e.data(), e.data());
  // spread - K = S + r X + y'Hy/2 with X = e.y, and E[y'Hy | X] = trace - along + along X^2: the call
  // (put) takes its expectation where X > d (X < d), d = -S/r being where the linear part vanishes.
  const double d = -S / r;
  const double mean_part = S + 0.5 * trace;
  const double density_part = normal_distribution::density(d) * (r + 0.5 * d * along);
  const double undiscounted =
      is_call ? normalcdf(-d) * mean_part + density_part : -normalcdf(d) * mean_part + density_part;
  return normal_volatility(forward, strike, spread_->long_swap()->expiry_double(), df0 * undiscounted, df0, is_call);
}

double calibration_ir_hjm_spread_option::normal_volatility(double forward, double strike, double expiry, double price,
                                                           double numeraire, bool is_call) {
  const double intrinsic = is_call ? std::max(forward - strike, 0.0) : std::max(strike - forward, 0.0);
  if (price / numeraire - intrinsic < 0.0) return 0.0;
  return bachelier::implied_volatility(forward, strike, expiry, price, numeraire, is_call ? 1.0 : -1.0);
}

}  // namespace qavrek
