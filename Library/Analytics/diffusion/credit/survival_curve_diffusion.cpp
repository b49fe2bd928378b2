#include "Analytics/diffusion/credit/survival_curve_diffusion.h"

#include <utility>

#include "Core/check.h"
#include "Core/error.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/diffusion/credit/survival_curve_diffusion";
}  // namespace

survival_curve_diffusion::survival_curve_diffusion(ptr_const<diffusion_credit> asset, matrix<double>&& next,
                                                   matrix<double>&& current, ptr_const<states_variables> storage)
    : storage_(std::move(storage)), asset_(std::move(asset)), next_(std::move(next)), current_(std::move(current)) {
  QAVREK_CHECK(asset_ != nullptr, "a simulated survival curve needs its diffusion");
  // Views into someone else's memory are safe only while that memory is kept.
  QAVREK_CHECK(storage_ != nullptr || (next_.owner() && current_.owner()),
               "a simulated survival curve over views of state storage must keep that storage");
}

survival_curve_diffusion::~survival_curve_diffusion() = default;

void survival_curve_diffusion::finalize(const datetime& date) const { market_data::finalize(date); }

void survival_curve_diffusion::log_survival_probability(vector<double>& output, const datetime& from,
                                                        const datetime& to) const {
  asset_->log_conditional_survival_probability(output, next_, from, to);
}

double survival_curve_diffusion::log_survival_probability(const datetime&, const datetime&) const {
  throw NotImplementedError(SourceLocation{"log_survival_probability", source_file, 42}, "log_survival_probability");
}

void survival_curve_diffusion::survival_probability(vector<double>& output, const datetime& date) const {
  asset_->survival_probability(output, next_, date);
}

double survival_curve_diffusion::survival_probability(const datetime&, const datetime&) const {
  throw NotImplementedError(SourceLocation{"survival_probability", source_file, 49}, "survival_probability");
}

}  // namespace qavrek
