#include "Analytics/simulation/simulation_manager.h"

#include <cmath>
#include <utility>

#include "Analytics/simulation/random_manager.h"
#include "Analytics/simulation/states_variables.h"
#include "Core/check.h"
#include "Core/interruption.h"
#include "Math/cholesky_decomposition.h"
#include "Market/discount_curve.h"

namespace qavrek {

namespace {

// Correlations come from calibrations and files: allow their rounding, not a different matrix.
constexpr double correlation_tolerance = 1e-12;

}  // namespace

simulation_manager::simulation_manager(std::vector<ptr_const<diffusion>> assets,
                                       std::vector<ptr_const<change_of_measure>> change_of_measures,
                                       const matrix<double>& correlation, const ptr_const<random_config>& config,
                                       const std::vector<datetime>& simulation_dates)
    : assets_(std::move(assets)), change_of_measures_(std::move(change_of_measures)), simulation_dates_(simulation_dates) {
  QAVREK_CHECK(!assets_.empty(), "a simulation needs at least one diffusion");
  QAVREK_CHECK(config != nullptr, "a simulation needs its random configuration");

  std::vector<size_t> state_sizes;
  state_sizes.reserve(assets_.size());
  factor_offsets_.reserve(assets_.size());
  for (size_t i = 0; i < assets_.size(); ++i) {
    QAVREK_CHECK(assets_[i] != nullptr, "diffusion ", i, " is null");
    factor_offsets_.push_back(number_of_factors_);
    number_of_factors_ += assets_[i]->number_of_factors();
    state_sizes.push_back(assets_[i]->number_of_states());
  }
  check_inputs(correlation, *config);
  decompose_correlation(correlation);

  random_manager_ = std::make_unique<random_manager>(config);
  number_of_paths_ = random_manager_->number_of_paths();
  states_ = std::make_shared<states_variables>(state_sizes, number_of_paths_);

  // Each view sees the views built before it: later families read the rates simulated first.
  data_.reserve(assets_.size());
  for (size_t i = 0; i < assets_.size(); ++i) {
    ptr_const<market_data> view =
        assets_[i]->create_market_data(assets_[i], states_->next_states(i), states_->current_states(i), data_, states_);
    QAVREK_CHECK(view != nullptr, "diffusion ", i, " built no market-data view");
    data_.push_back(std::move(view));
  }
  QAVREK_CHECK(diffusion::diffusion_discount_curve(data_.front()) != nullptr,
               "the first diffusion of a simulation must be the domestic interest rate, whose view is a discount "
               "curve");
}

simulation_manager::~simulation_manager() = default;

void simulation_manager::check_inputs(const matrix<double>& correlation, const random_config& config) const {
  QAVREK_CHECK(change_of_measures_.size() == assets_.size(), "there are ", change_of_measures_.size(),
               " changes of measure for ", assets_.size(), " diffusions");
  for (size_t i = 0; i < change_of_measures_.size(); ++i)
    QAVREK_CHECK(change_of_measures_[i] != nullptr, "the change of measure of diffusion ", i, " is null");
  for (size_t i = 0; i < assets_.size(); ++i)
    QAVREK_CHECK(assets_[i]->dates() == simulation_dates_, "diffusion ", i,
                 " was built on other dates than the simulation dates");

  const ptr_const<random_settings> settings = config.settings();
  QAVREK_CHECK(settings != nullptr, "the random configuration has no settings");
  QAVREK_CHECK(settings->number_of_brownians() == number_of_factors_, "the random configuration draws ",
               settings->number_of_brownians(), " brownians, but the diffusions have ", number_of_factors_,
               " factors");
  QAVREK_CHECK(settings->number_of_simulation_dates() == simulation_dates_.size(), "the random configuration has ",
               settings->number_of_simulation_dates(), " simulation dates, but the simulation has ",
               simulation_dates_.size());

  const size_t n = number_of_factors_;
  QAVREK_CHECK(correlation.rows() == n && correlation.columns() == n, "the correlation must be ", n, " x ", n,
               " (the factors of all diffusions), got ", correlation.rows(), " x ", correlation.columns());
  for (size_t i = 0; i < n; ++i) {
    QAVREK_CHECK(std::abs(correlation(i, i) - 1.0) <= correlation_tolerance, "correlation (", i, ", ", i, ") is ",
                 correlation(i, i), " instead of 1");
    for (size_t j = 0; j < i; ++j)
      QAVREK_CHECK(std::abs(correlation(i, j) - correlation(j, i)) <= correlation_tolerance,
                   "the correlation is not symmetric: (", i, ", ", j, ") is ", correlation(i, j), " and (", j, ", ",
                   i, ") is ", correlation(j, i));
  }
}

void simulation_manager::decompose_correlation(const matrix<double>& correlation) {
  decomposed_correlation_ = correlation;
  const bool decomposed =
      cholesky_decomposition(decomposed_correlation_.data(), static_cast<long long>(number_of_factors_), 'L');
  QAVREK_CHECK(decomposed, "the correlation of the ", number_of_factors_,
               " factors is not positive definite: it has no Cholesky factor");
}

void simulation_manager::states_initialize() {
  date_reached_ = not_initialized;
  for (size_t i = 0; i < assets_.size(); ++i) {
    matrix<double> next = states_->next_states(i);
    assets_[i]->states_initialize(next);
  }
  for (const auto& view : data_) view->finalize(simulation_dates_.front());
  date_reached_ = 0;
}

void simulation_manager::propagate(size_t time_index) {
  QAVREK_CHECK(time_index >= 1 && time_index < simulation_dates_.size(), "time_index ", time_index,
               " is not a simulation step: the steps run from 1 to ", simulation_dates_.size() - 1);
  QAVREK_CHECK(date_reached_ != not_initialized,
               "the states are not set: call states_initialize before the first step (and after a failed one)");
  QAVREK_CHECK(time_index == date_reached_ + 1, "step ", time_index, " does not follow the date reached, ",
               date_reached_, ": the steps run in order from 1");

  // Stopped while it draws, the step leaves the states as they were; stopped or failing later, it leaves
  // some diffusions moved and others not.
  matrix<double> gaussians = random_manager_->correlate(time_index, decomposed_correlation_);
  date_reached_ = not_initialized;
  for (size_t i = 0; i < assets_.size(); ++i) {
    interruption::point();
    const size_t factors = assets_[i]->number_of_factors();
    const matrix<double> own_gaussians =
        matrix<double>::view(gaussians.data() + factor_offsets_[i] * number_of_paths_, factors, number_of_paths_);
    matrix<double> next = states_->next_states(i);
    matrix<double> current = states_->current_states(i);
    assets_[i]->propagate_state(next, current, time_index, own_gaussians, *change_of_measures_[i]);
  }
  for (const auto& view : data_) view->finalize(simulation_dates_[time_index]);
  date_reached_ = time_index;
}

const ptr_const<market_data>& simulation_manager::data(size_t i) const {
  QAVREK_CHECK(i < data_.size(), "diffusion ", i, " is out of range: the simulation has ", data_.size(),
               " diffusions");
  return data_[i];
}

}  // namespace qavrek
