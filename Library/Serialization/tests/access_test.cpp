#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
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

TEST_F(files, ReadJsonOfAnEmptyFileIsParseError101) {
  write_text(path("empty.json"), "");
  ordered_json target;
  try {
    access::read_json(path("empty.json"), target);
    FAIL();
  } catch (const nlohmann::json::parse_error& error) {
    EXPECT_EQ(error.id, 101);
  }
}

// A file that is not there, or not a file, is said to be so by name, not reported as an empty input; a
// value followed by more than white space is refused whole, never read in part. The target is untouched.
TEST_F(files, ReadJsonRefusesMissingFilesAndTextAfterTheValue) {
  struct case_ {
    const char* label;
    std::string file;
    std::string text;  // written first unless the file is to be missing
    std::string message;
  };
  fs::create_directories(path("folder.json"));
  const std::vector<case_> cases = {
      {"missing file", "missing.json", "", "The file " + path("missing.json") + " does not exist."},
      {"missing folder", "no/such.json", "", "The file " + path("no/such.json") + " does not exist."},
      {"directory", "folder.json", "", "The file " + path("folder.json") + " is a directory."},
      {"a word after the object", "word.json", "{\"a\": 1} trailing [text",
       "The JSON file " + path("word.json") + " holds text after its value, near byte 12"},
      {"a second object", "two.json", "{\"a\": 1}\n{\"b\": 2}\n",
       "The JSON file " + path("two.json") + " holds text after its value, near byte 10"},
      {"a letter straight after a number", "number.json", "5x",
       "The JSON file " + path("number.json") + " holds text after its value, near byte 2"},
      {"a NUL byte after the object", "nul.json", std::string("{}\n\0", 4),
       "The JSON file " + path("nul.json") + " holds text after its value, near byte 4"},
      {"text after a NUL byte", "after_nul.json", std::string("{}\0{\"b\": 2}", 11),
       "The JSON file " + path("after_nul.json") + " holds text after its value, near byte 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (!c.text.empty()) write_text(path(c.file), c.text);
    ordered_json target = {{"kept", true}};
    try {
      access::read_json(path(c.file), target);
      ADD_FAILURE() << "loaded";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
    EXPECT_EQ(target, ordered_json({{"kept", true}}));
  }
}

// White space of every kind may follow the value, as the writer's final newline does.
TEST_F(files, ReadJsonAcceptsWhiteSpaceAfterTheValue) {
  for (const std::string text : {"{\"a\": 1}", "{\"a\": 1}\n", "  {\"a\": 1} \t\r\n\n  ", "[1]\n", "7 "}) {
    write_text(path("value.json"), text);
    ordered_json target;
    access::read_json(path("value.json"), target);
    EXPECT_EQ(target, ordered_json::parse(text)) << text;
  }
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

// Every file in the folder, for the check that a failed write leaves nothing behind.
std::vector<std::string> files_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A value that cannot be written fails before the file is touched: the target stays as it was, nothing
// is left beside it, and the error says which file it was.
TEST_F(files, AValueThatCannotBeWrittenLeavesTheTargetAsItWas) {
  const std::string target = path("kept.json");
  const std::string old_text = "{\n \"kept\": true\n}\n";
  write_text(target, old_text);
  ordered_json bad_key;
  bad_key["a"] = 1;
  bad_key["\xff\xfe"] = 2;  // not UTF-8: the JSON library refuses to write it (type error 316)
  try {
    access::write_json(target, bad_key);
    FAIL() << "nothing thrown";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find(target), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("type_error.316"), std::string::npos) << error.what();
  }
  EXPECT_EQ(text_of(target), old_text);
  EXPECT_EQ(files_in(fs::path(target).parent_path()), std::vector<std::string>{"kept.json"});
}

// A directory or a device at the target is refused, never replaced by a file.
TEST_F(files, ATargetThatIsNotARegularFileIsRefused) {
  const std::string folder = path("folder");
  fs::create_directory(folder);
  write_text(folder + "/inside.txt", "x");
  std::vector<std::string> targets = {folder};
  // A full device fails every write; where the machine has one it must stay the device it is.
  if (fs::is_character_file("/dev/full")) targets.push_back("/dev/full");
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    const auto parent_before = files_in(fs::path(target).parent_path());
    for (const auto& write : std::vector<std::function<void()>>{
             [&] { access::write_json(target, ordered_json{{"a", 1}}); },
             [&] { access::write_binary(target, {1, 2, 3}); }}) {
      try {
        write();
        ADD_FAILURE() << "nothing thrown";
      } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find(target), std::string::npos) << error.what();
      }
    }
    EXPECT_EQ(files_in(fs::path(target).parent_path()), parent_before);
  }
  EXPECT_EQ(files_in(folder), std::vector<std::string>{"inside.txt"});
  if (fs::exists("/dev/full")) {
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
}

