// Internal controls of the CRC-32 implementation behind RVCRC32Update, so that
// tests and benchmarks can reach each path on any input.
#pragma once

#include <cstdint>

// Which implementation RVCRC32Update runs.
enum class RVCRC32Path {
  // The carry-less multiply kernel on 512-bit registers for ranges long
  // enough to profit, when the CPU has it; libdeflate otherwise.
  Automatic,
  // libdeflate for every range.
  Fallback,
  // The vector kernel for every range it can take (16 bytes or more) when the
  // CPU has it; libdeflate for shorter ranges or without the CPU support.
  Vector,
};

// Selects the path for all threads. Meant for tests and benchmarks; the
// default is Automatic.
void RVCRC32SetPath(RVCRC32Path path);
RVCRC32Path RVCRC32GetPath();

// True when this CPU can run the vector kernel (AVX-512 F/VL/BW and
// VPCLMULQDQ, with the OS saving the 512-bit state).
bool RVCRC32HasVectorKernel();
