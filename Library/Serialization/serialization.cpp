#include "Serialization/serialization.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Core/check.h"
#include "Core/error.h"

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

namespace fs = std::filesystem;

constexpr const char* source_file = "Library/Serialization/serialization";

// Builds the value of read_json while the file is parsed and refuses, as soon as it is reached, nesting
// or an object beyond the limits of access. The members of each open object are entered through a set
// of its keys: the insertion-ordered object alone compares every key on each insertion, which makes a
// large object cost quadratic time.
class bounded_json_builder {
 public:
  bounded_json_builder(ordered_json& root, const std::string& path) : root_(root), path_(path) {}

  bool null() { return place(nullptr); }
  bool boolean(bool value) { return place(value); }
  bool number_integer(ordered_json::number_integer_t value) { return place(value); }
  bool number_unsigned(ordered_json::number_unsigned_t value) { return place(value); }
  bool number_float(ordered_json::number_float_t value, const std::string&) { return place(value); }
  bool string(std::string& value) { return place(std::move(value)); }
  bool binary(ordered_json::binary_t& value) { return place(ordered_json::binary(std::move(value))); }

  bool start_object(std::size_t) { return open(ordered_json::object()); }
  bool start_array(std::size_t) { return open(ordered_json::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  // A repeated key keeps its first place and takes the later value, as the JSON library's own parser does.
  bool key(std::string& name) {
    open_container& object = open_.back();
    if (!object.keys.insert(name).second) {
      member_ = &(*object.value)[name];
      return true;
    }
    if (object.keys.size() > access::max_json_object_members)
      ::qavrek::details::check_fail("read_json", source_file, __LINE__,
                                    ::qavrek::details::concat("The JSON file ", path_, " holds an object of more than ",
                                                              access::max_json_object_members, " members"));
    auto& members = static_cast<ordered_json::object_t::Container&>(object.value->get_ref<ordered_json::object_t&>());
    members.emplace_back(std::move(name), nullptr);
    member_ = &members.back().second;
    return true;
  }

  // Once the first value is whole, whatever the parser still finds is text after it: the file is refused
  // as a whole rather than read in part. Any other failure is the JSON library's own.
  template <class Exception>
  bool parse_error(std::size_t position, const std::string&, const Exception& error) {
    if (complete_) text_after_value(position);
    throw error;
  }

  // `position`: the bytes read when the text was found.
  [[noreturn]] void text_after_value(std::size_t position) const {
    ::qavrek::details::check_fail(
        "read_json", source_file, __LINE__,
        ::qavrek::details::concat("The JSON file ", path_, " holds text after its value, near byte ", position));
  }

 private:
  struct open_container {
    ordered_json* value;
    std::unordered_set<std::string> keys;
  };

  // Where the next value goes: the root, the end of the open array, or the member named last.
  ordered_json* put(ordered_json&& value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    ordered_json& container = *open_.back().value;
    if (container.is_array()) {
      auto& elements = container.get_ref<ordered_json::array_t&>();
      elements.push_back(std::move(value));
      return &elements.back();
    }
    *member_ = std::move(value);
    return member_;
  }

  bool place(ordered_json&& value) {
    put(std::move(value));
    complete_ = open_.empty();
    return true;
  }

  // An open container's address stays valid: nothing is added to its parent until it is closed.
  bool open(ordered_json&& container) {
    if (open_.size() == access::max_json_depth)
      ::qavrek::details::check_fail(
          "read_json", source_file, __LINE__,
          ::qavrek::details::concat("The JSON file ", path_, " nests deeper than ", access::max_json_depth, " levels"));
    ordered_json* placed = put(std::move(container));
    open_.push_back({placed, {}});
    return true;
  }

  bool close() {
    open_.pop_back();
    complete_ = open_.empty();
    return true;
  }

  ordered_json& root_;
  const std::string& path_;
  std::vector<open_container> open_;
  ordered_json* member_ = nullptr;
  bool complete_ = false;  // the first value has been read whole
};

[[noreturn]] void write_failed(const char* function, const std::string& path, std::string_view reason) {
  ::qavrek::details::check_fail(function, source_file, __LINE__,
                                ::qavrek::details::concat("Writing the file ", path, " failed: ", reason,
                                                          "; the file is left as it was."));
}

// The file that a write replaces: the target, or the one that a symbolic link at the target names (the
// link stays a link).
fs::path write_destination(const std::string& path) {
  std::error_code error;
  const fs::path target(path);
  if (fs::is_symlink(fs::symlink_status(target, error))) {
    fs::path resolved = fs::weakly_canonical(target, error);
    if (!error) return resolved;
  }
  return target;
}

// Opens a new file beside the target, named after it, this process and a counter; -1 with errno set
// when none can be created.
int create_temporary(const fs::path& target, fs::path& temporary) {
  static std::atomic<unsigned long> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += '.';
    name += std::to_string(counter++);
    name += ".tmp";
    temporary = target.parent_path() / name;
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

// The whole of `bytes` to the file, then to the disk; the reason of a failure, or nothing.
std::string write_and_sync(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? std::strerror(errno) : "nothing could be written";
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  if (::fsync(descriptor) != 0) return std::strerror(errno);
  return {};
}

// Writes `bytes` to a new file beside the target and renames it over the target once it is complete
// and on the disk: a reader finds the old file or the new one, never a part of one. On failure the
// target is as it was and the new file is removed. A target that exists but is not a regular file (a
// directory, a device) is not replaced.
void replace_file(const char* function, const std::string& path, std::string_view bytes) {
  const fs::path target = write_destination(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) write_failed(function, path, "it is not a regular file");

  fs::path temporary;
  const int descriptor = create_temporary(target, temporary);
  if (descriptor < 0) write_failed(function, path, std::strerror(errno));
  // The new file takes the old one's permissions; a new one gets those that the umask leaves.
  std::string failure;
  if (exists && ::fchmod(descriptor, existing.st_mode & 07777) != 0) failure = std::strerror(errno);
  if (failure.empty()) failure = write_and_sync(descriptor, bytes);
  if (::close(descriptor) != 0 && failure.empty()) failure = std::strerror(errno);
  if (failure.empty() && ::rename(temporary.c_str(), target.c_str()) != 0) failure = std::strerror(errno);
  if (!failure.empty()) {
    ::unlink(temporary.c_str());
    write_failed(function, path, failure);
  }
}

}  // namespace

void access::write_json(const std::string& path, const ordered_json& value) {
  // The whole text first: a value that cannot be written (text that is not UTF-8) fails before the
  // file is touched.
  std::string text;
  try {
    text = value.dump(1, ' ', false, ordered_json::error_handler_t::strict);
  } catch (const std::exception& error) {
    std::throw_with_nested(Error(SourceLocation{"write_json", source_file, __LINE__},
                                 ::qavrek::details::concat("Writing the file ", path, " failed: ", error.what(),
                                                           "; the file is left as it was.")));
  }
  text += '\n';
  replace_file("write_json", path, text);
}

namespace {

// Refused before it is opened: a pipe would block the opening until a writer came, and a device might never
// end. A directory is left to each reader, which names it as it does.
void refuse_special_file(const char* function, const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!error && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))
    ::qavrek::details::check_fail(function, source_file, __LINE__,
                                  ::qavrek::details::concat("The file ", path, " is not a regular file."));
}

}  // namespace

