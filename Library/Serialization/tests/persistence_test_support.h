#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "Core/error.h"
#include "Core/logger.h"
#include "Core/multi_process_stream.h"
#include "Serialization/serialization_impl.h"
#include "persistence_test_classes.h"

namespace qavrek::persistence_test {

// One link of a chain of nested exceptions, outermost first.
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

// The chain of an exception and all those nested in it; a link that is not an Error keeps only its
// text (the JSON library's and the standard library's exceptions).
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

inline std::vector<error_link> error_chain(const std::exception& outer) {
  std::vector<error_link> chain;
  append_chain(outer, chain);
  return chain;
}

// The chain of what `action` throws; empty when it throws nothing.
template <class Action>
std::vector<error_link> chain_of(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return error_chain(e);
  }
  return {};
}

inline const char* impl_file = "Library/Serialization/serialization_impl";
inline const char* wrapper_file = "Library/Serialization/common/archiver_wrapper";

inline error_link link(const char* function, int line, std::string message) {
  return {function, impl_file, line, std::move(message)};
}

struct log_line {
  int verbosity = 0;
  std::string file;
  unsigned line = 0;
  std::string message;
  friend bool operator==(const log_line&, const log_line&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const log_line& l) {
  return out << "[" << l.verbosity << "] " << l.file << ":" << l.line << " \"" << l.message << "\"";
}

// Captures the logger's lines while a test runs.
class captured_log : public ::testing::Test {
 protected:
  void SetUp() override {
    cutoff_ = logger::GetCurrentVerbosityCutoff();
    logger::SetCurrentVerbosityCutoff(0);
    previous_ = logger::SetSink([this](int verbosity, std::string_view file, unsigned line, std::string_view message) {
      lines_.push_back({verbosity, std::string(file), line, std::string(message)});
    });
  }
  void TearDown() override {
    logger::SetSink(previous_);
    logger::SetCurrentVerbosityCutoff(cutoff_);
  }

  std::vector<log_line> lines_;

 private:
  int cutoff_ = 0;
  logger::Sink previous_;
};

// A record with every field set to something other than its default.
inline sample_record::values full_values() {
  sample_record::values v;
  v.rate = 0.25;
  v.active = true;
  v.count = 7;
  v.code = -3;
  v.small = 12;
  v.device = device_kind::gpu;
  v.model = model_kind::piecewise_constant;
  v.date = datetime(43831.0);
  v.name = "EUR swaps";
  v.desk = desk_code("RATES");
  v.fixings = {0.5, 1.5, 2.5};
  v.grid = {{1.0, 2.0}, {}, {3.0}};
  v.dates = {datetime(43831.0), datetime(43862.0)};
  return v;
}

inline ptr_const<sample_record> full_record() { return std::make_shared<const sample_record>(full_values()); }

// A stream that reads back what was written into it.
inline multi_process_stream reopened(const multi_process_stream& written) {
  multi_process_stream reading;
  reading.SetRawData(written.GetRawData());
  return reading;
}

}  // namespace qavrek::persistence_test
