#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "Random/random.h"
#include "instruction_sets.h"

namespace qavrek {
namespace {

ptr_mutable<random> generator(random_type type, size_t seed) {
  return random::random_generator_factory(type, std::make_shared<const random_settings>(seed, 1, 1));
}

// The words behind the uniforms, which are w 2^-32 exactly.
std::vector<std::uint32_t> words(random& source, size_t count, size_t discard_count = 0) {
  std::vector<double> u(count);
  source.uniforms(u.data(), count, discard_count);
  std::vector<std::uint32_t> w(count);
  for (size_t i = 0; i < count; ++i) w[i] = static_cast<std::uint32_t>(u[i] * 0x1p32);
  return w;
}

TEST(MersenneTwister, TenThousandthWordOfTheDefaultSeed) {
  // The value the C++ standard requires of a default-constructed std::mt19937.
  const auto mt = generator(random_type::MERSENNE_TWISTER, random_settings::default_seed);
  EXPECT_EQ(words(*mt, 1, 9999)[0], 4123659995u);
}

TEST(MersenneTwister, GivesTheWordsOfStdMt19937) {
  // Seeds above 2^32 keep their low 32 bits, as std::mt19937 does.
  for (size_t seed : {size_t(0), size_t(1), size_t(42), size_t(5489), size_t(0xffffffffu), (size_t(1) << 32) + 7}) {
    std::mt19937 reference(static_cast<std::mt19937::result_type>(seed));
    const auto mt = generator(random_type::MERSENNE_TWISTER, seed);
    const auto w = words(*mt, 2000);
    for (size_t i = 0; i < w.size(); ++i) ASSERT_EQ(w[i], reference()) << "seed " << seed << ", word " << i;
  }
}

TEST(MersenneTwister, EveryInstructionSetGivesTheWordsOfStdMt19937) {
  // Past several regenerations of the state, and after skips that end inside one.
  on_every_instruction_set([](const char* target) {
    std::mt19937 reference(7);
    const auto mt = generator(random_type::MERSENNE_TWISTER, 7);
    for (size_t skip : {size_t(0), size_t(1), size_t(623), size_t(1000)}) {
      reference.discard(skip);
      const auto w = words(*mt, 1500, skip);
      for (size_t i = 0; i < w.size(); ++i) ASSERT_EQ(w[i], reference()) << target << ", word " << i;
    }
  });
}

struct well_reference {
  random_type type;
  size_t seed;
  size_t n;
  std::uint32_t value;
};

// The authors' outputs for WELL19937a and WELL44497a with the state filled by the MT19937 initialisation.
const well_reference well_references[] = {
    {random_type::WELL_19937, 5489, 1, 436613738u},        {random_type::WELL_19937, 5489, 2, 2284173179u},
    {random_type::WELL_19937, 5489, 3, 3218077192u},       {random_type::WELL_19937, 5489, 4, 4080368780u},
    {random_type::WELL_19937, 5489, 5, 3596990492u},       {random_type::WELL_19937, 5489, 6, 1191717142u},
    {random_type::WELL_19937, 5489, 7, 3976456311u},       {random_type::WELL_19937, 5489, 8, 3664600460u},
    {random_type::WELL_19937, 5489, 9, 3632508239u},       {random_type::WELL_19937, 5489, 10, 234310915u},
    {random_type::WELL_19937, 5489, 1000, 4077033841u},    {random_type::WELL_19937, 5489, 10000, 2010163703u},
    {random_type::WELL_19937, 5489, 1000000, 4016108293u}, {random_type::WELL_19937, 42, 1, 2800847078u},
    {random_type::WELL_19937, 42, 2, 2671431316u},         {random_type::WELL_19937, 42, 3, 1699702686u},
    {random_type::WELL_19937, 42, 4, 1652247394u},         {random_type::WELL_19937, 42, 5, 1478680315u},
    {random_type::WELL_19937, 42, 6, 1899871264u},         {random_type::WELL_19937, 42, 7, 155444733u},
    {random_type::WELL_19937, 42, 8, 1770879909u},         {random_type::WELL_19937, 42, 9, 2521512334u},
    {random_type::WELL_19937, 42, 10, 1276656435u},        {random_type::WELL_19937, 42, 1000, 404916857u},
    {random_type::WELL_19937, 42, 10000, 1746014089u},     {random_type::WELL_19937, 42, 1000000, 1765029665u},
    {random_type::WELL_44497, 5489, 1, 1395571721u},       {random_type::WELL_44497, 5489, 2, 3948236996u},
    {random_type::WELL_44497, 5489, 3, 3221121512u},       {random_type::WELL_44497, 5489, 4, 3327213109u},
    {random_type::WELL_44497, 5489, 5, 620136459u},        {random_type::WELL_44497, 5489, 6, 1475018244u},
    {random_type::WELL_44497, 5489, 7, 2178785858u},       {random_type::WELL_44497, 5489, 8, 1521016384u},
    {random_type::WELL_44497, 5489, 9, 83976316u},         {random_type::WELL_44497, 5489, 10, 3394663333u},
    {random_type::WELL_44497, 5489, 1000, 4294399629u},    {random_type::WELL_44497, 5489, 10000, 2740560943u},
    {random_type::WELL_44497, 5489, 1000000, 768549496u},  {random_type::WELL_44497, 42, 1, 842202858u},
    {random_type::WELL_44497, 42, 2, 2119094330u},         {random_type::WELL_44497, 42, 3, 580997765u},
    {random_type::WELL_44497, 42, 4, 4263636424u},         {random_type::WELL_44497, 42, 5, 3364411691u},
    {random_type::WELL_44497, 42, 6, 1519092761u},         {random_type::WELL_44497, 42, 7, 4106514046u},
    {random_type::WELL_44497, 42, 8, 3698739376u},         {random_type::WELL_44497, 42, 9, 2798755808u},
    {random_type::WELL_44497, 42, 10, 4081943201u},        {random_type::WELL_44497, 42, 1000, 1691805845u},
    {random_type::WELL_44497, 42, 10000, 2084139857u},     {random_type::WELL_44497, 42, 1000000, 3931983292u},
};

TEST(Well, ReproducesTheAuthorsOutputs) {
  for (const auto& r : well_references) {
    // Each value is reached by skipping to it, and again by drawing everything up to it.
    const auto skipping = generator(r.type, r.seed);
    EXPECT_EQ(words(*skipping, 1, r.n - 1)[0], r.value) << "type " << int(r.type) << " seed " << r.seed << " n " << r.n;
    const auto drawing = generator(r.type, r.seed);
    EXPECT_EQ(words(*drawing, r.n).back(), r.value) << "type " << int(r.type) << " seed " << r.seed << " n " << r.n;
  }
}

TEST(Well, FirstUniformsOfTheReference) {
  // Printed with 15 and 17 significant digits.
  double u = 0.0;
  generator(random_type::WELL_19937, 5489)->uniforms(&u, 1, 0);
  EXPECT_NEAR(u, 0.101657057646662, 1e-15);
  generator(random_type::WELL_44497, 5489)->uniforms(&u, 1, 0);
  EXPECT_EQ(u, 0.32493186206556857);
}

TEST(PseudoRandom, GaussiansAreQuantilesOfTheWordMidpoints) {
  // std::mt19937 gives the words and Boost the quantile, both independent of the generator under test.
  std::mt19937 reference(2024);
  const auto mt = generator(random_type::MERSENNE_TWISTER, 2024);
  std::vector<double> z(5000);
  mt->gaussians(z.data(), z.size(), 0);
  const boost::math::normal_distribution<double> normal;
  for (double value : z) {
    const double expected = boost::math::quantile(normal, (static_cast<double>(reference()) + 0.5) * 0x1p-32);
    // Full precision of the quantile: a few units in the last place of max(1, |z|).
    ASSERT_NEAR(value, expected, 8.0 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::abs(expected)));
  }
}

}  // namespace
}  // namespace qavrek
