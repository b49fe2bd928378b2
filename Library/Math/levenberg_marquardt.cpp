#include "Math/levenberg_marquardt.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"

namespace qavrek {
namespace {

using row_matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// Floor of the Marquardt scaling relative to the largest column norm: an unknown the residuals hardly see is not
// scaled up without bound, and one they do not see at all keeps a positive weight.
constexpr double minimum_relative_scale = 1e-6;

// The damping never falls below this: it is already negligible next to the eigenvalues the rank test keeps
// (the scaled Jacobian's largest column has unit norm), and a damping of zero could never be raised again.
constexpr double minimum_damping = epsilon * epsilon;

double norm(const vector<double>& v) { return Eigen::Map<const Eigen::VectorXd>(v.data(), v.size()).norm(); }

void check_parameters(const lm_parameters& p) {
  const auto ratio = [](double r) { return r >= 0.0 && std::isfinite(r); };
  const auto tolerance = [](double t) { return t >= 0.0; };  // NaN fails too; infinity just stops at once
  QAVREK_CHECK(ratio(p.acceptance_ratio), "acceptance_ratio is ", p.acceptance_ratio);
  QAVREK_CHECK(ratio(p.damping_increase_ratio) && ratio(p.damping_decrease_ratio) &&
                   p.damping_increase_ratio <= p.damping_decrease_ratio,
               "damping_increase_ratio ", p.damping_increase_ratio, " and damping_decrease_ratio ",
               p.damping_decrease_ratio, " must be ordered and non-negative");
  QAVREK_CHECK(tolerance(p.residual_tolerance), "residual_tolerance is ", p.residual_tolerance);
  QAVREK_CHECK(tolerance(p.step_tolerance), "step_tolerance is ", p.step_tolerance);
  QAVREK_CHECK(tolerance(p.gradient_tolerance), "gradient_tolerance is ", p.gradient_tolerance);
  QAVREK_CHECK(p.initial_damping > 0.0 && std::isfinite(p.initial_damping), "initial_damping is ", p.initial_damping);
  QAVREK_CHECK(p.maximum_damping >= p.initial_damping, "maximum_damping ", p.maximum_damping,
               " is below initial_damping ", p.initial_damping);
  QAVREK_CHECK(p.finite_difference_step >= 0.0 && std::isfinite(p.finite_difference_step), "finite_difference_step is ",
               p.finite_difference_step);
  QAVREK_CHECK(p.damping_decrease_factor > 0.0 && p.damping_decrease_factor < 1.0, "damping_decrease_factor is ",
               p.damping_decrease_factor);
  QAVREK_CHECK(p.damping_factor >= 2, "damping_factor is ", p.damping_factor);
}

// One minimisation: the current point, its residuals and Jacobian, the scaled decomposition, the damping.
// Invariants: x_ is the best point evaluated, r_ its residuals; state_at_x_ tells whether the latest residual
// call was made at x_.
class lm_run {
 public:
  lm_run(const lm_parameters& parameters, const levenberg_marquardt::residual_function& residual,
         const levenberg_marquardt::jacobian_function& jacobian, const vector<double>& start)
      : p_(parameters),
        residual_(residual),
        jacobian_(jacobian),
        m_(parameters.number_of_residuals),
        n_(parameters.number_of_unknowns),
        x_(start),
        trial_(n_),
        step_(n_),
        r_(m_),
        trial_r_(m_),
        jacobian_matrix_(m_, n_),
        squared_column_norms_(n_),
        gradient_(n_),
        scale_(Eigen::VectorXd::Zero(static_cast<Eigen::Index>(n_))),
        damping_(std::max(parameters.initial_damping, minimum_damping)),
        growth_(parameters.damping_factor),
        output_(n_) {}

  optimization_algorithm_output run() {
    evaluate_residuals(x_, r_);
    residual_norm_ = norm(r_);
    QAVREK_CHECK(std::isfinite(residual_norm_), "the residuals at the starting point are not finite");
    output_.initial_residual_norm = residual_norm_;

    output_.status = iterate();

    // Leave the callbacks' state at the point returned.
    if (!state_at_x_) {
      evaluate_residuals(x_, r_);
      residual_norm_ = norm(r_);
    }
    output_.unknowns = x_;
    output_.residual_norm = residual_norm_;
    output_.damping = damping_;
    return std::move(output_);
  }

