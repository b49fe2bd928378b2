#pragma once

#include <exception>
#include <string>

namespace qavrek {

// Where an error or a warning was raised.
struct SourceLocation {
  std::string function;
  std::string file;
  int line = 0;
};

// The system's exception: a source location and a message; what() is the message alone.
class Error : public std::exception {
 public:
  Error(SourceLocation location, std::string message);

  const char* what() const noexcept override { return message_.c_str(); }
  const SourceLocation& location() const noexcept { return location_; }
  const std::string& message() const noexcept { return message_; }

 private:
  SourceLocation location_;
  std::string message_;
};

// Raised by operations that a class does not offer.
class NotImplementedError : public Error {
 public:
  using Error::Error;
};

}  // namespace qavrek
