#include "Random/random_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "Core/error.h"

namespace qavrek {
namespace {

TEST(RandomSettings, OptionalArgumentsTakeTheirDefaults) {
  const random_settings settings(1, 1000, 12);
  EXPECT_EQ(settings.seed(), 1u);
  EXPECT_EQ(settings.number_of_paths_per_batch(), 1000u);
  EXPECT_EQ(settings.number_of_simulation_dates(), 12u);
  EXPECT_EQ(settings.number_of_brownians(), 1u);
  EXPECT_EQ(settings.batch_index(), 0u);
  EXPECT_FALSE(settings.full_skip());
  EXPECT_EQ(settings.generator_type(), random_type::WELL_19937);
  EXPECT_TRUE(settings.use_shift());
  EXPECT_EQ(settings.type(), device_type::CPU);
  EXPECT_FALSE(settings.orthogonalization());
}

TEST(RandomSettings, EveryArgumentReachesItsOwnField) {
  const random_settings settings(7, 11, 13, 17, 19, true, random_type::MERSENNE_TWISTER, false, device_type::CPU, true);
  EXPECT_EQ(settings.seed(), 7u);
  EXPECT_EQ(settings.number_of_paths_per_batch(), 11u);
  EXPECT_EQ(settings.number_of_simulation_dates(), 13u);
  EXPECT_EQ(settings.number_of_brownians(), 17u);
  EXPECT_EQ(settings.batch_index(), 19u);
  EXPECT_TRUE(settings.full_skip());
  EXPECT_EQ(settings.generator_type(), random_type::MERSENNE_TWISTER);
  EXPECT_FALSE(settings.use_shift());
  EXPECT_EQ(settings.type(), device_type::CPU);
  EXPECT_TRUE(settings.orthogonalization());

  const random_settings copy = settings;  // the Python copy constructor copies member by member
  EXPECT_EQ(copy.batch_index(), 19u);
  EXPECT_EQ(copy.generator_type(), random_type::MERSENNE_TWISTER);
}

TEST(RandomSettings, UnknownEnumeratorsAreRefused) {
  struct refused_case {
    random_type generator;
    device_type device;
    std::string message;
  };
  const refused_case cases[] = {
      {static_cast<random_type>(5), device_type::CPU, "unknown random_type 5"},
      {static_cast<random_type>(-1), device_type::CPU, "unknown random_type -1"},
      {random_type::SOBOL, static_cast<device_type>(1), "unsupported device_type 1"},
  };
  for (const auto& c : cases) {
    try {
      random_settings(1, 1, 1, 1, 0, false, c.generator, true, c.device);
      ADD_FAILURE() << c.message << " was accepted";
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace qavrek