// The write itself failing half-way: the file-size limit makes the kernel refuse the bytes beyond it
// (EFBIG) while the temporary file is being filled.
TEST_F(files, AWriteThatFailsHalfWayLeavesTheTargetAsItWas) {
  const std::string target = path("large.bin");
  const std::vector<unsigned char> old_bytes = {1, 2, 3};
  access::write_binary(target, old_bytes);
  const auto before = files_in(fs::path(target).parent_path());

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string failure;
  try {
    access::write_binary(target, std::vector<unsigned char>(100000, 7));
  } catch (const Error& error) {
    failure = error.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_NE(failure.find(target), std::string::npos) << failure;
  std::vector<unsigned char> read;
  access::read_binary(target, read);
  EXPECT_EQ(read, old_bytes);
  EXPECT_EQ(files_in(fs::path(target).parent_path()), before);
}

TEST_F(files, ReplacingAFileKeepsItsPermissionsAndALinkStaysALink) {
  const std::string target = path("shared.json");
  write_text(target, "{}");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string link = path("link.json");
  fs::create_symlink(target, link);

  access::write_json(link, ordered_json{{"a", 1}});
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(text_of(target), "{\n \"a\": 1\n}\n");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(files_in(fs::path(target).parent_path()), (std::vector<std::string>{"link.json", "shared.json"}));
}

// A pipe would block the opening until some writer came, and a device may never end: neither is opened.
TEST_F(files, ReadersRefusePipesAndDevicesBeforeOpeningThem) {
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  for (const std::string& special : {path("pipe"), std::string("/dev/zero")}) {
    SCOPED_TRACE(special);
    const std::string message = "The file " + special + " is not a regular file.";
    ordered_json json = {{"kept", true}};
    try {
      access::read_json(special, json);
      ADD_FAILURE() << "read";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()), message);
    }
    EXPECT_EQ(json, ordered_json({{"kept", true}}));
    std::vector<unsigned char> bytes = {1};
    try {
      access::read_binary(special, bytes);
      ADD_FAILURE() << "read";
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()), message);
    }
    EXPECT_EQ(bytes, std::vector<unsigned char>{1});
  }
}

TEST_F(files, ReadBinaryRefusesWhatIsNotARegularFile) {
  std::vector<unsigned char> target = {1};
  try {
    access::read_binary(path(""), target);
    FAIL();
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "The file " + path("") + " is not a regular file.");
    EXPECT_EQ(error.location().function, "read_binary");
  }
  EXPECT_EQ(target, std::vector<unsigned char>{1});
}

// Nesting and object sizes beyond the limits are refused while the text is parsed.
TEST_F(files, ReadJsonRefusesDeepNestingAndHugeObjects) {
  const size_t depth = access::max_json_depth;
  const auto nested = [](size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  const auto object_of = [](size_t members) {
    std::string text = "{";
    for (size_t i = 0; i < members; ++i) text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
    return text + "}";
  };
  struct limit_case {
    std::string text;
    std::string failure;  // empty: the text is read
  };
  const std::vector<limit_case> cases = {
      {nested(depth), ""},
      {nested(depth + 1), "nests deeper than 256 levels"},
      {"{\"a\": " + nested(depth) + "}", "nests deeper than 256 levels"},
      {object_of(access::max_json_object_members), ""},
      {object_of(access::max_json_object_members + 1), "holds an object of more than 10000 members"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    write_text(path("limits.json"), c.text);
    ordered_json target;
    try {
      access::read_json(path("limits.json"), target);
      EXPECT_TRUE(c.failure.empty());
      EXPECT_EQ(target.dump(), ordered_json::parse(c.text).dump());
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()), "The JSON file " + path("limits.json") + " " + c.failure);
    }
  }
}

TEST_F(files, ARepeatedKeyKeepsItsFirstPlaceAndTakesTheLastValue) {
  write_text(path("repeated.json"), R"({"b": 1, "a": 2, "b": 3})");
  ordered_json target;
  access::read_json(path("repeated.json"), target);
  EXPECT_EQ(target.dump(), R"({"b":3,"a":2})");
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
