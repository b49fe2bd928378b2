#pragma once

#include <cstddef>
#include <type_traits>
#include <vector>

#include "Analytics/diffusion/common/id/diffusion_id.h"
#include "Core/pointers.h"
#include "Market/market_data.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// The joint correlation matrix of every simulated factor, laid out in blocks: diffusion id k owns
// factors[k] consecutive rows and columns, starting at factors[0] + ... + factors[k-1]. Ids are
// found by value, so an id built apart from the one given here finds its block. Immutable.
// Code that saves or loads it with the persistence templates also includes
// Serialization/common/matrix_form.h, the persistent form of its matrix.
class correlation_manager : public market_data, public serialization::persistable<correlation_manager> {
 public:
  // Copies the ids, the factor counts and the matrix. Refuses empty ids ("ids_ are empty!"), empty
  // counts ("factors are empty!"), lists of different lengths and, last, a matrix entry that is NaN or
  // infinite. The loaders run the same checks.
  correlation_manager(const datetime& valuation_date, const std::vector<ptr_const<diffusion_id>>& ids,
                      const std::vector<size_t>& factors, const matrix<double>& correlation);
  correlation_manager(const correlation_manager&) = default;
  ~correlation_manager() override;

  const std::vector<ptr_const<diffusion_id>>& ids() const noexcept { return ids_; }
  // The i-th id; i must be below ids().size().
  const ptr_const<diffusion_id>& id(size_t i) const;
  const std::vector<size_t>& factors() const noexcept { return factors_; }
  const matrix<double>& correlation() const noexcept { return correlation_; }

  // The factor count of the id equal to `id`.
  size_t number_of_factors(const ptr_const<diffusion_id>& id) const;

  // The correlations between the factors of ids1 (rows) and those of ids2 (columns), block after
  // block in the order of the lists given. An id may appear in both lists or more than once.
  matrix<double> pair_correlation_matrix(const std::vector<ptr_const<diffusion_id>>& ids1,
                                         const std::vector<ptr_const<diffusion_id>>& ids2) const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders.
  correlation_manager() = default;
  void initialize() const;
  void validate() const;

  // The position of the id equal to `id` in ids_.
  size_t find(const ptr_const<diffusion_id>& id) const;

  // Where the block of each id lies along one side of the matrix.
  struct block {
    size_t offset;
    size_t size;
  };
  std::vector<block> blocks_of(const std::vector<ptr_const<diffusion_id>>& ids, size_t extent,
                               const char* side) const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    // The valuation date belongs to the base, which offers no reference to load into.
    if constexpr (std::is_const_v<Self>) {
      field("valuation_date", self.valuation_date());
    } else {
      datetime date = self.valuation_date();
      field("valuation_date", date);
      self.set_valuation_date(date);
    }
    field("factors", self.factors_);
    field("correlation", self.correlation_);
    field("ids", self.ids_);
  }

  std::vector<ptr_const<diffusion_id>> ids_;
  std::vector<size_t> factors_;
  matrix<double> correlation_;
};

}  // namespace qavrek
