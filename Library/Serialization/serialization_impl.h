#pragma once

// The persistence templates: how objects and values are saved to and loaded from the two archives,
// the JSON value (ordered_json) and the binary stream (multi_process_stream).
//
// An object is an envelope: its class name first ("Class" in JSON), then its fields in declaration
// order (JSON: under their keys). A null object is the class name "null object!" alone and loads
// back as a default object. Values are encoded as follows, in JSON / binary:
//   double, bool, std::string     number / double, boolean / byte, string / u32 length and bytes
//   size_t                         unsigned number / u64
//   int32_t, int16_t               integer / i32, i16
//   enumerations of any width      integer / i32, narrowed back on load
//   datetime                       its serial number, as a double
//   text values (tenor, key)       their to_string() text, assigned back from the text
//   std::vector<E>                 array, null when empty / u32 count, then the elements
//   shared pointer to a class      the nested envelope of the pointee (null pointer: null envelope)
//   shared pointer to a
//   polymorphic base               the dynamic class's name, then its envelope, through the registries
//   persistent_form<T>             whatever the specialisation writes
// A value loaded wider than its field (a 16-bit integer from JSON, an enumeration) is refused unless it
// fits: nothing is ever wrapped.
//
// Every step catches what escapes it and throws Error in its place, the message prefixed with the
// mangled type name of what it handled, so that a failure deep inside an object reads as the chain
// of enclosing types followed by the innermost text. The original exception stays reachable through
// std::rethrow_if_nested.

#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "Core/check.h"
#include "Core/demangle.h"
#include "Core/error.h"
#include "Core/multi_process_stream.h"
#include "Core/pointers.h"
#include "Serialization/common/archiver_wrapper.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Serialization/common/value_kinds.h"
#include "Serialization/serialization.h"
#include "Util/datetime.h"

