#include "Core/workspace_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Core/parallel_for.h"
#include "Core/smp_tools_api.h"

namespace qavrek {
namespace {

struct counted {
  int uses = 0;
};

TEST(WorkspacePool, ClaimsHoldDistinctObjectsThatLaterClaimsReuse) {
  int made = 0;
  workspace_pool<counted> pool([&made] {
    ++made;
    return std::make_unique<counted>();
  }, 2);
  counted* first_object = nullptr;
  counted* second_object = nullptr;
  {
    const auto first = pool.acquire();
    const auto second = pool.acquire();
    first_object = &*first;
    second_object = &*second;
    EXPECT_NE(first_object, second_object);
    // Both slots are claimed: the third claim works in an object of its own.
    const auto third = pool.acquire();
    EXPECT_NE(&*third, first_object);
    EXPECT_NE(&*third, second_object);
    EXPECT_EQ(made, 3);
  }
  {
    const auto again = pool.acquire();
    const auto and_again = pool.acquire();
    EXPECT_EQ(std::set<counted*>({&*again, &*and_again}), std::set<counted*>({first_object, second_object}));
  }
  EXPECT_EQ(made, 3);  // the pooled objects were made once
}

TEST(WorkspacePool, AFailedMakeLeavesTheSlotFree) {
  bool fail = true;
  workspace_pool<counted> pool([&fail]() -> std::unique_ptr<counted> {
    if (fail) throw std::runtime_error("no object");
    return std::make_unique<counted>();
  }, 1);
  EXPECT_THROW(pool.acquire(), std::runtime_error);
  fail = false;
  const auto claim = pool.acquire();
  EXPECT_EQ(claim->uses, 0);
}

TEST(WorkspacePool, RangesOfAParallelLoopNeverShareAnObject) {
  // Each range marks its object busy while it runs: a second range on the same object would see the mark.
  struct marked {
    std::atomic<bool> busy{false};
  };
  std::atomic<int> made{0};
  workspace_pool<marked> pool([&made] {
    ++made;
    return std::make_unique<marked>();
  });
  std::atomic<int> shared{0};
  smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, 4);
  for (int loop = 0; loop < 20; ++loop) {
    parallel_for(400, [&](int first, int last) {
      const auto claim = pool.acquire();
      if (claim->busy.exchange(true)) ++shared;
      for (int i = first; i < last; ++i) std::this_thread::yield();  // let other ranges overlap this one
      claim->busy = false;
    });
  }
  smp_tools_api::GetInstance().set_backend(smp_tools_api::SEQUENTIAL, 1);
  EXPECT_EQ(shared.load(), 0);
  EXPECT_LE(made.load(), 64);
}

}  // namespace
}  // namespace qavrek
