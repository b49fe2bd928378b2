#include "Analytics/diffusion/ir/discount_curve_diffusion.h"

#include <utility>

#include "Core/check.h"
#include "Core/error.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/diffusion/ir/discount_curve_diffusion";
}  // namespace

discount_curve_diffusion::discount_curve_diffusion(ptr_const<diffusion_ir> asset, matrix<double>&& next,
                                                   matrix<double>&& current, ptr_const<states_variables> storage)
    : storage_(std::move(storage)), asset_(std::move(asset)), next_(std::move(next)), current_(std::move(current)) {
  QAVREK_CHECK(asset_ != nullptr, "a simulated discount curve needs its diffusion");
  // Views into someone else's memory are safe only while that memory is kept.
  QAVREK_CHECK(storage_ != nullptr || (next_.owner() && current_.owner()),
               "a simulated discount curve over views of state storage must keep that storage");
}

discount_curve_diffusion::~discount_curve_diffusion() = default;

void discount_curve_diffusion::finalize(const datetime& date) const { market_data::finalize(date); }

double discount_curve_diffusion::df(const datetime&, const datetime&) const {
  throw NotImplementedError(SourceLocation{"df", source_file, 52}, "df");
}

void discount_curve_diffusion::log_df(vector<double>& output, const datetime& from, const datetime& to) const {
  asset_->log_df(output, next_, from, to);
}

double discount_curve_diffusion::log_df(const datetime&, const datetime&) const {
  throw NotImplementedError(SourceLocation{"log_df", source_file, 46}, "log_df");
}

void discount_curve_diffusion::discounting(vector<double>& output, const datetime& date) const {
  asset_->discounting(output, next_, date);
}

vector<double> discount_curve_diffusion::log_normalized_discounting() const {
  return asset_->log_normalized_discounting(next_);
}

}  // namespace qavrek
