#include "imagelib/pxrandom.h"

#include <mutex>

namespace px {

namespace {
std::mutex g_lock;
Rand15 g_rand;
}  // namespace

int rand15() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_rand.Next();
}

void srand15(uint32_t seed) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_rand.Seed(seed);
}

}  // namespace px
