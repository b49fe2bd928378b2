#include "Analytics/simulation/random_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Core/interruption.h"
#include "Math/cholesky_decomposition.h"

namespace qavrek {
namespace {

using drawing = random_manager::drawing;

constexpr size_t seed = 20240611;

struct batch_shape {
  size_t paths, dates, brownians, batch_index = 0;
  bool orthogonalization = false;
  bool use_shift = false;
};

ptr_const<random_config> make_config(random_type type, const batch_shape& shape) {
  return std::make_shared<const random_config>(type, seed, shape.paths, shape.dates, shape.brownians,
                                               shape.batch_index, shape.use_shift, shape.orthogonalization);
}

std::string type_name(random_type type) {
  switch (type) {
    case random_type::SOBOL:
      return "Sobol";
    case random_type::SOBOL_BROWNIAN_BRIDGE:
      return "SobolBrownianBridge";
    case random_type::WELL_19937:
      return "Well19937";
    case random_type::WELL_44497:
      return "Well44497";
    case random_type::MERSENNE_TWISTER:
      return "MersenneTwister";
  }
  return "Unknown";
}

}  // namespace

// In random_type's own namespace, where argument-dependent lookup finds it (it skips the unnamed one).
static void PrintTo(random_type type, std::ostream* out) { *out << type_name(type); }

namespace {

const std::vector<random_type> all_types = {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE,
                                            random_type::WELL_19937, random_type::WELL_44497,
                                            random_type::MERSENNE_TWISTER};
const std::vector<random_type> pseudo_random_types = {random_type::WELL_19937, random_type::WELL_44497,
                                                      random_type::MERSENNE_TWISTER};

// Numbers first .. first + count - 1 of the generator's stream, drawn by a generator of its own.
std::vector<double> stream(const random_config& config, size_t first, size_t count) {
  std::vector<double> numbers(count);
  random::random_generator_factory(config.main_generator_type(), config.settings())
      ->gaussians(numbers.data(), count, first);
  return numbers;
}

matrix<double> identity(size_t n) {
  matrix<double> l(n, n);
  for (size_t i = 0; i < n; ++i) l(i, i) = 1.0;
  return l;
}

std::vector<double> values(const matrix<double>& m) { return std::vector<double>(m.begin(), m.end()); }

// The block of date t of batch b in the stream: B rows of P numbers at (b D + t) B P.
std::vector<double> stream_block(const random_config& config, size_t t) {
  const auto& s = *config.settings();
  const size_t block = s.number_of_brownians() * s.number_of_paths_per_batch();
  return stream(config, (s.batch_index() * s.number_of_simulation_dates() + t) * block, block);
}

// --- Up-front mode ---------------------------------------------------------------------------------------

struct mode_case {
  random_type type;
  size_t batch_index;
};

void PrintTo(const mode_case& c, std::ostream* out) { *out << type_name(c.type) << " batch " << c.batch_index; }

std::string mode_case_name(const testing::TestParamInfo<mode_case>& info) {
  return type_name(info.param.type) + "Batch" + std::to_string(info.param.batch_index);
}

std::vector<mode_case> cases_over(const std::vector<random_type>& types) {
  std::vector<mode_case> cases;
  for (random_type type : types)
    for (size_t batch : {size_t(0), size_t(2)}) cases.push_back({type, batch});
  return cases;
}

class RandomManagerUpFront : public testing::TestWithParam<mode_case> {};

// D = 3, B = 2, P = 4: the batch is 24 numbers; block t is rows 2t and 2t + 1.
TEST_P(RandomManagerUpFront, IdentityFactorReturnsTheDateBlockInTheAreaOfDateZero) {
  const auto config = make_config(GetParam().type, {4, 3, 2, GetParam().batch_index});
  const auto batch = stream(*config, GetParam().batch_index * 24, 24);
  const random_manager manager(config, drawing::up_front);
  ASSERT_TRUE(manager.generate_upfront());

  const auto date_2 = manager.correlate(2, identity(2));
  EXPECT_EQ(values(date_2), std::vector<double>(batch.begin() + 16, batch.end()));  // rows 4 and 5
  const auto date_1 = manager.correlate(1, identity(2));
  EXPECT_EQ(values(date_1), std::vector<double>(batch.begin() + 8, batch.begin() + 16));  // rows 2 and 3
  EXPECT_EQ(date_1.data(), date_2.data());  // both results live in block 0
  EXPECT_EQ(date_1.rows(), 2u);
  EXPECT_EQ(date_1.columns(), 4u);
  EXPECT_FALSE(date_1.owner());
}

INSTANTIATE_TEST_SUITE_P(AllTypes, RandomManagerUpFront, testing::ValuesIn(cases_over(all_types)), mode_case_name);

TEST(RandomManagerOneDate, SobolTypesAreDrawnDateByDateByDefaultAndFillEveryDate) {
  for (random_type type : {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE}) {
    const auto config = make_config(type, {8, 4, 2, 1});
    const random_manager manager(config);
    EXPECT_FALSE(manager.generate_upfront()) << type_name(type);
    for (size_t t = 1; t < 4; ++t) {
      const auto z = values(manager.correlate(t, identity(2)));
      EXPECT_EQ(z, stream_block(*config, t)) << type_name(type) << " date " << t;
      for (double x : z) EXPECT_NE(x, 0.0) << type_name(type) << " date " << t;
    }
  }
}

// --- One-date mode ---------------------------------------------------------------------------------------

class RandomManagerOneDate : public testing::TestWithParam<mode_case> {};

TEST_P(RandomManagerOneDate, SuccessiveDatesDrawFreshNumbers) {
  const auto config = make_config(GetParam().type, {8, 5, 1, GetParam().batch_index});
  const random_manager manager(config);
  ASSERT_FALSE(manager.generate_upfront());
  const auto first = values(manager.correlate(1, identity(1)));
  const auto second = values(manager.correlate(2, identity(1)));
  ASSERT_EQ(first.size(), 8u);
  for (size_t p = 0; p < 8; ++p) EXPECT_NE(first[p], second[p]) << "path " << p;
  EXPECT_EQ(first, stream_block(*config, 1));
  EXPECT_EQ(second, stream_block(*config, 2));
}

INSTANTIATE_TEST_SUITE_P(PseudoRandomTypes, RandomManagerOneDate, testing::ValuesIn(cases_over(pseudo_random_types)),
                         mode_case_name);

class RandomManagerDateOrder : public testing::TestWithParam<mode_case> {};

// The generator only moves forward, so going back to a date rebuilds it; a repeated date reuses its draw.
TEST_P(RandomManagerDateOrder, DatesInAnyOrderGetTheNumbersOfTheirBlock) {
  const auto config = make_config(GetParam().type, {6, 5, 2, GetParam().batch_index});
  const std::vector<std::vector<size_t>> orders = {{1, 2, 3, 4}, {4, 1, 3, 2}, {2, 2, 4, 4, 1}, {3, 1, 1, 3}};
  for (const auto& order : orders) {
    const random_manager manager(config);
    for (size_t t : order)
      EXPECT_EQ(values(manager.correlate(t, identity(2))), stream_block(*config, t)) << "date " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, RandomManagerDateOrder, testing::ValuesIn(cases_over(all_types)), mode_case_name);

// --- Both modes agree --------------------------------------------------------------------------------------

// A lower Cholesky factor with no zero below the diagonal, so that every factor mixes into the later ones.
matrix<double> factor_of(matrix<double> correlation) {
  EXPECT_TRUE(cholesky_decomposition(correlation.data(), static_cast<long long>(correlation.rows()), 'L'));
  return correlation;
}

const matrix<double> correlation_3 = {{1.0, 0.6, -0.3}, {0.6, 1.0, 0.2}, {-0.3, 0.2, 1.0}};

class RandomManagerModes : public testing::TestWithParam<mode_case> {};

TEST_P(RandomManagerModes, OneDateAndUpFrontReturnTheSameIncrements) {
  const auto config = make_config(GetParam().type, {16, 5, 3, GetParam().batch_index});
  const auto l = factor_of(correlation_3);
  const random_manager one_date(config, drawing::one_date);
  const random_manager up_front(config, drawing::up_front);
  for (size_t t = 1; t < 5; ++t)
    EXPECT_EQ(values(one_date.correlate(t, l)), values(up_front.correlate(t, l))) << "date " << t;
}

INSTANTIATE_TEST_SUITE_P(AllTypes, RandomManagerModes, testing::ValuesIn(cases_over(all_types)), mode_case_name);

// --- Batches -----------------------------------------------------------------------------------------------

constexpr size_t batches = 3;

// A Sobol number is fixed by its point and dimension, so batch b of P paths is paths bP .. (b + 1)P - 1 of one
// run of 3P paths.
TEST(RandomManagerBatches, SobolBatchIsItsSliceOfPathsOfOneRun) {
  constexpr size_t paths = 8, dates = 4, brownians = 2;
  for (random_type type : {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE}) {
    for (bool shift : {false, true}) {
      const random_manager run(make_config(type, {batches * paths, dates, brownians, 0, false, shift}));
      for (size_t b = 0; b < batches; ++b) {
        const random_manager batch(make_config(type, {paths, dates, brownians, b, false, shift}));
        for (size_t t = 1; t < dates; ++t) {
          const auto whole = run.correlate(t, identity(brownians));
          const auto part = batch.correlate(t, identity(brownians));
          for (size_t k = 0; k < brownians; ++k)
            for (size_t p = 0; p < paths; ++p)
              ASSERT_EQ(part(k, p), whole(k, b * paths + p))
                  << type_name(type) << (shift ? " shifted" : "") << " batch " << b << " date " << t << " factor "
                  << k << " path " << p;
        }
      }
    }
  }
}

// A pseudo-random generator is one sequence: batch b is its b-th segment of D B P numbers, date t the t-th
// block of B P numbers in it, so batches never share a number and every date has numbers of its own.
TEST(RandomManagerBatches, PseudoRandomBatchesTileOneStreamInBothModes) {
  constexpr size_t paths = 8, dates = 4, brownians = 2, block = brownians * paths;
  for (random_type type : pseudo_random_types) {
    const auto long_run = stream(*make_config(type, {paths, dates, brownians}), 0, batches * dates * block);
    for (drawing mode : {drawing::one_date, drawing::up_front}) {
      for (size_t b = 0; b < batches; ++b) {
        const random_manager batch(make_config(type, {paths, dates, brownians, b}), mode);
        for (size_t t = 1; t < dates; ++t) {
          const auto first = long_run.begin() + static_cast<std::ptrdiff_t>((b * dates + t) * block);
          EXPECT_EQ(values(batch.correlate(t, identity(brownians))), std::vector<double>(first, first + block))
              << type_name(type) << (mode == drawing::up_front ? " up front" : " one date") << " batch " << b
              << " date " << t;
        }
      }
    }
  }
}

// Numbers first .. first + count - 1 of the stream, the generator drawing every number before them.
std::vector<double> drawn_through(const random_config& config, size_t first, size_t count) {
  const auto generator = random::random_generator_factory(config.main_generator_type(), config.settings());
  std::vector<double> scratch(size_t(1) << 16);
  for (size_t done = 0; done < first;) {
    const size_t n = std::min(scratch.size(), first - done);
    generator->gaussians(scratch.data(), n, 0);
    done += n;
  }
  std::vector<double> numbers(count);
  generator->gaussians(numbers.data(), count, 0);
  return numbers;
}

// A pseudo-random batch far into the stream reaches its place by a jump; its numbers are those that drawing
// the whole stream up to it gives. Batches 300 and 421 of 14,000 numbers start 4.2 and 5.9 million numbers
// on, where every generator jumps rather than draws; in one-date mode the dates come backwards, so that each
// after the first is a jump from the start of the stream.
TEST(RandomManagerBatches, FarBatchesHoldTheNumbersOfTheStreamDrawnThrough) {
  constexpr size_t paths = 1000, dates = 7, brownians = 2, block = brownians * paths;
  for (random_type type : pseudo_random_types) {
    for (size_t batch : {size_t(300), size_t(421)}) {
      const auto config = make_config(type, {paths, dates, brownians, batch});
      const auto expected = drawn_through(*config, batch * dates * block, dates * block);
      for (drawing mode : {drawing::one_date, drawing::up_front}) {
        const random_manager manager(config, mode);
        for (size_t t = dates - 1; t >= 1; --t) {
          const auto first = expected.begin() + static_cast<std::ptrdiff_t>(t * block);
          ASSERT_EQ(values(manager.correlate(t, identity(brownians))), std::vector<double>(first, first + block))
              << type_name(type) << (mode == drawing::up_front ? " up front" : " one date") << " batch " << batch
              << " date " << t;
        }
      }
    }
  }
}

// Managers one after the other on a thread reuse what the one before left (its buffer and, for the Sobol
// types, its generator); each still gets the numbers of its own place in the stream, whatever the one before
// drew, in whichever mode and shape. An up-front batch followed by the same batch date by date, its last date
// first, asks for the numbers just past those the up-front batch drew, over the buffer it left.
TEST(RandomManagerReuse, ManagersAfterOthersOnAThreadGetTheNumbersOfTheirBlocks) {
  struct step {
    drawing mode;
    size_t batch, paths;
    std::vector<size_t> order;
  };
  const std::vector<step> steps = {{drawing::up_front, 1, 6, {4, 2, 3, 1}}, {drawing::one_date, 1, 6, {4, 1, 2}},
                                   {drawing::one_date, 0, 6, {1, 2, 3, 4}}, {drawing::up_front, 2, 8, {2, 4}},
                                   {drawing::one_date, 2, 6, {3, 1}},       {drawing::one_date, 1, 8, {1, 4}}};
  for (random_type type : all_types) {
    for (bool shift : {false, true}) {
      for (const step& s : steps) {
        const auto config = make_config(type, {s.paths, 5, 2, s.batch, false, shift});
        const random_manager manager(config, s.mode);
        for (size_t t : s.order)
          EXPECT_EQ(values(manager.correlate(t, identity(2))), stream_block(*config, t))
              << type_name(type) << (shift ? " shifted" : "") << (s.mode == drawing::up_front ? " up front" : "")
              << " batch " << s.batch << " of " << s.paths << " paths, date " << t;
      }
    }
  }
}

// --- Statistics ------------------------------------------------------------------------------------------

class RandomManagerStatistics : public testing::TestWithParam<random_type> {};

// Sample moments of all simulated dates of a batch against those of N(0, 1), each within 4 standard errors
// of its estimator (N samples: sqrt(Var[z^k] / N) with Var[z] = 1, Var[z^2] = 2, Var[z^3] = 15, Var[z^4] = 96).
TEST_P(RandomManagerStatistics, GaussianMomentsAreThoseOfTheStandardNormal) {
  constexpr size_t paths = 2048, dates = 9, brownians = 2;
  const random_manager manager(make_config(GetParam(), {paths, dates, brownians, 1}));
  double m[5] = {};
  for (size_t t = 1; t < dates; ++t)
    for (double z : values(manager.correlate(t, identity(brownians)))) {
      ASSERT_TRUE(std::isfinite(z));
      for (int k = 1; k <= 4; ++k) m[k] += std::pow(z, k);
    }
  const double n = static_cast<double>((dates - 1) * brownians * paths);
  const double expected[5] = {0.0, 0.0, 1.0, 0.0, 3.0};
  const double variance[5] = {0.0, 1.0, 2.0, 15.0, 96.0};
  for (int k = 1; k <= 4; ++k)
    EXPECT_NEAR(m[k] / n, expected[k], 4.0 * std::sqrt(variance[k] / n)) << "moment " << k;
}

// The increments of one date carry the target correlation: each sample correlation lies within 4 standard
// errors, (1 - rho^2) / sqrt(N), of its target, and each sample variance within 4 sqrt(2 / N) of 1.
TEST_P(RandomManagerStatistics, CorrelatedIncrementsCarryTheTargetCorrelation) {
  constexpr size_t paths = 100000, dates = 3, brownians = 3;
  const random_manager manager(make_config(GetParam(), {paths, dates, brownians}));
  const auto z = manager.correlate(2, factor_of(correlation_3));
  const double n = paths;
  double mean[brownians] = {}, cross[brownians][brownians] = {};
  for (size_t p = 0; p < paths; ++p)
    for (size_t i = 0; i < brownians; ++i) {
      mean[i] += z(i, p) / n;
      for (size_t j = 0; j < brownians; ++j) cross[i][j] += z(i, p) * z(j, p) / n;
    }
  auto covariance = [&](size_t i, size_t j) { return cross[i][j] - mean[i] * mean[j]; };
  for (size_t i = 0; i < brownians; ++i) {
    EXPECT_NEAR(covariance(i, i), 1.0, 4.0 * std::sqrt(2.0 / n)) << "factor " << i;
    for (size_t j = 0; j < i; ++j) {
      const double rho = correlation_3(i, j);
      const double sample = covariance(i, j) / std::sqrt(covariance(i, i) * covariance(j, j));
      EXPECT_NEAR(sample, rho, 4.0 * (1.0 - rho * rho) / std::sqrt(n)) << "factors " << i << ", " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, RandomManagerStatistics, testing::ValuesIn(all_types),
                         [](const testing::TestParamInfo<random_type>& info) { return type_name(info.param); });

// --- Orthogonalisation -------------------------------------------------------------------------------------

struct orthogonalization_case {
  random_type type;
  batch_shape shape;
};

void PrintTo(const orthogonalization_case& c, std::ostream* out) {
  *out << type_name(c.type) << ", " << c.shape.dates << " dates x " << c.shape.brownians << " brownians x "
       << c.shape.paths << " paths";
}

class RandomManagerOrthogonalization : public testing::TestWithParam<orthogonalization_case> {};

TEST_P(RandomManagerOrthogonalization, RowsEndWithMeanZeroMeanSquareOneAndOrthogonal) {
  const batch_shape& shape = GetParam().shape;
  const random_manager manager(make_config(GetParam().type, shape));
  ASSERT_TRUE(manager.generate_upfront());  // also for the pseudo-random types
  const double paths = static_cast<double>(shape.paths);
  std::vector<std::vector<double>> rows;
  for (size_t t = 1; t < shape.dates; ++t) {
    const auto block = manager.correlate(t, identity(shape.brownians));
    for (size_t k = 0; k < shape.brownians; ++k) rows.emplace_back(block[k], block[k] + shape.paths);
  }
  // Sums of at most 64 terms of order 1 after at most 15 projections: rounding stays far below 1e-12.
  constexpr double rounding = 1e-12;
  for (size_t i = 0; i < rows.size(); ++i) {
    double sum = 0.0, squares = 0.0;
    for (double x : rows[i]) sum += x, squares += x * x;
    EXPECT_NEAR(sum / paths, 0.0, rounding) << "row " << i;
    EXPECT_NEAR(squares / paths, 1.0, rounding) << "row " << i;
    for (size_t j = 0; j < i; ++j) {
      double inner = 0.0;
      for (size_t p = 0; p < shape.paths; ++p) inner += rows[i][p] * rows[j][p];
      EXPECT_NEAR(inner / paths, 0.0, rounding) << "rows " << i << ", " << j;
    }
  }
}

// 12 rows of 64 paths for every type; for the pseudo-random types also D B = P - 1 = 15, the most rows that
// can be orthogonalised together with the mean. (The first 16 Sobol points span only 13 such directions.)
std::vector<orthogonalization_case> orthogonalization_cases() {
  std::vector<orthogonalization_case> cases;
  for (random_type type : all_types) cases.push_back({type, {64, 4, 3, 1, true}});
  for (random_type type : pseudo_random_types) cases.push_back({type, {16, 5, 3, 0, true}});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomManagerOrthogonalization, testing::ValuesIn(orthogonalization_cases()),
                         [](const testing::TestParamInfo<orthogonalization_case>& info) {
                           return type_name(info.param.type) + std::to_string(info.param.shape.dates *
                                                                              info.param.shape.brownians) +
                                  "RowsOf" + std::to_string(info.param.shape.paths);
                         });

// --- Refusals ----------------------------------------------------------------------------------------------

struct refusal_case {
  std::string name;
  std::function<ptr_const<random_config>()> config;
  std::optional<drawing> mode;
  std::string reason;
};

std::vector<refusal_case> refusal_cases() {
  constexpr size_t huge = size_t(1) << 61;
  return {
      {"NoConfiguration", [] { return ptr_const<random_config>(); }, std::nullopt, "needs a random configuration"},
      {"NoPaths", [] { return make_config(random_type::MERSENNE_TWISTER, {0, 3, 1}); }, std::nullopt,
       "at least one path"},
      {"OrthogonalizationOneDate", [] { return make_config(random_type::WELL_19937, {8, 3, 1, 0, true}); },
       drawing::one_date, "orthogonalization needs the whole batch drawn up front"},
      {"OrthogonalizationRowsEqualPaths", [] { return make_config(random_type::SOBOL, {4, 2, 2, 0, true}); },
       std::nullopt, "needs more paths than rows"},
      {"OrthogonalizationRowsAbovePaths", [] { return make_config(random_type::WELL_44497, {4, 5, 1, 0, true}); },
       std::nullopt, "needs more paths than rows"},
      // Below the path count, but the first 16 Sobol points leave the last rows nothing of their own.
      {"OrthogonalizationDependentRows", [] { return make_config(random_type::SOBOL, {16, 5, 3, 0, true}); },
       std::nullopt, "is a linear combination of the rows before it"},
      {"FactoryFailure", [] { return make_config(random_type::SOBOL, {1, 2, 2000}); }, std::nullopt,
       "a Sobol generator has at most"},
      {"AllocationFailure", [] { return make_config(random_type::MERSENNE_TWISTER, {huge, 4, 1}); }, std::nullopt,
       "could not be constructed"},
      {"SizeOverflow", [] { return make_config(random_type::MERSENNE_TWISTER, {huge, 4, 8}); }, std::nullopt,
       "does not fit in a size_t"},
      {"StreamOverflow", [] { return make_config(random_type::WELL_19937, {huge, 4, 1, 2}); }, std::nullopt,
       "does not fit in a size_t"},
  };
}

void PrintTo(const refusal_case& c, std::ostream* out) { *out << c.name; }

class RandomManagerRefusals : public testing::TestWithParam<refusal_case> {};

// The constructor cannot throw; correlate reports why the manager is unusable, every time it is asked.
TEST_P(RandomManagerRefusals, CorrelateReportsTheConstructionFailure) {
  const auto config = GetParam().config();
  const random_manager manager = GetParam().mode ? random_manager(config, *GetParam().mode) : random_manager(config);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      manager.correlate(1, identity(1));
      ADD_FAILURE() << "correlate succeeded";
    } catch (const Error& error) {
      EXPECT_THAT(error.what(), testing::StartsWith("the random manager could not be constructed: "));
      EXPECT_THAT(error.what(), testing::HasSubstr(GetParam().reason));
    }
  }
  if (config != nullptr) EXPECT_EQ(manager.number_of_paths(), config->settings()->number_of_paths_per_batch());
  else EXPECT_THROW(manager.number_of_paths(), Error);
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomManagerRefusals, testing::ValuesIn(refusal_cases()),
                         [](const testing::TestParamInfo<refusal_case>& info) { return info.param.name; });

// A caller that stops the up-front draw (more than 2^20 numbers, so it looks between its chunks) hears its
// own stop from correlate, not a failed construction, however often it asks.
TEST(RandomManagerRefusals, AStoppedUpFrontDrawIsReportedAsTheStop) {
  struct stop_at_first_look final : interruption::check {
    void operator()() override { throw interrupted(); }
  } stop;
  const auto config = make_config(random_type::MERSENNE_TWISTER, {300000, 3, 2});
  std::optional<random_manager> manager;
  {
    const interruption::scope installed(stop);
    manager.emplace(config, drawing::up_front);
  }
  EXPECT_THROW(manager->correlate(1, identity(2)), interrupted);
  EXPECT_THROW(manager->correlate(2, identity(2)), interrupted);
}

struct request_case {
  std::string name;
  size_t time_index;
  size_t factor_rows, factor_columns;
  std::string reason;
};

void PrintTo(const request_case& c, std::ostream* out) { *out << c.name; }

class RandomManagerRequests : public testing::TestWithParam<request_case> {};

// A refused request changes nothing: the next valid one still gets the numbers of its date.
TEST_P(RandomManagerRequests, AreRefusedOutsideTheStepsOrWithAFactorOfAnotherShape) {
  constexpr size_t paths = 4, dates = 3, brownians = 2;
  for (random_type type : {random_type::SOBOL, random_type::MERSENNE_TWISTER}) {
    const auto config = make_config(type, {paths, dates, brownians, 1});
    const random_manager manager(config);
    EXPECT_EQ(values(manager.correlate(2, identity(brownians))), stream_block(*config, 2));
    const matrix<double> factor(GetParam().factor_rows, GetParam().factor_columns, 1.0);
    try {
      manager.correlate(GetParam().time_index, factor);
      ADD_FAILURE() << type_name(type) << ": correlate succeeded";
    } catch (const Error& error) {
      EXPECT_THAT(error.what(), testing::HasSubstr(GetParam().reason)) << type_name(type);
    }
    EXPECT_EQ(values(manager.correlate(1, identity(brownians))), stream_block(*config, 1)) << type_name(type);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomManagerRequests,
                         testing::Values(request_case{"DateZero", 0, 2, 2, "is not a simulation step"},
                                         request_case{"PastTheLastDate", 3, 2, 2, "is not a simulation step"},
                                         request_case{"TooManyFactors", 1, 3, 3, "must be 2 x 2"},
                                         request_case{"NotSquare", 1, 2, 3, "must be 2 x 2"},
                                         request_case{"Empty", 1, 0, 0, "must be 2 x 2"}),
                         [](const testing::TestParamInfo<request_case>& info) { return info.param.name; });

TEST(RandomManager, NumberOfPathsIsThePathsPerBatchOfTheSettings) {
  for (random_type type : {random_type::SOBOL, random_type::WELL_19937})
    for (size_t paths : {size_t(1), size_t(37), size_t(1024)})
      EXPECT_EQ(random_manager(make_config(type, {paths, 3, 2})).number_of_paths(), paths) << type_name(type);
}

}  // namespace
}  // namespace qavrek
