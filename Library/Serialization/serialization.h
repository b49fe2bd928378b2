#pragma once

#include <cstddef>
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
//
// A write goes to a new file beside the target, which replaces the target only once it is complete and
// on the disk: a failure (text that is not UTF-8, a full disk, a directory or a device as the target)
// leaves the target as it was and no new file behind, and its error names the path.
class access {
 public:
  // Nesting and object sizes that read_json accepts: every stored form stays far below them, and a file
  // beyond them is refused while it is parsed, before it costs time or memory.
  static constexpr std::size_t max_json_depth = 256;
  static constexpr std::size_t max_json_object_members = 10000;

  // Pretty-printed with one space per level and a final newline.
  static void write_json(const std::string& path, const ordered_json& value);
  // The one JSON value of the file: text after it (other than white space) is refused, as are a missing
  // file and one that cannot be opened, each with an Error naming the path. An empty file is the JSON
  // library's parse error 101, malformed text its other parse errors.
  static void read_json(const std::string& path, ordered_json& target);
  static void write_binary(const std::string& path, const std::vector<unsigned char>& bytes);
  // The whole of a regular file; an empty file leaves the target as it was.
  static void read_binary(const std::string& path, std::vector<unsigned char>& target);
};

}  // namespace serialization
}  // namespace qavrek
