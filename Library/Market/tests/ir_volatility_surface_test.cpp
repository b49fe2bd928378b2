#include "Market/ir_volatility_surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Util/datetime_helper.h"
#include "Util/tenor.h"
#include "Vectorization/tensor.h"

namespace qavrek {
namespace {

const datetime today(2024, 1, 31);
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

double years(const datetime& from, const datetime& to) { return (to.serial() - from.serial()) / 365.0; }
datetime plus(const datetime& date, const char* period) { return datetime_helper::add_tenor(date, tenor(period)); }

const std::vector<tenor> expiries{tenor("1Y"), tenor("2Y"), tenor("5Y")};
const std::vector<tenor> tenors{tenor("1Y"), tenor("5Y"), tenor("10Y")};
const std::vector<double> strikes{0.01, 0.03, 0.05};

// A smile that is not linear along any axis, so that interpolation errors show.
double planted(size_t e, size_t t, size_t k) {
  return 0.20 + 0.013 * static_cast<double>(e * e) - 0.007 * static_cast<double>(t) + 0.04 * (k == 1 ? -1.0 : 1.0);
}

tensor<double> planted_volatilities(size_t columns) {
  tensor<double> vols({expiries.size(), tenors.size(), columns});
  for (size_t e = 0; e < expiries.size(); ++e)
    for (size_t t = 0; t < tenors.size(); ++t)
      for (size_t k = 0; k < columns; ++k) vols[(e * tenors.size() + t) * columns + k] = planted(e, t, k);
  return vols;
}

ir_volatility_surface surface() { return ir_volatility_surface(today, expiries, tenors, strikes, planted_volatilities(3)); }

TEST(IrVolatilitySurface, ReproducesPlantedNodes) {
  const ir_volatility_surface vols = surface();
  for (size_t e = 0; e < expiries.size(); ++e)
    for (size_t t = 0; t < tenors.size(); ++t)
      for (size_t k = 0; k < strikes.size(); ++k) {
        // On a node every interpolation weight is exactly 0 or 1.
        EXPECT_EQ(vols.volatility(expiries[e], tenors[t], strikes[k]), planted(e, t, k)) << e << t << k;
        const datetime start = datetime_helper::add_tenor(today, expiries[e]);
        EXPECT_EQ(vols.volatility(start, datetime_helper::add_tenor(start, tenors[t]), strikes[k]), planted(e, t, k));
      }
}

TEST(IrVolatilitySurface, InterpolatesLinearlyAlongEachAxis) {
  const ir_volatility_surface vols = surface();
  // Along the tenor only: an 18M option on a 3Y swap, strike on a node.
  {
    const datetime start = plus(today, "2Y");
    const datetime end = plus(start, "3Y");
    const double w = (years(start, end) - years(start, plus(start, "1Y"))) /
                     (years(start, plus(start, "5Y")) - years(start, plus(start, "1Y")));
    // Weights and values of order one, a few roundings.
    EXPECT_NEAR(vols.volatility(start, end, 0.05), (1 - w) * planted(1, 0, 2) + w * planted(1, 1, 2), 1e-15);
  }
  // Along the strike only: halfway between two strikes.
  EXPECT_NEAR(vols.volatility(tenor("5Y"), tenor("10Y"), 0.04), 0.5 * (planted(2, 2, 1) + planted(2, 2, 2)), 1e-15);
  // All three at once: the trilinear blend of the eight surrounding nodes.
  {
    const datetime start(2027, 8, 14);
    const datetime end(2034, 2, 1);
    const double strike = 0.0137;
    const double we = (years(today, start) - years(today, plus(today, "2Y"))) /
                      (years(today, plus(today, "5Y")) - years(today, plus(today, "2Y")));
    const double wt = (years(start, end) - years(start, plus(start, "5Y"))) /
                      (years(start, plus(start, "10Y")) - years(start, plus(start, "5Y")));
    const double wk = (strike - 0.01) / 0.02;
    double expected = 0.0;
    for (int de = 0; de < 2; ++de)
      for (int dt = 0; dt < 2; ++dt)
        for (int dk = 0; dk < 2; ++dk)
          expected += (de ? we : 1 - we) * (dt ? wt : 1 - wt) * (dk ? wk : 1 - wk) * planted(1 + de, 1 + dt, dk);
    EXPECT_NEAR(vols.volatility(start, end, strike), expected, 1e-15);
  }
}

TEST(IrVolatilitySurface, ExtrapolatesFlat) {
  const ir_volatility_surface vols = surface();
  struct case_ {
    const char *expiry, *tenor;
    double strike;
    size_t e, t, k;
  };
  for (const auto& c : {case_{"6M", "1Y", 0.03, 0, 0, 1}, case_{"10Y", "5Y", 0.03, 2, 1, 1}, case_{"2Y", "3M", 0.05, 1, 0, 2},
                        case_{"1Y", "30Y", 0.01, 0, 2, 0}, case_{"5Y", "10Y", -0.02, 2, 2, 0}, case_{"2Y", "5Y", 0.5, 1, 1, 2},
                        case_{"0D", "40Y", 0.9, 0, 2, 2}}) {
    EXPECT_EQ(vols.volatility(tenor(c.expiry), tenor(c.tenor), c.strike), planted(c.e, c.t, c.k))
        << c.expiry << " " << c.tenor << " " << c.strike;
  }
}

TEST(IrVolatilitySurface, AnAtTheMoneyColumnIgnoresTheStrike) {
  const ir_volatility_surface vols(today, expiries, tenors, {}, planted_volatilities(1));
  for (const double strike : {-0.01, 0.0, 0.02, 1.0}) {
    EXPECT_EQ(vols.volatility(tenor("2Y"), tenor("10Y"), strike), planted(1, 2, 0));
  }
  EXPECT_TRUE(vols.strikes().empty());
}

TEST(IrVolatilitySurface, RefusesBadData) {
  struct case_ {
    std::string name;
    std::vector<tenor> expiries, tenors;
    std::vector<double> strikes;
    tensor<double> vols;
  };
  tensor<double> negative = planted_volatilities(3);
  negative[4] = -0.1;
  tensor<double> not_a_number = planted_volatilities(3);
  not_a_number[7] = nan;
  for (const auto& c : {case_{"shape", expiries, tenors, strikes, planted_volatilities(1)},
                        case_{"expiry order", {tenor("2Y"), tenor("1Y"), tenor("5Y")}, tenors, strikes, planted_volatilities(3)},
                        case_{"same expiry", {tenor("1Y"), tenor("12M"), tenor("5Y")}, tenors, strikes, planted_volatilities(3)},
                        case_{"tenor order", expiries, {tenor("1Y"), tenor("10Y"), tenor("5Y")}, strikes, planted_volatilities(3)},
                        case_{"strike order", expiries, tenors, {0.01, 0.05, 0.03}, planted_volatilities(3)},
                        case_{"negative", expiries, tenors, strikes, negative},
                        case_{"nan", expiries, tenors, strikes, not_a_number},
                        case_{"no expiries", {}, tenors, strikes, tensor<double>({0, 3, 3})}}) {
    EXPECT_THROW(ir_volatility_surface(today, c.expiries, c.tenors, c.strikes, c.vols), Error) << c.name;
  }
  const ir_volatility_surface vols = surface();
  EXPECT_THROW(vols.volatility(datetime(2025, 1, 1), datetime(2025, 1, 1), 0.02), Error);
  EXPECT_THROW(vols.volatility(datetime(2023, 1, 1), datetime(2025, 1, 1), 0.02), Error);
  EXPECT_THROW(vols.volatility(tenor("1Y"), tenor("1Y"), nan), Error);
}

}  // namespace
}  // namespace qavrek
