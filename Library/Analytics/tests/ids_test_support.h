#pragma once

// Shared helpers of the identifier, measure and correlation tests: ids built from scratch (so that
// no two share an object), error chains and scratch files (captured log lines in captured_log.h).

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "Analytics/tests/captured_log.h"
#include "Core/error.h"
#include "Core/multi_process_stream.h"
#include "Core/pointers.h"
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization.h"
#include "Serialization/serialization_impl.h"
#include "Util/key.h"
#include "kept_test_files.h"

namespace qavrek::ids_test {

// Every call builds new objects: ids compared in the tests never share a pointer by accident.
inline ptr_const<discount_id> discount(const char* definition, const char* ccy) {
  return std::make_shared<const discount_id>(std::make_shared<const discount_definition>(key(definition)),
                                             std::make_shared<const currency>(key(ccy)));
}

inline ptr_const<default_id> credit(const char* name, const char* ccy) {
  return std::make_shared<const default_id>(key(name), std::make_shared<const currency>(key(ccy)), key("SNRFOR"),
                                            key("XR14"), key("2014"));
}

// One link of a chain of nested exceptions, outermost first; a link that is not an Error (the JSON
// library's exceptions) keeps only its text.
struct error_link {
  std::string function;
  std::string file;
  int line = 0;
  std::string message;
  friend bool operator==(const error_link&, const error_link&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const error_link& link) {
  return out << link.function << " " << link.file << ":" << link.line << " \"" << link.message << "\"";
}

inline void append_chain(const std::exception& e, std::vector<error_link>& chain) {
  if (const auto* error = dynamic_cast<const Error*>(&e))
    chain.push_back({error->location().function, error->location().file, error->location().line, error->message()});
  else
    chain.push_back({"", "", 0, e.what()});
  try {
    std::rethrow_if_nested(e);
  } catch (const std::exception& inner) {
    append_chain(inner, chain);
  }
}

// The chain of what `action` throws; empty when it throws nothing.
template <class Action>
std::vector<error_link> chain_of(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    std::vector<error_link> chain;
    append_chain(e, chain);
    return chain;
  }
  return {};
}

// The innermost link of what `action` throws; an empty link when it throws nothing.
template <class Action>
error_link root_cause(Action&& action) {
  const auto chain = chain_of(action);
  return chain.empty() ? error_link{} : chain.back();
}

inline constexpr const char* impl_file = "Library/Serialization/serialization_impl";
inline constexpr const char* wrapper_file = "Library/Serialization/common/archiver_wrapper";

inline std::vector<std::string> keys_of(const ordered_json& object) {
  std::vector<std::string> keys;
  for (const auto& member : object.items()) keys.push_back(member.key());
  return keys;
}

// A new object of class T loaded from the archive, as a holder's loader makes one.
template <class T, class Archive>
ptr_const<T> loaded_from(Archive& archive) {
  ptr_const<T> loaded;
  serialization::load_shared_object(archive, loaded);
  return loaded;
}

// A stream that reads back what was written into it.
inline multi_process_stream reopened(const multi_process_stream& written) {
  multi_process_stream reading;
  reading.SetRawData(written.GetRawData());
  return reading;
}

// A folder of scratch files, removed with the fixture.
class scratch_files : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "qavrek-ids-" + std::to_string(::getpid()) + "-" + test->test_suite_name() + "-" + test->name();
    for (char& c : name)
      if (c == '/') c = '_';  // typed and parameterised tests carry slashes in their names
    folder_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    test_files::keep_for_fuzzing(folder_);
    std::filesystem::remove_all(folder_);
  }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  static std::string text_of(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  static void write_text(const std::string& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
  }

 private:
  std::filesystem::path folder_;
};

}  // namespace qavrek::ids_test
