#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/Warning.h"
#include "Core/logger.h"

namespace qavrek {
namespace {

struct captured_line {
  int verbosity;
  std::string file;
  unsigned line;
  std::string message;
};

// Captures every line written while it lives, and restores the cutoff and sink after.
class logger_capture : public ::testing::Test {
 protected:
  void SetUp() override {
    cutoff_ = logger::GetCurrentVerbosityCutoff();
    previous_ = logger::SetSink([this](int verbosity, std::string_view file, unsigned line, std::string_view message) {
      lines_.push_back({verbosity, std::string(file), line, std::string(message)});
    });
  }
  void TearDown() override {
    logger::SetSink(previous_);
    logger::SetCurrentVerbosityCutoff(cutoff_);
  }

  std::vector<captured_line> lines_;

 private:
  int cutoff_ = 0;
  logger::Sink previous_;
};

TEST_F(logger_capture, CutoffFiltersByVerbosity) {
  logger::SetCurrentVerbosityCutoff(0);
  logger::Log(-1, "a.cpp", 1, "error");
  logger::Log(0, "a.cpp", 2, "info");
  logger::Log(1, "a.cpp", 3, "debug");
  logger::SetCurrentVerbosityCutoff(-1);
  logger::Log(0, "a.cpp", 4, "muted");
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0].message, "error");
  EXPECT_EQ(lines_[1].message, "info");
  EXPECT_EQ(lines_[1].line, 2u);
}

TEST_F(logger_capture, LogFFormatsLikePrintf) {
  logger::SetCurrentVerbosityCutoff(0);
  logger::LogF(0, "Library/x", 767, " pv: %f:", 0.25);
  logger::LogF(0, "Library/x", 768, " Calibration results for ir %d markovian hjm model:", 2);
  const std::string long_text(5000, 'x');
  logger::LogF(0, "Library/x", 769, "%s", long_text.c_str());
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0].message, " pv: 0.250000:");
  EXPECT_EQ(lines_[1].message, " Calibration results for ir 2 markovian hjm model:");
  EXPECT_EQ(lines_[2].message, long_text);
}

TEST_F(logger_capture, WarningIsLoggedWithItsLocation) {
  logger::SetCurrentVerbosityCutoff(0);
  Warning::warn(SourceLocation{"value", "Library/Analytics/calibration/ir/cheyette/calibration_ir_cheyette_swaption", 483},
                "swap root finder did not converge!");
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].line, 483u);
  EXPECT_NE(lines_[0].message.find("swap root finder did not converge!"), std::string::npos);
}

}  // namespace
}  // namespace qavrek
