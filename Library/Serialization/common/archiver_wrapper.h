#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "Core/check.h"
#include "Core/logger.h"
#include "Core/multi_process_stream.h"
#include "Serialization/serialization.h"

namespace qavrek::serialization {

namespace details {
inline constexpr const char* archiver_wrapper_file = "Library/Serialization/common/archiver_wrapper";
inline constexpr unsigned no_class_field_line = 115;
inline constexpr unsigned class_not_a_string_line = 127;
}  // namespace details

// The class name of a JSON envelope: the text of its member "Class", or the empty string (with a
// log line) when the value has no such member or the member is not a string.
inline std::string get_class_name(const ordered_json& value) {
  if (value.is_object()) {
    const auto member = value.find("Class");
    if (member != value.end()) {
      if (member->is_string()) return member->get<std::string>();
      const std::string message = "name" + member->dump() + "is not a string!";
      logger::Log(-1, details::archiver_wrapper_file, details::class_not_a_string_line, message.c_str());
      return {};
    }
  }
  logger::Log(-1, details::archiver_wrapper_file, details::no_class_field_line, "json does not have a class name field!");
  return {};
}

// Sets the member "Class"; a null value becomes an object, an existing member keeps its position.
inline void set_class_name(ordered_json& value, const std::string& name) { value["Class"] = name; }

// How the persistence templates talk to one kind of archive: class names, the places where fields
// and container elements go, and the primitive values. Written once for each archive, so that the
// templates themselves are the same for both.
template <class Archive>
struct archiver_wrapper;

// JSON: a field is a member under its key, an element of a container is an array entry.
template <>
struct archiver_wrapper<ordered_json> {
  static json_registry* registry() { return JsonSerializationRegistry(); }

  static void write_class_name(ordered_json& archive, const std::string& name) { set_class_name(archive, name); }
  static std::string read_class_name(const ordered_json& archive) { return get_class_name(archive); }

  static ordered_json& member_for_writing(ordered_json& archive, const char* key) { return archive[key]; }

  // A missing member reads as null: a vector then loads empty, any other value fails with the JSON
  // library's type error. The archive itself is never changed by loading.
  static const ordered_json& member_for_reading(const ordered_json& archive, const char* key) {
    if (!archive.is_object())
      throw ordered_json::type_error::create(
          305, std::string("cannot use operator[] with a string argument with ") + archive.type_name(), &archive);
    const auto member = archive.find(key);
    return member == archive.end() ? null_value() : *member;
  }

  // An empty container leaves the value as it was: null for a new member.
  static void write_count(ordered_json&, std::size_t) {}
  static ordered_json& element_for_writing(ordered_json& archive, std::size_t index) { return archive[index]; }

  // Null has no elements, an array its entries, an object its members, any other value one; only an
  // array lets them be read.
  static std::size_t read_count(const ordered_json& archive) { return archive.size(); }
  static std::size_t capacity_for(const ordered_json&, std::size_t count) { return count; }
  static const ordered_json& element_for_reading(const ordered_json& archive, std::size_t index) {
    if (!archive.is_array())
      throw ordered_json::type_error::create(
          305, std::string("cannot use operator[] with a numeric argument with ") + archive.type_name(), &archive);
    return archive.at(index);
  }

  static void write(ordered_json& archive, bool value) { archive = value; }
  static void write(ordered_json& archive, double value) { archive = value; }
  static void write(ordered_json& archive, std::uint64_t value) { archive = value; }
  static void write(ordered_json& archive, std::int32_t value) { archive = value; }
  static void write(ordered_json& archive, std::int16_t value) { archive = value; }
  static void write(ordered_json& archive, const std::string& value) { archive = value; }

  // Booleans and strings only as themselves; a double from any number.
  static void read(const ordered_json& archive, bool& value) { value = archive.get<bool>(); }
  static void read(const ordered_json& archive, double& value) { value = archive.get<double>(); }
  static void read(const ordered_json& archive, std::string& value) { value = archive.get<std::string>(); }

