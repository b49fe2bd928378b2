// The change-of-measure term: taking the matrices over, copying, and the row product the models use.

#include <gtest/gtest.h>

#include <utility>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Core/error.h"

namespace qavrek {
namespace {

TEST(ChangeOfMeasure, WithoutBothMatricesEveryCorrectionIsZero) {
  const change_of_measure none;
  const change_of_measure no_volatility(matrix<double>{{1.0, 0.0}}, matrix<double>());
  const change_of_measure no_correlation(matrix<double>(), matrix<double>{{0.1, 0.2}});
  for (const auto* term : {&none, &no_volatility, &no_correlation})
    for (const auto& [i, j] : {std::pair<size_t, size_t>{0, 0}, {3, 7}}) EXPECT_EQ(term->row_dot(i, j), 0.0);
}

TEST(ChangeOfMeasure, RowDotIsTheStepsVolatilityAgainstTheFactorsCorrelations) {
  const change_of_measure term(matrix<double>{{1.0, 0.0}, {0.5, 0.5}}, matrix<double>{{0.1, 0.2}});
  EXPECT_EQ(term.row_dot(0, 0), 0.1);
  // 0.1 * 0.5 + 0.2 * 0.5: two roundings away from 0.15.
  EXPECT_DOUBLE_EQ(term.row_dot(0, 1), 0.15);
}

TEST(ChangeOfMeasure, OnlyTheVolatilitysColumnsCount) {
  // A correlation wider than the volatility: its extra columns are not part of the product.
  const change_of_measure term(matrix<double>{{1.0, 2.0, 100.0}}, matrix<double>{{3.0, 4.0}, {5.0, 6.0}});
  EXPECT_EQ(term.row_dot(0, 0), 11.0);
  EXPECT_EQ(term.row_dot(1, 0), 17.0);
}

TEST(ChangeOfMeasure, TakesTheMatricesOverAndCopiesDeeply) {
  matrix<double> correlation{{1.0, 0.0}, {0.5, 0.5}};
  matrix<double> volatility{{0.1, 0.2}};
  const double* correlation_data = correlation.data();
  const double* volatility_data = volatility.data();
  const change_of_measure term(std::move(correlation), std::move(volatility));
  EXPECT_EQ(correlation.data(), nullptr);
  EXPECT_EQ(correlation.size(), 0u);
  EXPECT_EQ(volatility.data(), nullptr);
  EXPECT_EQ(volatility.size(), 0u);
  EXPECT_EQ(term.correlation().data(), correlation_data);
  EXPECT_EQ(term.volatility().data(), volatility_data);

  const change_of_measure copy(term);
  EXPECT_NE(copy.correlation().data(), term.correlation().data());
  EXPECT_NE(copy.volatility().data(), term.volatility().data());
  EXPECT_EQ(copy.row_dot(0, 1), term.row_dot(0, 1));
}

TEST(ChangeOfMeasure, IndicesAndShapesOutsideTheMatricesAreRefused) {
  const change_of_measure term(matrix<double>{{1.0, 0.0}, {0.5, 0.5}}, matrix<double>{{0.1, 0.2}});
  EXPECT_THROW(term.row_dot(1, 0), Error);  // one step only
  EXPECT_THROW(term.row_dot(0, 2), Error);  // two factors only
  const change_of_measure narrow(matrix<double>{{1.0}}, matrix<double>{{0.1, 0.2}});
  EXPECT_THROW(narrow.row_dot(0, 0), Error);
}

}  // namespace
}  // namespace qavrek