void access::read_json(const std::string& path, ordered_json& target) {
  refuse_special_file("read_json", path);
  std::ifstream in(path);
  if (in.fail()) {
    const int reason = errno;
    std::error_code error;
    if (!fs::exists(path, error) && !error)
      ::qavrek::details::check_fail("read_json", source_file, __LINE__,
                                    ::qavrek::details::concat("The file ", path, " does not exist."));
    ::qavrek::details::check_fail("read_json", source_file, __LINE__,
                                  ::qavrek::details::concat("The file ", path, " cannot be opened: ",
                                                            reason != 0 ? std::strerror(reason) : "unknown reason",
                                                            "."));
  }
  // Opening a directory succeeds, and reading it would look like an empty file.
  std::error_code error;
  if (fs::is_directory(path, error))
    ::qavrek::details::check_fail("read_json", source_file, __LINE__,
                                  ::qavrek::details::concat("The file ", path, " is a directory."));
  // One value and nothing after it but white space. The parser also ends its input at a NUL byte: the
  // stream then has not reached its end.
  ordered_json value;
  bounded_json_builder builder(value, path);
  ordered_json::sax_parse(in, &builder, ordered_json::input_format_t::json, true);
  if (!in.eof()) {
    in.clear();
    builder.text_after_value(static_cast<std::size_t>(in.tellg()));
  }
  target = std::move(value);
}

void access::write_binary(const std::string& path, const std::vector<unsigned char>& bytes) {
  replace_file("write_binary", path,
               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void access::read_binary(const std::string& path, std::vector<unsigned char>& target) {
  refuse_special_file("read_binary", path);
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  QAVREK_CHECK_AT("read_binary", source_file, 25, !in.fail(), "The file ", path, " does not exist.");
  // A directory opens too, with a size that means nothing.
  std::error_code error;
  if (!fs::is_regular_file(path, error))
    ::qavrek::details::check_fail("read_binary", source_file, __LINE__,
                                  ::qavrek::details::concat("The file ", path, " is not a regular file."));
  const std::streamoff size = in.tellg();
  if (size <= 0) return;
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  if (in.gcount() != size)
    ::qavrek::details::check_fail("read_binary", source_file, __LINE__,
                                  ::qavrek::details::concat("Reading the file ", path, " stopped after ", in.gcount(),
                                                            " of its ", size, " bytes."));
  target = std::move(bytes);
}

}  // namespace serialization
}  // namespace qavrek
