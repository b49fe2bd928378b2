#pragma once

#include <cstddef>

namespace qavrek {

// Row-major general matrix product C = alpha op(A) op(B) + beta C, op(X) = X ('N') or X^T ('T').
// op(A) is m x k, op(B) is k x n and C is m x n; each operand is stored row-major with the given leading
// dimension (the distance between the starts of two stored rows): A is stored m x k ('N') or k x m ('T'),
// B k x n ('N') or n x k ('T'). With beta = 0, C is overwritten and never read (NaN in it does no harm).
// C may overlap A or B: the product is then formed in a temporary first. Leading dimensions shorter than a
// stored row, null pointers for non-empty operands and unknown transposition letters are errors.
void matrix_multiplication(char transpose_a, char transpose_b, size_t m, size_t n, size_t k, double alpha,
                           const double* a, size_t lda, const double* b, size_t ldb, double beta, double* c,
                           size_t ldc);

// C = op(A) op(B): the common case of alpha = 1 and beta = 0.
void matrix_multiplication(char transpose_a, char transpose_b, size_t m, size_t n, size_t k, const double* a,
                           size_t lda, const double* b, size_t ldb, double* c, size_t ldc);

}  // namespace qavrek
