// Fuzz harnesses of the loaders. QAVREK_FUZZ_TARGET picks one:
//
//   json:<class>, binary:<class>   a file of that class, for every class that the registries hold and
//                                  for the persistable classes that they do not
//   json:matrix, binary:matrix     the matrix form alone
//   stream                         the binary archive: a list of reads, then the bytes they read
//   list                           prints the targets and stops
//
// An input loads or fails with an Error; only the JSON reader's own parse and type errors reach the
// caller unwrapped, as the file functions document. What loads must save without an error, and what it
// saves must load back and, once settled, save to the same form: a loader that lets through an object its
// class would not write, or loads a part of one, breaks the cycle. Anything else escaping, and any report
// of the sanitizers, is a finding.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/demangle.h"
#include "Core/error.h"
#include "Core/logger.h"
#include "Core/multi_process_stream.h"
#include "Random/random_settings.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization.h"
#include "Serialization/serialization_impl.h"
#include "Vectorization/matrix.h"

namespace qavrek::fuzz {
namespace {

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "FINDING: %s\n", what.c_str());
  std::abort();
}

// The input as a file: an anonymous file in memory, reached by a path, so that the loaders read it
// exactly as they read any other file.
class memory_file {
 public:
  memory_file() : descriptor_(::memfd_create("qavrek-fuzz", 0)) {
    if (descriptor_ < 0) finding("no memory file");
    path_ = "/proc/self/fd/" + std::to_string(descriptor_);
  }

  const std::string& put(const void* bytes, size_t size) {
    if (::ftruncate(descriptor_, 0) != 0 ||
        (size > 0 && ::pwrite(descriptor_, bytes, size, 0) != static_cast<ssize_t>(size)))
      finding("the memory file cannot be written");
    return path_;
  }
  const std::string& put(const std::string& text) { return put(text.data(), text.size()); }

 private:
  int descriptor_;
  std::string path_;
};

memory_file& input_file() {
  static memory_file file;
  return file;
}

// The innermost of the exceptions that a failure nests.
const std::exception& innermost(const std::exception& error) {
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& inner) {
    return innermost(inner);
  }
  return error;
}

// Runs a load that may fail: a failure must be an Error (or the JSON reader's own error), and not hide
// an attempt to allocate what the input cannot fill.
template <class Load>
bool loads(Load&& load) {
  try {
    load();
    return true;
  } catch (const Error& error) {
    const std::exception& inner = innermost(error);
    if (dynamic_cast<const std::bad_alloc*>(&inner) != nullptr || dynamic_cast<const std::length_error*>(&inner) != nullptr)
      finding(std::string("an allocation failed while loading: ") + error.what());
    return false;
  } catch (const ordered_json::exception&) {
    return false;
  } catch (const std::exception& error) {
    finding(std::string("a load failed with ") + demangle(typeid(error).name()) + ": " + error.what());
  }
}

// A persistable class seen through its whole-file loader and what saving an object writes to a file.
struct whole_object {
  std::function<std::shared_ptr<const void>(const std::string& path)> read;
  std::function<std::string(const void* object)> file_text;
};

// Where two texts part, with a little of each around that place, bytes that are not printable escaped.
std::string difference(const std::string& a, const std::string& b) {
  const size_t at = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
  const auto excerpt = [at](const std::string& text) {
    std::string shown;
    for (size_t i = at < 40 ? 0 : at - 40; i < std::min(text.size(), at + 40); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += c >= 32 && c < 127 ? std::string(1, static_cast<char>(c)) : std::string(escaped);
    }
    return shown;
  };
  return "at byte " + std::to_string(at) + ": [" + excerpt(a) + "] then [" + excerpt(b) + "]";
}

// A loaded object must save without an error, and what it saves must load back.
std::string resaved(const whole_object& kind, const std::shared_ptr<const void>& object) {
  try {
    return kind.file_text(object.get());
  } catch (const std::exception& error) {
    finding(std::string("a loaded object cannot be saved: ") + error.what());
  }
}

