#include "Analytics/diffusion/fx/fx_spot_diffusion.h"

#include <utility>

#include "Core/check.h"
#include "Core/error.h"
#include "Vectorization/exp_batch.h"
#include "Vectorization/expressions/expressions_evaluator.h"

namespace qavrek {

fx_spot_diffusion::fx_spot_diffusion(ptr_const<discount_curve> domestic, ptr_const<discount_curve> foreign,
                                     ptr_const<diffusion_fx> asset, matrix<double>&& next, matrix<double>&& current,
                                     ptr_const<states_variables> storage)
    : storage_(std::move(storage)),
      domestic_(std::move(domestic)),
      foreign_(std::move(foreign)),
      asset_(std::move(asset)),
      next_(std::move(next)),
      current_(std::move(current)),
      foreign_log_df_(current_.columns()) {
  QAVREK_CHECK(asset_ != nullptr, "a simulated fx spot needs its diffusion");
  QAVREK_CHECK(domestic_ != nullptr && foreign_ != nullptr,
               "a simulated fx spot needs the simulated domestic and foreign discount curves");
  QAVREK_CHECK(next_.rows() >= 1 && current_.rows() >= 1 && next_.columns() == current_.columns(),
               "a simulated fx spot needs two state blocks of one row and the same paths");
  // Views into someone else's memory are safe only while that memory is kept.
  QAVREK_CHECK(storage_ != nullptr || (next_.owner() && current_.owner()),
               "a simulated fx spot over views of state storage must keep that storage");
}

fx_spot_diffusion::~fx_spot_diffusion() = default;

void fx_spot_diffusion::finalize(const datetime& date) const {
  check_finalize_date(date);
  const vector<double> domestic = domestic_->log_normalized_discounting();
  const vector<double> foreign = foreign_->log_normalized_discounting();
  vector<double> rates = current_.row(0);
  const vector<double> log_rates = next_.row(0);
  // Both rows are checked before the spots are touched: a refused step leaves the last date's spots.
  expressions_evaluator::check_size(domestic.size(), rates.size());
  expressions_evaluator::check_size(foreign.size(), rates.size());
  exp_batch_difference_sum(log_rates.data(), foreign.data(), domestic.data(), rates.data(), rates.size());
  market_data::finalize(date);
}

double fx_spot_diffusion::spot() const {
  throw NotImplementedError(SourceLocation{"spot", "Library/Analytics/diffusion/fx/fx_spot_diffusion", 65},
                            "not implemented");
}

vector<double> fx_spot_diffusion::spots() const { return current_.row(0); }

void fx_spot_diffusion::forward(vector<double>& output, const datetime& from, const datetime& to) const {
  QAVREK_CHECK(from == valuation_date(), "the forward is seen from ", from, ", but the rates belong to ",
               valuation_date());
  foreign_->log_df(foreign_log_df_, from, to);
  domestic_->log_df(output, from, to);
  output = current_.row(0) * expressions::exp(foreign_log_df_ - output);
}

}  // namespace qavrek
