#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Core/check.h"
#include "Core/logger.h"
#include "Core/multi_process_stream.h"
#include "Serialization/serialization.h"

namespace qavrek::serialization {

namespace details {
inline constexpr const char* archiver_wrapper_file = "Library/Serialization/common/archiver_wrapper";
inline constexpr unsigned no_class_field_line = 115;
inline constexpr unsigned class_not_a_string_line = 127;

// How much of a bad value a message quotes.
inline constexpr std::size_t excerpt_length = 64;
}  // namespace details

// The compact text of a JSON value, cut after `length` characters ("..." marks the cut). It walks the
// value with a stack of its own, so that no depth of nesting can exhaust the call stack, and stops as
// soon as it has enough: a message never holds more of a bad value than this.
inline std::string json_excerpt(const ordered_json& value, std::size_t length = details::excerpt_length) {
  // Text with invalid UTF-8 is still quoted, its bad bytes replaced.
  const auto scalar_text = [](const ordered_json& scalar) {
    return scalar.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
  };
  struct frame {
    const ordered_json* container;
    std::size_t next;
  };
  std::string text;
  std::vector<frame> open;
  const ordered_json* current = &value;
  while (text.size() <= length) {
    if (current != nullptr) {
      if (current->is_object() || current->is_array()) {
        text += current->is_object() ? '{' : '[';
        open.push_back({current, 0});
      } else {
        text += scalar_text(*current);
      }
      current = nullptr;
      continue;
    }
    if (open.empty()) break;
    frame& top = open.back();
    if (top.next == top.container->size()) {
      text += top.container->is_object() ? '}' : ']';
      open.pop_back();
      continue;
    }
    if (top.next > 0) text += ',';
    if (top.container->is_object()) {
      const auto& members = top.container->get_ref<const ordered_json::object_t&>();
      const auto& [key, element] = *(members.begin() + static_cast<std::ptrdiff_t>(top.next));
      text += scalar_text(ordered_json(key)) + ':';
      current = &element;
    } else {
      current = &(*top.container)[top.next];
    }
    ++top.next;
  }
  if (text.size() > length) text = text.substr(0, length) + "...";
  return text;
}

// The class name of a JSON envelope: the text of its member "Class", or the empty string (with a
// log line) when the value has no such member or the member is not a string.
inline std::string get_class_name(const ordered_json& value) {
  if (value.is_object()) {
    const auto member = value.find("Class");
    if (member != value.end()) {
      if (member->is_string()) return member->get<std::string>();
      const std::string message = "name" + json_excerpt(*member) + "is not a string!";
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

// Doubles that are not finite have no JSON number. NaN (which is also the "no date" value) is written as
// null, the infinities as the strings "Infinity" and "-Infinity": the spellings of JavaScript and Python,
// so that any JSON reader parses the file, and Python's float() of the string is the value again.
inline constexpr const char* json_positive_infinity = "Infinity";
inline constexpr const char* json_negative_infinity = "-Infinity";
inline constexpr const char* json_not_a_number = "NaN";

inline ordered_json json_from_double(double value) {
  if (std::isnan(value)) return nullptr;
  if (std::isinf(value)) return value > 0.0 ? json_positive_infinity : json_negative_infinity;
  return value;
}

// Any number; null, "NaN", "Infinity" or "-Infinity" for the values that are not finite. Anything else
// fails with the JSON library's type error.
inline double double_from_json(const ordered_json& value) {
  if (value.is_null()) return std::numeric_limits<double>::quiet_NaN();
  if (value.is_string()) {
    const auto& text = value.get_ref<const std::string&>();
    if (text == json_positive_infinity) return std::numeric_limits<double>::infinity();
    if (text == json_negative_infinity) return -std::numeric_limits<double>::infinity();
    if (text == json_not_a_number) return std::numeric_limits<double>::quiet_NaN();
  }
  return value.get<double>();
}

// JSON: a field is a member under its key, an element of a container is an array entry.
template <>
struct archiver_wrapper<ordered_json> {
  static json_registry* registry() { return JsonSerializationRegistry(); }

  static void write_class_name(ordered_json& archive, const std::string& name) { set_class_name(archive, name); }
  static std::string read_class_name(const ordered_json& archive) { return get_class_name(archive); }

  static ordered_json& member_for_writing(ordered_json& archive, const char* key) { return archive[key]; }

  // A missing member reads as null: a vector then loads empty, any other value fails with the JSON
  // library's type error (a double too: only a stored null is a NaN). The archive itself is never
  // changed by loading.
  static const ordered_json& member_for_reading(const ordered_json& archive, const char* key) {
    if (!archive.is_object())
      throw ordered_json::type_error::create(
          305, std::string("cannot use operator[] with a string argument with ") + archive.type_name(), &archive);
    const auto member = archive.find(key);
    return member == archive.end() ? missing_member() : *member;
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
  static void write(ordered_json& archive, double value) { archive = json_from_double(value); }
  static void write(ordered_json& archive, std::uint64_t value) { archive = value; }
  static void write(ordered_json& archive, std::int32_t value) { archive = value; }
  static void write(ordered_json& archive, std::int16_t value) { archive = value; }
  static void write(ordered_json& archive, const std::string& value) { archive = value; }

  // Booleans and strings only as themselves.
  static void read(const ordered_json& archive, bool& value) { value = archive.get<bool>(); }
  static void read(const ordered_json& archive, std::string& value) { value = archive.get<std::string>(); }
  static void read(const ordered_json& archive, double& value) {
    value = &archive == &missing_member() ? archive.get<double>() : double_from_json(archive);
  }

  // A whole number that the field holds: a negative number into an unsigned field, a fraction or an
  // overflow is refused, never wrapped or cut.
  static void read(const ordered_json& archive, std::uint64_t& value) {
    value = whole_number<std::uint64_t>(archive, "an unsigned 64-bit integer");
  }
  // The same, and a boolean as 0 or 1.
  static void read(const ordered_json& archive, std::int32_t& value) {
    value = archive.is_boolean() ? static_cast<std::int32_t>(archive.get<bool>())
                                 : whole_number<std::int32_t>(archive, "a 32-bit integer");
  }
  // The same for 16 bits. (The templates read a 16-bit field as a 32-bit integer and narrow it themselves,
  // so that their message names the field.)
  static void read(const ordered_json& archive, std::int16_t& value) {
    value = archive.is_boolean() ? static_cast<std::int16_t>(archive.get<bool>())
                                 : whole_number<std::int16_t>(archive, "a 16-bit integer");
  }

 private:
  static const ordered_json& missing_member() {
    static const ordered_json missing;
    return missing;
  }

  template <class Integer>
  static Integer whole_number(const ordered_json& archive, const char* integer_name) {
    bool fits = false;
    Integer result{};
    switch (archive.type()) {
      case ordered_json::value_t::number_unsigned: {
        const auto number = archive.get<std::uint64_t>();
        fits = std::in_range<Integer>(number);
        result = static_cast<Integer>(number);
        break;
      }
      case ordered_json::value_t::number_integer: {
        const auto number = archive.get<std::int64_t>();
        fits = std::in_range<Integer>(number);
        result = static_cast<Integer>(number);
        break;
      }
      case ordered_json::value_t::number_float: {
        // Both bounds are exact doubles; converting a value outside them would be undefined.
        const double number = archive.get<double>();
        const double below = static_cast<double>(std::numeric_limits<Integer>::min()) - 1.0;
        const double above = static_cast<double>(std::numeric_limits<Integer>::max()) + 1.0;
        fits = number > below && number < above && number == std::trunc(number);
        if (fits) result = static_cast<Integer>(number);
        break;
      }
      default:
        return archive.get<Integer>();  // the JSON library's type error
    }
    if (!fits)
      ::qavrek::details::check_fail(
          "read", details::archiver_wrapper_file, __LINE__,
          ::qavrek::details::concat("The JSON number ", json_excerpt(archive), " does not fit in ", integer_name));
    return result;
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
