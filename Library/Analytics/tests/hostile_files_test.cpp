// Files made to hurt a loader: each fails with an Error that says what is wrong, at once and in little
// memory. Every input is built here, most of them a few hundred bytes.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "allocation_meter.h"
#include "persistable_samples.h"

namespace qavrek::persistence_samples {
namespace {

// Generous bounds: each case takes a few milliseconds and well under a megabyte (more under the address
// sanitizer, still far from these), while the faults they guard against took seconds, hundreds of
// megabytes or the whole stack.
constexpr double seconds_allowed = 1.0;
constexpr std::size_t bytes_allowed = 100u << 20;

std::string nested_arrays(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string bytes_of(const multi_process_stream& archive) {
  const auto raw = archive.GetRawData();
  return std::string(raw.begin(), raw.end());
}

// A binary Cheyette set whose nested HJM set is `nested`, followed by a skew matrix of `rows` x `columns`
// with no values, no skew dates and a level.
std::string cheyette_with_empty_skews(const ptr_const<parameter_markovian_hjm>& nested, std::uint64_t rows,
                                      std::uint64_t columns) {
  multi_process_stream archive;
  archive << serialization::class_name<parameter_cheyette>();
  serialization::save(archive, nested);
  archive << rows << columns;
  archive.Push(nullptr, 0);
  archive << std::uint32_t{0} << 0.03;
  return bytes_of(archive);
}

ptr_const<parameter_markovian_hjm> two_factors_without_dates() {
  return std::make_shared<const parameter_markovian_hjm>(matrix<double>(0, 2), matrix<double>(0, 2),
                                                         matrix<double>{{1.0, 0.0}, {0.0, 1.0}}, dates({}), dates({}),
                                                         act_365(), parameter_markovian_hjm_type::HULL_WHITE);
}

// An HJM set whose decays declare `side` x `side` values that the file does not hold.
std::string hjm_declaring_decays(std::uint64_t side) {
  auto envelope = ordered_json::parse(parameter_markovian_hjm::json_to_string(two_factors_without_dates()));
  envelope["decays"] = {{"class", "qavrek.matrix"}, {"rows", side}, {"columns", side}};
  return ordered_json{{"root", envelope}}.dump(1);
}

std::string object_with_keys(size_t count) {
  std::string text = R"({"root": {"Class": "x")";
  for (size_t i = 0; i < count; ++i) text += ",\"k" + std::to_string(i) + "\":0";
  return text + "}}";
}

class HostileFiles : public scratch_files {};

TEST_F(HostileFiles, FailFastWithAClearError) {
  struct hostile_case {
    const char* name;
    std::string file;  // written to a file of that name, unless empty
    std::string content;
    std::function<void(const std::string& path)> load;
    std::string error;  // a part of the innermost message
  };
  const auto cheyette_binary = [](const std::string& p) { parameter_cheyette::read_from_binary(p); };
  const auto hjm_json = [](const std::string& p) { parameter_markovian_hjm::read_from_json(p); };
  const std::vector<hostile_case> cases = {
      {"200000 arrays nested under the class name, read as random settings (the Python module's loader)", "deep.json",
       R"({"root": {"Class": )" + nested_arrays(200000) + "}}",
       [](const std::string& p) { random_settings::read_from_json(p); }, "nests deeper than 256 levels"},
      {"the same, read as a Cheyette set", "deep.json", R"({"root": {"Class": )" + nested_arrays(200000) + "}}",
       [](const std::string& p) { parameter_cheyette::read_from_json(p); }, "nests deeper than 256 levels"},
      {"a Cheyette set whose empty skew matrix has 2^60 columns", "skews.bin",
       cheyette_with_empty_skews(one_factor_hjm(), 0, std::uint64_t(1) << 60), cheyette_binary,
       "an empty matrix of 0 x 1152921504606846976 is refused"},
      {"a Cheyette set whose empty skew matrix has 3 columns for 2 factors", "skews.bin",
       cheyette_with_empty_skews(two_factors_without_dates(), 0, 3), cheyette_binary,
       "the skews have 3 columns for 2 factors"},
      {"an HJM set declaring 10000 x 10000 decays and no values", "decays.json", hjm_declaring_decays(10000), hjm_json,
       "key 'data' not found"},
      {"an HJM set declaring 20000 x 20000 decays and no values", "decays.json", hjm_declaring_decays(20000), hjm_json,
       "key 'data' not found"},
      {"a directory read as a binary file", "", "",
       [](const std::string& p) { parameter_markovian_hjm::read_from_binary(p); }, "is not a regular file"},
      {"an object of 100000 members", "keys.json", object_with_keys(100000),
       [](const std::string& p) { calibration_hjm_settings::read_from_json(p); },
       "holds an object of more than 10000 members"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = c.file.empty() ? path("") : path(c.file);
    if (!c.file.empty()) write_text(file, c.content);
    std::string message;
    double seconds = 0.0;
    std::size_t bytes = 0;
    {
      const allocation_test::allocation_meter meter;
      const auto start = std::chrono::steady_clock::now();
      message = innermost_message([&] { c.load(file); });
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      bytes = meter.requested_bytes();
    }
    EXPECT_NE(message.find(c.error), std::string::npos) << message;
    EXPECT_LT(message.size(), 300u) << "the message quotes too much of the file";
    EXPECT_LT(seconds, seconds_allowed);
    EXPECT_LT(bytes, bytes_allowed);
  }
}

// The meter sees what it must: the storage of a matrix (aligned_alloc) and of a vector (operator new).
TEST(AllocationMeter, CountsTheStorageOfMatricesAndVectors) {
  const allocation_test::allocation_meter meter;
  const matrix<double> values(1000, 100);
  const std::vector<double> more(50000);
  EXPECT_GE(meter.requested_bytes(), 1000u * 100u * 8u + 50000u * 8u);
  EXPECT_GE(meter.largest_request(), 1000u * 100u * 8u);
}

}  // namespace
}  // namespace qavrek::persistence_samples
