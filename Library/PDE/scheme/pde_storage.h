#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <vector>

#include "PDE/boundary/pde_boundary_config.h"
#include "Vectorization/tensor.h"

namespace qavrek {

// The values rolled through the time grid for all instruments of a run, and their grouping by boundary
// configuration: each stored entry has one configuration per entry of the shape, and entries with equal
// configurations share one group.
class pde_storage {
 public:
  using boundary_key = std::vector<pde_boundary_config>;
  using boundary_groups = std::map<boundary_key, std::set<size_t>>;

  // Values of the given shape (the number of values first when a grid point holds several, then one size per space
  // dimension), zero-filled twice over; every entry gets the default configurations.
  pde_storage(size_t number_of_entries, size_t number_of_results, const std::vector<size_t>& sizes);

  const std::vector<size_t>& sizes() const noexcept { return sizes_; }
  size_t number_of_results() const noexcept { return number_of_results_; }
  tensor<double>& result() noexcept { return result_; }
  const tensor<double>& result() const noexcept { return result_; }
  // A second buffer of the result's shape for the schemes.
  tensor<double>& previous_result() noexcept { return previous_result_; }
  const tensor<double>& previous_result() const noexcept { return previous_result_; }
  // Walked in key order by the schemes.
  const boundary_groups& boundary_configs() const noexcept { return boundary_configs_; }
  const std::vector<boundary_key>& entries() const noexcept { return entries_; }

 private:
  std::vector<size_t> sizes_;
  size_t number_of_results_;
  tensor<double> result_;
  tensor<double> previous_result_;
  boundary_groups boundary_configs_;
  std::vector<boundary_key> entries_;
};

}  // namespace qavrek