namespace qavrek::serialization {

// The class name of a null object, in both archives.
inline constexpr const char* null_object_name = "null object!";

// The name under which a class is saved and registered: its demangled run-time type name.
template <class T>
std::string class_name() {
  return demangle(typeid(T).name());
}

template <class Archive, class T>
void save(Archive& archive, const T& value);
template <class Archive, class T>
void load(Archive& archive, T& target);
template <class Archive, class T>
void save_object(Archive& archive, const T* object);
template <class Archive, class T>
void load_object(Archive& archive, T* object);
template <class Archive, class E, class Allocator>
void save_container(Archive& archive, const std::vector<E, Allocator>& values);
template <class Archive, class E, class Allocator>
void load_container(Archive& archive, std::vector<E, Allocator>& values);
template <class Archive, class T>
void load_shared_object(Archive& archive, std::shared_ptr<T>& target);
template <class Archive, class Base>
void save_polymorphic(Archive& archive, const std::shared_ptr<Base>& object);
template <class Archive, class Base>
void load_polymorphic(Archive& archive, std::shared_ptr<Base>& target);

namespace details {

inline constexpr const char* serialization_impl_file = "Library/Serialization/serialization_impl";

// Where each step reports the failures that escape it.
inline constexpr int save_line = 310;
inline constexpr int load_line = 344;
inline constexpr int save_object_line = 234;
inline constexpr int load_object_line = 268;
inline constexpr int save_container_line = 114;
inline constexpr int load_container_line = 83;
inline constexpr int class_name_check_line = 247;

template <class>
inline constexpr bool always_false = false;

template <class Archive>
using wrapper_of = archiver_wrapper<std::remove_const_t<Archive>>;

// Called from a catch block: throws Error at the step's location, keeping the caught exception nested.
[[noreturn]] inline void rethrow_in_step(const char* step, int line, const std::string& type_name,
                                         const std::exception& caught) {
  std::throw_with_nested(Error(SourceLocation{step, serialization_impl_file, line}, type_name + caught.what()));
}

[[noreturn]] inline void fail(const char* step, int line, const std::string& message) {
  ::qavrek::details::check_fail(step, serialization_impl_file, line, message);
}

template <class Archive, class T>
void save_fields(Archive& archive, const T& object) {
  auto field = [&archive](const char* key, const auto& value) {
    save(wrapper_of<Archive>::member_for_writing(archive, key), value);
  };
  persistence_access::visit_fields(object, field);
}

template <class Archive, class T>
void load_named(Archive& archive, T& target, const char* key);

template <class Archive, class T>
void load_fields(Archive& archive, T& object) {
  auto field = [&archive](const char* key, auto& value) {
    load_named(wrapper_of<Archive>::member_for_reading(archive, key), value, key);
  };
  persistence_access::visit_fields(object, field);
}

// Enumerations travel as 32-bit integers whatever their width in memory.
template <class E>
std::int32_t enumeration_to_int32(E value) {
  using underlying_type = std::underlying_type_t<E>;
  using widest = std::conditional_t<std::is_signed_v<underlying_type>, long long, unsigned long long>;
  const auto underlying = static_cast<widest>(static_cast<underlying_type>(value));
  QAVREK_CHECK_AT("save", serialization_impl_file, __LINE__, std::in_range<std::int32_t>(underlying),
                  "the enumeration value ", underlying, " has no 32-bit form");
  return static_cast<std::int32_t>(underlying);
}

// A whole number that the archive holds wider than its field (a 16-bit integer or a narrow enumeration
// travels as 32 bits): refused, naming the field's key where there is one and the range, unless it fits.
// Nothing is ever wrapped into the field.
template <class Narrow>
Narrow narrowed(std::int32_t value, const char* key, const char* field_kind) {
  if (std::in_range<Narrow>(value)) return static_cast<Narrow>(value);
  using limits = std::numeric_limits<Narrow>;
  const std::string where = key != nullptr ? ::qavrek::details::concat(" of \"", key, "\"") : std::string();
  fail("load", __LINE__,
       ::qavrek::details::concat("The value ", value, where, " is outside [", +limits::min(), ", ", +limits::max(),
                                 "], the range of ", field_kind));
}

template <class E>
constexpr const char* enumeration_kind() {
  return sizeof(E) == 1 ? "an 8-bit enumeration" : sizeof(E) == 2 ? "a 16-bit enumeration" : "an enumeration";
}

template <class Archive, class T>
void save_value(Archive& archive, const T& value) {
  using wrapper = wrapper_of<Archive>;
  if constexpr (has_persistent_form<T>) {
    persistent_form<T>::save(archive, value);
  } else if constexpr (std::is_pointer_v<T>) {
    using object_type = std::remove_cv_t<std::remove_pointer_t<T>>;
    static_assert(persistable_class<object_type>, "a pointer is saved as the envelope of a persistable class");
    save_object(archive, static_cast<const object_type*>(value));
  } else if constexpr (persistable_class<T>) {
    save_object(archive, &value);
  } else if constexpr (std_vector<T>) {
    save_container(archive, value);
  } else if constexpr (std::is_enum_v<T>) {
    wrapper::write(archive, enumeration_to_int32(value));
  } else if constexpr (std::same_as<T, datetime>) {
    wrapper::write(archive, value.serial());
  } else if constexpr (primitive_value<T>) {
    wrapper::write(archive, value);
  } else if constexpr (text_value<T>) {
    wrapper::write(archive, std::string(value.to_string()));
  } else {
    static_assert(always_false<T>, "this type has no persistent form");
  }
}

// `key` names the field in messages; null for a value that is not a field (a container's element).
template <class Archive, class T>
void load_value(Archive& archive, T& target, const char* key) {
  using wrapper = wrapper_of<Archive>;
  if constexpr (has_persistent_form<T>) {
    persistent_form<T>::load(archive, target);
  } else if constexpr (persistable_class<T>) {
    load_object(archive, &target);
  } else if constexpr (std_vector<T>) {
    load_container(archive, target);
  } else if constexpr (std::is_enum_v<T>) {
    std::int32_t value = 0;
    wrapper::read(archive, value);
    target = static_cast<T>(narrowed<std::underlying_type_t<T>>(value, key, enumeration_kind<T>()));
  } else if constexpr (std::same_as<T, std::int16_t> && json_archive<Archive>) {
    // JSON holds it as any integer; the binary form has the field's own width.
    std::int32_t value = 0;
    wrapper::read(archive, value);
    target = narrowed<std::int16_t>(value, key, "a 16-bit integer");
  } else if constexpr (std::same_as<T, datetime>) {
    double serial = 0.0;
    wrapper::read(archive, serial);
    target = datetime(serial);
  } else if constexpr (primitive_value<T>) {
    wrapper::read(archive, target);
  } else if constexpr (text_value<T>) {
    std::string text;
    wrapper::read(archive, text);
    target = text;
  } else {
    static_assert(always_false<T>, "this type has no persistent form");
  }
}

// What the registries hold for a class registered by register_persistable: its handler, callable as
// the registry's handler type, and the typed loading that load_polymorphic uses instead of the
// untyped pointer of the handler.
template <class Archive>
struct registered_handler {
  void (*handle)(Archive& archive, void* object, bool loading);
  // Loads a new object into the std::shared_ptr<const Base> at `target`, where `base` is typeid(Base):
  // refused unless the class is loadable as that Base.
  void (*load_as)(Archive& archive, void* target, const std::type_info& base);
  // The class's whole-file loader for this archive (read_from_json or read_from_binary), its object
  // held as itself: for a caller that knows the class by its name alone. Null for a class without it.
  std::shared_ptr<const void> (*read_file)(const std::string& file_name);

