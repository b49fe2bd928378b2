// Which diffusions a simulation must carry: the named ids, the domestic rate of the measure and their
// dependencies, each once; a missing measure is signalled, a wrong object under its key refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/change_of_measure/measure.h"
#include "Analytics/change_of_measure/measure_id.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Analytics/simulation/simulation_helper.h"
#include "Market/any_container.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

ptr_const<diffusion_id> ir(const char* ccy) { return std::make_shared<const diffusion_ir_id>(discount("OIS", ccy)); }
ptr_const<diffusion_id> fx(const char* domestic, const char* foreign) {
  return std::make_shared<const diffusion_fx_id>(discount("OIS", domestic), discount("OIS", foreign));
}
ptr_const<diffusion_id> equity(const char* name, const char* ccy) {
  return std::make_shared<const diffusion_equity_id>(discount("OIS", ccy), key(name));
}
ptr_const<diffusion_id> default_curve(const char* name) {
  return std::make_shared<const diffusion_credit_id>(credit(name, "EUR"));
}

ptr_const<any_container> market_under_measure(const char* ccy) {
  auto container = std::make_shared<any_container>();
  container->add(any_id(std::make_shared<const measure_id>()),
                 ptr_const<config_data>(std::make_shared<const measure>(discount("OIS", ccy))));
  return container;
}

// The texts of the result's ids with their kinds, sorted: the order of the result is not part of its meaning.
std::vector<std::string> described(const std::vector<any_id>& ids) {
  std::vector<std::string> texts;
  for (const auto& id : ids) {
    std::string kind = "measure";
    if (id.is_market_data_id()) {
      const auto* held = id.market_id().get();
      kind = dynamic_cast<const diffusion_ir_id*>(held)       ? "ir"
             : dynamic_cast<const diffusion_fx_id*>(held)     ? "fx"
             : dynamic_cast<const diffusion_credit_id*>(held) ? "credit"
             : dynamic_cast<const diffusion_equity_id*>(held) ? "equity"
                                                              : "other";
    }
    texts.push_back(kind + " " + id.to_string());
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

struct discovery_case {
  const char* label;
  std::function<std::vector<ptr_const<diffusion_id>>()> ids;
  std::vector<std::string> expected;
};

TEST(SimulationHelper, DiscoveryClosesTheSetUnderTheMeasure) {
  const std::vector<discovery_case> cases = {
      {"no ids: the domestic rate alone", [] { return std::vector<ptr_const<diffusion_id>>{}; }, {"ir OIS_EUR"}},
      {"the domestic rate itself adds nothing", [] { return std::vector{ir("EUR")}; }, {"ir OIS_EUR"}},
      {"a rate given twice is one id", [] { return std::vector{ir("EUR"), ir("EUR"), ir("EUR")}; }, {"ir OIS_EUR"}},
      {"a foreign rate brings the exchange rate",
       [] { return std::vector{ir("USD")}; },
       {"fx OIS_EUR_OIS_USD", "ir OIS_EUR", "ir OIS_USD"}},
      {"a foreign rate and its exchange rate named too",
       [] { return std::vector{fx("EUR", "USD"), ir("USD"), ir("USD")}; },
       {"fx OIS_EUR_OIS_USD", "ir OIS_EUR", "ir OIS_USD"}},
      {"a credit curve needs nothing else",
       [] { return std::vector{default_curve("ACME"), default_curve("ACME")}; },
       {"credit ACME_EUR_SNRFOR_XR14_2014", "ir OIS_EUR"}},
      {"an equity in a foreign currency pulls its rate and that rate's exchange rate",
       [] { return std::vector{equity("ACME", "USD")}; },
       {"equity ACME_OIS_USD", "fx OIS_EUR_OIS_USD", "ir OIS_EUR", "ir OIS_USD"}},
      {"two foreign rates",
       [] { return std::vector{ir("USD"), ir("JPY")}; },
       {"fx OIS_EUR_OIS_JPY", "fx OIS_EUR_OIS_USD", "ir OIS_EUR", "ir OIS_JPY", "ir OIS_USD"}},
  };
  const auto market = market_under_measure("EUR");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = simulation_helper::discovery(c.ids(), market);
    EXPECT_EQ(described(result), c.expected);
    // The domestic rate leads: a simulation lists it first.
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(result.front().to_string(), "OIS_EUR");
  }
}

TEST(SimulationHelper, AMissingMeasureGivesTheMeasureIdAlone) {
  const auto empty = std::make_shared<const any_container>();
  const auto result = simulation_helper::discovery({ir("USD"), default_curve("ACME")}, empty);
  ASSERT_EQ(result.size(), 1u);
  ASSERT_TRUE(result.front().is_config_data_id());
  EXPECT_TRUE(result.front() == any_id(std::make_shared<const measure_id>()));
}

TEST(SimulationHelper, RefusesWhatIsNotAMeasureUnderItsKey) {
  const any_id key(std::make_shared<const measure_id>());
  auto wrong_configuration = std::make_shared<any_container>();
  wrong_configuration->add(
      key, ptr_const<config_data>(std::make_shared<const random_config>(random_type::MERSENNE_TWISTER, 1, 8, 2)));
  auto market_object = std::make_shared<any_container>();
  market_object->add(key, ptr_const<market_data>(std::make_shared<const discount_curve>(datetime(2024, 1, 2), 0.01)));

  EXPECT_NE(error_message([&] { simulation_helper::discovery({}, wrong_configuration); }).find("is not a measure"),
            std::string::npos);
  EXPECT_NE(error_message([&] { simulation_helper::discovery({}, market_object); }).find("not a configuration"),
            std::string::npos);
  EXPECT_NE(error_message([] { simulation_helper::discovery({}, nullptr); }), "");
  EXPECT_NE(error_message([] { simulation_helper::discovery({nullptr}, market_under_measure("EUR")); }), "");
}

}  // namespace
}  // namespace qavrek::simulation_test
