// Adjoints of the Markovian HJM model against central finite differences. A scalar is made of random
// multiples of every table entry, of the loadings of two decompositions and of the look-ups between
// model dates (decay, integrated decay, covariance, incremental volatilities of other dates); its
// gradient with respect to the parameter set's state, as the adjoint calls and fill_aad leave it in the
// parameter's part of the adjoint array, must equal bumping each state parameter and refilling.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/tests/hjm_model_test_support.h"
#include "Core/error.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

using hjm_type = parameter_markovian_hjm_type;

datetime valuation() { return datetime(2024, 1, 2); }
datetime day(int offset) { return datetime(valuation().serial() + offset); }
std::vector<datetime> days(std::initializer_list<int> offsets) {
  std::vector<datetime> dates;
  for (int offset : offsets) dates.push_back(day(offset));
  return dates;
}

struct adjoint_case {
  hjm_type type;
  bool full_covariance;
  size_t factors;
  // A first-factor decay of 1e-9. HULL_WHITE: every mean reversion of the factor, so that its divided
  // differences run on their series from the first date on. PICEWISE_CONSTANT: the decay of the second
  // period, the decay itself; on the first period it would leave no G-weighted variance to the first
  // step, whose square root then has a kink (|decay|) at zero that no finite difference across it sees.
  bool near_zero_decay;
  // Every factor without volatility up to the first volatility date: zero incremental variances.
  bool zero_first_volatility = false;
};

std::string describe(const adjoint_case& c) {
  return std::string(c.type == hjm_type::HULL_WHITE ? "HullWhite" : "PiecewiseConstant") +
         (c.full_covariance ? "FullCovariance" : "Simulation") + std::to_string(c.factors) + "Factors" +
         (c.near_zero_decay ? "NearZeroDecay" : "") + (c.zero_first_volatility ? "ZeroFirstVolatility" : "");
}

std::string case_name(const ::testing::TestParamInfo<adjoint_case>& info) { return describe(info.param); }

void PrintTo(const adjoint_case& c, std::ostream* out) { *out << describe(c); }

std::vector<adjoint_case> adjoint_cases() {
  std::vector<adjoint_case> cases;
  for (const hjm_type type : {hjm_type::HULL_WHITE, hjm_type::PICEWISE_CONSTANT})
    for (const bool full : {true, false})
      for (const size_t factors : {1, 2, 3})
        for (const bool near_zero : {false, true}) cases.push_back({type, full, factors, near_zero});
  for (const bool full : {true, false}) cases.push_back({hjm_type::HULL_WHITE, full, 2, false, true});
  return cases;
}

parameter_markovian_hjm make_parameter(const adjoint_case& c) {
  return hjm_test::varying_parameter(c.type, c.factors, c.near_zero_decay, c.zero_first_volatility);
}

// Simulation models start at the valuation date, except those with a near-zero decay, whose first step
// then starts at the valuation date added as a model date. Full-covariance models get the same dates as
// extra dates, so that every model has the dates the queries below name.
std::vector<datetime> model_input_dates(const adjoint_case& c) {
  if (c.near_zero_decay) return days({30, 91, 365, 500, 1095, 2000, 3000});
  return days({0, 30, 91, 365, 500, 1095, 2000, 3000});
}

model_markovian_hjm make_model(const adjoint_case& c, const parameter_markovian_hjm& parameter) {
  if (c.full_covariance) return model_markovian_hjm(parameter, valuation(), {}, true, model_input_dates(c));
  return model_markovian_hjm(parameter, valuation(), model_input_dates(c), false);
}

// What the scalar reads beyond the tables. t = 700 and 1200 lie between model dates (500 and 730, 1095
// and 1460), 500 and 2000 are model dates (and simulation dates); 4200 lies after the last model date.
const datetime relative_expiry = day(700);
const std::vector<datetime> relative_maturities = days({700, 800, 1095, 2000, 4200});
const datetime absolute_expiry = day(500);
const std::vector<datetime> absolute_maturities = days({500, 1460, 3000});
const datetime between_dates = day(1200);
const datetime on_a_date = day(2000);
const std::vector<datetime> volatility_dates = days({91, 500, 2000});

// Every output of the model that the scalar weighs, in one fixed order.
std::vector<double> outputs(const model_markovian_hjm& model) {
  const size_t n = model.number_of_factors();
  std::vector<double> values(model.state_parameters_size());
  model.get_state_parameters(values.data());
  const auto append = [&values](const auto& block) { values.insert(values.end(), block.begin(), block.end()); };
  matrix<double> loadings(relative_maturities.size(), n);
  model.decompose(loadings, relative_expiry, relative_maturities, true);
  append(loadings);
  loadings = matrix<double>(absolute_maturities.size(), n);
  model.decompose(loadings, absolute_expiry, absolute_maturities, false);
  append(loadings);
  vector<double> look_up;
  model.decay(between_dates, model.date_offset(between_dates), look_up);
  append(look_up);
  model.integral_decay(between_dates, look_up);
  append(look_up);
  matrix<double> covariance;
  model.states_variable_covariance(between_dates, covariance);
  append(covariance);
  model.states_variable_covariance(on_a_date, covariance);
  append(covariance);
  matrix<double> volatility(volatility_dates.size(), n);
  model.incremental_volatility_sv(volatility_dates, volatility);
  append(volatility);
  model.incremental_volatility_mm(volatility_dates, volatility);
  append(volatility);
  return values;
}

