#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "persistence_test_support.h"

namespace qavrek::persistence_test {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class PersistenceFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qavrek_persistence_" + std::to_string(::getpid()) + "_" +
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
  static std::vector<unsigned char> bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
  }
  static void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }

 private:
  fs::path folder_;
};

TEST_F(PersistenceFiles, JsonFileWrapsTheEnvelopeInRootIndentedByOneSpace) {
  strict_settings::write_to_json(path("s.json"), std::make_shared<const strict_settings>(3));
  EXPECT_EQ(text_of(path("s.json")),
            "{\n \"root\": {\n  \"Class\": \"qavrek::persistence_test::strict_settings\",\n  \"level\": 3\n }\n}\n");

  sample_record::write_to_json(path("null.json"), nullptr);
  EXPECT_EQ(text_of(path("null.json")), "{\n \"root\": {\n  \"Class\": \"null object!\"\n }\n}\n");
}

TEST_F(PersistenceFiles, JsonToStringIsTheEnvelopeIndentedByTwoWithoutAFinalNewline) {
  EXPECT_EQ(strict_settings::json_to_string(std::make_shared<const strict_settings>(3)),
            "{\n  \"Class\": \"qavrek::persistence_test::strict_settings\",\n  \"level\": 3\n}");
}

TEST_F(PersistenceFiles, NullPointerComesBackAsADefaultObjectFromEitherFile) {
  sample_record::write_to_json(path("null.json"), nullptr);
  sample_record::write_to_binary(path("null.bin"), nullptr);
  for (const auto& loaded :
       {sample_record::read_from_json(path("null.json")), sample_record::read_from_binary(path("null.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(loaded->initialized());
    EXPECT_EQ(loaded->get(), sample_record::values{});
  }
}

// Written by hand in the layout of the files: members in declaration order, one space per level.
const std::string book_file = R"({
 "root": {
  "Class": "qavrek::persistence_test::record_book",
  "owner": "desk",
  "main": {
   "Class": "qavrek::persistence_test::sample_record",
   "rate": 0.25,
   "active": true,
   "count": 7,
   "code": -3,
   "small": 12,
   "device": 1,
   "model": 1,
   "date": 43831.0,
   "name": "EUR swaps",
   "desk": "RATES",
   "fixings": [
    0.5,
    1.5,
    2.5
   ],
   "grid": [
    [
     1.0,
     2.0
    ],
    null,
    [
     3.0
    ]
   ],
   "dates": [
    43831.0,
    43862.0
   ]
  },
  "history": [
   {
    "Class": "qavrek::persistence_test::sample_record",
    "rate": 0.0,
    "active": false,
    "count": 0,
    "code": 0,
    "small": 0,
    "device": 0,
    "model": 0,
    "date": 0.0,
    "name": "",
    "desk": "",
    "fixings": null,
    "grid": null,
    "dates": null
   }
  ]
 }
}
)";

TEST_F(PersistenceFiles, JsonFileToObjectToJsonFileGivesTheSameText) {
  write_text(path("in.json"), book_file);
  const auto book = record_book::read_from_json(path("in.json"));
  EXPECT_EQ(book->main()->get(), full_values());
  record_book::write_to_json(path("out.json"), book);
  EXPECT_EQ(text_of(path("out.json")), book_file);
}

TEST_F(PersistenceFiles, BinaryFileToObjectToBinaryFileGivesTheSameBytes) {
  // Written by hand with the archive calls of each field, in declaration order.
  const auto write_record = [](multi_process_stream& out, double rate, const std::string& desk) {
    out << std::string("qavrek::persistence_test::sample_record") << rate << false << std::uint64_t{1}
        << std::int32_t{2} << std::int16_t{3} << std::int32_t{0} << std::int32_t{1} << 43831.0 << std::string("")
        << desk << std::uint32_t{0}                                   // fixings
        << std::uint32_t{2} << std::uint32_t{1} << 9.0 << std::uint32_t{0}  // grid
        << std::uint32_t{1} << 43862.0;                               // dates
  };
  multi_process_stream book;
  book << std::string("qavrek::persistence_test::record_book") << std::string("desk");
  write_record(book, 0.5, "FX");
  book << std::uint32_t{2};
  write_record(book, 0.75, "RATES");
  write_record(book, 1.0, "");
  write_bytes(path("in.bin"), book.GetRawData());

  const auto loaded = record_book::read_from_binary(path("in.bin"));
  ASSERT_EQ(loaded->history().size(), 2u);
  EXPECT_EQ(loaded->history()[0]->get().grid, (std::vector<std::vector<double>>{{9.0}, {}}));
  record_book::write_to_binary(path("out.bin"), loaded);
  EXPECT_EQ(bytes_of(path("out.bin")), book.GetRawData());
}

TEST_F(PersistenceFiles, ReSavingWritesTheMembersInDeclarationOrder) {
  write_text(path("shuffled.json"),
             R"({"root": {"history": null, "main": {"Class": "null object!"}, "owner": "x",
                 "Class": "qavrek::persistence_test::record_book"}})");
  const auto text = record_book::json_to_string(record_book::read_from_json(path("shuffled.json")));
  const auto envelope = ordered_json::parse(text);
  std::vector<std::string> keys;
  for (const auto& member : envelope.items()) keys.push_back(member.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"Class", "owner", "main", "history"}));
}

TEST_F(PersistenceFiles, JsonFileWithoutRootIsAnError) {
  write_text(path("no_root.json"), R"({"Root": {"Class": "null object!"}})");
  const auto chain = chain_of([&] { sample_record::read_from_json(path("no_root.json")); });
  ASSERT_EQ(chain.size(), 1u);
  EXPECT_EQ(chain[0].function, "read_from_json");
  EXPECT_EQ(chain[0].message, "The JSON file " + path("no_root.json") + " has no \"root\" member");

  write_text(path("array.json"), "[1]");
  EXPECT_EQ(chain_of([&] { sample_record::read_from_json(path("array.json")); }).at(0).message,
            "[json.exception.type_error.305] cannot use operator[] with a string argument with array");
}

TEST_F(PersistenceFiles, EmptyBinaryFileFailsOnTheClassName) {
  write_bytes(path("empty.bin"), {});
  const auto chain = chain_of([&] { sample_record::read_from_binary(path("empty.bin")); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(chain[0].function, "load");
  EXPECT_NE(chain.back().message.find("past the end of the stream"), std::string::npos);
}

TEST_F(PersistenceFiles, JsonToStringKeepsUtf8AsItIsAndRefusesTextThatIsNotUtf8) {
  auto values = full_values();
  values.name = "Z\xc3\xbcrich";  // "Zürich"
  const auto text = sample_record::json_to_string(std::make_shared<const sample_record>(values));
  EXPECT_NE(text.find("\"name\": \"Z\xc3\xbcrich\""), std::string::npos);

  values.name = "\xff";
  EXPECT_THROW(sample_record::json_to_string(std::make_shared<const sample_record>(values)),
               ordered_json::type_error);
}

}  // namespace
}  // namespace qavrek::persistence_test
