#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Core/pointers.h"
#include "Frame/python_name.h"

namespace qavrek::probe {

// A polymorphic class that a derived probe lists first among its bases, so that the probe base sits
// at a non-zero offset inside the derived object.
class probe_other {
 public:
  virtual ~probe_other() = default;
  virtual double other() const { return -1.0; }
};

class probe_base {
 public:
  explicit probe_base(double scale) : scale_(scale) {}
  virtual ~probe_base() = default;
  virtual std::string name() const = 0;
  double scale() const { return scale_; }

 private:
  double scale_;
};

class probe_derived final : public probe_other, public probe_base {
 public:
  explicit probe_derived(double scale) : probe_base(scale) {}
  std::string name() const override { return "derived"; }
};

// Owns shared pointers to bases, which Python reads back as borrowed objects.
class probe_bundle {
 public:
  explicit probe_bundle(std::vector<ptr_const<probe_base>> items) : items_(std::move(items)) {}
  const std::vector<ptr_const<probe_base>>& items() const { return items_; }
  const ptr_const<probe_base>& first() const { return items_.front(); }

 private:
  std::vector<ptr_const<probe_base>> items_;
};

// Built implicitly from a text.
class probe_label {
 public:
  probe_label(std::string text) : text_(std::move(text)) {}  // NOLINT: implicit on purpose
  size_t length() const { return text_.size(); }
  void append(const std::string& text) { text_ += text; }

 private:
  std::string text_;
};

// Has a Python name but no module registers it.
class probe_unregistered {};

// A base that no module registers.
class probe_missing_base {
 public:
  virtual ~probe_missing_base() = default;
};
class probe_orphan : public probe_missing_base {};

}  // namespace qavrek::probe

namespace qavrek::python {

template <>
inline constexpr const char* python_name<probe::probe_base> = "probeBase";
template <>
inline constexpr const char* python_name<probe::probe_derived> = "probeDerived";
template <>
inline constexpr const char* python_name<probe::probe_bundle> = "probeBundle";
template <>
inline constexpr const char* python_name<probe::probe_label> = "probeLabel";
template <>
inline constexpr const char* python_name<probe::probe_unregistered> = "probeUnregistered";
template <>
inline constexpr const char* python_name<probe::probe_missing_base> = "probeMissingBase";
template <>
inline constexpr const char* python_name<probe::probe_orphan> = "probeOrphan";

}  // namespace qavrek::python
