#include "Vectorization/exp_batch.h"

#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "Random/tests/instruction_sets.h"

namespace qavrek {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// |y - reference| in units of the last place of the reference (subnormal spacing below the normal range).
double ulps(double y, double reference) {
  const double spacing = std::nextafter(reference, infinity) - reference;
  return std::abs(y - reference) / spacing;
}

// std::exp is correctly rounded in all but rare cases (within 0.5 ulp plus a hair), so 2.5 ulps from it
// bound the batch's own error of 2 ulps.
TEST(ExpBatch, AgreesWithTheLibraryExponentialOverTheWholeRange) {
  std::mt19937_64 generator(7);
  std::vector<double> x;
  for (const auto& [low, high] : {std::pair{-745.1, 709.7}, std::pair{-1.0, 1.0}, std::pair{-1e-6, 1e-6},
                                  std::pair{-745.13, -708.0}, std::pair{700.0, 709.78}}) {
    std::uniform_real_distribution<double> uniform(low, high);
    for (int i = 0; i < 20000; ++i) x.push_back(uniform(generator));
  }
  // Multiples of ln 2 and their neighbours, where the reduction changes its integer part.
  for (int k = -1074; k <= 1023; k += 7) {
    const double t = k * 0.6931471805599453;
    x.insert(x.end(), {t, std::nextafter(t, -infinity), std::nextafter(t, infinity), t + 0.34657359027997264});
  }
  std::vector<double> y(x.size());
  exp_batch(x.data(), y.data(), x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    ASSERT_LE(ulps(y[i], std::exp(x[i])), 2.5) << "exp(" << x[i] << ") = " << y[i] << " against " << std::exp(x[i]);
  }
}

TEST(ExpBatch, EndsOfTheRangeAndSpecialValues) {
  const std::vector<double> x{0.0, -0.0, infinity, -infinity, nan, 709.79, 1000.0, -745.14, -1e4, 709.78, -745.13};
  std::vector<double> y = x;
  exp_batch(y.data(), y.data(), y.size());  // in place
  EXPECT_EQ(y[0], 1.0);
  EXPECT_EQ(y[1], 1.0);
  EXPECT_EQ(y[2], infinity);
  EXPECT_EQ(y[3], 0.0);
  EXPECT_TRUE(std::isnan(y[4]));
  EXPECT_EQ(y[5], infinity);
  EXPECT_EQ(y[6], infinity);
  EXPECT_EQ(y[7], 0.0);
  EXPECT_EQ(y[8], 0.0);
  // The largest finite results and the smallest subnormal ones, within the same 2.5 ulps of std::exp.
  EXPECT_LE(ulps(y[9], std::exp(709.78)), 2.5);
  EXPECT_LE(ulps(y[10], std::exp(-745.13)), 2.5);
  EXPECT_GT(y[10], 0.0);

  // Lengths that leave a scalar tail after the vector loop, and nothing at all.
  for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{33}}) {
    std::vector<double> in(n), out(n, -1.0);
    for (size_t i = 0; i < n; ++i) in[i] = 0.37 * static_cast<double>(i) - 3.0;
    exp_batch(in.data(), out.data(), n);
    for (size_t i = 0; i < n; ++i) EXPECT_LE(ulps(out[i], std::exp(in[i])), 2.5) << n << ", " << i;
  }
}

