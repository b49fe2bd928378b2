#include "Analytics/diffusion/equity/equity_spot_diffusion.h"

#include <utility>

#include "Core/check.h"
#include "Core/error.h"
#include "Vectorization/exp_batch.h"
#include "Vectorization/expressions/expressions_evaluator.h"

namespace qavrek {

equity_spot_diffusion::equity_spot_diffusion(ptr_const<discount_curve> domestic, ptr_const<diffusion_equity> asset,
                                             matrix<double>&& next, matrix<double>&& current,
                                             ptr_const<states_variables> storage)
    : storage_(std::move(storage)),
      domestic_(std::move(domestic)),
      asset_(std::move(asset)),
      next_(std::move(next)),
      current_(std::move(current)) {
  QAVREK_CHECK(asset_ != nullptr, "a simulated equity spot needs its diffusion");
  QAVREK_CHECK(domestic_ != nullptr, "a simulated equity spot needs the simulated domestic discount curve");
  QAVREK_CHECK(next_.rows() >= 1 && current_.rows() >= 1 && next_.columns() == current_.columns(),
               "a simulated equity spot needs two state blocks of one row and the same paths");
  // Views into someone else's memory are safe only while that memory is kept.
  QAVREK_CHECK(storage_ != nullptr || (next_.owner() && current_.owner()),
               "a simulated equity spot over views of state storage must keep that storage");
}

equity_spot_diffusion::~equity_spot_diffusion() = default;

void equity_spot_diffusion::finalize(const datetime& date) const {
  check_finalize_date(date);
  const vector<double> discounting = domestic_->log_normalized_discounting();
  vector<double> spots = current_.row(0);
  const vector<double> log_spots = next_.row(0);
  expressions_evaluator::check_size(discounting.size(), spots.size());
  exp_batch_sum(log_spots.data(), discounting.data(), spots.data(), spots.size());
  market_data::finalize(date);
}

double equity_spot_diffusion::spot() const {
  throw NotImplementedError(SourceLocation{"spot", "Library/Analytics/diffusion/equity/equity_spot_diffusion", 57},
                            "not implemented");
}

vector<double> equity_spot_diffusion::spots() const { return current_.row(0); }

void equity_spot_diffusion::forward(vector<double>& output, const datetime& from, const datetime& to) const {
  QAVREK_CHECK(from == valuation_date(), "the forward is seen from ", from, ", but the spots belong to ",
               valuation_date());
  domestic_->log_df(output, from, to);
  output = current_.row(0) * expressions::exp(-output);
}

}  // namespace qavrek