// The same outputs' adjoints: seeds[e] = dF/d outputs[e]. Adds the whole gradient into `adjoints`.
void add_adjoints(const model_markovian_hjm& model, const std::vector<double>& seeds, double* adjoints) {
  const size_t n = model.number_of_factors();
  const size_t tables = model.state_parameters_size();
  double* model_adjoints = adjoints + model.adjoint_offset();
  std::copy(seeds.begin(), seeds.begin() + static_cast<std::ptrdiff_t>(tables), model_adjoints);
  // Under HULL_WHITE the decay table takes the adjoint of log D.
  if (model.parameter().model_type() == hjm_type::HULL_WHITE)
    for (size_t e = 0; e < model.decay().size(); ++e)
      model_adjoints[model.decay_offset() + e] *= model.decay().data()[e];

  size_t next = tables;
  const auto take_matrix = [&](size_t rows, size_t columns) {
    matrix<double> block(rows, columns);
    std::copy(seeds.begin() + static_cast<std::ptrdiff_t>(next),
              seeds.begin() + static_cast<std::ptrdiff_t>(next + rows * columns), block.begin());
    next += rows * columns;
    return block;
  };
  const auto take_vector = [&]() {
    vector<double> block(n);
    std::copy(seeds.begin() + static_cast<std::ptrdiff_t>(next), seeds.begin() + static_cast<std::ptrdiff_t>(next + n),
              block.begin());
    next += n;
    return block;
  };
  model.decompose_aad(take_matrix(relative_maturities.size(), n), relative_expiry, relative_maturities, adjoints, true);
  model.decompose_aad(take_matrix(absolute_maturities.size(), n), absolute_expiry, absolute_maturities, adjoints,
                      false);
  const size_t i = model.date_offset(between_dates);
  vector<double> decay;
  model.decay(between_dates, i, decay);
  model.decay_aad(take_vector(), decay, between_dates, i, adjoints);
  model.integral_decay_aad(take_vector(), between_dates, adjoints);
  model.states_variable_covariance_aad(take_matrix(n, n), between_dates, adjoints);
  model.states_variable_covariance_aad(take_matrix(n, n), on_a_date, adjoints);
  matrix<double> values(volatility_dates.size(), n);
  model.incremental_volatility_sv(volatility_dates, values);
  model.incremental_volatility_sv_aad(take_matrix(volatility_dates.size(), n), values, volatility_dates, adjoints);
  model.incremental_volatility_mm(volatility_dates, values);
  model.incremental_volatility_mm_aad(take_matrix(volatility_dates.size(), n), values, volatility_dates, adjoints);
  ASSERT_EQ(next, seeds.size());

  model.fill_aad(adjoints);
  model.finalize_aad(adjoints);
  model.parameter().finalize_aad(adjoints);
}

std::vector<double> random_seeds(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> seeds(size);
  for (double& value : seeds) value = uniform(generator);
  return seeds;
}

class HjmAdjoints : public ::testing::TestWithParam<adjoint_case> {
 protected:
  HjmAdjoints() : parameter_(make_parameter(GetParam())), model_(make_model(GetParam(), parameter_)) {
    // The adjoint array: the parameter set's state from 0, the model's tables after it.
    parameter_.register_at(0);
    model_.register_at(parameter_.state_parameters_size());
  }

  size_t array_size() const { return parameter_.state_parameters_size() + model_.state_parameters_size(); }

  parameter_markovian_hjm parameter_;
  model_markovian_hjm model_;
};