  void operator()(Archive& archive, void* object, bool loading) const { handle(archive, object, loading); }
};

// The handlers of a registered class T, loadable as itself and as each of Bases.
template <class T, class... Bases>
struct registered_handlers {
  // Flag false: `object` is the T to save. Flag true: `object` is the address of the caller's
  // std::shared_ptr<T> (const or not), which receives a new T loaded from the archive. A
  // std::shared_ptr to one of Bases is filled alike when that base starts at the object's address, as
  // the registered bases of the library's classes do (a shared pointer then has one representation
  // whichever of the two types it has).
  template <class Archive>
  static void handle(Archive& archive, void* object, bool loading) {
    if (!loading) {
      save(archive, *static_cast<const T*>(object));
      return;
    }
    std::shared_ptr<const T> loaded;
    load_shared_object(archive, loaded);
    *static_cast<std::shared_ptr<const T>*>(object) = std::move(loaded);
  }

  template <class Archive>
  static void load_as(Archive& archive, void* target, const std::type_info& base) {
    if (base != typeid(T) && ((base != typeid(Bases)) && ...))
      fail("load_polymorphic", __LINE__,
           "The class " + class_name<T>() + " cannot be loaded as a " + demangle(base.name()));
    std::shared_ptr<const T> loaded;
    load_shared_object(archive, loaded);
    (store_as<T>(target, base, loaded) || ... || store_as<Bases>(target, base, loaded));
  }

  template <class Archive>
  static constexpr auto file_reader() -> std::shared_ptr<const void> (*)(const std::string&) {
    if constexpr (std::is_base_of_v<persistable<T>, T>)
      return [](const std::string& file_name) -> std::shared_ptr<const void> {
        if constexpr (json_archive<Archive>)
          return T::read_from_json(file_name);
        else
          return T::read_from_binary(file_name);
      };
    else
      return nullptr;
  }

