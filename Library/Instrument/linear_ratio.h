#pragma once

#include <vector>

#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// R(P) = N(P) / D(P) with N and D linear in discount factors P_i on a list of dates (a swap rate is
// the float leg over the annuity). Its derivatives are also taken in a Gaussian factor state x through
// ln P_i = c_i - (G_i - G_0).x, one row of loadings G_i per date taken relative to row 0.
class linear_ratio {
 public:
  linear_ratio() = default;
  // One weight of each form per date.
  linear_ratio(std::vector<double> numerator, std::vector<double> denominator);

  const std::vector<double>& numerator() const noexcept { return numerator_; }
  const std::vector<double>& denominator() const noexcept { return denominator_; }

  // The dfs have one entry per date (the callers check).
  double numerator_value(const std::vector<double>& dfs) const;
  double denominator_value(const std::vector<double>& dfs) const;
  double value(const std::vector<double>& dfs) const { return numerator_value(dfs) / denominator_value(dfs); }
  // N and D on every path: dfs holds one row per date and one column per path; the outputs are resized
  // to the paths when they own their storage.
  void path_values(const matrix<double>& dfs, vector<double>& numerators, vector<double>& denominators) const;

  // adjoints[i] += scale x dR/dP_i.
  void add_dfs_adjoints(double scale, const std::vector<double>& dfs, std::vector<double>& adjoints) const;
  // adjoints[i] += scale x P_i dR/dP_i, the adjoints of ln P_i.
  void add_log_adjoints(double scale, const std::vector<double>& dfs, std::vector<double>& adjoints) const;
  // output += scale x d2R/dx2 (factors x factors, sized by the caller; G has a row per date).
  void add_hessian(matrix<double>& output, double scale, const matrix<double>& G, const std::vector<double>& dfs) const;

 private:
  std::vector<double> numerator_;
  std::vector<double> denominator_;
};

}  // namespace qavrek
