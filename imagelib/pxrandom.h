// The library's own random numbers: a 15-bit generator (0..32767) so that jitter and noise do
// not depend on the C library's rand() range.
#pragma once

#include <cstdint>

namespace px {

constexpr int kRandMax = 32767;

// Linear congruential generator with 15-bit output.
class Rand15 {
public:
    explicit Rand15(uint32_t seed = 1) : m_state(seed) {}
    void Seed(uint32_t seed) { m_state = seed; }
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};

// One process-wide generator for operations that take no seed.
int rand15();
void srand15(uint32_t seed);

}  // namespace px
