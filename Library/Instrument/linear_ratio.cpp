#include "Instrument/linear_ratio.h"

#include <utility>

#include "Core/check.h"

namespace qavrek {

linear_ratio::linear_ratio(std::vector<double> numerator, std::vector<double> denominator)
    : numerator_(std::move(numerator)), denominator_(std::move(denominator)) {
  QAVREK_CHECK(numerator_.size() == denominator_.size(), "numerator size ", numerator_.size(),
               " is different from denominator size ", denominator_.size());
}

double linear_ratio::numerator_value(const std::vector<double>& dfs) const {
  double out = 0.0;
  for (size_t i = 0; i < numerator_.size(); ++i) out += numerator_[i] * dfs[i];
  return out;
}

double linear_ratio::denominator_value(const std::vector<double>& dfs) const {
  double out = 0.0;
  for (size_t i = 0; i < denominator_.size(); ++i) out += denominator_[i] * dfs[i];
  return out;
}

void linear_ratio::add_dfs_adjoints(double scale, const std::vector<double>& dfs, std::vector<double>& adjoints) const {
  const double D = denominator_value(dfs);
  const double R = numerator_value(dfs) / D;
  for (size_t i = 0; i < numerator_.size(); ++i) adjoints[i] += scale * (numerator_[i] - R * denominator_[i]) / D;
}

void linear_ratio::add_log_adjoints(double scale, const std::vector<double>& dfs, std::vector<double>& adjoints) const {
  const double D = denominator_value(dfs);
  const double R = numerator_value(dfs) / D;
  for (size_t i = 0; i < numerator_.size(); ++i)
    adjoints[i] += scale * dfs[i] * (numerator_[i] - R * denominator_[i]) / D;
}

void linear_ratio::add_hessian(matrix<double>& output, double scale, const matrix<double>& G,
                               const std::vector<double>& dfs) const {
  // With d_i = G_i - G_0, dP_i/dx = -P_i d_i. For g_i = P_i dR/dP_i, alpha = sum P_i dD/dP_i d_i and
  // beta = sum g_i d_i: d2R/dx2 = sum g_i d_i d_i' - (alpha beta' + beta alpha') / D.
  const size_t factors = G.columns();
  const double D = denominator_value(dfs);
  const double R = numerator_value(dfs) / D;
  std::vector<double> alpha(factors, 0.0);
  std::vector<double> beta(factors, 0.0);
  for (size_t i = 1; i < numerator_.size(); ++i) {
    const double g = dfs[i] * (numerator_[i] - R * denominator_[i]) / D;
    const double a = dfs[i] * denominator_[i];
    if (g == 0.0 && a == 0.0) continue;
    for (size_t k = 0; k < factors; ++k) {
      const double dk = G(i, k) - G(0, k);
      alpha[k] += a * dk;
      beta[k] += g * dk;
      for (size_t l = 0; l < factors; ++l) output(k, l) += scale * g * dk * (G(i, l) - G(0, l));
    }
  }
  for (size_t k = 0; k < factors; ++k)
    for (size_t l = 0; l < factors; ++l) output(k, l) -= scale * (alpha[k] * beta[l] + beta[k] * alpha[l]) / D;
}

}  // namespace qavrek
