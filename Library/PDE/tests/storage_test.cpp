#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_storage.h"

namespace qavrek {
namespace {

bool all_zero(const tensor<double>& t) {
  return std::all_of(t.begin(), t.end(), [](double v) { return v == 0.0; });
}

TEST(ModelCoefficients, ShapesAndZeroStart) {
  const std::vector<size_t> dimensions{30, 20};
  for (bool with_correlation : {false, true}) {
    const pde_model_coefficients coefficients(dimensions, with_correlation);
    EXPECT_EQ(coefficients.diffusion().shape(), dimensions);
    EXPECT_EQ(coefficients.convection().shape(), dimensions);
    EXPECT_EQ(coefficients.reaction().shape(), dimensions);
    if (with_correlation) {
      EXPECT_EQ(coefficients.correlation().shape(), dimensions);
    } else {
      EXPECT_EQ(coefficients.correlation().shape(), std::vector<size_t>{0});
      EXPECT_TRUE(coefficients.correlation().empty());
    }
    // A coefficient that no model fills must be absent from the equation, not garbage.
    for (const tensor<double>* t : {&coefficients.diffusion(), &coefficients.convection(), &coefficients.reaction(),
                                    &coefficients.correlation()}) {
      EXPECT_TRUE(all_zero(*t));
    }
  }
}

TEST(ModelCoefficients, TensorsAreAlignedForTheVectorLoops) {
  pde_model_coefficients coefficients({7, 3}, true);
  for (tensor<double>* t : {&coefficients.diffusion(), &coefficients.convection(), &coefficients.reaction(),
                            &coefficients.correlation()}) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t->data()) % 64, 0u);
  }
}

TEST(Storage, ShapesAndDefaultKey) {
  struct storage_case {
    size_t entries, results;
    std::vector<size_t> sizes;
  };
  for (const storage_case& c : {storage_case{1, 1, {50}}, storage_case{1, 3, {3, 40, 20}},
                                storage_case{3, 2, {2, 10}}, storage_case{0, 1, {25}}}) {
    const pde_storage storage(c.entries, c.results, c.sizes);
    EXPECT_EQ(storage.sizes(), c.sizes);
    EXPECT_EQ(storage.number_of_results(), c.results);
    EXPECT_EQ(storage.result().shape(), c.sizes);
    EXPECT_EQ(storage.previous_result().shape(), c.sizes);
    EXPECT_TRUE(all_zero(storage.result()));
    EXPECT_TRUE(all_zero(storage.previous_result()));
    EXPECT_NE(storage.result().data(), storage.previous_result().data());

    ASSERT_EQ(storage.entries().size(), c.entries);
    if (c.entries == 0) {
      EXPECT_TRUE(storage.boundary_configs().empty());
      continue;
    }
    // One key of default configurations, one per entry of the shape, grouping every entry.
    ASSERT_EQ(storage.boundary_configs().size(), 1u);
    const auto& [key, group] = *storage.boundary_configs().begin();
    ASSERT_EQ(key.size(), c.sizes.size());
    for (const pde_boundary_config& config : key) {
      EXPECT_FALSE(config.is_up_floating());
      EXPECT_FALSE(config.is_down_floating());
      EXPECT_EQ(config.up_type(), pde_boundary_config::boundary_conditions_type::NO_DIFFUSION);
      EXPECT_EQ(config.down_type(), pde_boundary_config::boundary_conditions_type::NO_DIFFUSION);
    }
    std::set<size_t> all;
    for (size_t i = 0; i < c.entries; ++i) all.insert(i);
    EXPECT_EQ(group, all);
  }
}

}  // namespace
}  // namespace qavrek
