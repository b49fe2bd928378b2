#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Random/random.h"

namespace qavrek {
namespace {

struct stream_case {
  random_type type;
  bool use_shift;
  std::string name;
};

void PrintTo(const stream_case& c, std::ostream* out) { *out << c.name; }

// 5 dates x 3 factors x 16 paths: a Sobol batch is 240 numbers, so the draws below cross batch boundaries.
constexpr size_t dates = 5, brownians = 3, paths = 16, batch = dates * brownians * paths;

class RandomStream : public testing::TestWithParam<stream_case> {
 protected:
  ptr_mutable<random> make() const {
    return random::random_generator_factory(
        GetParam().type, std::make_shared<const random_settings>(2024, paths, dates, brownians, 0, false,
                                                                 random_type::WELL_19937, GetParam().use_shift));
  }
  std::vector<double> gaussians(random& generator, size_t size, size_t discard_count = 0) const {
    std::vector<double> x(size);
    generator.gaussians(x.data(), size, discard_count);
    return x;
  }
};

TEST_P(RandomStream, DrawingTwiceEqualsDrawingOnce) {
  for (size_t n : {size_t(1), size_t(7), batch - 1, size_t(1000)}) {
    const auto once = gaussians(*make(), 2 * n);
    const auto generator = make();
    auto twice = gaussians(*generator, n);
    const auto second = gaussians(*generator, n);
    twice.insert(twice.end(), second.begin(), second.end());
    EXPECT_EQ(twice, once) << n << " numbers";
  }
}

TEST_P(RandomStream, DiscardThenDrawIsTheTailOfALongerDraw) {
  constexpr size_t n = 500;
  for (size_t k : {size_t(0), size_t(1), batch - 1, batch, batch + 1, size_t(1000), size_t(100003)}) {
    const auto longer = gaussians(*make(), k + n);
    const std::vector<double> tail(longer.end() - n, longer.end());

    const auto discarding = make();
    discarding->discard(k);
    EXPECT_EQ(gaussians(*discarding, n), tail) << "discard(" << k << ")";
    EXPECT_EQ(gaussians(*make(), n, k), tail) << "discard count " << k;

    // uniforms consume the same stream.
    const auto mixed = make();
    std::vector<double> u(k);
    mixed->uniforms(u.data(), k, 0);
    EXPECT_EQ(gaussians(*mixed, n), tail) << k << " uniforms first";
  }
}

TEST_P(RandomStream, UniformsLieInTheUnitIntervalAndGaussiansAreFinite) {
  const size_t n = 20 * batch;
  const auto generator = make();
  std::vector<double> u(n);
  generator->uniforms(u.data(), n, 0);
  for (double x : u) ASSERT_TRUE(x >= 0.0 && x < 1.0) << x;
  for (double z : gaussians(*generator, n)) ASSERT_TRUE(std::isfinite(z));
}

TEST_P(RandomStream, GaussianMomentsMatchTheStandardNormal) {
  const size_t n = 1 << 16;
  const auto z = gaussians(*make(), n);
  double m1 = 0.0, m2 = 0.0, m3 = 0.0, m4 = 0.0;
  for (double x : z) {
    m1 += x;
    m2 += x * x;
    m3 += x * x * x;
    m4 += x * x * x * x;
  }
  m1 /= n, m2 /= n, m3 /= n, m4 /= n;
  // Within 4 standard errors of the Monte Carlo estimates: sd(z^j) = sqrt(E z^2j - (E z^j)^2) gives 1,
  // sqrt(2), sqrt(15) and sqrt(96). Quasi-random sets are far closer than that.
  const double root_n = std::sqrt(double(n));
  EXPECT_NEAR(m1, 0.0, 4.0 / root_n);
  EXPECT_NEAR(m2, 1.0, 4.0 * std::sqrt(2.0) / root_n);
  EXPECT_NEAR(m3, 0.0, 4.0 * std::sqrt(15.0) / root_n);
  EXPECT_NEAR(m4, 3.0, 4.0 * std::sqrt(96.0) / root_n);
}

TEST_P(RandomStream, NeighbouringRowsOfAPathAreUncorrelated) {
  // Row r + 1 of a path is the next factor or date: its correlation with row r, over all paths of all
  // batches, is within 4 standard errors (1 / sqrt(n)) of 0. For the bridge this checks that the increments
  // of one path are independent. (Neighbouring paths of a Sobol row are consecutive points of one dimension,
  // which are not independent by design.)
  const size_t batches = 1 << 10;
  const auto z = gaussians(*make(), batches * batch);
  double c = 0.0;
  size_t n = 0;
  for (size_t i = 0; i < z.size(); ++i) {
    if (i % batch >= batch - paths) continue;  // the last row of a batch
    c += z[i] * z[i + paths];
    ++n;
  }
  EXPECT_NEAR(c / n, 0.0, 4.0 / std::sqrt(double(n)));
}

INSTANTIATE_TEST_SUITE_P(EveryType, RandomStream,
                         testing::Values(stream_case{random_type::SOBOL, false, "Sobol"},
                                         stream_case{random_type::SOBOL, true, "ShiftedSobol"},
                                         stream_case{random_type::SOBOL_BROWNIAN_BRIDGE, false, "SobolBridge"},
                                         stream_case{random_type::SOBOL_BROWNIAN_BRIDGE, true, "ShiftedSobolBridge"},
                                         stream_case{random_type::WELL_19937, false, "Well19937a"},
                                         stream_case{random_type::WELL_44497, false, "Well44497a"},
                                         stream_case{random_type::MERSENNE_TWISTER, false, "MersenneTwister"}),
                         [](const testing::TestParamInfo<stream_case>& info) { return info.param.name; });

TEST(RandomFactory, SobolTypesAloneAreDrawnUpFront) {
  EXPECT_TRUE(random::generate_upfront_onley(random_type::SOBOL));
  EXPECT_TRUE(random::generate_upfront_onley(random_type::SOBOL_BROWNIAN_BRIDGE));
  EXPECT_FALSE(random::generate_upfront_onley(random_type::WELL_19937));
  EXPECT_FALSE(random::generate_upfront_onley(random_type::WELL_44497));
  EXPECT_FALSE(random::generate_upfront_onley(random_type::MERSENNE_TWISTER));
  EXPECT_THROW(random::generate_upfront_onley(static_cast<random_type>(9)), Error);
}

TEST(RandomFactory, RefusesMissingSettingsAndUnknownTypes) {
  const auto settings = std::make_shared<const random_settings>(1, 4, 3);
  EXPECT_THROW(random::random_generator_factory(random_type::WELL_19937, nullptr), Error);
  EXPECT_THROW(random::random_generator_factory(static_cast<random_type>(9), settings), Error);
}

TEST(RandomFactory, PseudoRandomStreamsDependOnTheSeedAlone) {
  // Paths, dates and factors only shape the Sobol batches; a pseudo-random stream is the same for any of them.
  for (random_type type : {random_type::WELL_19937, random_type::WELL_44497, random_type::MERSENNE_TWISTER}) {
    std::vector<double> a(100), b(100), c(100);
    random::random_generator_factory(type, std::make_shared<const random_settings>(9, 4, 3))
        ->gaussians(a.data(), 100, 0);
    random::random_generator_factory(type, std::make_shared<const random_settings>(9, 50, 7, 2, 3))
        ->gaussians(b.data(), 100, 0);
    random::random_generator_factory(type, std::make_shared<const random_settings>(10, 4, 3))
        ->gaussians(c.data(), 100, 0);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
  }
}

}  // namespace
}  // namespace qavrek
