#include "imagelib/core/pxblockcache.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace pxcore {

PxBlockCache& PxBlockCache::Instance() {
    // Never destroyed: images freed while the program exits still find it.
    static PxBlockCache* cache = new PxBlockCache;
    return *cache;
}

void* PxBlockCache::Take(size_t size) {
    if (size < kMin) return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_block == nullptr || m_size < size || m_size - size > m_size / 8) return nullptr;
    void* p = m_block;
    m_block = nullptr;
    m_size = 0;
    return p;
}

void* PxBlockCache::AllocUnfilled(size_t size) {
    void* p = Take(size);
    if (p == nullptr) p = std::malloc(size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr size_t kHuge = size_t(2) << 20;
    if (p != nullptr && size >= 4 * kHuge) {
        const uintptr_t first = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + size) & ~(kHuge - 1);
        if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#endif
    return p;
}

void PxBlockCache::Release(void* block) {
#if defined(__GLIBC__)
    const size_t size = block != nullptr ? malloc_usable_size(block) : 0;
#else
    const size_t size = 0;
#endif
    if (size < kMin || size > kMax) {
        std::free(block);
        return;
    }
    void* old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_enabled) {
            old = block;
        } else {
            old = m_block;
            m_block = block;
            m_size = size;
        }
    }
    std::free(old);
}

void PxBlockCache::SetEnabled(bool on) {
    void* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_enabled = on;
        if (!on) {
            old = m_block;
            m_block = nullptr;
            m_size = 0;
        }
    }
    std::free(old);
}

bool PxBlockCache::Enabled() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_enabled;
}

}  // namespace pxcore
