#pragma once

// Small persistable classes for the tests of the persistence templates: one with a field of every
// encoding, one holding others through shared pointers, one whose default state is unusable, and a
// polymorphic hierarchy that goes through the registries.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Core/check.h"
#include "Core/pointers.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Serialization/common/value_kinds.h"
#include "Util/datetime.h"

namespace qavrek::persistence_test {

// 16 bits in memory, 32 bits in both archives.
enum class device_kind : std::int16_t { cpu = 0, gpu = 1 };
enum class model_kind : std::int32_t { hull_white = 0, piecewise_constant = 1 };

// A value persisted as its text, as a tenor or a key is: upper-case letters only.
class desk_code {
 public:
  desk_code() = default;
  explicit desk_code(const std::string& text) { *this = text; }
  desk_code& operator=(const std::string& text) {
    for (const char c : text)
      if (c < 'A' || c > 'Z') throw std::invalid_argument("desk code '" + text + "' is not upper-case letters");
    text_ = text;
    return *this;
  }
  std::string to_string() const { return text_; }
  friend bool operator==(const desk_code&, const desk_code&) = default;

 private:
  std::string text_;
};

// One field of every encoding that the templates know.
class sample_record : public serialization::persistable<sample_record> {
 public:
  struct values {
    double rate = 0.0;
    bool active = false;
    std::uint64_t count = 0;
    std::int32_t code = 0;
    std::int16_t small = 0;
    device_kind device = device_kind::cpu;
    model_kind model = model_kind::hull_white;
    datetime date{0.0};
    std::string name;
    desk_code desk;
    std::vector<double> fixings;
    std::vector<std::vector<double>> grid;
    std::vector<datetime> dates;
    friend bool operator==(const values&, const values&) = default;
  };

  explicit sample_record(values v) : v_(std::move(v)) { initialize(); }

  const values& get() const { return v_; }
  bool initialized() const { return initialized_; }

 private:
  friend struct serialization::persistence_access;
  sample_record() = default;

  void initialize() {
    QAVREK_CHECK(v_.rate >= 0.0, "a sample rate is never negative");
    initialized_ = true;
  }

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("rate", self.v_.rate);
    field("active", self.v_.active);
    field("count", self.v_.count);
    field("code", self.v_.code);
    field("small", self.v_.small);
    field("device", self.v_.device);
    field("model", self.v_.model);
    field("date", self.v_.date);
    field("name", self.v_.name);
    field("desk", self.v_.desk);
    field("fixings", self.v_.fixings);
    field("grid", self.v_.grid);
    field("dates", self.v_.dates);
  }

  values v_;
  bool initialized_ = false;  // not persisted: tells whether initialize() ran
};

// Holds records through shared pointers, alone and in a list.
class record_book : public serialization::persistable<record_book> {
 public:
  record_book(std::string owner, ptr_const<sample_record> main, std::vector<ptr_const<sample_record>> history)
      : owner_(std::move(owner)), main_(std::move(main)), history_(std::move(history)) {}

  const std::string& owner() const { return owner_; }
  const ptr_const<sample_record>& main() const { return main_; }
  const std::vector<ptr_const<sample_record>>& history() const { return history_; }

 private:
  friend struct serialization::persistence_access;
  record_book() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("owner", self.owner_);
    field("main", self.main_);
    field("history", self.history_);
  }

  std::string owner_;
  ptr_const<sample_record> main_;
  std::vector<ptr_const<sample_record>> history_;
};

// A class whose default state is not usable: a null envelope must not stand for it.
class strict_settings : public serialization::persistable<strict_settings> {
 public:
  explicit strict_settings(std::int32_t level) : level_(level) {}
  std::int32_t level() const { return level_; }

  static constexpr bool rejects_null_envelope = true;

 private:
  friend struct serialization::persistence_access;
  strict_settings() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("level", self.level_);
  }

  std::int32_t level_ = 0;
};

// An enumeration wider than the archives' 32 bits.
enum class wide_flags : std::int64_t { none = 0 };

class flag_holder : public serialization::persistable<flag_holder> {
 public:
  explicit flag_holder(wide_flags flags) : flags_(flags) {}

 private:
  friend struct serialization::persistence_access;
  flag_holder() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("flags", self.flags_);
  }

  wide_flags flags_ = wide_flags::none;
};

// A value with a persistent form of its own: JSON [x, y], binary two doubles.
struct point {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const point&, const point&) = default;
};

// The polymorphic hierarchy: an abstract base, loaded through the registries.
class shape {
 public:
  virtual ~shape() = default;
  virtual double area() const = 0;
};

// A polymorphic first base, so that the shape part of a circle does not start where the circle does.
class decoration {
 public:
  virtual ~decoration() = default;
  virtual std::string colour() const { return colour_; }

 protected:
  std::string colour_ = "plain";
};

class circle : public decoration, public shape {
 public:
  circle(point centre, double radius) : centre_(centre), radius_(radius) {}
  double area() const override { return 3.0 * radius_ * radius_; }
  const point& centre() const { return centre_; }
  double radius() const { return radius_; }

 private:
  friend struct serialization::persistence_access;
  circle() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("centre", self.centre_);
    field("radius", self.radius_);
  }

  point centre_;
  double radius_ = 0.0;
};

class square : public shape {
 public:
  explicit square(double side) : side_(side) {}
  double area() const override { return side_ * side_; }
  double side() const { return side_; }

 private:
  friend struct serialization::persistence_access;
  square() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("side", self.side_);
  }

  double side_ = 0.0;
};

// Persistable, but never registered.
class triangle : public shape {
 public:
  triangle(double base, double height) : base_(base), height_(height) {}
  double area() const override { return 0.5 * base_ * height_; }

 private:
  friend struct serialization::persistence_access;
  triangle() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("base", self.base_);
    field("height", self.height_);
  }

  double base_ = 0.0;
  double height_ = 0.0;
};

// Holds shapes through pointers to their base.
class drawing : public serialization::persistable<drawing> {
 public:
  drawing(std::string title, ptr_const<shape> frame, std::vector<ptr_const<shape>> shapes)
      : title_(std::move(title)), frame_(std::move(frame)), shapes_(std::move(shapes)) {}

  const std::string& title() const { return title_; }
  const ptr_const<shape>& frame() const { return frame_; }
  const std::vector<ptr_const<shape>>& shapes() const { return shapes_; }

 private:
  friend struct serialization::persistence_access;
  drawing() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("title", self.title_);
    field("frame", self.frame_);
    field("shapes", self.shapes_);
  }

  std::string title_;
  ptr_const<shape> frame_;
  std::vector<ptr_const<shape>> shapes_;
};

}  // namespace qavrek::persistence_test

template <>
struct qavrek::serialization::persistent_form<qavrek::persistence_test::point> {
  using point = qavrek::persistence_test::point;
  static void save(ordered_json& archive, const point& p) { archive = {p.x, p.y}; }
  static void load(const ordered_json& archive, point& p) {
    p.x = archive.at(0).get<double>();
    p.y = archive.at(1).get<double>();
  }
  static void save(multi_process_stream& archive, const point& p) { archive << p.x << p.y; }
  static void load(multi_process_stream& archive, point& p) { archive >> p.x >> p.y; }
};
