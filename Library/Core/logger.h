#pragma once

#include <functional>
#include <string_view>

namespace qavrek::logger {

// Lower is more important; a line is written when its verbosity is at most the cutoff.
using Verbosity = int;

// Receives every line that passes the cutoff.
using Sink = std::function<void(Verbosity verbosity, std::string_view file, unsigned line, std::string_view message)>;

void Log(Verbosity verbosity, const char* file, unsigned line, const char* message);

// printf-style formatting of the message.
void LogF(Verbosity verbosity, const char* file, unsigned line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

Verbosity GetCurrentVerbosityCutoff();
void SetCurrentVerbosityCutoff(Verbosity cutoff);

// Replaces where lines go (standard error by default); an empty sink restores the default.
// Returns the sink it replaces.
Sink SetSink(Sink sink);

}  // namespace qavrek::logger