 private:
  template <class Base>
  static bool store_as(void* target, const std::type_info& base, const std::shared_ptr<const T>& loaded) {
    if (base != typeid(Base)) return false;
    *static_cast<std::shared_ptr<const Base>*>(target) = loaded;
    return true;
  }
};

}  // namespace details

// One value, or one object by reference (its dynamic type names it in errors), or a pointer to a
// persistable object (null: the null envelope). A shared pointer is saved as its pointee: the
// envelope of a concrete class, or a polymorphic object through the registries.
template <class Archive, class T>
void save(Archive& archive, const T& value) {
  static_assert(output_archive<Archive>, "values are saved into an ordered_json or a multi_process_stream");
  if constexpr (shared_pointer<T>) {
    using object_type = std::remove_const_t<typename T::element_type>;
    if constexpr (registry_persisted<object_type>)
      save_polymorphic(archive, value);
    else
      save(archive, static_cast<const object_type*>(value.get()));
  } else {
    try {
      details::save_value(archive, value);
    } catch (const std::exception& caught) {
      details::rethrow_in_step("save", details::save_line, typeid(value).name(), caught);
    }
  }
}

// One value, or the fields of one default-constructed object. A shared pointer receives a new
// object: a concrete class through load_shared_object, a polymorphic one through the registries.
template <class Archive, class T>
void load(Archive& archive, T& target) {
  details::load_named(archive, target, nullptr);
}

namespace details {

// load, for the field under `key` (null: a value that is no field).
template <class Archive, class T>
void load_named(Archive& archive, T& target, const char* key) {
  static_assert(input_archive<Archive>, "values are loaded from an ordered_json or a multi_process_stream");
  if constexpr (shared_pointer<T>) {
    using object_type = std::remove_const_t<typename T::element_type>;
    if constexpr (registry_persisted<object_type>)
      load_polymorphic(archive, target);
    else
      load_shared_object(archive, target);
  } else {
    try {
      load_value(archive, target, key);
    } catch (const std::exception& caught) {
      rethrow_in_step("load", load_line, typeid(target).name(), caught);
    }
  }
}

}  // namespace details

// The envelope of an object, or the null envelope: for a null pointer, and for an object that was
// loaded from one without its initialize(). The object passes its class's checks first.
template <class Archive, class T>
void save_object(Archive& archive, const T* object) {
  using wrapper = details::wrapper_of<Archive>;
  try {
    if (object == nullptr || persistence_access::holds_null_envelope(*object)) {
      wrapper::write_class_name(archive, null_object_name);
      return;
    }
    persistence_access::validate(*object);
    wrapper::write_class_name(archive, demangle(typeid(*object).name()));
    details::save_fields(archive, *object);
  } catch (const std::exception& caught) {
    details::rethrow_in_step("save_object", details::save_object_line,
                             object != nullptr ? typeid(*object).name() : typeid(T).name(), caught);
  }
}

// Reads an envelope into a default-constructed object, then runs its initialize(). The class name
// is only checked to be present: any name but the null one loads the target's fields. A null
// envelope leaves the object as its default constructor made it (and marked so), unless its class
// refuses that.
template <class Archive, class T>
void load_object(Archive& archive, T* object) {
  using wrapper = details::wrapper_of<Archive>;
  try {
    const std::string name = wrapper::read_class_name(archive);
    if (name.empty()) details::fail("load_object", details::class_name_check_line, "Non valid class name");
    if (name == null_object_name) {
      if constexpr (persistence_access::rejects_null_envelope<T>())
        details::fail("load_object", __LINE__,
                      "A null object cannot stand for a " + class_name<T>() + ": its default state is not usable");
      persistence_access::mark_null_envelope(*object);
      return;
    }
    details::load_fields(archive, *object);
    persistence_access::initialize(*object);
  } catch (const std::exception& caught) {
    details::rethrow_in_step("load_object", details::load_object_line, typeid(*object).name(), caught);
  }
}

template <class Archive, class E, class Allocator>
void save_container(Archive& archive, const std::vector<E, Allocator>& values) {
  using wrapper = details::wrapper_of<Archive>;
  try {
    wrapper::write_count(archive, values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const E& element = values[i];
      save(wrapper::element_for_writing(archive, i), element);
    }
  } catch (const std::exception& caught) {
    details::rethrow_in_step("save_container", details::save_container_line, "", caught);
  }
}

template <class Archive, class E, class Allocator>
void load_container(Archive& archive, std::vector<E, Allocator>& values) {
  using wrapper = details::wrapper_of<Archive>;
  try {
    const std::size_t count = wrapper::read_count(archive);
    values.reserve(wrapper::capacity_for(archive, count));
    values.clear();
    for (std::size_t i = 0; i < count; ++i) {
      E element = persistence_access::default_value<E>();
      load(wrapper::element_for_reading(archive, i), element);
      values.push_back(std::move(element));
    }
  } catch (const std::exception& caught) {
    details::rethrow_in_step("load_container", details::load_container_line, "", caught);
  }
}

// A new object from the class's private default constructor, loaded from the envelope; the target
// then owns it. A null envelope therefore gives a default object, never a null pointer.
template <class Archive, class T>
void load_shared_object(Archive& archive, std::shared_ptr<T>& target) {
  using object_type = std::remove_const_t<T>;
  static_assert(persistable_class<object_type>, "only a persistable class is loaded into a shared pointer");
  std::shared_ptr<object_type> loaded = persistence_access::make_default<object_type>();
  load(archive, *loaded);
  target = std::move(loaded);
}

// The name of the object's dynamic class, then what that class's registered handler writes: its
// envelope, which repeats the name. A null object or a class that is not registered is an error,
// since neither could be loaded back.
template <class Archive, class Base>
void save_polymorphic(Archive& archive, const std::shared_ptr<Base>& object) {
  static_assert(std::is_polymorphic_v<Base>, "only a polymorphic class is saved through the registries");
  using wrapper = details::wrapper_of<Archive>;
  if (object == nullptr)
    details::fail("save_polymorphic", __LINE__,
                  "A null " + class_name<std::remove_const_t<Base>>() +
                      " cannot be saved: a polymorphic object is saved under the name of its class");
  const std::string name = demangle(typeid(*object).name());
  const auto* handler = wrapper::registry()->find(name);
  if (handler == nullptr)
    details::fail("save_polymorphic", __LINE__, "The class " + name + " is not registered for persistence");
  wrapper::write_class_name(archive, name);
  // The handler of the dynamic class expects the address of the whole object.
  (*handler)(archive, const_cast<void*>(dynamic_cast<const void*>(object.get())), false);
}

// Reads the class name and lets that class's registered handler create and load the object.
template <class Archive, class Base>
void load_polymorphic(Archive& archive, std::shared_ptr<Base>& target) {
  using base_type = std::remove_const_t<Base>;
  using wrapper = details::wrapper_of<Archive>;
  const std::string name = wrapper::read_class_name(archive);
  if (name.empty()) details::fail("load_polymorphic", __LINE__, "Non valid class name");
  if (name == null_object_name)
    details::fail("load_polymorphic", __LINE__, "A null object cannot stand for a " + class_name<base_type>());
  const auto* handler = wrapper::registry()->find(name);
  if (handler == nullptr)
    details::fail("load_polymorphic", __LINE__, "The class " + name + " is not registered for persistence");
  std::shared_ptr<const base_type> loaded;
  // The registry's handlers take a mutable archive; loading only reads it.
  auto& source = const_cast<std::remove_const_t<Archive>&>(archive);
  // A class registered by register_persistable loads through its typed route, so that a file naming a
  // class of another hierarchy cannot put it into the pointer; a handler entered otherwise keeps to
  // the registry's contract on its own.
  using entry = details::registered_handler<std::remove_const_t<Archive>>;
  if (const auto* registered = handler->template target<entry>(); registered != nullptr)
    registered->load_as(source, &loaded, typeid(base_type));
  else
    (*handler)(source, &loaded, true);
  target = std::const_pointer_cast<Base>(loaded);
}

// What register_persistable entered under `name` in the archive's registry, or null: for an unknown
// name, and for a handler entered otherwise.
template <class Archive>
const details::registered_handler<Archive>* registered_entry(const std::string& name) {
  const auto* handler = details::wrapper_of<Archive>::registry()->find(name);
  return handler == nullptr ? nullptr : handler->template target<details::registered_handler<Archive>>();
}

// Enters T's JSON and binary handlers in the registries under its class name, so that a shared
// pointer to T, or to any of Bases, can be saved and loaded through the registries. Meant for a
// static initialiser in the class's source file (see QAVREK_REGISTER_PERSISTABLE). A handler saves
// the T at the pointer it is given (flag false) or loads a new T into the shared pointer whose address
// it is given (flag true): a std::shared_ptr of T, const or not, or of one of Bases that starts at the
// object's address.
template <class T, class... Bases>
bool register_persistable() {
  static_assert(persistable_class<T> && !std::is_abstract_v<T>, "a registered class lists its persisted fields");
  static_assert((std::is_base_of_v<Bases, T> && ...), "a class is loaded only through its own bases");
  static_assert((std::is_polymorphic_v<Bases> && ...), "the bases of a registered class are polymorphic");
  using handlers = details::registered_handlers<T, Bases...>;
  const std::string name = class_name<T>();
  JsonSerializationRegistry()->add(
      name, json_handler(details::registered_handler<ordered_json>{&handlers::template handle<ordered_json>,
                                                                     &handlers::template load_as<ordered_json>,
                                                                     handlers::template file_reader<ordered_json>()}));
  BinarySerializationRegistry()->add(
      name, binary_handler(details::registered_handler<multi_process_stream>{
                &handlers::template handle<multi_process_stream>, &handlers::template load_as<multi_process_stream>,
                handlers::template file_reader<multi_process_stream>()}));
  return true;
}

template <class T>
void persistable<T>::write_to_json(const std::string& file_name, const ptr_const<T>& rhs) {
  ordered_json value;
  save(value["root"], rhs);
  access::write_json(file_name, value);
}

template <class T>
ptr_const<T> persistable<T>::read_from_json(const std::string& file_name) {
  ordered_json value;
  access::read_json(file_name, value);
  // A top-level value that is not an object fails as the JSON library's member access would (305).
  const ordered_json& root = archiver_wrapper<ordered_json>::member_for_reading(value, "root");
  if (!value.contains("root"))
    details::fail("read_from_json", __LINE__, "The JSON file " + file_name + " has no \"root\" member");
  ptr_const<T> loaded;
  load_shared_object(root, loaded);
  return loaded;
}

template <class T>
void persistable<T>::write_to_binary(const std::string& file_name, const ptr_const<T>& rhs) {
  multi_process_stream archive;
  save(archive, rhs);
  access::write_binary(file_name, archive.GetRawData());
}

template <class T>
ptr_const<T> persistable<T>::read_from_binary(const std::string& file_name) {
  std::vector<unsigned char> bytes;
  access::read_binary(file_name, bytes);
  multi_process_stream archive;
  archive.SetRawData(bytes);
  ptr_const<T> loaded;
  load_shared_object(archive, loaded);
  return loaded;
}

template <class T>
std::string persistable<T>::json_to_string(const ptr_const<T>& rhs) {
  ordered_json value;
  save(value, rhs);
  return value.dump(2, ' ', false, ordered_json::error_handler_t::strict);
}

}  // namespace qavrek::serialization

#define QAVREK_SERIALIZATION_CONCAT_(a, b) a##b
#define QAVREK_SERIALIZATION_CONCAT(a, b) QAVREK_SERIALIZATION_CONCAT_(a, b)

// QAVREK_REGISTER_PERSISTABLE(T, Bases...): registers T's handlers while the library loads. Write it
// once, at namespace scope in T's source file.
#define QAVREK_REGISTER_PERSISTABLE(...)                                                     \
  [[maybe_unused]] static const bool QAVREK_SERIALIZATION_CONCAT(qavrek_registered_, __COUNTER__) = \
      ::qavrek::serialization::register_persistable<__VA_ARGS__>()
