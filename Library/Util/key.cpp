#include "Util/key.h"

namespace qavrek {

key::key(std::string_view text) : text_(text), hash_(fnv1a(text)) {}

key& key::operator=(std::string_view text) {
  text_ = text;
  hash_ = fnv1a(text_);
  return *this;
}

std::uint64_t key::hash(const key& k, std::uint64_t seed) noexcept {
  constexpr std::uint64_t golden_ratio = 0x9e3779b97f4a7c15ULL;
  return seed ^ (k.hash_ + golden_ratio + (seed << 6) + (seed >> 2));
}

std::uint64_t key::fnv1a(std::string_view text) noexcept {
  constexpr std::uint64_t offset_basis = 0xcbf29ce484222325ULL;
  constexpr std::uint64_t prime = 0x100000001b3ULL;
  std::uint64_t h = offset_basis;
  for (const char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= prime;
  }
  return h;
}

}  // namespace qavrek