// Central differences with a step of 1e-6 of each parameter's size (floored by the size of its kind, so
// that a near-zero decay is stepped by 1e-8 and its derivative taken across zero): the truncation error,
// of order step^2 times the third derivative, is ~1e-12 relative. The outputs are differenced entry by
// entry before they are weighed, so that the rounding of outputs that a parameter does not move cancels
// exactly; what remains is the rounding of the outputs that do move (a few ulps of tables accumulated
// over a dozen dates) over a step of 1e-6: 1e-10 to 1e-7 relative on these cases, below the 1e-6 asked.
// The mean reversions stay moderate (1/D at most ~e^7) so that no table entry's rounding swamps the
// small derivatives of the same parameter.
TEST_P(HjmAdjoints, GradientMatchesCentralFiniteDifferences) {
  const size_t parameters = parameter_.state_parameters_size();
  const std::vector<double> seeds = random_seeds(outputs(model_).size(), 20240102u);

  std::vector<double> adjoints(array_size(), 0.0);
  add_adjoints(model_, seeds, adjoints.data());

  std::vector<double> state(parameters);
  parameter_.get_state_parameters(state.data());
  const size_t decays = parameter_.decays().size();
  const size_t volatilities = parameter_.volatilities().size();
  std::vector<double> differences(parameters);
  for (size_t j = 0; j < parameters; ++j) {
    const double floor = j < decays ? 1e-2 : j < decays + volatilities ? 1e-3 : 1e-1;
    const double step = 1e-6 * std::max(std::abs(state[j]), floor);
    std::vector<double> bumped = state;
    bumped[j] = state[j] + step;
    parameter_.set_state_parameters(bumped.data());
    model_.fill();
    const std::vector<double> up = outputs(model_);
    bumped[j] = state[j] - step;
    parameter_.set_state_parameters(bumped.data());
    model_.fill();
    const std::vector<double> down = outputs(model_);
    double sum = 0.0;
    for (size_t e = 0; e < seeds.size(); ++e) sum += seeds[e] * (up[e] - down[e]);
    differences[j] = sum / (2.0 * step);
  }
  parameter_.set_state_parameters(state.data());
  model_.fill();

  // Relative to each derivative, and to 1e-3 of the largest one for derivatives that are (nearly) zero,
  // where the differences carry only their absolute noise.
  double largest = 0.0;
  for (double value : differences) largest = std::max(largest, std::abs(value));
  ASSERT_GT(largest, 0.0);
  for (size_t j = 0; j < parameters; ++j) {
    const double denominator = std::max(std::abs(differences[j]), 1e-3 * largest);
    EXPECT_LE(std::abs(adjoints[j] - differences[j]) / denominator, 1e-6)
        << "state parameter " << j << " (" << decays << " decays, " << volatilities
        << " volatilities, then correlations): adjoint " << adjoints[j] << ", finite difference " << differences[j];
  }
}

TEST_P(HjmAdjoints, StateParametersRoundTripInTableOrder) {
  const size_t n = model_.number_of_factors();
  std::vector<double> values(model_.state_parameters_size());
  ASSERT_EQ(model_.get_state_parameters(values.data()), values.size());
  // decay, integrated decay, sv and mm (simulation models only), covariance slices.
  EXPECT_EQ(values[model_.integral_decay_offset() + n + n - 1], model_.integral_decay()(1, n - 1));
  EXPECT_EQ(values[model_.decay_offset() + n], model_.decay()(1, 0));
  EXPECT_EQ(values[model_.states_covariance_offset() + n * n + n - 1], model_.states_covariance()(1, 0, n - 1));
  if (!GetParam().full_covariance) {
    EXPECT_EQ(values[model_.incremental_volatility_mm_offset() + n], model_.incremental_volatility_mm()(1, 0));
  }
  EXPECT_EQ(model_.states_covariance_offset() + model_.states_covariance().size(), values.size());

  std::vector<double> written = values;
  for (size_t e = 0; e < written.size(); ++e) written[e] += 0.5 + static_cast<double>(e);
  ASSERT_EQ(model_.set_state_parameters(written.data()), written.size());
  std::vector<double> read(written.size());
  ASSERT_EQ(model_.get_state_parameters(read.data()), read.size());
  EXPECT_EQ(read, written);
  // The written tables stay until the next fill, which restores the parameter set's.
  model_.fill();
  model_.get_state_parameters(read.data());
  EXPECT_EQ(read, values);
}

// The factor that decompose leaves serves decompose_aad exactly as a fresh factorisation does.
TEST_P(HjmAdjoints, DecompositionAdjointTakesTheFactorItIsGiven) {
  const size_t n = model_.number_of_factors();
  const auto& dates = model_.model_dates();
  const datetime t = dates[dates.size() / 2];
  const std::vector<datetime> maturities(dates.begin() + static_cast<std::ptrdiff_t>(dates.size() / 2), dates.end());
  matrix<double> loadings(maturities.size(), n);
  matrix<double> factor(n, n);
  model_.decompose(loadings, factor, t, maturities, true);
  matrix<double> seed(maturities.size(), n);
  const std::vector<double> values = random_seeds(seed.size(), 7u);
  std::copy(values.begin(), values.end(), seed.data());
  std::vector<double> fresh(array_size(), 0.0);
  std::vector<double> reused(array_size(), 0.0);
  model_.decompose_aad(seed, t, maturities, fresh.data(), true);
  model_.decompose_aad(seed, factor, t, maturities, reused.data(), true);
  EXPECT_EQ(fresh, reused);
}

