#pragma once

// A loop marked QAVREK_VECTOR_CLONES is compiled once per x86-64 level and the copy for the machine's
// widest vector unit chosen at load time; the library is otherwise built for the baseline. Helpers it
// calls are marked QAVREK_VECTOR_INLINE, so that they are inlined into each copy and share its unit.
// The wider copies may contract a * b + c into one rounding: a file whose results must not depend on
// the machine is compiled with -ffp-contract=off. Not under ThreadSanitizer: it instruments the resolver
// that picks the copy, which runs while the library is loaded, before the sanitizer is set up.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QAVREK_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#define QAVREK_VECTOR_INLINE __attribute__((always_inline)) inline
#else
#define QAVREK_VECTOR_CLONES
#define QAVREK_VECTOR_INLINE inline
#endif
