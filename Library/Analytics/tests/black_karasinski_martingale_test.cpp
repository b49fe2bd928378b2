// Simulated Black-Karasinski rates and intensities against the model's own prices. The model's price is the
// whole price, so under the simulation's measure
//   mean discounting(T) - discounting(t) exp(log_df(t, T))                 -> 0   (paired on each path)
//   mean discounting(t)                                                     -> exp(model's log price from date 0)
// and the same for survival; and the factor has the HJM driver's mean (0) and variance. Each within 4
// standard errors (fixed seeds; about 1 in 16000 for a correct model), the expansion's own error (below 2e-6)
// added where the model's price is the reference. The monthly trapezoid of the simulation errs by far less.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_black_karasinski.h"
#include "Analytics/diffusion/ir/diffusion_ir_black_karasinski.h"
#include "Analytics/simulation/simulation_manager.h"
#include "black_karasinski_test_support.h"
#include "simulation_test_support.h"

namespace qavrek::black_karasinski_test {
namespace {

// A Black-Karasinski rate that keeps the factor row of the last step, which the views do not show.
class recorded_rate final : public diffusion_ir {
 public:
  recorded_rate(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                const ptr_const<parameter_black_karasinski>& params)
      : diffusion_ir(dates, curve), rate_(dates, curve, params) {}

  void states_initialize(matrix<double>& states) const override { rate_.states_initialize(states); }
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override {
    rate_.propagate_state(next, current, time_index, gaussians, measure_change);
    factor_ = next.row(0);
  }
  size_t number_of_states() const override { return rate_.number_of_states(); }
  size_t number_of_factors() const override { return rate_.number_of_factors(); }
  void log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
              const datetime& to) const override {
    rate_.log_df(output, states, from, to);
  }
  void discounting(vector<double>& output, const matrix<double>& states, const datetime& from) const override {
    rate_.discounting(output, states, from);
  }
  size_t discounting_state_index() const override { return rate_.discounting_state_index(); }

  const model_black_karasinski& model() const { return *rate_.model(); }
  const vector<double>& factor() const { return factor_; }

 private:
  diffusion_ir_black_karasinski rate_;
  mutable vector<double> factor_;
};

int days_to(const datetime& date) { return int(date.serial() - valuation().serial()); }

// exp(the model's log price from the first simulation date to t), the same on every path.
double model_price(const model_black_karasinski& model, const datetime& t) {
  vector<double> log_price(1);
  model.conditional_price(matrix<double>(2, 1), model.dates().front(), t, log_price);
  return std::exp(log_price[0]);
}

TEST(BlackKarasinskiMartingales, DiscountedPricesAndFactorFollowTheModel) {
  constexpr size_t paths = 8192;
  constexpr size_t months = 120;
  const std::vector<datetime> dates = simulation_test::monthly_dates(valuation(), months + 1);
  // Level and volatility dates on simulation dates, where the simulation's steps change them too.
  set_up rate_set = piecewise_rate();
  rate_set.level_days = {0, days_to(dates[12]), days_to(dates[36]), days_to(dates[72])};
  rate_set.volatility_days = {days_to(dates[24]), days_to(dates[120])};
  set_up credit_set = credit_intensity();
  credit_set.level_days = {0, days_to(dates[48])};
  credit_set.volatility_days = {days_to(dates[36]), days_to(dates[120])};

  const auto rate = std::make_shared<const recorded_rate>(
      dates, std::make_shared<const discount_curve>(valuation(), 0.03), rate_set.parameter());
  const auto intensity = std::make_shared<const diffusion_credit_black_karasinski>(
      dates, std::make_shared<const survival_curve>(valuation(), 0.02), credit_set.parameter());
  simulation_manager manager({rate, intensity},
                             {std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
                             matrix<double>{{1.0, 0.5}, {0.5, 1.0}},
                             simulation_test::random_configuration(paths, months + 1, 2), dates);
  const auto curve = diffusion::diffusion_discount_curve(manager.data(0));
  const auto survival = diffusion::diffusion_survival_curve(manager.data(1));

  // Bonds bought at 1 and 4 years, maturing 2 and 6 years later (on simulation dates, where they are paid).
  const std::vector<size_t> bought = {12, 48};
  const std::vector<size_t> years_to_maturity = {2, 6};
  // Per purchase and maturity, discounting(t) P(t, T) on each path, kept until T.
  std::vector<std::vector<double>> promised_rate(4, std::vector<double>(paths));
  std::vector<std::vector<double>> promised_survival(4, std::vector<double>(paths));
  const std::vector<size_t> checked = {12, 36, 60, 120};

  vector<double> discount(paths), survived(paths), log_price(paths);
  manager.states_initialize();
  for (size_t t = 1; t <= months; ++t) {
    manager.propagate(t);
    SCOPED_TRACE("after " + std::to_string(t) + " months");
    curve->discounting(discount, dates[t]);
    survival->survival_probability(survived, dates[t]);

    for (size_t b = 0; b < bought.size(); ++b) {
      for (size_t m = 0; m < years_to_maturity.size(); ++m) {
        const size_t index = 2 * b + m;
        const size_t maturity = bought[b] + 12 * years_to_maturity[m];
        if (t == bought[b]) {
          curve->log_df(log_price, dates[t], dates[maturity]);
          for (size_t p = 0; p < paths; ++p) promised_rate[index][p] = discount[p] * std::exp(log_price[p]);
          survival->log_survival_probability(log_price, dates[t], dates[maturity]);
          for (size_t p = 0; p < paths; ++p) promised_survival[index][p] = survived[p] * std::exp(log_price[p]);
        }
        if (t == maturity) {
          sample rate_gap, survival_gap;
          for (size_t p = 0; p < paths; ++p) {
            rate_gap.add(discount[p] - promised_rate[index][p]);
            survival_gap.add(survived[p] - promised_survival[index][p]);
          }
          EXPECT_TRUE(simulation_test::within_four_standard_errors(rate_gap, 0.0)) << "rate bond bought at " << bought[b];
          EXPECT_TRUE(simulation_test::within_four_standard_errors(survival_gap, 0.0)) << "survival bought at " << bought[b];
        }
      }
    }

    if (std::find(checked.begin(), checked.end(), t) == checked.end()) continue;
    sample discounted, survival_sample, factor;
    for (size_t p = 0; p < paths; ++p) {
      discounted.add(discount[p]);
      survival_sample.add(survived[p]);
      factor.add(rate->factor()[p]);
    }
    EXPECT_TRUE(simulation_test::within_four_standard_errors(discounted, model_price(rate->model(), dates[t]), 2e-6));
    EXPECT_TRUE(simulation_test::within_four_standard_errors(survival_sample, model_price(*intensity->model(), dates[t]), 2e-6));

    // The factor is the driver's Gaussian state: mean 0 and the driver's covariance; the sample variance of
    // n Gaussian draws has a standard error of variance sqrt(2 / (n - 1)).
    matrix<double> covariance(1, 1);
    rate->model().hjm_model()->states_variable_covariance(dates[t], covariance);
    EXPECT_TRUE(simulation_test::within_four_standard_errors(factor, 0.0));
    EXPECT_NEAR(factor.variance(), covariance(0, 0), 4.0 * covariance(0, 0) * std::sqrt(2.0 / (paths - 1.0)));
  }
}

}  // namespace
}  // namespace qavrek::black_karasinski_test