std::shared_ptr<const void> reloaded(const whole_object& kind, const std::string& text) {
  try {
    return kind.read(input_file().put(text));
  } catch (const std::exception& error) {
    finding(std::string("a saved object does not load back: ") + error.what());
  }
}

// The first save may settle what loading filled in (a null calendar comes back as a default one); from
// then on an object and its copy through a file save alike.
void check_whole_object(const whole_object& kind, const uint8_t* data, size_t size) {
  std::shared_ptr<const void> loaded;
  if (!loads([&] { loaded = kind.read(input_file().put(data, size)); })) return;
  if (loaded == nullptr) finding("a loader returned a null object");
  const std::string settled = resaved(kind, reloaded(kind, resaved(kind, loaded)));
  const std::string again = resaved(kind, reloaded(kind, settled));
  if (again != settled) finding("a loaded object saves to another form than its copy: " + difference(settled, again));
}

// The content of the file that saving an object writes: JSON under "root", binary bytes alone.
template <class Archive, class Save>
std::string file_text(Save&& save) {
  Archive archive;
  if constexpr (serialization::json_archive<Archive>) {
    save(archive["root"]);
    return archive.dump(1) + "\n";
  } else {
    save(archive);
    const std::vector<unsigned char> bytes = archive.GetRawData();
    return std::string(bytes.begin(), bytes.end());
  }
}

// A class that the registries hold, known by its name alone.
template <class Archive>
whole_object registered(const std::string& name) {
  const auto* entry = serialization::registered_entry<Archive>(name);
  if (entry == nullptr || entry->read_file == nullptr) return {};
  return {entry->read_file, [entry](const void* object) {
            return file_text<Archive>([&](Archive& into) { entry->handle(into, const_cast<void*>(object), false); });
          }};
}

// A persistable class that is saved only through its own functions.
template <class T, class Archive>
whole_object unregistered() {
  return {[](const std::string& path) -> std::shared_ptr<const void> {
            if constexpr (serialization::json_archive<Archive>)
              return T::read_from_json(path);
            else
              return T::read_from_binary(path);
          },
          [](const void* object) {
            return file_text<Archive>([&](Archive& into) { serialization::save(into, *static_cast<const T*>(object)); });
          }};
}

bool same_matrix(const matrix<double>& a, const matrix<double>& b) {
  return a.rows() == b.rows() && a.columns() == b.columns() &&
         (a.rows() * a.columns() == 0 || std::memcmp(a.data(), b.data(), sizeof(double) * a.rows() * a.columns()) == 0);
}

void check_json_matrix(const uint8_t* data, size_t size) {
  matrix<double> loaded;
  if (!loads([&] {
        ordered_json value;
        serialization::access::read_json(input_file().put(data, size), value);
        matrix_from_json(value, loaded);
      }))
    return;
  ordered_json saved;
  matrix_to_json(saved, loaded);
  matrix<double> reloaded;
  matrix_from_json(saved, reloaded);
  if (!same_matrix(loaded, reloaded)) finding("a loaded matrix saves to another matrix");
}

// The binary form is canonical: what a loaded matrix writes is exactly the bytes it was read from.
void check_binary_matrix(const uint8_t* data, size_t size) {
  multi_process_stream archive;
  archive.SetRawData(std::vector<unsigned char>(data, data + size));
  matrix<double> loaded;
  if (!loads([&] { matrix_from_binary(archive, loaded); })) return;
  multi_process_stream saved;
  matrix_to_binary(saved, loaded);
  const std::vector<unsigned char> written = saved.GetRawData();
  if (written.size() != size - archive.remaining() || !std::equal(written.begin(), written.end(), data))
    finding("a loaded matrix writes other bytes than it was read from");
}

