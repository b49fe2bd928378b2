#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace qavrek {

// Root of every identifier. Ids are values: two ids are equal when they have the same dynamic
// type and equal fields, and equal ids hash alike, so ids built apart find the same entry of a
// set or a lookup.
class data_id {
 public:
  virtual ~data_id();
  virtual std::string to_string() const = 0;
  virtual size_t hash() const = 0;

  friend bool operator==(const data_id& lhs, const data_id& rhs);

 protected:
  data_id() = default;
  data_id(const data_id&) = default;
  data_id& operator=(const data_id&) = default;

  // Field-wise comparison; operator== calls it only when `other` has this object's dynamic type.
  virtual bool equals(const data_id& other) const = 0;

  // Value comparison of two optional fields: both empty, or both set to equal values.
  template <typename T>
  static bool same_value(const std::shared_ptr<const T>& lhs, const std::shared_ptr<const T>& rhs) {
    if (!lhs || !rhs) return !lhs && !rhs;
    return *lhs == *rhs;
  }
};

// Hash and equality of shared ids by the ids' values, not by their addresses. An empty pointer
// hashes to 0 and equals only another empty pointer.
struct data_id_hash {
  size_t operator()(const data_id* id) const { return id ? id->hash() : 0; }
  template <typename T>
  size_t operator()(const std::shared_ptr<T>& id) const {
    return (*this)(static_cast<const data_id*>(id.get()));
  }
};

struct data_id_equal {
  bool operator()(const data_id* lhs, const data_id* rhs) const {
    if (!lhs || !rhs) return !lhs && !rhs;
    return *lhs == *rhs;
  }
  template <typename T, typename U>
  bool operator()(const std::shared_ptr<T>& lhs, const std::shared_ptr<U>& rhs) const {
    return (*this)(static_cast<const data_id*>(lhs.get()), static_cast<const data_id*>(rhs.get()));
  }
};

}  // namespace qavrek

// So that std::unordered_set<ptr_const<some_id>> and std::unordered_map<ptr_const<some_id>, ...>
// key by value without naming the functors.
template <typename T>
  requires std::derived_from<T, qavrek::data_id>
struct std::hash<std::shared_ptr<const T>> : qavrek::data_id_hash {};

template <typename T>
  requires std::derived_from<T, qavrek::data_id>
struct std::equal_to<std::shared_ptr<const T>> : qavrek::data_id_equal {};