// Results do not depend on the neighbours an argument is batched with (a run of ordinary arguments or one
// holding an overflow), and the fused sum gives the bits of the sum rounded first, in place too.
TEST(ExpBatch, ResultsDependOnTheArgumentAloneAndTheSumIsRoundedFirst) {
  std::mt19937_64 generator(5);
  std::uniform_real_distribution<double> uniform(-700.0, 700.0);
  std::vector<double> a(1000), b(1000);
  for (size_t i = 0; i < a.size(); ++i) {
    a[i] = uniform(generator);
    b[i] = 1e-3 * uniform(generator);
  }
  std::vector<double> alone(a.size());
  exp_batch(a.data(), alone.data(), a.size());
  std::vector<double> mixed = a;
  for (size_t i = 0; i < mixed.size(); i += 97) mixed[i] = i % 2 == 0 ? 1000.0 : nan;
  exp_batch(mixed.data(), mixed.data(), mixed.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (i % 97 == 0) continue;
    ASSERT_EQ(mixed[i], alone[i]) << "exp(" << a[i] << ")";
  }
  EXPECT_EQ(mixed[0], infinity);
  EXPECT_TRUE(std::isnan(mixed[97]));

  for (size_t n : {size_t{0}, size_t{5}, size_t{257}, a.size()}) {
    std::vector<double> sum(n), expected(n), fused(n, -1.0);
    for (size_t i = 0; i < n; ++i) sum[i] = a[i] + b[i];
    exp_batch(sum.data(), expected.data(), n);
    exp_batch_sum(a.data(), b.data(), fused.data(), n);
    std::vector<double> into_first(a.begin(), a.begin() + n), into_second(b.begin(), b.begin() + n);
    exp_batch_sum(into_first.data(), b.data(), into_first.data(), n);
    exp_batch_sum(a.data(), into_second.data(), into_second.data(), n);
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(fused[i], expected[i]) << n << ", " << i;
      ASSERT_EQ(into_first[i], expected[i]) << n << ", " << i;
      ASSERT_EQ(into_second[i], expected[i]) << n << ", " << i;
    }
  }
  const std::vector<double> ends{709.0, -745.0, 0.0, infinity};
  const std::vector<double> moves{1.0, -1.0, nan, -infinity};
  std::vector<double> y(ends.size());
  exp_batch_sum(ends.data(), moves.data(), y.data(), y.size());
  EXPECT_EQ(y[0], infinity);
  EXPECT_EQ(y[1], 0.0);
  EXPECT_TRUE(std::isnan(y[2]));
  EXPECT_TRUE(std::isnan(y[3]));  // inf - inf
}

// Inside [-708, 709] the saturated form is the plain exponential; beyond, it holds at the ends, so every
// result of a number is a finite normal number.
TEST(ExpBatch, SaturatedFormHoldsItsExponentWithinTheNormalRange) {
  std::mt19937_64 generator(11);
  std::uniform_real_distribution<double> uniform(-708.0, 709.0);
  std::vector<double> inside(10000);
  for (double& x : inside) x = uniform(generator);
  inside.insert(inside.end(), {-708.0, 709.0, 0.0, -1e-300});
  std::vector<double> saturated(inside.size());
  exp_batch_saturated(inside.data(), saturated.data(), inside.size());
  for (size_t i = 0; i < inside.size(); ++i) {
    ASSERT_LE(ulps(saturated[i], std::exp(inside[i])), 2.5) << "exp(" << inside[i] << ")";  // as above
  }

  const std::vector<double> beyond{709.5, 800.0, 1e300, infinity, -708.5, -800.0, -1e300, -infinity, nan};
  std::vector<double> y = beyond;
  exp_batch_saturated(y.data(), y.data(), y.size());  // in place
  const double highest = saturated[inside.size() - 3], lowest = saturated[inside.size() - 4];
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(y[i], highest) << beyond[i];
  for (size_t i = 4; i < 8; ++i) EXPECT_EQ(y[i], lowest) << beyond[i];
  EXPECT_TRUE(std::isnormal(highest));
  EXPECT_TRUE(std::isnormal(lowest));
  EXPECT_TRUE(std::isnan(y[8]));
}

// |y - exact| in units of the last place of the exact value rounded to a double, the exact value being the long
// double exponential (64 mantissa bits, within an ulp of its own); subnormal spacing below the normal range.
double ulps_from_exact(double y, double x) {
  const long double exact = std::exp(static_cast<long double>(x));
  const double rounded = static_cast<double>(exact);
  const long double spacing = static_cast<long double>(std::nextafter(rounded, infinity)) - rounded;
  return static_cast<double>(std::abs(static_cast<long double>(y) - exact) / spacing);
}

