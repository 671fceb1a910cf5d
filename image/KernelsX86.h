// The x86 vector versions of the row kernels. They exist where the compiler
// can build functions for AVX2 and AVX-512 next to the default target: GCC
// and clang on x86, except GCC for Windows, which does not align the stack
// for 32- and 64-byte vectors (the portable versions serve there).
#pragma once

#include "Kernels.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !(defined(_WIN32) && !defined(__clang__))
#define IMAGEBENCH_X86_KERNELS 1
#endif

namespace kernels::x86 {

// The tables, or nullptr when the processor (or this build) lacks the
// instructions.
const Table* Avx2Table();
const Table* Avx512Table();

} // namespace kernels::x86
