#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <ql/math/randomnumbers/sobolbrownianbridgersg.hpp>
#include <ql/math/randomnumbers/sobolrsg.hpp>
#include <ql/methods/montecarlo/brownianbridge.hpp>
#include <vector>

#include "Random/brownian_bridge.h"
#include "Random/random.h"
#include "Random/sobol_sequence.h"

namespace qavrek {
namespace {

// QuantLib's JoeKuoD6 set is the Joe-Kuo "new-joe-kuo-6" table, the one behind sobol_direction_numbers.
constexpr auto joe_kuo = QuantLib::SobolRsg::JoeKuoD6;

TEST(SobolAgainstQuantLib, PointsEqualSobolRsgInEveryDimension) {
  // QuantLib's n-th draw is point n of the Gray-code sequence; skipTo(n) makes the next draw point n + 1.
  const size_t dimension = sobol_sequence::maximum_dimension();
  QuantLib::SobolRsg reference(dimension, 0, joe_kuo);
  sobol_sequence sobol(dimension);
  for (int n = 1; n <= 4096; ++n) {
    sobol.advance();
    const auto& expected = reference.nextInt32Sequence();
    for (size_t d = 0; d < dimension; ++d)
      ASSERT_EQ(sobol.point()[d], expected[d]) << "point " << n << ", dimension " << d + 1;
  }
  for (std::uint32_t n : {(1u << 20) + 12345u, (1u << 31) + 77u, 0xffffffffu}) {
    QuantLib::SobolRsg skipping(dimension, 0, joe_kuo);
    skipping.skipTo(n - 1);
    const auto& expected = skipping.nextInt32Sequence();
    sobol.move_to(n);
    for (size_t d = 0; d < dimension; ++d)
      ASSERT_EQ(sobol.point()[d], expected[d]) << "point " << n << ", dimension " << d + 1;
  }
}

TEST(SobolAgainstQuantLib, UniformsOfABatchAreSobolRsgPointsByDate) {
  // 1222 dates x 3 factors use 3666 dimensions; date t >= 1 reads dimensions (t - 1) x 3 + k, date 0 the last 3.
  constexpr size_t dates = 1222, brownians = 3, paths = 8, rows = dates * brownians;
  const auto generator = random::random_generator_factory(
      random_type::SOBOL,
      std::make_shared<const random_settings>(1, paths, dates, brownians, 0, false, random_type::WELL_19937, false));
  std::vector<double> u(rows * paths);
  generator->uniforms(u.data(), u.size(), 0);
  QuantLib::SobolRsg reference(rows, 0, joe_kuo);
  for (size_t p = 0; p < paths; ++p) {
    const auto& point = reference.nextSequence().value;
    for (size_t t = 0; t < dates; ++t)
      for (size_t k = 0; k < brownians; ++k) {
        const size_t dimension = (t == 0 ? dates - 1 : t - 1) * brownians + k;
        ASSERT_EQ(u[(t * brownians + k) * paths + p], point[dimension]) << "path " << p << ", date " << t;
      }
  }
}

TEST(BrownianBridgeAgainstQuantLib, IncrementsEqualQuantLibBridgeOnTheUnitGrid) {
  for (size_t steps : {1, 2, 5, 8, 12, 33, 100}) {
    std::vector<double> normals(steps), expected(steps), increments(steps);
    for (size_t j = 0; j < steps; ++j) normals[j] = std::sin(1.0 + 7.0 * j) * 2.0;
    QuantLib::BrownianBridge(steps).transform(normals.begin(), normals.end(), expected.begin());
    brownian_bridge(steps).increments(normals.data(), 1, increments.data(), 1);
    // Both build the same path with weights rounded differently.
    for (size_t t = 0; t < steps; ++t)
      EXPECT_NEAR(increments[t], expected[t], 1e-13) << steps << " steps, date " << t + 1;
  }
}

TEST(BrownianBridgeAgainstQuantLib, BridgedGaussiansEqualSobolBrownianBridgeRsgByStep) {
  // QuantLib's "Steps" ordering gives rank j of factor k dimension j x factors + k, as ours does. QuantLib's
  // inverse normal is Acklam's approximation, relative error 1.15e-9, so about 1e-8 on |z| up to 6.4 and on
  // the bridge's combinations of a few of them.
  constexpr size_t dates = 13, brownians = 3, paths = 200, steps = dates - 1;
  const auto generator = random::random_generator_factory(
      random_type::SOBOL_BROWNIAN_BRIDGE,
      std::make_shared<const random_settings>(1, paths, dates, brownians, 0, false, random_type::WELL_19937, false));
  std::vector<double> z(dates * brownians * paths);
  generator->gaussians(z.data(), z.size(), 0);
  QuantLib::SobolBrownianBridgeRsg reference(brownians, steps, QuantLib::SobolBrownianGenerator::Steps, 0, joe_kuo);
  for (size_t p = 0; p < paths; ++p) {
    const auto& expected = reference.nextSequence().value;  // step by step, all factors of a step together
    for (size_t t = 1; t < dates; ++t)
      for (size_t k = 0; k < brownians; ++k)
        ASSERT_NEAR(z[(t * brownians + k) * paths + p], expected[(t - 1) * brownians + k], 5e-8)
            << "path " << p << ", date " << t << ", factor " << k;
  }
}

}  // namespace
}  // namespace qavrek
