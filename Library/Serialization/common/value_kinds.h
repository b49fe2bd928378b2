#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "Core/multi_process_stream.h"
#include "Serialization/common/persistence_access.h"
#include "Serialization/serialization.h"
#include "Util/datetime.h"

namespace qavrek::serialization {

// A value with a persistent form of its own (a matrix, a day-count convention) specialises this with
//   static void save(ordered_json&, const T&);          static void load(const ordered_json&, T&);
//   static void save(multi_process_stream&, const T&);  static void load(multi_process_stream&, T&);
// and the templates then use it wherever a T is saved or loaded, in either archive.
template <class T>
struct persistent_form {};

template <class T>
concept has_persistent_form = requires(ordered_json& json_out, const ordered_json& json_in, multi_process_stream& binary,
                                       const T& value, T& target) {
  persistent_form<T>::save(json_out, value);
  persistent_form<T>::load(json_in, target);
  persistent_form<T>::save(binary, value);
  persistent_form<T>::load(binary, target);
};

template <class Archive>
concept json_archive = std::same_as<std::remove_const_t<Archive>, ordered_json>;

template <class Archive>
concept binary_archive = std::same_as<Archive, multi_process_stream>;

// An archive that can be written; reading also takes a const JSON value.
template <class Archive>
concept output_archive = std::same_as<Archive, ordered_json> || binary_archive<Archive>;

template <class Archive>
concept input_archive = json_archive<Archive> || binary_archive<Archive>;

// A class that lists its persisted fields and is saved inside an envelope.
template <class T>
concept persistable_class = std::is_class_v<T> && persistence_access::declares_fields<T>;

// A polymorphic class whose objects are saved under the name of their dynamic class and found again
// through the registries: an abstract base, or any polymorphic class without fields of its own.
template <class T>
concept registry_persisted = std::is_polymorphic_v<T> && (std::is_abstract_v<T> || !persistable_class<T>);

// The values that both archives hold as they are.
template <class T>
concept primitive_value = std::same_as<T, bool> || std::same_as<T, double> || std::same_as<T, std::uint64_t> ||
                          std::same_as<T, std::int32_t> || std::same_as<T, std::int16_t> ||
                          std::same_as<T, std::string>;

// A value persisted as its text (a tenor, a key): it gives to_string() and is assigned from text.
template <class T>
concept text_value = std::is_class_v<T> && !primitive_value<T> && !std::same_as<T, datetime> &&
                     !persistable_class<T> && requires(const T& value, T& target, const std::string& text) {
                       { value.to_string() } -> std::convertible_to<std::string>;
                       target = text;
                     };

template <class T>
struct is_std_vector : std::false_type {};
template <class E, class A>
struct is_std_vector<std::vector<E, A>> : std::true_type {};
template <class T>
concept std_vector = is_std_vector<T>::value;

template <class T>
struct is_shared_pointer : std::false_type {};
template <class T>
struct is_shared_pointer<std::shared_ptr<T>> : std::true_type {};
template <class T>
concept shared_pointer = is_shared_pointer<T>::value;

}  // namespace qavrek::serialization
