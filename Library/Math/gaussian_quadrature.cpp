#include "Math/gaussian_quadrature.h"

#include <Eigen/Eigenvalues>
#include <array>
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "Core/check.h"

namespace qavrek {
namespace {

// An empty owning output becomes `size` zeros; any other must hold at least `size` values.
void size_output(vector<double>& out, size_t size, const char* what) {
  if (out.empty() && out.owner()) out.resize(size);
  QAVREK_CHECK(out.size() >= size, what, " holds ", out.size(), " values, the rule ", size);
}

// The orthonormal Hermite polynomial of degree n at x and its derivative, from the three-term recurrence
// p_{k+1} = sqrt(2 / (k + 1)) x p_k - sqrt(k / (k + 1)) p_{k-1}, p_0 = pi^(-1/4); p_n' = sqrt(2n) p_{n-1}.
std::pair<double, double> orthonormal_hermite(size_t n, double x) {
  double previous = 0.0;
  double current = 1.0 / std::sqrt(std::sqrt(std::numbers::pi));
  for (size_t k = 0; k < n; ++k) {
    const double next = std::sqrt(2.0 / double(k + 1)) * x * current - std::sqrt(double(k) / double(k + 1)) * previous;
    previous = current;
    current = next;
  }
  return {current, std::sqrt(2.0 * double(n)) * previous};
}

// Rounding leaves the eigen-solver's roots slightly asymmetric; the rule is symmetric, so each pair takes
// its mean magnitude and weight, and the middle root of an odd rule is 0.
void symmetrise(vector<double>& roots, vector<double>& weights, size_t n) {
  for (size_t i = 0; i < n / 2; ++i) {
    const size_t j = n - 1 - i;
    const double magnitude = 0.5 * (roots[j] - roots[i]);
    const double weight = 0.5 * (weights[i] + weights[j]);
    roots[i] = -magnitude;
    roots[j] = magnitude;
    weights[i] = weights[j] = weight;
  }
  if (n % 2 == 1) roots[n / 2] = 0.0;
}

// Beyond this order the outer weights underflow and the eigenvectors' cubic cost buys nothing.
constexpr size_t max_hermite_order = 1024;

template <size_t N>
void copy_kronrod(vector<double>& nodes, vector<double>& weights, vector<double>& gauss_weights) {
  using kronrod = boost::math::quadrature::gauss_kronrod<double, 2 * N + 1>;
  using gauss = boost::math::quadrature::gauss<double, N>;
  const auto& abscissa = kronrod::abscissa();  // ascending from 0
  const auto& kronrod_weights = kronrod::weights();
  const auto& embedded = gauss::weights();
  // The Gauss nodes are every other Kronrod node: the even ones (0 included) for odd N, the odd ones else.
  const size_t first_gauss = N % 2 == 1 ? 0 : 1;
  for (size_t i = 0; i <= N; ++i) {
    const size_t k = N - i;
    nodes[k] = abscissa[i];
    weights[k] = kronrod_weights[i];
    gauss_weights[k] = (i % 2 == first_gauss % 2) ? embedded[i / 2] : 0.0;
  }
}

using kronrod_copier = void (*)(vector<double>&, vector<double>&, vector<double>&);

template <size_t... I>
constexpr std::array<kronrod_copier, sizeof...(I)> kronrod_table(std::index_sequence<I...>) {
  return {&copy_kronrod<I + 1>...};
}

}  // namespace

void gaussian_quadrature::gauss_hermite_coefficients(size_t n, vector<double>& roots, vector<double>& weights,
                                                     bool polish, double tolerance, size_t max_iterations) {
  QAVREK_CHECK(n >= 1 && n <= max_hermite_order, "a Gauss-Hermite rule has 1 to ", max_hermite_order,
               " roots, not ", n);
  QAVREK_CHECK(tolerance >= 0.0 && std::isfinite(tolerance), "the tolerance must be finite and not negative, not ",
               tolerance);
  if (roots.empty() && roots.owner()) roots.resize(n);
  if (weights.empty() && weights.owner()) weights.resize(n);
  QAVREK_CHECK(roots.size() == n && weights.size() == n, "an ", n, "-point rule needs ", n, " roots and weights, not ",
               roots.size(), " and ", weights.size());

  // Jacobi matrix of the monic recurrence p_{k+1} = x p_k - (k / 2) p_{k-1}.
  Eigen::VectorXd diagonal = Eigen::VectorXd::Zero(static_cast<Eigen::Index>(n));
  Eigen::VectorXd off_diagonal(static_cast<Eigen::Index>(n > 1 ? n - 1 : 0));
  for (size_t k = 1; k < n; ++k) off_diagonal[static_cast<Eigen::Index>(k - 1)] = std::sqrt(0.5 * double(k));
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver;
  solver.computeFromTridiagonal(diagonal, off_diagonal, polish ? Eigen::EigenvaluesOnly : Eigen::ComputeEigenvectors);
  QAVREK_CHECK(solver.info() == Eigen::Success, "the eigenvalues of the ", n, "-point Hermite Jacobi matrix did not converge");

  const double mass = std::sqrt(std::numbers::pi);  // integral of exp(-x^2)
  for (size_t i = 0; i < n; ++i) {
    const auto index = static_cast<Eigen::Index>(i);
    double root = solver.eigenvalues()[index];
    if (polish) {
      for (size_t iteration = 0; iteration < max_iterations; ++iteration) {
        const auto [value, derivative] = orthonormal_hermite(n, root);
        const double step = value / derivative;
        root -= step;
        if (!(std::abs(step) > tolerance * std::max(1.0, std::abs(root)))) break;
      }
      const double slope = orthonormal_hermite(n, root).second;
      roots[i] = root;
      weights[i] = 2.0 / (slope * slope);
    } else {
      const double first = solver.eigenvectors()(0, index);
      roots[i] = root;
      weights[i] = mass * first * first;
    }
  }
  symmetrise(roots, weights, n);
}

void gaussian_quadrature::gauss_kronrod(size_t n, vector<double>& nodes, vector<double>& weights,
                                        vector<double>& gauss_weights, double, size_t) {
  QAVREK_CHECK(n >= 1 && n <= max_kronrod_order, "the Gauss-Kronrod rules run from 1 to ", max_kronrod_order,
               " Gauss nodes, not ", n);
  size_output(nodes, n + 1, "the node vector");
  size_output(weights, n + 1, "the weight vector");
  size_output(gauss_weights, n + 1, "the Gauss weight vector");
  static constexpr auto table = kronrod_table(std::make_index_sequence<max_kronrod_order>{});
  table[n - 1](nodes, weights, gauss_weights);
}

}  // namespace qavrek
