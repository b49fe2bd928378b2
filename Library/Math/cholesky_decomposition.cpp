#include "Math/cholesky_decomposition.h"

#include <Eigen/Dense>

#include <array>
#include <cmath>
#include <vector>

#include "Core/check.h"

namespace qavrek {
namespace {

using row_matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Beyond this size n * n would not fit in memory anyway; the bound keeps n * n from overflowing.
constexpr long long max_size = 1LL << 30;

// Factors up to this size run on the stack: the models factor covariances of a few factors per pricing call.
constexpr long long stack_size = 8;

void check_arguments(const char* function, const void* pointer, long long n, cholesky_decomposition_type type) {
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, type == 'L', "only the lower factor ('L') is offered, got '", type,
                  "'");
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, n >= 0 && n <= max_size, "invalid matrix size ", n);
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, n == 0 || pointer != nullptr, "null matrix of size ", n);
}

bool has_finite_lower_triangle(const Eigen::Ref<const row_matrix>& matrix) {
  for (Eigen::Index i = 0; i < matrix.rows(); ++i) {
    for (Eigen::Index j = 0; j <= i; ++j) {
      if (!std::isfinite(matrix(i, j))) return false;
    }
  }
  return true;
}

}  // namespace

bool cholesky_decomposition(double* a, long long n, cholesky_decomposition_type type) {
  check_arguments("cholesky_decomposition", a, n, type);
  if (n == 0) return true;

  const auto size = static_cast<Eigen::Index>(n);
  Eigen::Map<row_matrix> matrix(a, size, size);
  // Eigen's LLT treats NaN pivots as positive; refuse them up front.
  if (!has_finite_lower_triangle(matrix)) return false;

  // The factorisation runs on a copy so that a failure leaves the caller's matrix as it was.
  std::array<double, stack_size * stack_size> small{};
  std::vector<double> large;
  double* storage = small.data();
  if (n > stack_size) {
    large.resize(static_cast<size_t>(n * n));
    storage = large.data();
  }
  Eigen::Map<row_matrix> work(storage, size, size);
  work.triangularView<Eigen::Lower>() = matrix.triangularView<Eigen::Lower>();

  Eigen::LLT<Eigen::Ref<row_matrix>, Eigen::Lower> factorisation(work);
  // Overflow inside the factorisation shows as a non-finite entry of the factor.
  if (factorisation.info() != Eigen::Success || !has_finite_lower_triangle(work)) return false;

  matrix.triangularView<Eigen::Lower>() = work.triangularView<Eigen::Lower>();
  matrix.triangularView<Eigen::StrictlyUpper>().setZero();
  return true;
}

bool cholesky_decomposition_aad(const double* factor_adjoint, const double* factor, long long n,
                                cholesky_decomposition_type type, double* matrix_adjoint) {
  check_arguments("cholesky_decomposition_aad", factor, n, type);
  check_arguments("cholesky_decomposition_aad", factor_adjoint, n, type);
  check_arguments("cholesky_decomposition_aad", matrix_adjoint, n, type);
  if (n == 0) return true;

  const auto size = static_cast<Eigen::Index>(n);
  // L, its adjoint, their product and G, on the stack for the usual factor counts.
  std::array<double, 4 * stack_size * stack_size> small{};
  std::vector<double> large;
  double* storage = small.data();
  const auto block = static_cast<size_t>(n * n);
  if (n > stack_size) {
    large.resize(4 * block);
    storage = large.data();
  }
  Eigen::Map<row_matrix> l(storage, size, size), l_bar(storage + block, size, size);
  Eigen::Map<row_matrix> product(storage + 2 * block, size, size), g(storage + 3 * block, size, size);
  l = Eigen::Map<const row_matrix>(factor, size, size).triangularView<Eigen::Lower>();
  for (Eigen::Index i = 0; i < size; ++i) {
    if (!(l(i, i) > 0.0 && std::isfinite(l(i, i)))) return false;
  }
  l_bar = Eigen::Map<const row_matrix>(factor_adjoint, size, size).triangularView<Eigen::Lower>();

  // dL = L Phi(L^-1 dA L^-T) gives <Lbar, dL> = <L^-T Phi(L^T Lbar) L^-1, dA> = <G, dA>.
  product.noalias() = l.transpose() * l_bar;
  g = product.triangularView<Eigen::Lower>();
  g.diagonal() *= 0.5;
  l.transpose().triangularView<Eigen::Upper>().solveInPlace(g);
  l.triangularView<Eigen::Lower>().solveInPlace<Eigen::OnTheRight>(g);

  // A symmetric input moves A(i, j) and A(j, i) together when its lower entry (i, j) moves.
  Eigen::Map<row_matrix> a_bar(matrix_adjoint, size, size);
  for (Eigen::Index i = 0; i < size; ++i) {
    for (Eigen::Index j = 0; j < i; ++j) a_bar(i, j) += g(i, j) + g(j, i);
    a_bar(i, i) += g(i, i);
  }
  return true;
}

}  // namespace qavrek
