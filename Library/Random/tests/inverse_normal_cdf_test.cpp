#include "Random/inverse_normal_cdf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "instruction_sets.h"

namespace qavrek {
namespace {

double boost_quantile(double p) { return boost::math::quantile(boost::math::normal_distribution<double>(), p); }

// Probabilities from the deep lower tail through the centre to the upper tail, including the extreme
// midpoints of 32-bit words that the generators feed in.
std::vector<double> probabilities() {
  std::vector<double> p;
  for (int e = -300; e <= -1; ++e) p.push_back(std::pow(10.0, e));
  for (int i = 1; i < 1000; ++i) p.push_back(i / 1000.0 + 1e-4 * std::sin(i));  // not on a regular grid
  for (int e = -1; e >= -16; --e) p.push_back(1.0 - std::pow(10.0, e));
  p.push_back(word_to_open_uniform(0));
  p.push_back(word_to_open_uniform(0xffffffffu));
  p.push_back(0.5);
  return p;
}

// Units in the last place between two doubles of the same sign (or both zero).
std::int64_t ulps_apart(double a, double b) {
  const auto ordered = [](double x) {
    std::int64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
  };
  return std::llabs(ordered(a) - ordered(b));
}

TEST(InverseNormalCdf, MatchesBoostToFullPrecision) {
  for (double p : probabilities()) {
    const double expected = boost_quantile(p);
    // A few units in the last place: the final Halley step is exact up to the rounding of erfc and exp; near
    // the median the quantile is small and its error is measured against 1 instead.
    const double tolerance = 8.0 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::abs(expected));
    EXPECT_NEAR(inverse_normal_cdf(p), expected, tolerance) << "p = " << p;
  }
}

TEST(InverseNormalCdf, CentralRationalWithinUlpsOfTheQuantileOnEveryScale) {
  // The central region's rational is relative: near the median, where the quantile is small, an absolute
  // tolerance would hide a loss of digits. Every 4099th word across it, against Boost in extended precision.
  const auto quantile = [](double p) {
    return static_cast<double>(boost::math::quantile(boost::math::normal_distribution<long double>(), p));
  };
  std::int64_t worst = 0;
  for (std::uint64_t w = 0; w < (std::uint64_t(1) << 32); w += 4099) {
    const double p = word_to_open_uniform(static_cast<std::uint32_t>(w));
    if (std::fabs(p - 0.5) > 0.47) continue;
    worst = std::max(worst, ulps_apart(inverse_normal_cdf(p), quantile(p)));
  }
  EXPECT_LE(worst, 8);
}

TEST(InverseNormalCdf, IsExactlyOddAboutTheMedian) {
  // Opposite words give opposite Gaussians bit for bit, which keeps symmetric point sets exactly balanced.
  for (std::uint64_t w = 0; w < (std::uint64_t(1) << 32); w += 65537 * 13) {
    const auto word = static_cast<std::uint32_t>(w);
    EXPECT_EQ(inverse_normal_cdf(word_to_open_uniform(word)), -inverse_normal_cdf(word_to_open_uniform(~word)));
  }
  EXPECT_EQ(inverse_normal_cdf(0.5), 0.0);
}

TEST(InverseNormalCdf, EndsAndInvalidProbabilities) {
  EXPECT_EQ(inverse_normal_cdf(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(inverse_normal_cdf(1.0), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(inverse_normal_cdf(-0.25)));
  EXPECT_TRUE(std::isnan(inverse_normal_cdf(1.25)));
  EXPECT_TRUE(std::isnan(inverse_normal_cdf(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(std::isfinite(inverse_normal_cdf(std::numeric_limits<double>::denorm_min())));
}

// Both tails (near and far), the median, the edges of the central region and of the far tail, the extreme
// uniforms of the generators' mappings ((w + 1/2) 2^-32 and Sobol's w 2^-32), subnormals, both ends and
// probabilities outside [0, 1].
std::vector<double> batch_table() {
  std::vector<double> p = probabilities();
  const double edges[] = {0.03, 0.97, std::exp(-25.0), 1.0 - std::exp(-25.0)};
  for (double edge : edges) {
    p.push_back(edge);
    p.push_back(std::nextafter(edge, 0.0));
    p.push_back(std::nextafter(edge, 1.0));
  }
  const double extremes[] = {word_to_open_uniform(1),
                             word_to_open_uniform(0xfffffffeu),
                             0x1p-32,
                             1.0 - 0x1p-32,
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             1e-310,
                             std::nextafter(1.0, 0.0),
                             std::nextafter(0.5, 0.0),
                             std::nextafter(0.5, 1.0),
                             0.0,
                             1.0,
                             -0.25,
                             1.25,
                             std::numeric_limits<double>::quiet_NaN()};
  p.insert(p.end(), std::begin(extremes), std::end(extremes));
  return p;
}

TEST(InverseNormalCdfBatch, EveryInstructionSetGivesTheSameBitsWithinUlpsOfTheSingleValue) {
  const std::vector<double> p = batch_table();
  std::vector<double> first;
  on_every_instruction_set([&](const char* target) {
    std::vector<double> x(p.size()), in_place = p;
    inverse_normal_cdf(p.data(), x.data(), p.size());
    inverse_normal_cdf(in_place.data(), in_place.data(), p.size());
    for (size_t i = 0; i < p.size(); ++i) {
      const double single = inverse_normal_cdf(p[i]);
      if (std::isnan(single)) {
        EXPECT_TRUE(std::isnan(x[i])) << target << ", p = " << p[i];
        continue;
      }
      // The central region rounds as the single value does; the tails differ through their logarithms, by a
      // few ulps, which the quantile's own error of up to 8 ulps bounds.
      EXPECT_LE(ulps_apart(x[i], single), 8) << target << ", p = " << p[i] << ": " << x[i] << " and " << single;
      if (std::isfinite(single) && p[i] >= 1e-300) {
        EXPECT_NEAR(x[i], boost_quantile(p[i]), 8.0 * std::numeric_limits<double>::epsilon() * std::abs(x[i]) + 1e-300)
            << target << ", p = " << p[i];
      }
    }
    EXPECT_EQ(std::memcmp(x.data(), in_place.data(), x.size() * sizeof(double)), 0) << target << ": in place";
    if (first.empty()) first = x;
    EXPECT_EQ(std::memcmp(x.data(), first.data(), x.size() * sizeof(double)), 0) << target << ": other bits";
  });
}

// The words on either side of the central region's edges first, which the words' paths find on the integers;
// then every 65537th word from 0 to 2^32 - 1.
std::vector<std::uint32_t> word_table() {
  std::vector<std::uint32_t> words;
  for (const double edge : {0.03, 0.97})
    for (int offset = -3; offset <= 3; ++offset)
      words.push_back(static_cast<std::uint32_t>(std::llround(edge * 0x1p32 - 0.5) + offset));
  for (std::uint64_t w = 0; w < (std::uint64_t(1) << 32); w += 65537) words.push_back(static_cast<std::uint32_t>(w));
  words.push_back(0xffffffffu);
  return words;
}

// Lengths up to a few vectors and across chunks, so that every remainder of a vector, of a step of vectors
// and of a chunk occurs.
const size_t lengths[] = {1, 3, 7, 17, 31, 255, 257, 2047, 2049, 4133};

TEST(InverseNormalCdfBatch, FractionsOfWordsGiveTheQuantilesOfThoseFractions) {
  const std::vector<std::uint32_t> words = word_table();
  std::vector<double> fractions;
  for (std::uint32_t w : words) fractions.push_back(static_cast<double>(w) * 0x1p-32);
  on_every_instruction_set([&](const char* target) {
    for (size_t n : lengths) {
      std::vector<double> from_words(n), from_fractions(n);
      inverse_normal_cdf_of_fractions(words.data(), from_words.data(), n);
      inverse_normal_cdf(fractions.data(), from_fractions.data(), n);
      EXPECT_EQ(std::memcmp(from_words.data(), from_fractions.data(), n * sizeof(double)), 0) << target << ", " << n;
    }
  });
  std::vector<double> x(words.size());
  inverse_normal_cdf_of_fractions(words.data(), x.data(), x.size());
  const auto zero = std::find(words.begin(), words.end(), 0u) - words.begin();
  EXPECT_EQ(x[static_cast<size_t>(zero)], -std::numeric_limits<double>::infinity()) << "the word 0";
}

TEST(InverseNormalCdfBatch, WordsGiveTheQuantilesOfTheirOpenUniforms) {
  const std::vector<std::uint32_t> words = word_table();
  std::vector<double> uniforms;
  for (std::uint32_t w : words) uniforms.push_back(word_to_open_uniform(w));
  std::vector<size_t> all_lengths(std::begin(lengths), std::end(lengths));
  all_lengths.push_back(words.size());
  on_every_instruction_set([&](const char* target) {
    for (size_t n : all_lengths) {
      std::vector<double> from_words(n), from_uniforms(n);
      inverse_normal_cdf_of_words(words.data(), from_words.data(), n);
      inverse_normal_cdf(uniforms.data(), from_uniforms.data(), n);
      EXPECT_EQ(std::memcmp(from_words.data(), from_uniforms.data(), n * sizeof(double)), 0) << target << ", " << n;
      for (size_t i = 0; i < n; ++i) {
        ASSERT_TRUE(std::isfinite(from_words[i])) << target << ", word " << words[i];
        ASSERT_LE(ulps_apart(from_words[i], inverse_normal_cdf(uniforms[i])), 8) << target << ", word " << words[i];
      }
    }
  });
}

}  // namespace
}  // namespace qavrek
