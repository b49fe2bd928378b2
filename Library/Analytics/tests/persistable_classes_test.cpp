// What holds for every persistable class alike: its registered handlers keep the registries' contract
// for any caller, and what a null envelope loads can be saved and loaded again.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "persistable_samples.h"

namespace qavrek::persistence_samples {
namespace {

template <class Sample>
class RegisteredClasses : public scratch_files {};
TYPED_TEST_SUITE(RegisteredClasses, registered_samples);

// A caller outside the templates, as the registries document them: with the flag false the handler saves
// the object at the pointer; with the flag true it fills the std::shared_ptr at the pointer, of the class
// itself or of the base the class is registered with, releasing what that held.
TYPED_TEST(RegisteredClasses, HandlersSaveTheObjectAndFillTheSharedPointerTheyAreGiven) {
  using type = typename TypeParam::type;
  using base = typename TypeParam::base;
  const ptr_const<type> sample = TypeParam::sample();
  const std::string name = serialization::class_name<type>();
  const auto* json_handler = JsonSerializationRegistry()->find(name);
  const auto* binary_handler = BinarySerializationRegistry()->find(name);
  ASSERT_NE(json_handler, nullptr);
  ASSERT_NE(binary_handler, nullptr);

  ordered_json json;
  (*json_handler)(json, const_cast<type*>(sample.get()), false);
  multi_process_stream written;
  (*binary_handler)(written, const_cast<type*>(sample.get()), false);
  EXPECT_EQ(json.dump(2), type::json_to_string(sample));
  EXPECT_EQ(written.GetRawData(), binary_form(sample));

  const auto reading = [&written] {
    multi_process_stream stream;
    stream.SetRawData(written.GetRawData());
    return stream;
  };
  std::shared_ptr<const type> as_class = TypeParam::sample();
  std::shared_ptr<type> as_mutable_class;
  std::shared_ptr<const base> as_base;
  (*json_handler)(json, &as_class, true);
  (*json_handler)(json, &as_mutable_class, true);
  (*json_handler)(json, &as_base, true);
  expect_same_object<type>(as_class, sample);
  expect_same_object<type>(as_mutable_class, sample);
  expect_same_object<type>(std::dynamic_pointer_cast<const type>(as_base), sample);

  multi_process_stream binary = reading();
  (*binary_handler)(binary, &as_class, true);
  EXPECT_EQ(binary.remaining(), 0u);
  binary = reading();
  (*binary_handler)(binary, &as_base, true);
  expect_same_object<type>(as_class, sample);
  expect_same_object<type>(std::dynamic_pointer_cast<const type>(as_base), sample);
}

// A caller that knows a class by its name alone (the fuzz harnesses): both registries list it, and its
// entries read a file of the class.
TYPED_TEST(RegisteredClasses, AreListedAndReadTheirFilesByTheirNameAlone) {
  using type = typename TypeParam::type;
  const std::string name = serialization::class_name<type>();
  const std::vector<std::string> names = JsonSerializationRegistry()->keys();
  EXPECT_TRUE(std::binary_search(names.begin(), names.end(), name));
  EXPECT_EQ(names, BinarySerializationRegistry()->keys());

  const ptr_const<type> sample = TypeParam::sample();
  type::write_to_json(this->path("object.json"), sample);
  type::write_to_binary(this->path("object.bin"), sample);
  const auto* json_entry = serialization::registered_entry<ordered_json>(name);
  const auto* binary_entry = serialization::registered_entry<multi_process_stream>(name);
  ASSERT_NE(json_entry, nullptr);
  ASSERT_NE(binary_entry, nullptr);
  expect_same_object<type>(std::static_pointer_cast<const type>(json_entry->read_file(this->path("object.json"))),
                           sample);
  expect_same_object<type>(std::static_pointer_cast<const type>(binary_entry->read_file(this->path("object.bin"))),
                           sample);
}

template <class Sample>
class PersistableClasses : public scratch_files {};
TYPED_TEST_SUITE(PersistableClasses, all_samples);

// What a class can save it can load: an object that a null envelope gave, saved again in either form,
// loads back as the same object.
TYPED_TEST(PersistableClasses, WhatANullEnvelopeLoadsSavesAndLoadsBackTheSame) {
  using type = typename TypeParam::type;
  type::write_to_json(this->path("null.json"), nullptr);
  type::write_to_binary(this->path("null.bin"), nullptr);
  for (const auto& loaded :
       {type::read_from_json(this->path("null.json")), type::read_from_binary(this->path("null.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    type::write_to_json(this->path("again.json"), loaded);
    type::write_to_binary(this->path("again.bin"), loaded);
    expect_same_object(type::read_from_json(this->path("again.json")), loaded);
    expect_same_object(type::read_from_binary(this->path("again.bin")), loaded);
  }
}

}  // namespace
}  // namespace qavrek::persistence_samples
