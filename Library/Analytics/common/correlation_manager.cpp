#include "Analytics/common/correlation_manager.h"

#include <cmath>

#include "Core/check.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/common/correlation_manager";
constexpr int find_line = 115;
constexpr int empty_ids_line = 139;
constexpr int empty_factors_line = 140;
constexpr int sizes_line = 146;
}  // namespace

correlation_manager::correlation_manager(const datetime& valuation_date,
                                         const std::vector<ptr_const<diffusion_id>>& ids,
                                         const std::vector<size_t>& factors, const matrix<double>& correlation)
    : market_data(valuation_date), ids_(ids), factors_(factors), correlation_(correlation) {
  validate();
}

correlation_manager::~correlation_manager() = default;

const ptr_const<diffusion_id>& correlation_manager::id(size_t i) const {
  QAVREK_CHECK(i < ids_.size(), "id index ", i, " is out of range: the manager holds ", ids_.size(), " ids");
  return ids_[i];
}

size_t correlation_manager::number_of_factors(const ptr_const<diffusion_id>& id) const { return factors_[find(id)]; }

matrix<double> correlation_manager::pair_correlation_matrix(const std::vector<ptr_const<diffusion_id>>& ids1,
                                                            const std::vector<ptr_const<diffusion_id>>& ids2) const {
  const std::vector<block> rows = blocks_of(ids1, correlation_.rows(), "rows");
  const std::vector<block> columns = blocks_of(ids2, correlation_.columns(), "columns");
  size_t row_count = 0;
  for (const block& b : rows) row_count += b.size;
  size_t column_count = 0;
  for (const block& b : columns) column_count += b.size;

  matrix<double> result(row_count, column_count);
  size_t r0 = 0;
  for (const block& a : rows) {
    size_t c0 = 0;
    for (const block& b : columns) {
      for (size_t r = 0; r < a.size; ++r)
        for (size_t c = 0; c < b.size; ++c) result(r0 + r, c0 + c) = correlation_(a.offset + r, b.offset + c);
      c0 += b.size;
    }
    r0 += a.size;
  }
  return result;
}

void correlation_manager::initialize() const { validate(); }

void correlation_manager::validate() const {
  if (ids_.empty()) details::check_fail("validate", source_file, empty_ids_line, "ids_ are empty!");
  if (factors_.empty()) details::check_fail("validate", source_file, empty_factors_line, "factors are empty!");
  QAVREK_CHECK_AT("validate", source_file, sizes_line, ids_.size() == factors_.size(), "factors size ",
                  factors_.size(), " is different from ids size ", ids_.size());
  // Entries beyond [-1, 1] are let through (the blocks are copied, not read as correlations); a NaN or an
  // infinity is no correlation of any factors.
  for (size_t r = 0; r < correlation_.rows(); ++r)
    for (size_t c = 0; c < correlation_.columns(); ++c)
      if (!std::isfinite(correlation_(r, c)))
        QAVREK_FAIL("the correlation holds ", correlation_(r, c), " at (", r, ", ", c,
                    "): a correlation is a finite number");
}

size_t correlation_manager::find(const ptr_const<diffusion_id>& id) const {
  if (id)
    for (size_t i = 0; i < ids_.size(); ++i)
      if (ids_[i] && *ids_[i] == *id) return i;
  details::check_fail("find", source_file, find_line, " id not fount in the list");
}

// The matrix may be smaller than the factor counts say; a block that would run past it is refused
// rather than read.
std::vector<correlation_manager::block> correlation_manager::blocks_of(const std::vector<ptr_const<diffusion_id>>& ids,
                                                                       size_t extent, const char* side) const {
  std::vector<size_t> positions;
  positions.reserve(ids.size());
  for (const auto& id : ids) positions.push_back(find(id));

  std::vector<block> blocks;
  blocks.reserve(ids.size());
  for (const size_t position : positions) {
    // Summed only while inside the matrix, so that huge counts cannot wrap around into it.
    size_t offset = 0;
    bool inside = true;
    for (size_t k = 0; k < position && inside; ++k) {
      inside = factors_[k] <= extent - offset;
      if (inside) offset += factors_[k];
    }
    const size_t size = factors_[position];
    if (size > 0)
      QAVREK_CHECK(inside && size <= extent - offset, "the ", size, " factors of id ", position,
                   " do not fit in the ", extent, " ", side, " of the correlation matrix");
    blocks.push_back({offset, size});
  }
  return blocks;
}

template class serialization::persistable<correlation_manager>;

QAVREK_REGISTER_PERSISTABLE(correlation_manager, market_data);

}  // namespace qavrek