 private:
  optimization_status iterate() {
    for (;;) {
      if (residual_norm_ <= p_.residual_tolerance) return optimization_status::residual_tolerance;
      if (output_.iterations >= p_.max_iterations) return optimization_status::max_iterations;
      form_jacobian();
      if (is_stationary()) return optimization_status::gradient_tolerance;
      decompose();
      // Trial steps at this Jacobian, the damping rising after each rejection, until one is taken.
      for (;;) {
        if (output_.iterations >= p_.max_iterations) return optimization_status::max_iterations;
        const double predicted = propose_step();
        // No decrease left to predict: r is orthogonal to the range of J up to rounding.
        if (!(predicted > 0.0)) return optimization_status::gradient_tolerance;
        const bool last = norm(step_) <= p_.step_tolerance * (norm(x_) + p_.step_tolerance);
        ++output_.iterations;
        for (size_t j = 0; j < n_; ++j) trial_[j] = x_[j] + step_[j];
        evaluate_residuals(trial_, trial_r_);
        state_at_x_ = false;
        const double trial_norm = norm(trial_r_);
        const double actual = 0.5 * (residual_norm_ - trial_norm) * (residual_norm_ + trial_norm);
        const double gain_ratio = actual / predicted;
        if (trial_norm < residual_norm_ && gain_ratio > p_.acceptance_ratio) {  // false for NaN
          accept_trial(trial_norm);
          adapt_damping(gain_ratio);
          if (!last) break;
          return residual_norm_ <= p_.residual_tolerance ? optimization_status::residual_tolerance
                                                         : optimization_status::step_tolerance;
        }
        raise_damping();
        if (last) return optimization_status::step_tolerance;
        if (damping_ > p_.maximum_damping) return optimization_status::damping_limit;
      }
    }
  }

  void evaluate_residuals(const vector<double>& at, vector<double>& into) {
    into.fill(0.0);
    residual_(at, into);
    ++output_.residual_evaluations;
    QAVREK_CHECK(into.size() == m_, "the residual callback left ", into.size(), " residuals instead of ", m_);
  }

  void accept_trial(double trial_norm) {
    x_.swap(trial_);
    r_.swap(trial_r_);
    residual_norm_ = trial_norm;
    state_at_x_ = true;
    ++output_.accepted_steps;
  }

  void adapt_damping(double gain_ratio) {
    if (gain_ratio < p_.damping_increase_ratio) {
      raise_damping();
      return;
    }
    growth_ = p_.damping_factor;
    if (gain_ratio > p_.damping_decrease_ratio) {
      damping_ = std::max(damping_ * p_.damping_decrease_factor, minimum_damping);
    }
  }

  // Consecutive poor steps raise the damping ever faster (by 2, then 4, 8, ... for a factor of 2).
  void raise_damping() {
    damping_ *= growth_;
    growth_ *= 2.0;
  }

  void form_jacobian() {
    jacobian_matrix_.fill(0.0);
    if (jacobian_) {
      jacobian_(x_, jacobian_matrix_);
      QAVREK_CHECK(jacobian_matrix_.rows() == m_ && jacobian_matrix_.columns() == n_, "the Jacobian callback left a ",
                   jacobian_matrix_.rows(), " x ", jacobian_matrix_.columns(), " matrix instead of ", m_, " x ", n_);
    } else {
      finite_difference_jacobian();
    }
    ++output_.jacobian_evaluations;

    squared_column_norms_.fill(0.0);
    gradient_.fill(0.0);
    for (size_t i = 0; i < m_; ++i) {
      const double* row = jacobian_matrix_[i];
      for (size_t j = 0; j < n_; ++j) {
        QAVREK_CHECK(std::isfinite(row[j]), "the Jacobian after ", output_.iterations, " iterations holds ", row[j],
                     " in row ", i, ", column ", j);
        squared_column_norms_[j] += row[j] * row[j];
        gradient_[j] += row[j] * r_[i];
      }
    }
  }

  // Column j from r(x + h e_j) (and r(x - h e_j) when central). The increment is rounded to what x_j + h
  // represents, so the difference quotient divides by the step actually taken.
  void finite_difference_jacobian() {
    vector<double> plus(m_), minus(p_.central_differences ? m_ : 0);
    trial_ = x_;
    for (size_t j = 0; j < n_; ++j) {
      const double xj = x_[j];
      const double h = p_.finite_difference_increment(xj);
      trial_[j] = xj + h;
      const double forward = trial_[j] - xj;
      evaluate_residuals(trial_, plus);
      if (p_.central_differences) {
        trial_[j] = xj - h;
        const double backward = xj - trial_[j];
        evaluate_residuals(trial_, minus);
        for (size_t i = 0; i < m_; ++i) jacobian_matrix_(i, j) = (plus[i] - minus[i]) / (forward + backward);
      } else {
        for (size_t i = 0; i < m_; ++i) jacobian_matrix_(i, j) = (plus[i] - r_[i]) / forward;
      }
      trial_[j] = xj;
      state_at_x_ = false;
    }
  }

  // The first-order condition, scale-free: the cosine between r and each column of J.
  bool is_stationary() const {
    double largest_cosine = 0.0;
    for (size_t j = 0; j < n_; ++j) {
      if (squared_column_norms_[j] > 0.0) {
        largest_cosine =
            std::max(largest_cosine, std::abs(gradient_[j]) / (std::sqrt(squared_column_norms_[j]) * residual_norm_));
      }
    }
    return largest_cosine <= p_.gradient_tolerance;
  }

