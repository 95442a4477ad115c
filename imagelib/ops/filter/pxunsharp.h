// The unsharp mask's choice of loops, for tests that hold the wide vector loops against the
// plain ones.
#pragma once

namespace px_ops {

// On by default: the AVX2 loops run where the CPU has them. Off, every step takes the loops the
// compiler vectorises on its own. Either way the bytes are the same.
void UnsharpUseWideVectors(bool use);

}  // namespace px_ops
