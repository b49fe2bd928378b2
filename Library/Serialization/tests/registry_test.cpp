#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Serialization/serialization.h"

namespace qavrek {
namespace {

TEST(SerializationRegistry, OneRegistryPerAccessor) {
  EXPECT_EQ(JsonSerializationRegistry(), JsonSerializationRegistry());
  EXPECT_EQ(BinarySerializationRegistry(), BinarySerializationRegistry());
  EXPECT_NE(static_cast<void*>(JsonSerializationRegistry()), static_cast<void*>(BinarySerializationRegistry()));
}

TEST(SerializationRegistry, NameAddedToOneIsNotInTheOther) {
  JsonSerializationRegistry()->add("only_json", [](ordered_json&, void*, bool) {});
  EXPECT_NE(JsonSerializationRegistry()->find("only_json"), nullptr);
  EXPECT_EQ(BinarySerializationRegistry()->find("only_json"), nullptr);
}

TEST(SerializationRegistry, SecondAddReplacesTheFirst) {
  int called = 0;
  JsonSerializationRegistry()->add("twice", [&](ordered_json&, void*, bool) { called = 1; });
  JsonSerializationRegistry()->add("twice", [&](ordered_json&, void*, bool) { called = 2; });
  ordered_json archive;
  (*JsonSerializationRegistry()->find("twice"))(archive, nullptr, false);
  EXPECT_EQ(called, 2);
}

TEST(SerializationRegistry, UnknownNameFindsNothing) {
  EXPECT_EQ(JsonSerializationRegistry()->find("never registered"), nullptr);
  EXPECT_EQ(BinarySerializationRegistry()->find(""), nullptr);
}

TEST(SerializationRegistry, KeysAreEveryNameOnceInIncreasingOrder) {
  Registry<std::string, int> registry;
  EXPECT_TRUE(registry.keys().empty());
  for (const char* name : {"qavrek::measure", "qavrek::calibration_hjm_settings", "qavrek::measure"})
    registry.add(name, 1);
  EXPECT_EQ(registry.keys(), (std::vector<std::string>{"qavrek::calibration_hjm_settings", "qavrek::measure"}));
}

TEST(SerializationRegistry, HandlerSavesAndLoadsThroughTheFlag) {
  BinarySerializationRegistry()->add("box", [](multi_process_stream& archive, void* object, bool load) {
    if (load) {
      auto loaded = std::make_shared<double>();
      archive >> *loaded;
      *static_cast<std::shared_ptr<double>*>(object) = loaded;
    } else {
      archive << *static_cast<double*>(object);
    }
  });
  const auto& handler = *BinarySerializationRegistry()->find("box");
  double value = 2.5;
  multi_process_stream out;
  handler(out, &value, false);
  multi_process_stream in;
  in.SetRawData(out.GetRawData());
  std::shared_ptr<double> loaded;
  handler(in, &loaded, true);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(*loaded, 2.5);
}

}  // namespace
}  // namespace qavrek

namespace qavrek {
namespace {

// Runs in its own process so that the accessor's first call happens here, from many threads at once.
TEST(SerializationRegistryDeathTest, ConcurrentFirstCallsCreateOneRegistry) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::vector<void*> seen(16);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < seen.size(); ++i)
          threads.emplace_back([&seen, i] { seen[i] = BinarySerializationRegistry(); });
        for (auto& t : threads) t.join();
        std::exit(std::set<void*>(seen.begin(), seen.end()).size() == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qavrek