  // Marquardt scaling S (the largest column norms seen, floored relative to the largest), then the
  // eigendecomposition of the scaled normal matrix and the scaled gradient in its eigenvectors.
  void decompose() {
    for (size_t j = 0; j < n_; ++j) {
      scale_[static_cast<Eigen::Index>(j)] =
          std::max(scale_[static_cast<Eigen::Index>(j)], std::sqrt(squared_column_norms_[j]));
    }
    const double largest = scale_.maxCoeff();
    if (largest > 0.0) {
      scale_ = scale_.cwiseMax(minimum_relative_scale * largest);
    } else {
      scale_.setOnes();
    }
    const auto m = static_cast<Eigen::Index>(m_), n = static_cast<Eigen::Index>(n_);
    const Eigen::VectorXd inverse_scale = scale_.cwiseInverse();
    const Eigen::MatrixXd scaled =
        Eigen::Map<const row_matrix>(jacobian_matrix_.data(), m, n) * inverse_scale.asDiagonal();
    const Eigen::MatrixXd normal = scaled.transpose() * scaled;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(normal);
    QAVREK_CHECK(eigen.info() == Eigen::Success, "the eigendecomposition of the scaled normal matrix failed");
    squared_singular_values_ = eigen.eigenvalues();
    right_vectors_ = eigen.eigenvectors();
    projected_gradient_ =
        right_vectors_.transpose() * (scaled.transpose() * Eigen::Map<const Eigen::VectorXd>(r_.data(), m));
    // An eigenvalue within the rounding of the normal matrix (relative eps max(m, n)) does not tell its direction
    // from the null space: such directions get no step at any damping.
    rank_threshold_ = n > 0 ? squared_singular_values_.maxCoeff() * epsilon * static_cast<double>(std::max(m_, n_))
                            : 0.0;
  }

  // The damped step into step_; returns the decrease of the cost that the linear model predicts. With
  // mu_i the eigenvalues and g_i the scaled gradient J^T r in the eigenvectors,
  //   0.5 (|r|^2 - |r + J dx|^2) = 0.5 sum_i g_i^2 (mu_i + 2 lambda) / (mu_i + lambda)^2,
  // written so that no difference of nearly equal numbers appears.
  double propose_step() {
    Eigen::VectorXd filtered(squared_singular_values_.size());
    double predicted = 0.0;
    for (Eigen::Index i = 0; i < squared_singular_values_.size(); ++i) {
      const double mu = squared_singular_values_[i], g = projected_gradient_[i];
      if (mu > rank_threshold_) {
        const double denominator = mu + damping_;
        filtered[i] = -g / denominator;
        predicted += g * g * (mu + 2.0 * damping_) / (denominator * denominator);
      } else {
        filtered[i] = 0.0;
      }
    }
    const Eigen::VectorXd scaled_step = right_vectors_ * filtered;
    for (size_t j = 0; j < n_; ++j) {
      const auto k = static_cast<Eigen::Index>(j);
      step_[j] = scaled_step[k] / scale_[k];
    }
    return 0.5 * predicted;
  }

  const lm_parameters& p_;
  const levenberg_marquardt::residual_function& residual_;
  const levenberg_marquardt::jacobian_function& jacobian_;
  const size_t m_, n_;

  vector<double> x_, trial_, step_;
  vector<double> r_, trial_r_;
  double residual_norm_ = 0.0;
  bool state_at_x_ = true;

  matrix<double> jacobian_matrix_;
  vector<double> squared_column_norms_, gradient_;

  Eigen::VectorXd scale_;
  Eigen::VectorXd squared_singular_values_, projected_gradient_;
  Eigen::MatrixXd right_vectors_;
  double rank_threshold_ = 0.0;

  double damping_;
  double growth_;
  optimization_algorithm_output output_;
};

}  // namespace

levenberg_marquardt::levenberg_marquardt(const lm_parameters& parameters, residual_function residual)
    : parameters_(parameters), residual_(std::move(residual)) {
  check_parameters(parameters_);
  QAVREK_CHECK(static_cast<bool>(residual_), "the residual callback is empty");
}

levenberg_marquardt::levenberg_marquardt(const lm_parameters& parameters, residual_function residual,
                                         jacobian_function jacobian)
    : levenberg_marquardt(parameters, std::move(residual)) {
  QAVREK_CHECK(static_cast<bool>(jacobian), "the Jacobian callback is empty");
  jacobian_ = std::move(jacobian);
}

optimization_algorithm_output levenberg_marquardt::operator()(vector<double>& x) const {
  QAVREK_CHECK(x.size() == parameters_.number_of_unknowns, "the starting point has ", x.size(), " unknowns instead of ",
               parameters_.number_of_unknowns);
  optimization_algorithm_output output = lm_run(parameters_, residual_, jacobian_, x).run();
  x = output.unknowns;
  return output;
}

}  // namespace qavrek
