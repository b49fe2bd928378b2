#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "persistence_test_support.h"

// Registered as the libraries register theirs: one static initialiser per class.
QAVREK_REGISTER_PERSISTABLE(qavrek::persistence_test::circle, qavrek::persistence_test::shape);
QAVREK_REGISTER_PERSISTABLE(qavrek::persistence_test::square, qavrek::persistence_test::shape);
QAVREK_REGISTER_PERSISTABLE(qavrek::persistence_test::sample_record);

namespace qavrek::persistence_test {
namespace {

using serialization::load_shared_object;
using serialization::save;

const char* circle_name = "qavrek::persistence_test::circle";
const char* square_name = "qavrek::persistence_test::square";
const char* triangle_name = "qavrek::persistence_test::triangle";

ptr_const<drawing> sample_drawing() {
  return std::make_shared<const drawing>(
      "plan", std::make_shared<const square>(2.0),
      std::vector<ptr_const<shape>>{std::make_shared<const circle>(point{1.0, 2.0}, 0.5),
                                    std::make_shared<const square>(3.0)});
}

template <class Archive>
ptr_const<drawing> drawing_from(Archive& archive) {
  ptr_const<drawing> loaded;
  load_shared_object(archive, loaded);
  return loaded;
}

TEST(PersistencePolymorphic, HandlersAreRegisteredUnderTheDemangledClassName) {
  for (const char* name : {circle_name, square_name, "qavrek::persistence_test::sample_record"}) {
    EXPECT_NE(JsonSerializationRegistry()->find(name), nullptr) << name;
    EXPECT_NE(BinarySerializationRegistry()->find(name), nullptr) << name;
  }
  EXPECT_EQ(JsonSerializationRegistry()->find(triangle_name), nullptr);
}

TEST(PersistencePolymorphic, JsonElementIsTheEnvelopeOfItsDynamicClass) {
  ordered_json saved;
  save(saved, sample_drawing());
  const ordered_json expected = ordered_json::parse(R"({
    "Class": "qavrek::persistence_test::drawing",
    "title": "plan",
    "frame": {"Class": "qavrek::persistence_test::square", "side": 2.0},
    "shapes": [
      {"Class": "qavrek::persistence_test::circle", "centre": [1.0, 2.0], "radius": 0.5},
      {"Class": "qavrek::persistence_test::square", "side": 3.0}
    ]
  })");
  EXPECT_EQ(saved, expected);
  EXPECT_EQ(saved.dump(), expected.dump());  // the same member order too
}

TEST(PersistencePolymorphic, BinaryFormIsTheNameThenTheEnvelopeWhichRepeatsIt) {
  multi_process_stream saved;
  save(saved, ptr_const<shape>(std::make_shared<const circle>(point{1.0, 2.0}, 0.5)));
  multi_process_stream expected;
  expected << std::string(circle_name) << std::string(circle_name) << 1.0 << 2.0 << 0.5;
  EXPECT_EQ(saved.GetRawData(), expected.GetRawData());
}

TEST(PersistencePolymorphic, LoadingRestoresTheDynamicClasses) {
  ordered_json json;
  save(json, sample_drawing());
  multi_process_stream binary;
  save(binary, sample_drawing());

  for (const auto& loaded : {drawing_from(json), drawing_from(binary)}) {
    EXPECT_EQ(loaded->title(), "plan");
    const auto* frame = dynamic_cast<const square*>(loaded->frame().get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->side(), 2.0);
    ASSERT_EQ(loaded->shapes().size(), 2u);
    // The shape part of a circle sits after its decoration: the handler must receive the circle.
    const auto* round = dynamic_cast<const circle*>(loaded->shapes()[0].get());
    ASSERT_NE(round, nullptr);
    EXPECT_EQ(round->centre(), (point{1.0, 2.0}));
    EXPECT_EQ(round->radius(), 0.5);
    EXPECT_EQ(round->colour(), "plain");
    const auto* last = dynamic_cast<const square*>(loaded->shapes()[1].get());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->side(), 3.0);
  }
  EXPECT_EQ(binary.remaining(), 0u);
}

TEST(PersistencePolymorphic, UnregisteredClassIsRefusedWhenSavedAndWhenLoaded) {
  const std::string refusal = std::string("The class ") + triangle_name + " is not registered for persistence";
  const auto with_triangle = std::make_shared<const drawing>(
      "plan", std::make_shared<const square>(2.0),
      std::vector<ptr_const<shape>>{std::make_shared<const triangle>(1.0, 2.0)});
  ordered_json json;
  multi_process_stream binary;
  for (const auto& chain : {chain_of([&] { save(json, with_triangle); }), chain_of([&] { save(binary, with_triangle); })}) {
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.back().function, "save_polymorphic");
    EXPECT_EQ(chain.back().message, refusal);
  }

  ordered_json json_file;
  save(json_file, sample_drawing());
  json_file["shapes"][1] = {{"Class", triangle_name}, {"base", 1.0}, {"height", 2.0}};
  multi_process_stream binary_file;
  binary_file << std::string("qavrek::persistence_test::drawing") << std::string("plan")              //
              << std::string(square_name) << std::string(square_name) << 2.0                        // frame
              << std::uint32_t{1} << std::string(triangle_name) << std::string(triangle_name) << 1.0 << 2.0;
  for (const auto& chain : {chain_of([&] { drawing_from(json_file); }), chain_of([&] { drawing_from(binary_file); })}) {
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.back().function, "load_polymorphic");
    EXPECT_EQ(chain.back().message, refusal);
  }
}

