#pragma once

namespace qavrek {

// Which triangle holds the factor: 'L' for A = L L^T with L lower triangular (the only form offered).
using cholesky_decomposition_type = char;

// Replaces the row-major n x n symmetric matrix `a` by its lower Cholesky factor L, A = L L^T.
// Only the lower triangle (diagonal included) of `a` is read; on success the strict upper triangle is set to
// zero, so `a` holds L as a full matrix. Returns false, leaving `a` untouched, when the matrix is not
// numerically positive definite or its lower triangle holds a non-finite value. n = 0 succeeds at once.
// A negative n, a null `a` with n > 0 or a type other than 'L' is an error.
bool cholesky_decomposition(double* a, long long n, cholesky_decomposition_type type);

// Reverse mode of cholesky_decomposition: given the factor L and the adjoint Lbar of L, adds to the lower
// triangle (diagonal included) of `matrix_adjoint` the adjoint of the lower triangle of the symmetric input,
// the form in which a symmetric matrix is its own parameters:
//   G = L^-T Phi(L^T Lbar) L^-1, Phi = lower triangle with halved diagonal (Murray, 2016),
//   matrix_adjoint(i, j) += G(i, j) + G(j, i) for i > j, matrix_adjoint(i, i) += G(i, i).
// The strict upper triangles of `factor` and `factor_adjoint` are not read (entries of L above the diagonal are
// zero by construction) and that of `matrix_adjoint` is not touched. Returns false, adding nothing, when the
// factor's diagonal is not positive and finite. Argument errors as for cholesky_decomposition.
bool cholesky_decomposition_aad(const double* factor_adjoint, const double* factor, long long n,
                                cholesky_decomposition_type type, double* matrix_adjoint);

}  // namespace qavrek