// Arguments over a range, drawn uniformly and densely, with both ends.
std::vector<double> arguments(double low, double high, unsigned seed) {
  std::mt19937_64 generator(seed);
  std::uniform_real_distribution<double> uniform(low, high);
  std::vector<double> x{low, high};
  for (int i = 0; i < 50000; ++i) x.push_back(uniform(generator));
  return x;
}

struct accuracy_case {
  const char* name;
  double low, high;  // of the arguments
};

// Every instruction set, within 1.5 ulps of the exact value: the last addition rounds by half an ulp, the
// reduction and the polynomial's roundings on a term below 0.42 add under a quarter, and both double where the
// reduced result lies below 1 (whose ulp is half of 1's): about 1.1 at most, under the documented 2; 1.5
// fails any error of a whole ulp more.
TEST(ExpBatch, OnEveryInstructionSetWithinAnUlpAndAHalfOfTheLongDoubleExponential) {
  const std::vector<accuracy_case> cases = {
      {"whole range", -745.13, 709.78},
      {"around zero", -1.0, 1.0},
      {"tiny arguments", -1e-10, 1e-10},
      {"subnormal results", -745.13, -708.4},
      {"near overflow", 700.0, 709.78},
  };
  on_every_instruction_set([&](const char* target) {
    unsigned seed = 3;
    for (const auto& c : cases) {
      const std::vector<double> x = arguments(c.low, c.high, seed++);
      std::vector<double> y(x.size()), saturated(x.size());
      exp_batch(x.data(), y.data(), x.size());
      exp_batch_saturated(x.data(), saturated.data(), x.size());
      for (size_t i = 0; i < x.size(); ++i) {
        ASSERT_LE(ulps_from_exact(y[i], x[i]), 1.5) << target << ", " << c.name << ": exp(" << x[i] << ") = " << y[i];
        // Inside the normal range the saturated form is the plain exponential.
        if (x[i] >= -708.0 && x[i] <= 709.0) {
          ASSERT_EQ(saturated[i], y[i]) << target << ", " << c.name;
        }
      }
    }
  });
}

// One batched exponential as the instruction sets run it, over the values of a, b and c.
struct batched_form {
  const char* name;
  std::function<void(const std::vector<double>& a, const std::vector<double>& b, const std::vector<double>& c,
                     std::vector<double>& y)>
      run;
};

