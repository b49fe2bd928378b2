#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Core/multi_process_stream.h"
#include "Serialization/Registry.h"

namespace qavrek {

using ordered_json = nlohmann::ordered_json;

// A handler saves the object at the pointer (flag false) or fills the shared pointer at the
// pointer with a newly loaded object (flag true).
using json_handler = std::function<void(ordered_json&, void*, bool)>;
using binary_handler = std::function<void(multi_process_stream&, void*, bool)>;

using json_registry = Registry<std::string, json_handler>;
using binary_registry = Registry<std::string, binary_handler>;

// The one JSON registry of the process, created on first use and never destroyed.
json_registry* JsonSerializationRegistry();
// The one binary registry of the process, a separate instance.
binary_registry* BinarySerializationRegistry();

namespace serialization {

// Whole-file transfer of a JSON value or a byte vector.
class access {
 public:
  // Pretty-printed with one space per level and a final newline.
  static void write_json(const std::string& path, const ordered_json& value);
  // The first JSON value of the file; a missing or empty file is the JSON library's parse error 101.
  static void read_json(const std::string& path, ordered_json& target);
  static void write_binary(const std::string& path, const std::vector<unsigned char>& bytes);
  // The whole file; an empty file leaves the target as it was.
  static void read_binary(const std::string& path, std::vector<unsigned char>& target);
};

}  // namespace serialization
}  // namespace qavrek
