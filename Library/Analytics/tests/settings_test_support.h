#pragma once

// What the tests of the settings and configuration classes share: a scratch folder for their files, the
// keys of a saved object, and the bytes a binary file is expected to hold.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "Core/multi_process_stream.h"
#include "Serialization/serialization.h"
#include "kept_test_files.h"

namespace qavrek::settings_test {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class scratch_files : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qavrek_settings_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                                           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override {
    test_files::keep_for_fuzzing(folder_);
    fs::remove_all(folder_);
  }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  static std::vector<unsigned char> bytes_of(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
  }
  static void write_bytes(const std::string& file, const std::vector<unsigned char>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static void write_text(const std::string& file, const std::string& text) { std::ofstream(file) << text; }

  // A JSON file as write_to_json lays it out: the envelope under "root".
  void write_json_root(const std::string& file, const ordered_json& envelope) const {
    write_text(file, ordered_json{{"root", envelope}}.dump(1));
  }

 private:
  fs::path folder_;
};

inline std::vector<std::string> keys_of(const ordered_json& object) {
  std::vector<std::string> keys;
  for (const auto& member : object.items()) keys.push_back(member.key());
  return keys;
}

// The bytes of a binary archive filled by `fill`.
inline std::vector<unsigned char> archive_bytes(const std::function<void(multi_process_stream&)>& fill) {
  multi_process_stream archive;
  fill(archive);
  return archive.GetRawData();
}

// The text of what `action` throws, or "" when it throws nothing.
template <class Action>
std::string failure_of(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace qavrek::settings_test