std::vector<batched_form> batched_forms() {
  return {
      {"exp_batch", [](const auto& a, const auto&, const auto&, auto& y) { exp_batch(a.data(), y.data(), a.size()); }},
      {"exp_batch_sum",
       [](const auto& a, const auto& b, const auto&, auto& y) {
         exp_batch_sum(a.data(), b.data(), y.data(), a.size());
       }},
      {"exp_batch_difference_sum",
       [](const auto& a, const auto& b, const auto& c, auto& y) {
         exp_batch_difference_sum(a.data(), b.data(), c.data(), y.data(), a.size());
       }},
      {"exp_batch_saturated",
       [](const auto& a, const auto&, const auto&, auto& y) { exp_batch_saturated(a.data(), y.data(), a.size()); }},
  };
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

// On every instruction set each value gets the bits it gets alone on the portable one (the last of the sets, one
// lane: the formula evaluated value by value): whatever its place in the vectors, the length of the batch and its neighbours,
// special values and arguments beyond the ends included, the payload of a NaN argument too.
TEST(ExpBatch, OnEveryInstructionSetEachValueHasTheBitsOfTheFormulaEvaluatedAlone) {
  std::mt19937_64 generator(17);
  std::uniform_real_distribution<double> wide(-800.0, 800.0), narrow(-3.0, 3.0);
  std::vector<double> a, b, c;
  for (int i = 0; i < 3000; ++i) {
    a.push_back(i % 3 == 0 ? wide(generator) : narrow(generator));
    b.push_back(narrow(generator));
    c.push_back(0.01 * narrow(generator));
  }
  const double specials[] = {0.0, -0.0, infinity, -infinity, nan, -nan, 709.78, 709.79, -745.13, -745.14, 708.9, -708.1,
                             std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::max()};
  for (size_t i = 0; i < std::size(specials); ++i) {
    a[37 * i + 5] = specials[i];
    b[41 * i + 11] = specials[i];
  }

  for (const auto& form : batched_forms()) {
    // Each value alone, on the portable instruction set.
    std::vector<double> alone(a.size());
    hwy::SetSupportedTargetsForTest(hwy::SupportedAndGeneratedTargets().back());
    for (size_t i = 0; i < a.size(); ++i) {
      std::vector<double> y(1);
      form.run({a[i]}, {b[i]}, {c[i]}, y);
      alone[i] = y[0];
    }
    hwy::SetSupportedTargetsForTest(0);

    on_every_instruction_set([&](const char* target) {
      // Lengths that leave every remainder after the vectors, from every offset into the arguments.
      for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{7}, size_t{8}, size_t{9},
                       size_t{15}, size_t{17}, size_t{33}, a.size() - 64}) {
        for (size_t offset : {size_t{0}, size_t{1}, size_t{3}, size_t{63}}) {
          const std::vector<double> sa(a.begin() + offset, a.begin() + offset + n),
              sb(b.begin() + offset, b.begin() + offset + n), sc(c.begin() + offset, c.begin() + offset + n);
          std::vector<double> y(n, -1.0);
          form.run(sa, sb, sc, y);
          for (size_t i = 0; i < n; ++i) {
            ASSERT_TRUE(same_bits(y[i], alone[offset + i]))
                << form.name << " on " << target << ": length " << n << ", value " << offset + i << " (" << y[i]
                << " against " << alone[offset + i] << ")";
          }
        }
      }
    });
  }
}

// The three-term form rounds the difference first, then the sum, and may write over any of its arguments.
TEST(ExpBatch, DifferenceSumRoundsTheDifferenceThenTheSumAndMayWriteInPlace) {
  std::mt19937_64 generator(23);
  std::uniform_real_distribution<double> uniform(-20.0, 20.0);
  const size_t n = 1001;
  std::vector<double> a(n), b(n), c(n);
  for (size_t i = 0; i < n; ++i) {
    a[i] = uniform(generator);
    b[i] = uniform(generator);
    c[i] = 1e-9 * uniform(generator);  // small against the difference: the order of the roundings shows
  }
  std::vector<double> rounded(n), expected(n);
  for (size_t i = 0; i < n; ++i) rounded[i] = (a[i] - b[i]) + c[i];
  exp_batch(rounded.data(), expected.data(), n);
  for (int output = 0; output < 4; ++output) {
    std::vector<double> ia = a, ib = b, ic = c, y(n);
    double* out = output == 0 ? y.data() : output == 1 ? ia.data() : output == 2 ? ib.data() : ic.data();
    exp_batch_difference_sum(ia.data(), ib.data(), ic.data(), out, n);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], expected[i]) << "output " << output << ", value " << i;
  }
  const std::vector<double> ends{709.0, infinity, 0.0, nan}, moves{-1.0, infinity, 0.0, 0.0};
  const std::vector<double> last{0.0, 0.0, -746.0, 0.0};
  std::vector<double> y(ends.size());
  exp_batch_difference_sum(ends.data(), moves.data(), last.data(), y.data(), y.size());
  EXPECT_EQ(y[0], infinity);
  EXPECT_TRUE(std::isnan(y[1]));  // inf - inf
  EXPECT_EQ(y[2], 0.0);
  EXPECT_TRUE(std::isnan(y[3]));
}

}  // namespace
}  // namespace qavrek