// The first byte counts the reads, the next bytes choose them (the value kind, and for a block its
// length); the rest is the stream. Every value read, written again, gives back the bytes it took.
void check_stream(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const size_t reads = std::min<size_t>(data[0], size - 1);
  const uint8_t* kinds = data + 1;
  const size_t offset = 1 + reads;
  multi_process_stream archive;
  archive.SetRawData(std::vector<unsigned char>(data + offset, data + size));
  multi_process_stream rewritten;
  for (size_t i = 0; i < reads; ++i) {
    const bool read = loads([&] {
      switch (kinds[i] % 8) {
        case 0: { bool v; archive >> v; rewritten << v; break; }
        case 1: { int16_t v; archive >> v; rewritten << v; break; }
        case 2: { int32_t v; archive >> v; rewritten << v; break; }
        case 3: { uint32_t v; archive >> v; rewritten << v; break; }
        case 4: { uint64_t v; archive >> v; rewritten << v; break; }
        case 5: { double v; archive >> v; rewritten << v; break; }
        case 6: { std::string v; archive >> v; rewritten << v; break; }
        default: {
          double block[32];
          double* into = block;
          unsigned length = kinds[i] / 8;
          archive.Pop(into, length);
          rewritten.Push(block, length);
        }
      }
    });
    if (!read) break;
  }
  const std::vector<unsigned char> written = rewritten.GetRawData();
  if (written.size() != size - offset - archive.remaining() ||
      !std::equal(written.begin(), written.end(), data + offset))
    finding("the values read write other bytes than they were read from");
}

using harness = std::function<void(const uint8_t*, size_t)>;

std::map<std::string, harness> targets() {
  std::map<std::string, harness> all;
  const auto add_whole_object = [&all](const std::string& name, const whole_object& kind) {
    if (kind.read) all[name] = [kind](const uint8_t* data, size_t size) { check_whole_object(kind, data, size); };
  };
  for (const std::string& name : JsonSerializationRegistry()->keys())
    add_whole_object("json:" + name, registered<ordered_json>(name));
  for (const std::string& name : BinarySerializationRegistry()->keys())
    add_whole_object("binary:" + name, registered<multi_process_stream>(name));

  // The persistable classes that are saved only through their own functions.
  const auto add_unregistered = [&]<class T>(std::type_identity<T>) {
    add_whole_object("json:" + serialization::class_name<T>(), unregistered<T, ordered_json>());
    add_whole_object("binary:" + serialization::class_name<T>(), unregistered<T, multi_process_stream>());
  };
  add_unregistered(std::type_identity<random_settings>{});
  add_unregistered(std::type_identity<parameter_markovian_hjm>{});
  add_unregistered(std::type_identity<parameter_black_karasinski>{});
  add_unregistered(std::type_identity<parameter_cheyette>{});
  add_unregistered(std::type_identity<parameter_extended_cir>{});
  add_unregistered(std::type_identity<parameter_lognormal>{});

  all["json:matrix"] = check_json_matrix;
  all["binary:matrix"] = check_binary_matrix;
  all["stream"] = check_stream;
  return all;
}

harness chosen;

}  // namespace
}  // namespace qavrek::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace qavrek::fuzz;
  const char* name = std::getenv("QAVREK_FUZZ_TARGET");
  const auto all = targets();
  if (name != nullptr && std::strcmp(name, "list") == 0) {
    for (const auto& [target, run] : all) std::printf("%s\n", target.c_str());
    std::exit(0);
  }
  const auto found = name == nullptr ? all.end() : all.find(name);
  if (found == all.end()) {
    std::fprintf(stderr, "QAVREK_FUZZ_TARGET names no target (QAVREK_FUZZ_TARGET=list prints them)\n");
    std::exit(2);
  }
  chosen = found->second;
  // Every load that fails logs why; a fuzzing run makes millions of them.
  qavrek::logger::SetCurrentVerbosityCutoff(-2);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qavrek::fuzz::chosen(data, size);
  return 0;
}
