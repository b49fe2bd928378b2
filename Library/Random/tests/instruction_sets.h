#pragma once

#include <hwy/targets.h>

#include <cstdint>

namespace qavrek {

// Runs run(name) once per instruction set that this machine has and the vector kernels were built for (for
// instance AVX-512, AVX2 and the portable one), each chosen in turn, then restores the machine's choice.
template <class Run>
void on_every_instruction_set(const Run& run) {
  for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    run(hwy::TargetName(target));
  }
  hwy::SetSupportedTargetsForTest(0);
}

}  // namespace qavrek
