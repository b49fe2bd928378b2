#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Core/error.h"
#include "Core/pointers.h"
#include "Market/market_data.h"

namespace qavrek {
namespace {

// A dated object that keeps the base's finalize.
class quote : public market_data {
 public:
  explicit quote(const datetime& date) : market_data(date) {}
};

// A simulated view: it derives state from each new date, then lets the base record the date.
class spot_view : public market_data {
 public:
  void finalize(const datetime& date) const override {
    steps.push_back(date);
    market_data::finalize(date);
  }
  mutable std::vector<datetime> steps;
};

TEST(MarketData, FinalizeDispatchesThroughTheBase) {
  const auto view = std::make_shared<spot_view>();
  const std::vector<ptr_const<market_data>> views{view, std::make_shared<quote>(datetime(2024, 1, 2))};
  EXPECT_FALSE(views[0]->valuation_date().is_valid());

  for (const datetime& date : {datetime(2024, 4, 2), datetime(2024, 7, 2)}) {
    for (const auto& each : views) each->finalize(date);
  }
  EXPECT_EQ(view->steps, (std::vector<datetime>{datetime(2024, 4, 2), datetime(2024, 7, 2)}));
  for (const auto& each : views) EXPECT_EQ(each->valuation_date(), datetime(2024, 7, 2));
}

TEST(MarketData, KeepsItsValuationDateUntilFinalized) {
  const quote dated(datetime(2024, 1, 2));
  EXPECT_EQ(dated.valuation_date(), datetime(2024, 1, 2));
  const quote copy = dated;
  dated.finalize(datetime(2024, 2, 1));
  EXPECT_EQ(copy.valuation_date(), datetime(2024, 1, 2));
  // "No date" is no date to answer as of: refused, and the date stays.
  EXPECT_THROW(dated.finalize(datetime()), Error);
  EXPECT_EQ(dated.valuation_date(), datetime(2024, 2, 1));
}

}  // namespace
}  // namespace qavrek
