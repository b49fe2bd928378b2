// NaN (also the "no date" value), +infinity and -infinity in every double field, and NaN in every date
// field, that a class lets hold them come back from both files unchanged (an infinite serial is no date).
// (The parameter sets refuse them, when built and when loaded alike: see loading_validation_test.cpp.)

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "persistable_samples.h"

namespace qavrek::persistence_samples {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// A field that holds a double or a date: a sample holding `value` there, and how to read it back.
template <class T>
struct field {
  const char* name;
  std::function<ptr_const<T>(double)> holding;
  std::function<double(const T&)> read;
  std::vector<double> values = {nan, inf, -inf};
};

bool same(double a, double b) { return std::isnan(a) ? std::isnan(b) : a == b; }

class NonFiniteValues : public scratch_files {
 protected:
  template <class T>
  void expect_round_trips(const std::vector<field<T>>& fields) {
    for (const auto& f : fields) {
      for (const double value : f.values) {
        SCOPED_TRACE(std::string(f.name) + " = " + std::to_string(value));
        const ptr_const<T> saved = f.holding(value);
        ASSERT_TRUE(same(f.read(*saved), value));
        T::write_to_json(path("object.json"), saved);
        T::write_to_binary(path("object.bin"), saved);
        for (const auto& loaded : {T::read_from_json(path("object.json")), T::read_from_binary(path("object.bin"))}) {
          EXPECT_TRUE(same(f.read(*loaded), value)) << f.read(*loaded);
          expect_same_object(loaded, saved);
        }
        // Standard JSON text, which a strict parser reads as it was written.
        EXPECT_NO_THROW(EXPECT_TRUE(ordered_json::parse(text_of(path("object.json"))).is_object()));
      }
    }
  }
};

TEST_F(NonFiniteValues, CalibrationSettingsKeepThemInEveryDoubleField) {
  using bk = calibration_black_karasinski_settings;
  const auto bk_with = [](int position) {
    return [position](double v) {
      double a[7] = {0.05, 4.5, -20.0, 25.0, 1e-10, 15.0, 0.5};
      a[position] = v;
      return std::make_shared<const bk>(tenor("6M"), a[0], false, false, 65, a[1], a[2], a[3], a[4], true, a[5], 4,
                                        a[6], false);
    };
  };
  // The span and the tolerance must be finite: calibration_settings_test.cpp.
  expect_round_trips<bk>({
      {"mean_reversion_spead", bk_with(0), [](const bk& s) { return s.mean_reversion_spead(); }},
      {"level_lower_bound", bk_with(2), [](const bk& s) { return s.level_lower_bound(); }},
      {"level_upper_bound", bk_with(3), [](const bk& s) { return s.level_upper_bound(); }},
      {"step", bk_with(5), [](const bk& s) { return s.step(); }},
      {"minimum_step", bk_with(6), [](const bk& s) { return s.minimum_step(); }},
  });

  using cheyette = calibration_cheyette_settings;
  const auto cheyette_with = [](int position) {
    return [position](double v) {
      double a[4] = {0.001, 1.0, -0.5, 1e-8};
      a[position] = v;
      return std::make_shared<const cheyette>(std::vector<double>{a[0], 0.05}, std::vector<double>{0.01, a[1]},
                                              std::vector<double>{a[2], 0.5}, parameter_markovian_hjm_type::HULL_WHITE,
                                              true, 50, a[3]);
    };
  };
  expect_round_trips<cheyette>({
      {"volatility_bounds", cheyette_with(0), [](const cheyette& s) { return s.volatility_bounds()[0]; }},
      {"decay_bounds", cheyette_with(1), [](const cheyette& s) { return s.decay_bounds()[1]; }},
      {"skew_bounds", cheyette_with(2), [](const cheyette& s) { return s.skew_bounds()[0]; }},
      {"tolerance", cheyette_with(3), [](const cheyette& s) { return s.tolerance(); }},
  });

  using hjm = calibration_hjm_settings;
  const auto hjm_with = [](int position) {
    return [position](double v) {
      double a[4] = {0.04, 0.02, 1e-9, 0.25};
      a[position] = v;
      return std::make_shared<const hjm>(3, std::vector<double>{0.002, a[0]}, std::vector<double>{a[1], 2.0},
                                         parameter_markovian_hjm_type::HULL_WHITE, true, 77, false, true, a[2], a[3]);
    };
  };
  expect_round_trips<hjm>({
      {"volatility_bounds", hjm_with(0), [](const hjm& s) { return s.volatility_bounds()[1]; }},
      {"decay_bounds", hjm_with(1), [](const hjm& s) { return s.decay_bounds()[0]; }},
      {"tolerance", hjm_with(2), [](const hjm& s) { return s.tolerance(); }},
      {"regularization_factor", hjm_with(3), [](const hjm& s) { return s.regularization_factor(); }},
  });

  using targets = calibration_ir_targets_configuration;
  expect_round_trips<targets>({
      {"strikes",
       [](double v) {
         return std::make_shared<const targets>(tenor("6M"), std::vector<tenor>{tenor("1Y")}, tenor("10Y"),
                                                std::vector<tenor>{}, std::vector<std::vector<double>>{{0.01, v}, {}},
                                                true, false, false);
       },
       [](const targets& t) { return t.strikes()[0][1]; }},
  });
}

// A correlation manager keeps no date in its date; a correlation that is not finite it refuses (when loaded
// too: see correlation_manager_test.cpp).
TEST_F(NonFiniteValues, TheCorrelationManagerKeepsNoDateInItsDateAndRefusesThemInItsMatrix) {
  using manager = correlation_manager;
  const auto holding = [](double date, double correlation) {
    const std::vector<ptr_const<diffusion_id>> ids = {ir_id_sample::sample(), fx_id_sample::sample()};
    return std::make_shared<const manager>(datetime(date), ids, std::vector<size_t>{1, 1},
                                           matrix<double>{{1.0, correlation}, {correlation, 1.0}});
  };
  expect_round_trips<manager>({
      {"valuation_date", [&](double v) { return holding(v, 0.5); },
       [](const manager& m) { return m.valuation_date().serial(); }, {nan}},
      {"correlation", [&](double v) { return holding(45366.0, v); },
       [](const manager& m) { return m.correlation()(1, 0); }, {-0.25}},
  });
  for (const double correlation : {nan, inf, -inf}) EXPECT_THROW(holding(45366.0, correlation), Error) << correlation;
}

// A calendar refuses a holiday that is not set (NaN) or not a date (infinite); its finite holidays come back.
TEST_F(NonFiniteValues, ACalendarInsideAParameterSetHoldsOnlyDates) {
  using hjm = parameter_markovian_hjm;
  const auto holding = [](double holiday) {
    const auto holidays = std::make_shared<const calendar>(false, dates({holiday, 43840.0}));
    return std::make_shared<const hjm>(
        matrix<double>{{0.01}}, matrix<double>{{0.007}}, matrix<double>{{1.0}}, dates({43831.0}), dates({43831.0}),
        std::make_shared<const day_count_convention>(day_count_convention_type::BUSINESS_252, holidays),
        parameter_markovian_hjm_type::HULL_WHITE);
  };
  const auto other_holiday = [](const hjm& set) {
    const auto& days = set.day_convention()->calendar()->dates();
    return days.at(0).serial() == 43840.0 ? days.at(1).serial() : days.at(0).serial();
  };
  expect_round_trips<hjm>({{"calendar holiday", holding, other_holiday, {43832.0}}});
  for (const double holiday : {nan, inf, -inf}) EXPECT_THROW(holding(holiday), Error) << holiday;
}

// Files written before the infinities had a form of their own hold null for every value that was not
// finite: they still load, with NaN there.
TEST_F(NonFiniteValues, AFileThatHeldNullForThemStillLoads) {
  using bk = calibration_black_karasinski_settings;
  auto envelope = ordered_json::parse(bk::json_to_string(bk_settings_sample::sample()));
  envelope["level_lower_bound"] = nullptr;
  envelope["level_upper_bound"] = nullptr;
  write_text(path("old.json"), ordered_json{{"root", envelope}}.dump(1) + "\n");
  const auto settings = bk::read_from_json(path("old.json"));
  EXPECT_TRUE(std::isnan(settings->level_lower_bound()));
  EXPECT_TRUE(std::isnan(settings->level_upper_bound()));
  EXPECT_EQ(settings->pde_span(), 4.5);

  auto manager_envelope =
      ordered_json::parse(correlation_manager::json_to_string(correlation_manager_sample::sample()));
  manager_envelope["valuation_date"] = nullptr;
  write_text(path("manager.json"), ordered_json{{"root", manager_envelope}}.dump(1) + "\n");
  EXPECT_FALSE(correlation_manager::read_from_json(path("manager.json"))->valuation_date().is_valid());
}

}  // namespace
}  // namespace qavrek::persistence_samples
