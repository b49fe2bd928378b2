#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "Core/error.h"
#include "Random/brownian_bridge.h"
#include "Random/inverse_normal_cdf.h"
#include "Random/random.h"
#include "Random/sobol_sequence.h"

namespace qavrek {
namespace {

ptr_mutable<random> sobol(random_type type, size_t paths, size_t dates, size_t brownians, bool use_shift = false,
                          size_t seed = 1, random_type shift_generator = random_type::WELL_19937) {
  return random::random_generator_factory(
      type,
      std::make_shared<const random_settings>(seed, paths, dates, brownians, 0, false, shift_generator, use_shift));
}

std::vector<double> draw_uniforms(random& generator, size_t size, size_t discard_count = 0) {
  std::vector<double> x(size);
  generator.uniforms(x.data(), size, discard_count);
  return x;
}

std::vector<double> draw_gaussians(random& generator, size_t size, size_t discard_count = 0) {
  std::vector<double> x(size);
  generator.gaussians(x.data(), size, discard_count);
  return x;
}

// FNV-1a of 64 bits over bytes.
struct fingerprint {
  std::uint64_t value = 0xcbf29ce484222325ull;
  void add(std::uint64_t word, int bytes) {
    for (int b = 0; b < bytes; ++b) {
      value ^= (word >> (8 * b)) & 0xffu;
      value *= 0x100000001b3ull;
    }
  }
};

std::uint64_t combined(const std::vector<fingerprint>& dimensions) {
  fingerprint all;
  for (const fingerprint& f : dimensions) all.add(f.value, 8);
  return all.value;
}

// The fingerprint of points 1 .. 2^20 in 50 dimensions, taken when the sequence was first released: each
// dimension's 32-bit coordinates in point order, then the 50 dimension fingerprints in order. A change to the
// direction numbers, the recurrence or the order of the points shows here.
constexpr std::uint64_t first_million_points_fingerprint = 0xcf270c4222585805ull;

TEST(SobolGenerator, FirstMillionPointsOfFiftyDimensionsAreThoseFirstReleased) {
  constexpr size_t dates = 50, paths = size_t(1) << 20;
  std::vector<fingerprint> stepped(dates), by_dimension(dates), generated(dates);
  sobol_sequence sequence(dates);
  for (size_t n = 1; n <= paths; ++n) {
    sequence.advance();
    for (size_t d = 0; d < dates; ++d) stepped[d].add(sequence.point()[d], 4);
  }
  std::vector<std::uint32_t> x(paths);
  for (size_t d = 0; d < dates; ++d) {
    sequence.coordinates(d, 1, paths, x.data());
    for (std::uint32_t word : x) by_dimension[d].add(word, 4);
  }
  // One path of 50 dates and one factor is one point; date 0 reads the last dimension, date t the dimension
  // t - 1. The generator's uniforms are the coordinates times 2^-32, so they give the words back exactly.
  const auto generator = sobol(random_type::SOBOL, paths, dates, 1);
  std::vector<double> row(paths);
  for (size_t t = 0; t < dates; ++t) {
    generator->uniforms(row.data(), paths, 0);
    for (double u : row) generated[t == 0 ? dates - 1 : t - 1].add(static_cast<std::uint32_t>(u * 0x1p32), 4);
  }
  EXPECT_EQ(combined(stepped), first_million_points_fingerprint);
  EXPECT_EQ(combined(by_dimension), first_million_points_fingerprint);
  EXPECT_EQ(combined(generated), first_million_points_fingerprint);
}

TEST(SobolGenerator, BatchLayoutReadsTheDimensionsOfEachDate) {
  // 3 dates, 2 factors, 4 paths. Date 0 takes the last dimensions; the bridge over 2 steps places date 2
  // (the terminal value) with its first rank and date 1 with its second.
  constexpr size_t dates = 3, brownians = 2, paths = 4;
  struct layout_case {
    random_type type;
    size_t dimension[dates][brownians];
  };
  const layout_case cases[] = {
      {random_type::SOBOL, {{4, 5}, {0, 1}, {2, 3}}},
      {random_type::SOBOL_BROWNIAN_BRIDGE, {{4, 5}, {2, 3}, {0, 1}}},
  };
  for (const auto& c : cases) {
    const auto generator = sobol(c.type, paths, dates, brownians);
    const auto u = draw_uniforms(*generator, 2 * dates * brownians * paths);  // two batches
    sobol_sequence reference(dates * brownians);
    for (size_t path = 0; path < 2 * paths; ++path) {
      reference.advance();  // the zero point is skipped
      const size_t batch = path / paths, p = path % paths;
      for (size_t t = 0; t < dates; ++t)
        for (size_t k = 0; k < brownians; ++k)
          EXPECT_EQ(u[((batch * dates + t) * brownians + k) * paths + p],
                    reference.point()[c.dimension[t][k]] * 0x1p-32)
              << "type " << int(c.type) << ", path " << path << ", date " << t << ", factor " << k;
    }
  }
}

TEST(SobolGenerator, BatchIsASliceOfOneLongRun) {
  // Batch b of P paths, reached by skipping b batches, is paths bP .. bP + P - 1 of a run of 4P paths.
  constexpr size_t dates = 4, brownians = 3, paths = 5, rows = dates * brownians;
  for (random_type type : {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE}) {
    const auto long_run = draw_gaussians(*sobol(type, 4 * paths, dates, brownians), rows * 4 * paths);
    for (size_t b : {0, 1, 3}) {
      const auto batch = draw_gaussians(*sobol(type, paths, dates, brownians), rows * paths, rows * paths * b);
      for (size_t r = 0; r < rows; ++r)
        for (size_t p = 0; p < paths; ++p)
          ASSERT_EQ(batch[r * paths + p], long_run[r * 4 * paths + b * paths + p])
              << "type " << int(type) << ", batch " << b << ", row " << r << ", path " << p;
    }
  }
}

// Paths first_path .. first_path + count - 1 of a batch as each path's own bridge makes them: the Gaussians of
// its point, by dimension, through brownian_bridge::increments; date 0 takes the last dimensions. Row-major,
// one row per date and factor.
std::vector<double> bridged_paths(size_t paths, size_t dates, size_t brownians, size_t batch, size_t first_path,
                                  size_t count) {
  const size_t rows = dates * brownians;
  std::vector<double> out(rows * count), normals(rows), increments(rows);
  sobol_sequence sequence(rows);
  brownian_bridge bridge(dates - 1);
  for (size_t p = 0; p < count; ++p) {
    sequence.move_to(batch * paths + first_path + p + 1);
    for (size_t d = 0; d < rows; ++d) normals[d] = sequence.point()[d] * 0x1p-32;
    inverse_normal_cdf(normals.data(), normals.data(), rows);
    for (size_t k = 0; k < brownians; ++k) {
      bridge.increments(&normals[k], brownians, &increments[brownians + k], brownians);
      increments[k] = normals[(dates - 1) * brownians + k];
    }
    for (size_t r = 0; r < rows; ++r) out[r * count + p] = increments[r];
  }
  return out;
}

TEST(SobolGenerator, BridgedIncrementsAreThoseOfEachPathsOwnBridgeHoweverTheyAreAsked) {
  // 12 steps (not a power of two), 2 factors, an odd number of paths; the second batch too.
  constexpr size_t dates = 13, brownians = 2, paths = 37, batch = dates * brownians * paths;
  const std::vector<std::vector<size_t>> request_sizes = {
      {batch},                               // the whole batch at once
      std::vector<size_t>(dates, batch / dates),  // date by date
      {paths / 2, batch - paths / 2},        // half a row, then the rest
      std::vector<size_t>(batch / 7 + 1, 7),  // seven numbers at a time, across rows and dates
  };
  for (size_t b : {0, 1}) {
    const auto expected = bridged_paths(paths, dates, brownians, b, 0, paths);
    for (const auto& sizes : request_sizes) {
      const auto generator = sobol(random_type::SOBOL_BROWNIAN_BRIDGE, paths, dates, brownians);
      generator->discard(b * batch);
      std::vector<double> drawn(sizes.size() * 7 + batch);
      size_t done = 0;
      for (size_t size : sizes) {
        generator->gaussians(drawn.data() + done, size, 0);
        done += size;
      }
      for (size_t i = 0; i < batch; ++i)
        ASSERT_EQ(drawn[i], expected[i]) << "batch " << b << ", " << sizes.size() << " requests, number " << i;
    }
  }
}

TEST(SobolGenerator, AFewNumbersOfAHugeBatchAreMadeFromTheirOwnPointsAlone) {
  // 2^40 paths per batch: five numbers of date 1 deep inside the batch, plain and bridged, as uniforms and
  // as Gaussians; nothing is made for the paths not asked for.
  constexpr size_t paths = size_t(1) << 40, dates = 3, first_path = (size_t(1) << 31) + 3, count = 5;
  const auto reference = bridged_paths(paths, dates, 1, 0, first_path, count);
  sobol_sequence sequence(dates);
  for (random_type type : {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE}) {
    // Date 1 reads dimension 0 plainly; bridged, the midpoint of two steps has rank 1.
    const size_t dimension = type == random_type::SOBOL ? 0 : 1;
    const auto u = draw_uniforms(*sobol(type, paths, dates, 1), count, paths + first_path);
    const auto z = draw_gaussians(*sobol(type, paths, dates, 1), count, paths + first_path);
    for (size_t p = 0; p < count; ++p) {
      sequence.move_to(first_path + p + 1);
      const double uniform = sequence.point()[dimension] * 0x1p-32;
      EXPECT_EQ(u[p], uniform) << "type " << int(type) << ", path " << p;
      if (type == random_type::SOBOL) {
        double gaussian = 0.0;
        inverse_normal_cdf(&uniform, &gaussian, 1);
        EXPECT_EQ(z[p], gaussian) << "path " << p;
      } else {
        EXPECT_EQ(z[p], reference[count + p]) << "path " << p;
      }
    }
  }
}

TEST(SobolGenerator, BridgeEndsWhereThePlainSequencePutsItsFirstDimensions) {
  // The increments of factor k add up to W(N) = sqrt(N) z, z the Gaussian of dimension k, which the plain
  // sequence gives at date 1. Date 0 is the same for both; with a single step the bridge is the identity.
  constexpr size_t brownians = 2, paths = 64;
  for (size_t dates : {2, 9}) {
    const size_t rows = dates * brownians, steps = dates - 1;
    const auto plain = draw_gaussians(*sobol(random_type::SOBOL, paths, dates, brownians), rows * paths);
    const auto bridged =
        draw_gaussians(*sobol(random_type::SOBOL_BROWNIAN_BRIDGE, paths, dates, brownians), rows * paths);
    for (size_t k = 0; k < brownians; ++k)
      for (size_t p = 0; p < paths; ++p) {
        double terminal = 0.0;
        for (size_t t = 1; t < dates; ++t) terminal += bridged[(t * brownians + k) * paths + p];
        // Rounding of the bridge's weights and of the sum of the increments.
        EXPECT_NEAR(terminal, std::sqrt(double(steps)) * plain[(brownians + k) * paths + p], 1e-13);
        EXPECT_EQ(bridged[k * paths + p], plain[k * paths + p]);
        if (steps == 1) {
          EXPECT_EQ(bridged[(brownians + k) * paths + p], plain[(brownians + k) * paths + p]);
        }
      }
  }
}

TEST(SobolGenerator, BridgedTerminalValuesHaveAnExactMeanOverBalancedPointSets) {
  // Points 1 .. 2^m - 1 and points 2^m .. 2^(m+1) - 1 have first coordinates symmetric about 1/2, and the
  // quantile is exactly odd, so the terminal values sqrt(N) z of either set average to 0 up to the rounding
  // of the bridge (about 1e-15 per path), however many steps.
  constexpr unsigned m = 10;
  constexpr size_t dates = 5, paths = (size_t(1) << (m + 1)) - 1;
  const auto z = draw_gaussians(*sobol(random_type::SOBOL_BROWNIAN_BRIDGE, paths, dates, 1), dates * paths);
  std::vector<double> terminal(paths, 0.0);
  for (size_t t = 1; t < dates; ++t)
    for (size_t p = 0; p < paths; ++p) terminal[p] += z[t * paths + p];
  const size_t first_set = (size_t(1) << m) - 1;
  const double first_mean = std::accumulate(terminal.begin(), terminal.begin() + first_set, 0.0) / first_set;
  const double second_mean = std::accumulate(terminal.begin() + first_set, terminal.end(), 0.0) / (paths - first_set);
  EXPECT_NEAR(first_mean, 0.0, 1e-12);
  EXPECT_NEAR(second_mean, 0.0, 1e-12);
  EXPECT_EQ(paths - first_set, size_t(1) << m);
}

TEST(SobolGenerator, DigitalShiftXorsEachDimensionWithAWordOfTheSeededGenerator) {
  constexpr size_t dates = 3, brownians = 2, paths = 4, rows = dates * brownians;
  const auto plain = draw_uniforms(*sobol(random_type::SOBOL, paths, dates, brownians, false, 17), 2 * rows * paths);
  EXPECT_EQ(plain, draw_uniforms(*sobol(random_type::SOBOL, paths, dates, brownians, false, 18), 2 * rows * paths))
      << "the unshifted sequence depends on the seed";
  for (random_type shift_generator : {random_type::WELL_19937, random_type::MERSENNE_TWISTER}) {
    const auto shifted =
        draw_uniforms(*sobol(random_type::SOBOL, paths, dates, brownians, true, 17, shift_generator), 2 * rows * paths);
    std::vector<double> words(rows);
    random::random_generator_factory(shift_generator, std::make_shared<const random_settings>(17, 1, 1))
        ->uniforms(words.data(), rows, 0);
    const size_t dimension_of_row[rows] = {4, 5, 0, 1, 2, 3};
    for (size_t i = 0; i < shifted.size(); ++i) {
      const size_t row = (i / paths) % rows;
      const auto x = static_cast<std::uint32_t>(plain[i] * 0x1p32);
      const auto s = static_cast<std::uint32_t>(words[dimension_of_row[row]] * 0x1p32);
      ASSERT_EQ(shifted[i], (static_cast<double>(x ^ s) + 0.5) * 0x1p-32) << "number " << i;
    }
  }
}

TEST(SobolGenerator, RefusesSettingsItCannotServe) {
  const size_t maximum = sobol_sequence::maximum_dimension();
  for (random_type type : {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE}) {
    EXPECT_THROW(sobol(type, 0, 3, 2), Error);
    EXPECT_THROW(sobol(type, 4, 0, 2), Error);
    EXPECT_THROW(sobol(type, 4, 3, 0), Error);
    EXPECT_THROW(sobol(type, 4, maximum + 1, 1), Error);
    EXPECT_THROW(sobol(type, 4, maximum / 2 + 1, 2), Error);
    EXPECT_NO_THROW(sobol(type, 4, maximum, 1));
    EXPECT_THROW(sobol(type, 4, 3, 2, true, 1, random_type::SOBOL), Error);  // the shift needs a pseudo-random type
  }
}

TEST(SobolGenerator, RefusesToDrawBeyondTheLastPoint) {
  const auto generator = sobol(random_type::SOBOL, 1, 1, 1);
  double x = 0.0;
  generator->gaussians(&x, 1, sobol_sequence::last_index - 1);  // the last point
  EXPECT_TRUE(std::isfinite(x));
  EXPECT_THROW(generator->gaussians(&x, 1, 0), Error);
}

TEST(SobolGenerator, SkipsUpToTheLastPointAndRefusesOnePastWithoutMoving) {
  // Path p of batch b is point bP + p + 1; the last point L = 2^32 - 1 is a multiple of 3 and 5 but is 3 mod 4,
  // so with four paths the last batch is cut after three of them.
  struct skip_case {
    random_type type;
    size_t paths, dates, brownians;
  };
  const skip_case cases[] = {
      {random_type::SOBOL, 1, 1, 1},
      {random_type::SOBOL, 4, 3, 2},
      {random_type::SOBOL_BROWNIAN_BRIDGE, 3, 4, 1},
      {random_type::SOBOL_BROWNIAN_BRIDGE, 4, 5, 2},
  };
  constexpr std::uint64_t last_point = sobol_sequence::last_index;
  for (const skip_case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << int(c.type) << ", " << c.paths << " paths, " << c.dates
                                      << " dates, " << c.brownians << " brownians");
    const size_t rows = c.dates * c.brownians, batch_size = rows * c.paths;
    // The last number of the stream that comes from point L: its last row, on its own path.
    const std::uint64_t batch = (last_point - 1) / c.paths, path = (last_point - 1) % c.paths;
    const std::uint64_t last = batch * batch_size + (rows - 1) * c.paths + path;

    double expected;
    if (c.type == random_type::SOBOL_BROWNIAN_BRIDGE) {
      expected = bridged_paths(c.paths, c.dates, c.brownians, batch, path, 1)[rows - 1];
    } else {
      // The last row is the last factor of the last date, which reads the dimension before date 0's block.
      sobol_sequence sequence(rows);
      sequence.move_to(last_point);
      const size_t dimension = c.dates > 1 ? rows - c.brownians - 1 : rows - 1;
      const double u = sequence.point()[dimension] * 0x1p-32;
      inverse_normal_cdf(&u, &expected, 1);
    }

    const auto generator = sobol(c.type, c.paths, c.dates, c.brownians);
    draw_gaussians(*generator, 3);
    EXPECT_THROW(generator->discard(last + 1 - 3), Error);
    EXPECT_EQ(draw_gaussians(*generator, 2), draw_gaussians(*sobol(c.type, c.paths, c.dates, c.brownians), 2, 3));
    generator->discard(last - 5);
    EXPECT_EQ(draw_gaussians(*generator, 1)[0], expected);
    EXPECT_THROW(generator->discard(1), Error);  // right after the last number
    EXPECT_THROW(draw_gaussians(*generator, 1), Error);
  }
}

}  // namespace
}  // namespace qavrek
