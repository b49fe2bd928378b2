#include "Serialization/serialization.h"

#include <fstream>

#include "Core/check.h"

namespace qavrek {

json_registry* JsonSerializationRegistry() {
  // A function-local static: concurrent first calls create exactly one registry.
  static json_registry* const registry = new json_registry();
  return registry;
}

binary_registry* BinarySerializationRegistry() {
  static binary_registry* const registry = new binary_registry();
  return registry;
}

namespace serialization {
namespace {
constexpr const char* source_file = "Library/Serialization/serialization";
}

void access::write_json(const std::string& path, const ordered_json& value) {
  std::ofstream out(path);
  QAVREK_CHECK_AT("write_json", source_file, __LINE__, !out.fail(), "The file ", path, " cannot be opened for writing.");
  out.width(1);
  out << value << std::endl;
  out.close();
  QAVREK_CHECK_AT("write_json", source_file, __LINE__, !out.fail(), "Writing the file ", path, " failed.");
}

void access::read_json(const std::string& path, ordered_json& target) {
  std::ifstream in(path);
  // Stream extraction is not strict: the first complete value is taken, what follows is ignored.
  in >> target;
}

void access::write_binary(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::out | std::ios::trunc);
  QAVREK_CHECK_AT("write_binary", source_file, __LINE__, !out.fail(), "The file ", path,
                  " cannot be opened for writing.");
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  QAVREK_CHECK_AT("write_binary", source_file, __LINE__, !out.fail(), "Writing the file ", path, " failed.");
}

void access::read_binary(const std::string& path, std::vector<unsigned char>& target) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  QAVREK_CHECK_AT("read_binary", source_file, 25, !in.fail(), "The file ", path, " does not exist.");
  const std::streamoff size = in.tellg();
  if (size <= 0) return;
  target.resize(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(target.data()), size);
}

}  // namespace serialization
}  // namespace qavrek