TEST(PersistencePolymorphic, ClassOfAnotherHierarchyIsRefused) {
  ordered_json saved;
  save(saved, sample_drawing());
  save(saved["frame"], full_record());  // registered, but not as a shape
  const auto chain = chain_of([&] { drawing_from(saved); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(chain.back().message,
            "The class qavrek::persistence_test::sample_record cannot be loaded as a qavrek::persistence_test::shape");
}

TEST(PersistencePolymorphic, NullObjectIsRefusedBothWays) {
  const auto without_frame = std::make_shared<const drawing>("plan", nullptr, std::vector<ptr_const<shape>>{});
  ordered_json json;
  const auto save_chain = chain_of([&] { save(json, without_frame); });
  ASSERT_FALSE(save_chain.empty());
  EXPECT_EQ(save_chain.back().message.rfind("A null qavrek::persistence_test::shape cannot be saved", 0), 0u);

  ordered_json saved;
  save(saved, sample_drawing());
  saved["frame"] = {{"Class", "null object!"}};
  const auto load_chain = chain_of([&] { drawing_from(saved); });
  ASSERT_FALSE(load_chain.empty());
  EXPECT_EQ(load_chain.back().message, "A null object cannot stand for a qavrek::persistence_test::shape");
}

class PersistencePolymorphicLog : public captured_log {};

TEST_F(PersistencePolymorphicLog, ElementWithoutClassLogsAndFails) {
  ordered_json saved;
  save(saved, sample_drawing());
  saved["shapes"][0].erase("Class");
  const auto chain = chain_of([&] { drawing_from(saved); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(chain.back().function, "load_polymorphic");
  EXPECT_EQ(chain.back().message, "Non valid class name");
  EXPECT_EQ(lines_, (std::vector<log_line>{{-1, wrapper_file, 115, "json does not have a class name field!"}}));
}

// The registry's contract, as a caller outside the templates uses it: with the flag true, the address of
// a shared pointer of the class (or of a registered base that starts at the object's address) receives
// the loaded object.
TEST(PersistencePolymorphic, LoadingHandlerFillsTheSharedPointerWhoseAddressItIsGiven) {
  ordered_json json;
  save(json, square(4.0));
  multi_process_stream written;
  save(written, square(4.0));
  const auto* json_handler = JsonSerializationRegistry()->find(square_name);
  const auto* binary_handler = BinarySerializationRegistry()->find(square_name);
  const auto side_of = [](const auto& pointer) {
    const auto* loaded = dynamic_cast<const square*>(pointer.get());
    return loaded == nullptr ? -1.0 : loaded->side();
  };

  std::shared_ptr<const square> as_const_class = std::make_shared<const square>(1.0);  // released, replaced
  std::shared_ptr<square> as_class;
  std::shared_ptr<const shape> as_base;
  (*json_handler)(json, &as_const_class, true);
  (*json_handler)(json, &as_class, true);
  (*json_handler)(json, &as_base, true);
  EXPECT_EQ(side_of(as_const_class), 4.0);
  EXPECT_EQ(side_of(as_class), 4.0);
  EXPECT_EQ(side_of(as_base), 4.0);

  multi_process_stream binary = reopened(written);
  std::shared_ptr<const square> binary_class;
  (*binary_handler)(binary, &binary_class, true);
  EXPECT_EQ(side_of(binary_class), 4.0);
  EXPECT_EQ(binary.remaining(), 0u);
  binary = reopened(written);
  std::shared_ptr<const shape> binary_base;
  (*binary_handler)(binary, &binary_base, true);
  EXPECT_EQ(side_of(binary_base), 4.0);

  // A circle's shape part does not start at its address: it is filled through a pointer of its class.
  ordered_json round;
  save(round, circle(point{1.0, 2.0}, 0.5));
  std::shared_ptr<const circle> as_circle;
  (*JsonSerializationRegistry()->find(circle_name))(round, &as_circle, true);
  ASSERT_NE(as_circle, nullptr);
  EXPECT_EQ(as_circle->radius(), 0.5);
}

TEST(PersistencePolymorphic, SavingHandlerWritesTheEnvelopeOfTheObjectItIsGiven) {
  const square object(3.0);
  ordered_json json;
  (*JsonSerializationRegistry()->find(square_name))(json, const_cast<square*>(&object), false);
  EXPECT_EQ(json, (ordered_json{{"Class", square_name}, {"side", 3.0}}));

  multi_process_stream binary;
  (*BinarySerializationRegistry()->find(square_name))(binary, const_cast<square*>(&object), false);
  multi_process_stream expected;
  expected << std::string(square_name) << 3.0;
  EXPECT_EQ(binary.GetRawData(), expected.GetRawData());
}

}  // namespace
}  // namespace qavrek::persistence_test
