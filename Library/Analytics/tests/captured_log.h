#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "Core/logger.h"

namespace qavrek {

// Lines logged while it lives, at the given verbosity cutoff; the previous sink and cutoff come back after.
class captured_log {
 public:
  struct line {
    logger::Verbosity verbosity;
    std::string file;
    unsigned number;
    std::string message;
    friend bool operator==(const line&, const line&) = default;
    friend std::ostream& operator<<(std::ostream& out, const line& l) {
      return out << "[" << l.verbosity << "] " << l.file << ":" << l.number << " \"" << l.message << "\"";
    }
  };

  explicit captured_log(logger::Verbosity cutoff = 0) : cutoff_(logger::GetCurrentVerbosityCutoff()) {
    logger::SetCurrentVerbosityCutoff(cutoff);
    previous_ = logger::SetSink([this](logger::Verbosity verbosity, std::string_view file, unsigned number,
                                       std::string_view message) {
      lines.push_back({verbosity, std::string(file), number, std::string(message)});
    });
  }
  ~captured_log() {
    logger::SetSink(previous_);
    logger::SetCurrentVerbosityCutoff(cutoff_);
  }
  captured_log(const captured_log&) = delete;
  captured_log& operator=(const captured_log&) = delete;

  std::vector<line> lines;

 private:
  logger::Verbosity cutoff_;
  logger::Sink previous_;
};

}  // namespace qavrek
