#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Serialization/serialization.h"

namespace qavrek {
namespace {

using serialization::access;
namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class files : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qavrek_access_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  static std::string text_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

 private:
  fs::path folder_;
};

TEST_F(files, WriteJsonIndentsByOneSpaceAndEndsWithANewline) {
  ordered_json value;
  value["a"] = 1;
  access::write_json(path("a.json"), value);
  EXPECT_EQ(text_of(path("a.json")), "{\n \"a\": 1\n}\n");

  ordered_json nested;
  nested["root"]["Class"] = "x";
  nested["root"]["v"] = {1, 2};
  access::write_json(path("nested.json"), nested);
  EXPECT_EQ(text_of(path("nested.json")),
            "{\n \"root\": {\n  \"Class\": \"x\",\n  \"v\": [\n   1,\n   2\n  ]\n }\n}\n");
}

TEST_F(files, MemberOrderSurvivesAWriteAndRead) {
  ordered_json value;
  value["b"] = "second first";
  value["a"] = 2.5;
  access::write_json(path("order.json"), value);
  ordered_json read;
  access::read_json(path("order.json"), read);
  EXPECT_EQ(read.begin().key(), "b");
  access::write_json(path("again.json"), read);
  EXPECT_EQ(text_of(path("again.json")), text_of(path("order.json")));
}

TEST_F(files, NonAsciiTextIsWrittenAsUtf8) {
  ordered_json value;
  value["name"] = "\xc3\xa9t\xc3\xa9";
  access::write_json(path("utf8.json"), value);
  EXPECT_EQ(text_of(path("utf8.json")), "{\n \"name\": \"\xc3\xa9t\xc3\xa9\"\n}\n");
}

TEST_F(files, ReadJsonOfMissingOrEmptyFileIsParseError101) {
  write_text(path("empty.json"), "");
  for (const std::string& p : {path("missing.json"), path("empty.json")}) {
    ordered_json target;
    try {
      access::read_json(p, target);
      FAIL() << p;
    } catch (const nlohmann::json::parse_error& error) {
      EXPECT_EQ(error.id, 101) << p;
    }
  }
}

TEST_F(files, ReadJsonTakesTheFirstValue) {
  write_text(path("two.json"), "{\"a\": 1} trailing [text");
  ordered_json target;
  access::read_json(path("two.json"), target);
  EXPECT_EQ(target, ordered_json({{"a", 1}}));
}

TEST_F(files, ReadJsonOfMalformedTextIsAParseError) {
  write_text(path("bad.json"), "{\"a\": }");
  ordered_json target;
  EXPECT_THROW(access::read_json(path("bad.json"), target), nlohmann::json::parse_error);
}

TEST_F(files, BinaryFileHoldsExactlyTheBytes) {
  const std::vector<unsigned char> bytes = {0, 1, 2, 255, '\n', '\r', 0};
  access::write_binary(path("b.bin"), bytes);
  EXPECT_EQ(fs::file_size(path("b.bin")), bytes.size());
  std::vector<unsigned char> read;
  access::read_binary(path("b.bin"), read);
  EXPECT_EQ(read, bytes);
}

TEST_F(files, ReadBinarySizeRules) {
  access::write_binary(path("empty.bin"), {});
  access::write_binary(path("three.bin"), {7, 8, 9});
  EXPECT_EQ(fs::file_size(path("empty.bin")), 0u);
  struct size_case {
    std::string file;
    std::vector<unsigned char> target;
    std::vector<unsigned char> expected;
  };
  const std::vector<size_case> cases = {
      {"empty.bin", {1, 2, 3, 4}, {1, 2, 3, 4}},  // an empty file leaves the target alone
      {"three.bin", std::vector<unsigned char>(10, 5), {7, 8, 9}},
      {"three.bin", {}, {7, 8, 9}},
  };
  for (auto c : cases) {
    access::read_binary(path(c.file), c.target);
    EXPECT_EQ(c.target, c.expected) << c.file;
  }
}

TEST_F(files, ReadBinaryOfMissingFileSaysItDoesNotExist) {
  const std::string missing = path("missing.bin");
  std::vector<unsigned char> target = {1};
  try {
    access::read_binary(missing, target);
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()),
              "Expected !in.fail() to be true, but got false.  The file " + missing + " does not exist.");
    EXPECT_EQ(error.location().function, "read_binary");
    EXPECT_EQ(error.location().file, "Library/Serialization/serialization");
    EXPECT_EQ(error.location().line, 25);
  }
  EXPECT_EQ(target, std::vector<unsigned char>{1});
}

TEST_F(files, WritesToAnUnopenablePathThrowNamingThePath) {
  const std::string unopenable = path("no_such_folder/file");
  try {
    access::write_json(unopenable, ordered_json::object());
    FAIL();
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find(unopenable), std::string::npos);
  }
  try {
    access::write_binary(unopenable, {1, 2});
    FAIL();
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find(unopenable), std::string::npos);
  }
}

}  // namespace
}  // namespace qavrek