INSTANTIATE_TEST_SUITE_P(ModelMarkovianHjm, HjmAdjoints, ::testing::ValuesIn(adjoint_cases()), case_name);

// Seeds that are all zero, or all below DBL_EPSILON, add nothing anywhere in the array.
TEST(HjmAdjointsContract, NegligibleSeedsAddNothing) {
  for (const bool full : {true, false}) {
    SCOPED_TRACE(full ? "full covariance" : "simulation");
    const adjoint_case c{hjm_type::HULL_WHITE, full, 3, false};
    const parameter_markovian_hjm parameter = make_parameter(c);
    const model_markovian_hjm model = make_model(c, parameter);
    model.register_at(parameter.state_parameters_size());
    const size_t n = model.number_of_factors();
    // The parameter's part holds earlier adjoints; the model's part is empty, as before fill_aad.
    std::vector<double> adjoints(parameter.state_parameters_size() + model.state_parameters_size(), 0.0);
    for (size_t j = 0; j < parameter.state_parameters_size(); ++j) adjoints[j] = 0.25 + static_cast<double>(j);
    const std::vector<double> before = adjoints;
    for (const double seed : {0.0, 0.5 * std::numeric_limits<double>::epsilon()}) {
      const std::vector<double> seeds(outputs(model).size(), seed);
      // Everything but the table seeds, which only fill_aad reads.
      std::vector<double> pricing_seeds = seeds;
      std::fill(pricing_seeds.begin(),
                pricing_seeds.begin() + static_cast<std::ptrdiff_t>(model.state_parameters_size()), 0.0);
      add_adjoints(model, pricing_seeds, adjoints.data());
      EXPECT_EQ(adjoints, before);
      matrix<double> factor;
      model.states_variable_covariance_cholesky(between_dates, factor);
      model.states_variable_covariance_cholesky_aad(matrix<double>(n, n, seed), factor, between_dates, adjoints.data());
      model.continue_states_variable_covariance_aad(matrix<double>(n, n, seed), between_dates, 1, adjoints.data());
      EXPECT_EQ(adjoints, before);
    }
  }
}

// At the valuation date the covariance is zero whatever the parameters, so are the loadings, and so is
// their gradient: the factor's adjoint must not divide by the zero factor.
TEST(HjmAdjointsContract, LoadingsOfAZeroCovarianceHaveNoGradient) {
  for (const size_t factors : {1, 2}) {
    SCOPED_TRACE(std::to_string(factors) + " factors");
    const adjoint_case c{hjm_type::HULL_WHITE, true, factors, false};
    const parameter_markovian_hjm parameter = make_parameter(c);
    const model_markovian_hjm model = make_model(c, parameter);
    model.register_at(parameter.state_parameters_size());
    std::vector<double> adjoints(parameter.state_parameters_size() + model.state_parameters_size(), 0.0);
    model.decompose_aad(matrix<double>(relative_maturities.size(), factors, 1.0), valuation(), relative_maturities,
                        adjoints.data(), false);
    model.fill_aad(adjoints.data());
    EXPECT_TRUE(std::all_of(adjoints.begin(), adjoints.end(), [](double value) { return value == 0.0; }));
  }
}

// The model's adjoints sit after its parameter set's: an unplaced or overlapping model is refused rather
// than writing over the parameter's adjoints.
TEST(HjmAdjointsContract, TheModelMustBePlacedAfterItsParameterSet) {
  const adjoint_case c{hjm_type::HULL_WHITE, true, 2, false};
  const parameter_markovian_hjm parameter = make_parameter(c);
  const model_markovian_hjm model = make_model(c, parameter);
  std::vector<double> adjoints(parameter.state_parameters_size() + model.state_parameters_size(), 0.0);
  matrix<double> seed(relative_maturities.size(), 2, 1.0);
  EXPECT_THROW(model.fill_aad(adjoints.data()), Error);
  EXPECT_THROW(model.decompose_aad(seed, relative_expiry, relative_maturities, adjoints.data(), true), Error);
  model.register_at(parameter.state_parameters_size() - 1);
  EXPECT_THROW(model.decompose_aad(seed, relative_expiry, relative_maturities, adjoints.data(), true), Error);
  EXPECT_TRUE(std::all_of(adjoints.begin(), adjoints.end(), [](double value) { return value == 0.0; }));
  model.register_at(parameter.state_parameters_size());
  EXPECT_NO_THROW(model.decompose_aad(seed, relative_expiry, relative_maturities, adjoints.data(), true));
  matrix<double> wrong_columns(relative_maturities.size(), 3, 1.0);
  EXPECT_THROW(model.decompose_aad(wrong_columns, relative_expiry, relative_maturities, adjoints.data(), true), Error);
}

}  // namespace
}  // namespace qavrek
