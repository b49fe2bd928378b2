#pragma once

// Names of parameterised test cases built from numbers. GoogleTest takes letters, digits and underscores
// only, so -1.5e-10 is named "minus1p5eminus10".

#include <cstdio>
#include <string>

namespace qavrek::test_names {

inline std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  std::string name;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '-') {
      name += "minus";
    } else if (*c == '.') {
      name += 'p';
    } else if (*c != '+') {
      name += *c;
    }
  }
  return name;
}

}  // namespace qavrek::test_names
