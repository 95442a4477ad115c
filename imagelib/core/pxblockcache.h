// The block of the last large image freed, kept for the next block of about its size whose
// contents the caller writes in full: the kernel zeroes every page of a fresh block on first
// touch, which for a result of many megabytes takes about as long as resizing into it, and
// results of one size recur (previews, the working images of the Fourier transform).
#pragma once

#include <cstddef>
#include <mutex>

namespace pxcore {

class PxBlockCache {
public:
    static PxBlockCache& Instance();

    // A block of size bytes whose contents the caller writes in full (the kept one when it
    // fits), or nullptr when memory runs out. Large blocks ask for huge pages: a fresh result of
    // many megabytes otherwise costs a page fault every 4 KiB while it is written.
    void* AllocUnfilled(size_t size);
    // Frees block, or keeps it in place of the one kept before; blocks too small or too large
    // are freed. block may be nullptr.
    void Release(void* block);
    // The block kept when it fits size (not much larger), else nullptr.
    void* Take(size_t size);

    // Off, nothing is kept and the block kept so far is freed; on by default.
    void SetEnabled(bool on);
    bool Enabled();

private:
    PxBlockCache() = default;

    static constexpr size_t kMin = size_t(8) << 20, kMax = size_t(64) << 20;
    std::mutex m_mutex;
    void* m_block = nullptr;
    size_t m_size = 0;
    bool m_enabled = true;
};

}  // namespace pxcore
