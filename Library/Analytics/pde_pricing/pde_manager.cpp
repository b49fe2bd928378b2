#include "Analytics/pde_pricing/pde_manager.h"

#include <utility>

#include "Core/check.h"
#include "Core/interruption.h"

namespace qavrek {

pde_manager::pde_manager(const std::vector<ptr_const<diffusion>>& diffusions, const ptr_const<time_grid>& time_grid,
                         const std::vector<size_t>& pv_indices, const std::vector<ptr_const<space_grid>>& space_grids,
                         const std::vector<size_t>& scheme_sizes, const std::vector<bool>& scheme_flags,
                         pde_scheme_type type, bool scheme_option, const matrix<double>& correlation)
    : diffusions_(diffusions),
      time_grid_(time_grid),
      pv_indices_(pv_indices),
      space_grids_(space_grids),
      correlation_(correlation) {
  QAVREK_CHECK(time_grid_ != nullptr, "the PDE manager needs a time grid");
  QAVREK_CHECK(!space_grids_.empty(), "the PDE manager needs at least one space grid");
  for (size_t i = 0; i < diffusions_.size(); ++i) QAVREK_CHECK(diffusions_[i] != nullptr, "diffusion ", i, " is null");
  for (size_t d = 0; d < space_grids_.size(); ++d) {
    QAVREK_CHECK(space_grids_[d] != nullptr, "space grid ", d, " is null");
    dimensions_.push_back(space_grids_[d]->size());
  }
  const bool with_correlation = diffusions_.size() >= 2;
  std::vector<ptr_const<pde_model_coefficients>> shared;
  for (size_t d = 0; d < space_grids_.size(); ++d) {
    coefficients_.push_back(std::make_shared<pde_model_coefficients>(dimensions_, with_correlation));
    shared.push_back(coefficients_.back());
    coefficient_pairs_.emplace_back(coefficients_.back(), coefficients_.back());
  }
  scheme_ = pde_scheme::create_scheme(time_grid_, space_grids_, shared, scheme_sizes, scheme_flags, type, scheme_option,
                                      correlation_);
}

std::vector<size_t> pde_manager::values_shape(size_t count) const {
  if (count < 2) return dimensions_;
  std::vector<size_t> shape{count};
  shape.insert(shape.end(), dimensions_.begin(), dimensions_.end());
  return shape;
}

void pde_manager::run(const std::vector<ptr_const<instrument>>& instruments, const std::vector<double>& factors,
                      const std::vector<ptr_mutable<life_cycle_data>>& life_cycle) {
  const time_grid& grid = *time_grid_;
  QAVREK_CHECK(factors.size() >= grid.size(), "the run reads one factor per time-grid date (", grid.size(), "), not ",
               factors.size());
  QAVREK_CHECK(life_cycle.empty() || life_cycle.size() == instruments.size(), "the run has ", instruments.size(),
               " instruments and ", life_cycle.size(), " life-cycle entries: one per instrument, or none");
  size_t count = 0;
  for (size_t i = 0; i < instruments.size(); ++i) {
    QAVREK_CHECK(instruments[i] != nullptr, "instrument ", i, " is null");
    count += instruments[i]->size();
  }

  storage_ = std::make_shared<pde_storage>(1, count, values_shape(count));
  size_ = count;
  run_state run{instruments, factors, life_cycle, {}, {}};
  tensor<double>& results = storage_->result();
  const size_t nodes = results.size() / (count < 2 ? 1 : count);
  size_t first = 0;
  for (const auto& item : instruments) {
    std::vector<size_t> shape = values_shape(item->size());
    if (item->size() == 0) shape.insert(shape.begin(), 0);  // an instrument without values sees none
    run.values.push_back(tensor<double>::view(results.data() + first * nodes, std::move(shape)));
    first += item->size();
  }
  // The views over no states: the PDE gives the diffusions no paths.
  for (const auto& item : diffusions_)
    run.views.push_back(item->create_market_data(item, matrix<double>(1, 0), matrix<double>(1, 0), run.views, nullptr));

  const size_t events = grid.event_dates_size();
  if (grid.is_direction_forward()) {
    for (size_t e = 1; e < events; ++e)
      for (size_t k = grid.event_dates_indexs(e - 1); k < grid.event_dates_indexs(e); ++k)
        pde_step(grid.date(k), grid.date(k + 1), k, run);
  } else {
    for (size_t e = events; e-- > 1;)
      for (size_t k = grid.event_dates_indexs(e); k > grid.event_dates_indexs(e - 1); --k)
        pde_step(grid.date(k - 1), grid.date(k), k, run);
  }
}

// A stop is heard before each step and, with many instruments, every 1024 of them (and results, in the
// scheme's solves).
void pde_manager::pde_step(const datetime& earlier, const datetime& later, size_t k, run_state& run) {
  constexpr size_t instruments_between_points = 1024;
  const auto look = [](size_t i) {
    if (i % instruments_between_points == instruments_between_points - 1) interruption::point();
  };
  interruption::point();
  scheme_->initialize(k);
  for (size_t i = 0; i < run.instruments.size(); ++i) {
    look(i);
    run.instruments[i]->value(scheme_->from(), run.views, run.values[i]);
  }
  for (const auto& item : diffusions_) item->coefficients(coefficients_, earlier, later);
  const bool forward = !(scheme_->to() < scheme_->from());
  scheme_->diffuse(*storage_, coefficient_pairs_, run.factors[forward ? k + 1 : k]);
  for (size_t i = 0; i < run.instruments.size(); ++i) {
    look(i);
    life_cycle_data* life = run.life_cycle.empty() ? nullptr : run.life_cycle[i].get();
    run.instruments[i]->value_american_events(scheme_->to(), run.views, life, run.values[i]);
  }
}

void pde_manager::pv(double* output) const {
  QAVREK_CHECK(storage_ != nullptr, "pv reads the results of a run: run the manager first");
  const tensor<double>& results = storage_->result();
  const size_t count = storage_->number_of_results();
  if (count == 0) return;
  const size_t nodes = results.size() / count;
  const bool forward = time_grid_->is_direction_forward();
  // The position of the pv indices within one result, checked against the grid's shape.
  const size_t position =
      forward ? 0
              : tensor<double>::view(const_cast<double*>(results.data()), dimensions_).linearized_index(pv_indices_);
  for (size_t r = 0; r < count; ++r) {
    const double* result = results.data() + r * nodes;
    if (forward) {
      double sum = 0.0;
      for (size_t p = 0; p < nodes; ++p) sum += result[p];
      output[r] = sum;
    } else {
      output[r] = result[position];
    }
  }
}

}  // namespace qavrek