  // Any number; a negative integer keeps its 64 bits, a floating value loses its fraction.
  static void read(const ordered_json& archive, std::uint64_t& value) {
    check_float_fits<std::uint64_t>(archive, "an unsigned 64-bit integer");
    value = archive.get<std::uint64_t>();
  }
  // Any number or a boolean; an integer keeps its low 32 bits, a floating value loses its fraction.
  static void read(const ordered_json& archive, std::int32_t& value) {
    check_float_fits<std::int32_t>(archive, "a 32-bit integer");
    value = archive.get<std::int32_t>();
  }
  // Read as a 32-bit integer, then its low 16 bits.
  static void read(const ordered_json& archive, std::int16_t& value) {
    std::int32_t wide = 0;
    read(archive, wide);
    value = static_cast<std::int16_t>(wide);
  }

 private:
  static const ordered_json& null_value() {
    static const ordered_json null;
    return null;
  }

  // Converting a floating value whose integral part the integer cannot hold is undefined, so such a
  // value is refused rather than read as garbage.
  template <class Integer>
  static void check_float_fits(const ordered_json& archive, const char* integer_name) {
    if (!archive.is_number_float()) return;
    const double number = archive.get<double>();
    const double below = static_cast<double>(std::numeric_limits<Integer>::min()) - 1.0;
    const double above = static_cast<double>(std::numeric_limits<Integer>::max()) + 1.0;
    if (!(number > below && number < above))
      ::qavrek::details::check_fail(
          "read", details::archiver_wrapper_file, __LINE__,
          ::qavrek::details::concat("The JSON number ", archive.dump(), " does not fit in ", integer_name));
  }
};

// Binary: everything in sequence; a container is its element count as an unsigned 32-bit value,
// then its elements.
template <>
struct archiver_wrapper<multi_process_stream> {
  static binary_registry* registry() { return BinarySerializationRegistry(); }

  static void write_class_name(multi_process_stream& archive, const std::string& name) { archive << name; }
  static std::string read_class_name(multi_process_stream& archive) {
    std::string name;
    archive >> name;
    return name;
  }

  static multi_process_stream& member_for_writing(multi_process_stream& archive, const char*) { return archive; }
  static multi_process_stream& member_for_reading(multi_process_stream& archive, const char*) { return archive; }

  static void write_count(multi_process_stream& archive, std::size_t count) {
    QAVREK_CHECK_AT("write_count", details::archiver_wrapper_file, __LINE__,
                    count <= std::numeric_limits<std::uint32_t>::max(), "a container of ", count,
                    " elements has no binary form: its count is written as an unsigned 32-bit value");
    archive << static_cast<std::uint32_t>(count);
  }
  static multi_process_stream& element_for_writing(multi_process_stream& archive, std::size_t) { return archive; }

  static std::size_t read_count(multi_process_stream& archive) {
    std::uint32_t count = 0;
    archive >> count;
    return count;
  }
  // Every element takes at least one byte, so a damaged count cannot make the loader reserve more
  // than the stream could hold.
  static std::size_t capacity_for(const multi_process_stream& archive, std::size_t count) {
    return std::min(count, archive.remaining());
  }
  static multi_process_stream& element_for_reading(multi_process_stream& archive, std::size_t) { return archive; }

  static void write(multi_process_stream& archive, bool value) { archive << value; }
  static void write(multi_process_stream& archive, double value) { archive << value; }
  static void write(multi_process_stream& archive, std::uint64_t value) { archive << value; }
  static void write(multi_process_stream& archive, std::int32_t value) { archive << value; }
  static void write(multi_process_stream& archive, std::int16_t value) { archive << value; }
  static void write(multi_process_stream& archive, const std::string& value) { archive << value; }

  static void read(multi_process_stream& archive, bool& value) { archive >> value; }
  static void read(multi_process_stream& archive, double& value) { archive >> value; }
  static void read(multi_process_stream& archive, std::uint64_t& value) { archive >> value; }
  static void read(multi_process_stream& archive, std::int32_t& value) { archive >> value; }
  static void read(multi_process_stream& archive, std::int16_t& value) { archive >> value; }
  static void read(multi_process_stream& archive, std::string& value) { archive >> value; }
};

}  // namespace qavrek::serialization
