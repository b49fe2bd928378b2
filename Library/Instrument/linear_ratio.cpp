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

namespace {

// Sizes `output` for `paths` values and clears it.
void prepare_paths(vector<double>& output, size_t paths) {
  if (output.size() != paths) {
    QAVREK_CHECK(output.owner(), "output is a view of ", output.size(), " values, not ", paths);
    output.resize(paths);
  }
  output.fill(0.0);
}

// output += weight x row, over the paths.
void add_row(vector<double>& output, double weight, const double* row) {
  if (weight == 0.0) return;
  double* out = output.data();
  for (size_t j = 0; j < output.size(); ++j) out[j] += weight * row[j];
}

}  // namespace

void linear_ratio::path_values(const matrix<double>& dfs, vector<double>& numerators,
                               vector<double>& denominators) const {
  QAVREK_CHECK(dfs.rows() == numerator_.size(), "dfs have ", dfs.rows(), " dates, the ratio ", numerator_.size());
  prepare_paths(numerators, dfs.columns());
  prepare_paths(denominators, dfs.columns());
  for (size_t i = 0; i < numerator_.size(); ++i) {
    add_row(numerators, numerator_[i], dfs[i]);
    add_row(denominators, denominator_[i], dfs[i]);
  }
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
