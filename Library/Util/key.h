#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qavrek {

// A named key: its text and the 64-bit FNV-1a hash of that text, so the hash is the same on every
// platform and in every run. Keys compare by text; equal keys have equal hashes.
class key {
 public:
  key() : key(std::string_view{}) {}
  explicit key(std::string_view text);
  key& operator=(std::string_view text);

  const std::string& to_string() const noexcept { return text_; }
  // The FNV-1a hash of the text.
  std::uint64_t hash() const noexcept { return hash_; }

  // Combines the key's hash into a seed, so that hashes of composite ids depend on every part and on
  // their order: seed ^ (hash + golden ratio + (seed << 6) + (seed >> 2)), all on 64-bit words.
  static std::uint64_t hash(const key& k, std::uint64_t seed) noexcept;

  friend bool operator==(const key& a, const key& b) noexcept { return a.hash_ == b.hash_ && a.text_ == b.text_; }
  friend bool operator<(const key& a, const key& b) noexcept { return a.text_ < b.text_; }

 private:
  static std::uint64_t fnv1a(std::string_view text) noexcept;

  std::string text_;
  std::uint64_t hash_ = 0;
};

}  // namespace qavrek
