#include <gtest/gtest.h>

#include <thread>

#include "Core/interruption.h"

namespace qavrek {
namespace {

// Counts its runs and asks to stop at the run given.
class counting_check : public interruption::check {
 public:
  explicit counting_check(int stop_at = 0) : stop_at_(stop_at) {}
  void operator()() override {
    ++runs;
    if (runs == stop_at_) throw interrupted();
  }
  int runs = 0;

 private:
  int stop_at_;
};

// A long loop as the library writes one: an interruption point between steps.
int steps_done(int steps) {
  int done = 0;
  for (int i = 0; i < steps; ++i) {
    ++done;
    interruption::point();
  }
  return done;
}

TEST(Interruption, PointsWithoutACheckDoNothing) { EXPECT_EQ(steps_done(5), 5); }

TEST(Interruption, ACheckRunsAtEveryPointWhileItsScopeLives) {
  counting_check check;
  {
    const interruption::scope installed(check);
    EXPECT_EQ(steps_done(4), 4);
  }
  steps_done(3);
  EXPECT_EQ(check.runs, 4);
}

TEST(Interruption, AThrowingCheckStopsTheLoopBetweenSteps) {
  counting_check check(3);
  const interruption::scope installed(check);
  int done = 0;
  EXPECT_THROW(
      for (int i = 0; i < 100; ++i) {
        ++done;
        interruption::point();
      },
      interrupted);
  EXPECT_EQ(done, 3);
}

TEST(Interruption, NestedScopesRestoreTheOuterCheck) {
  counting_check outer;
  counting_check inner;
  const interruption::scope outer_scope(outer);
  {
    const interruption::scope inner_scope(inner);
    steps_done(2);
  }
  steps_done(1);
  EXPECT_EQ(inner.runs, 2);
  EXPECT_EQ(outer.runs, 1);
}

TEST(Interruption, OtherThreadsDoNotSeeTheCallersCheck) {
  counting_check check(1);
  const interruption::scope installed(check);
  int done_elsewhere = 0;
  std::thread worker([&] { done_elsewhere = steps_done(10); });
  worker.join();
  EXPECT_EQ(done_elsewhere, 10);
  EXPECT_EQ(check.runs, 0);
}

}  // namespace
}  // namespace qavrek
