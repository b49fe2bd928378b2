#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Core/multi_process_stream.h"

namespace qavrek {
namespace {

TEST(MultiProcessStream, EveryValueKindRoundTrips) {
  multi_process_stream out;
  const std::string text = "qavrek::measure_id";
  const std::vector<double> block = {1.5, -2.25, std::numeric_limits<double>::infinity()};
  out << true << int16_t(-7) << int32_t(-123456) << uint32_t(4000000000u) << uint64_t(1) << 3.0e-300 << text
      << std::string() << false;
  out.Push(block.data(), static_cast<unsigned>(block.size()));
  out << std::numeric_limits<double>::quiet_NaN();

  multi_process_stream in;
  in.SetRawData(out.GetRawData());
  bool b1 = false, b2 = true;
  int16_t i16 = 0;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  uint64_t u64 = 0;
  double d = 0.0, nan = 0.0;
  std::string s1, s2 = "x";
  std::vector<double> read(3);
  double* p = read.data();
  unsigned n = 3;
  in >> b1 >> i16 >> i32 >> u32 >> u64 >> d >> s1 >> s2 >> b2;
  in.Pop(p, n);
  in >> nan;
  EXPECT_TRUE(b1);
  EXPECT_EQ(i16, -7);
  EXPECT_EQ(i32, -123456);
  EXPECT_EQ(u32, 4000000000u);
  EXPECT_EQ(u64, 1u);
  EXPECT_EQ(d, 3.0e-300);
  EXPECT_EQ(s1, text);
  EXPECT_EQ(s2, "");
  EXPECT_FALSE(b2);
  EXPECT_EQ(read, block);
  EXPECT_TRUE(std::isnan(nan));
  EXPECT_EQ(in.remaining(), 0u);
}

TEST(MultiProcessStream, LayoutIsLittleEndianNaturalWidth) {
  multi_process_stream out;
  out << int32_t(1) << std::string("ab") << true;
  const double one = 1.0;
  out.Push(&one, 1);
  const std::vector<unsigned char> bytes = out.GetRawData();
  const std::vector<unsigned char> head = {1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 1, 1, 0, 0, 0};
  ASSERT_EQ(bytes.size(), head.size() + sizeof(double));
  EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
}

// Each case writes something and then reads a value the writer did not write. The read that fails
// takes nothing from the stream: what is left is what the reads before it left.
TEST(MultiProcessStream, ReadingPastTheEndThrows) {
  struct read_case {
    const char* name;
    std::function<void(multi_process_stream&)> write;
    std::function<void(multi_process_stream&)> read;
    size_t read_before_failing;
  };
  const std::vector<read_case> cases = {
      {"double from empty", [](multi_process_stream&) {}, [](multi_process_stream& s) { double d; s >> d; }, 0},
      {"uint64 from an int32", [](multi_process_stream& s) { s << int32_t(5); },
       [](multi_process_stream& s) { uint64_t v; s >> v; }, 0},
      {"string longer than the stream", [](multi_process_stream& s) { s << uint32_t(100) << int32_t(0); },
       [](multi_process_stream& s) { std::string t; s >> t; }, 0},
      {"second value of one", [](multi_process_stream& s) { s << 1.0; },
       [](multi_process_stream& s) { double d; s >> d >> d; }, 8},
      {"byte that is not a bool", [](multi_process_stream& s) { s << int16_t(7); },
       [](multi_process_stream& s) { bool b; s >> b; }, 0},
      {"bool from the text after a name", [](multi_process_stream& s) { s << std::string("null object!") << int32_t('c'); },
       [](multi_process_stream& s) { std::string t; bool b; s >> t >> b; }, 16},
  };
  for (const auto& c : cases) {
    multi_process_stream out;
    c.write(out);
    multi_process_stream in;
    in.SetRawData(out.GetRawData());
    EXPECT_THROW(c.read(in), Error) << c.name;
    EXPECT_EQ(in.remaining(), out.GetRawData().size() - c.read_before_failing) << c.name;
  }
}

TEST(MultiProcessStream, BlockOfAnotherCountThrows) {
  multi_process_stream out;
  const double values[] = {1.0, 2.0, 3.0};
  out.Push(values, 3);
  for (unsigned expected : {2u, 4u}) {
    multi_process_stream in;
    in.SetRawData(out.GetRawData());
    std::vector<double> buffer(expected);
    double* p = buffer.data();
    unsigned n = expected;
    EXPECT_THROW(in.Pop(p, n), Error) << expected;
    EXPECT_EQ(in.remaining(), out.GetRawData().size()) << expected;
  }
  multi_process_stream truncated;
  std::vector<unsigned char> bytes = out.GetRawData();
  bytes.pop_back();
  truncated.SetRawData(bytes);
  double buffer[3];
  double* p = buffer;
  unsigned n = 3;
  EXPECT_THROW(truncated.Pop(p, n), Error);
  EXPECT_EQ(truncated.remaining(), bytes.size());
}

}  // namespace
}  // namespace qavrek
