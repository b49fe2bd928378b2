#pragma once

#include <memory>
#include <type_traits>

namespace qavrek::serialization {

template <class T>
class persistable;

// The mark of an object that a null envelope gave, for a class persisted only inside others (it has no
// persistable<T> base to keep it): derived from privately, it makes such an object save as the null
// envelope again instead of fields that its own checks would refuse on loading.
class null_envelope_mark {
  friend struct persistence_access;
  bool loaded_from_null_envelope_ = false;
};

// The one door through which the persistence templates reach a class's private parts. A persistable
// class befriends this struct and declares, once, its persisted fields in declaration order:
//
//   class curve_settings {
//     friend struct serialization::persistence_access;
//     curve_settings() = default;            // used only by the loaders
//     void initialize();                     // optional: checks and derived state after loading
//     template <class Self, class Field>
//     static void persisted_fields(Self& self, Field& field) {
//       field("rate", self.rate_);
//       field("dates", self.dates_);
//     }
//     // optional: a null envelope is refused instead of giving back the default object
//     static constexpr bool rejects_null_envelope = true;
//     ...
//   };
//
// `Self` is the class itself when loading and its const form when saving, so the same list serves
// as writer and reader. The key is the JSON member name; the binary archive only uses the order.
// This header is light on purpose: class headers include it, not the templates.
struct persistence_access {
 private:
  // Accepts any field, to ask whether a class declares its fields at all.
  struct field_probe {
    template <class Value>
    void operator()(const char*, Value&) const {}
  };

 public:
  template <class T>
  static constexpr bool declares_fields = requires(T& object, field_probe& field) {
    T::persisted_fields(object, field);
  };

  template <class Self, class Field>
  static void visit_fields(Self& object, Field& field) {
    std::remove_const_t<Self>::persisted_fields(object, field);
  }

  // A new object from the class's private default constructor; make_shared cannot reach it.
  template <class T>
  static std::shared_ptr<T> make_default() {
    return std::shared_ptr<T>(new T());
  }

  // A value to load into; for a persistable class, its private default constructor.
  template <class T>
  static T default_value() {
    return T();
  }

  // Runs the class's initialize() after its fields are loaded, where it has one.
  template <class T>
  static void initialize(T& object) {
    if constexpr (requires { object.initialize(); }) object.initialize();
  }

  // Runs the class's validate() before an object is saved, where it has one: an object whose values were
  // changed in place after its checks (a calibration's trial values) is refused rather than written to
  // a file that would not load.
  template <class T>
  static void validate(const T& object) {
    if constexpr (requires { object.validate(); }) object.validate();
  }

  // Whether the object was loaded from a null envelope without the initialize() of its class, which
  // saving it then writes again: its state never passed the class's checks, so its fields might not load
  // back, while the null envelope always does. A class without initialize() saves its default fields;
  // the mark is kept by a class derived from persistable<T> or from null_envelope_mark.
  template <class T>
  static bool holds_null_envelope(const T& object) {
    if constexpr (std::is_base_of_v<persistable<T>, T>)
      return static_cast<const persistable<T>&>(object).loaded_from_null_envelope_;
    else if constexpr (std::is_base_of_v<null_envelope_mark, T>)
      return static_cast<const null_envelope_mark&>(object).loaded_from_null_envelope_;
    else
      return false;
  }
  template <class T>
  static void mark_null_envelope(T& object) {
    if constexpr (!requires { object.initialize(); })
      return;
    else if constexpr (std::is_base_of_v<persistable<T>, T>)
      static_cast<persistable<T>&>(object).loaded_from_null_envelope_ = true;
    else if constexpr (std::is_base_of_v<null_envelope_mark, T>)
      static_cast<null_envelope_mark&>(object).loaded_from_null_envelope_ = true;
  }

  // Whether a class's default state is unusable, so that a null envelope must not stand for it.
  template <class T>
  static constexpr bool rejects_null_envelope() {
    if constexpr (requires { T::rejects_null_envelope; })
      return static_cast<bool>(T::rejects_null_envelope);
    else
      return false;
  }
};

}  // namespace qavrek::serialization
