#include "Core/logger.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qavrek::logger {
namespace {

std::atomic<Verbosity> verbosity_cutoff{0};

void write_to_stderr(Verbosity verbosity, std::string_view file, unsigned line, std::string_view message) {
  std::clog << "[" << verbosity << "] " << file << ":" << line << ": " << message << '\n';
}

struct sink_holder {
  std::mutex mutex;
  Sink sink = write_to_stderr;
};

sink_holder& holder() {
  static sink_holder instance;
  return instance;
}

}  // namespace

void Log(Verbosity verbosity, const char* file, unsigned line, const char* message) {
  if (verbosity > verbosity_cutoff.load()) return;
  sink_holder& h = holder();
  std::lock_guard lock(h.mutex);
  h.sink(verbosity, file ? file : "", line, message ? message : "");
}

void LogF(Verbosity verbosity, const char* file, unsigned line, const char* format, ...) {
  if (verbosity > verbosity_cutoff.load()) return;
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) + 1 : 1, '\0');
  if (size > 0) std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  Log(verbosity, file, line, buffer.data());
}

Verbosity GetCurrentVerbosityCutoff() { return verbosity_cutoff.load(); }

void SetCurrentVerbosityCutoff(Verbosity cutoff) { verbosity_cutoff.store(cutoff); }

Sink SetSink(Sink sink) {
  sink_holder& h = holder();
  std::lock_guard lock(h.mutex);
  Sink previous = std::move(h.sink);
  h.sink = sink ? std::move(sink) : Sink(write_to_stderr);
  return previous;
}

}  // namespace qavrek::logger
