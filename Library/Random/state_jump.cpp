// The window additions of a generator jump, on the widest vector unit of the machine, chosen at run time;
// this file is compiled once per instruction set.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Random/state_jump.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#include "Random/state_jump.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void xor_into(std::uint32_t* HWY_RESTRICT target, const std::uint32_t* HWY_RESTRICT source, size_t count) {
  const hn::ScalableTag<std::uint32_t> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + N <= count; i += N)
    hn::StoreU(hn::Xor(hn::LoadU(d, target + i), hn::LoadU(d, source + i)), d, target + i);
  for (; i < count; ++i) target[i] ^= source[i];
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(xor_into);

void xor_words(std::uint32_t* target, const std::uint32_t* source, size_t count) noexcept {
  HWY_DYNAMIC_DISPATCH(xor_into)(target, source, count);
}

}  // namespace qavrek
#endif  // HWY_ONCE
