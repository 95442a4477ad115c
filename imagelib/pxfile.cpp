// Byte streams over a C stdio stream and over a growable memory block.
#include "imagelib/pxfile.h"

#include <algorithm>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Positions are 32-bit; anything that would move past this is refused rather than wrapped.
constexpr int64_t kMaxPosition = INT32_MAX;

LONG ClampPosition(int64_t pos) {
    if (pos < 0) return 0;
    if (pos > kMaxPosition) return static_cast<LONG>(kMaxPosition);
    return static_cast<LONG>(pos);
}

}  // namespace

bool PxFile::PutC(unsigned char c) { return Write(&c, 1, 1) == 1; }

// ---------------------------------------------------------------------------------------------
// PxIOFile

PxIOFile::PxIOFile(FILE* fp) : m_fp(fp), m_bCloseFile(fp == nullptr) {}

PxIOFile::~PxIOFile() {
    if (m_fp && m_bCloseFile) std::fclose(m_fp);
}

bool PxIOFile::Open(const char* path, const char* mode) {
    if (m_fp || !path || !mode) return false;
    m_fp = std::fopen(path, mode);
    if (!m_fp) return false;
    m_bCloseFile = true;
    return true;
}

bool PxIOFile::Close() {
    if (!m_fp || !m_bCloseFile) return true;
    int rc = std::fclose(m_fp);
    m_fp = nullptr;
    return rc == 0;
}

size_t PxIOFile::Read(void* buffer, size_t size, size_t count) {
    if (!m_fp || !buffer) return 0;
    return std::fread(buffer, size, count, m_fp);
}

size_t PxIOFile::Write(const void* buffer, size_t size, size_t count) {
    if (!m_fp || !buffer) return 0;
    return std::fwrite(buffer, size, count, m_fp);
}

bool PxIOFile::Seek(LONG offset, int origin) {
    if (!m_fp) return false;
    return std::fseek(m_fp, offset, origin) == 0;
}

LONG PxIOFile::Tell() {
    if (!m_fp) return 0;
    long pos = std::ftell(m_fp);
    if (pos < 0) return -1;
    return pos > kMaxPosition ? static_cast<LONG>(kMaxPosition) : static_cast<LONG>(pos);
}

LONG PxIOFile::Size() {
    if (!m_fp) return -1;
    long pos = std::ftell(m_fp);
    if (pos < 0) return -1;
    if (std::fseek(m_fp, 0, SEEK_END) != 0) return -1;
    long size = std::ftell(m_fp);
    std::fseek(m_fp, pos, SEEK_SET);
    if (size < 0) return -1;
    return size > kMaxPosition ? static_cast<LONG>(kMaxPosition) : static_cast<LONG>(size);
}

bool PxIOFile::Flush() {
    if (!m_fp) return false;
    return std::fflush(m_fp) == 0;
}

bool PxIOFile::Eof() {
    if (!m_fp) return true;
    return std::feof(m_fp) != 0;
}

LONG PxIOFile::Error() {
    if (!m_fp) return -1;
    return std::ferror(m_fp) != 0 ? 1 : 0;
}

bool PxIOFile::PutC(unsigned char c) {
    if (!m_fp) return false;
    return std::fputc(c, m_fp) == c;
}

LONG PxIOFile::GetC() {
    if (!m_fp) return -1;
    return std::getc(m_fp);
}

// ---------------------------------------------------------------------------------------------
// PxMemFile

PxMemFile::PxMemFile(unsigned char* buffer, unsigned long size)
    : m_pBuffer(buffer),
      m_Size(buffer ? ClampPosition(static_cast<int64_t>(size)) : 0),
      m_bFreeOnClose(buffer == nullptr),
      m_Position(0),
      m_Edge(m_Size),
      m_bOwnBlock(buffer == nullptr) {}

PxMemFile::~PxMemFile() { Close(); }

bool PxMemFile::Open() {
    if (m_pBuffer) return false;
    m_Size = m_Position = m_Edge = 0;
    m_pBuffer = static_cast<unsigned char*>(std::malloc(1));
    m_bFreeOnClose = true;
    m_bOwnBlock = true;
    return m_pBuffer != nullptr;
}

bool PxMemFile::Close() {
    if (m_pBuffer && m_bFreeOnClose) {
        std::free(m_pBuffer);
        m_pBuffer = nullptr;
        m_Size = 0;
        m_Edge = 0;
        m_Position = 0;
    }
    return true;
}

unsigned char* PxMemFile::GetBuffer(bool detach) {
    // Ownership can only come back for a block this object allocated: a caller's buffer (maybe
    // not even from the heap) must never be freed here.
    m_bFreeOnClose = !detach && m_bOwnBlock;
    return m_pBuffer;
}

size_t PxMemFile::Read(void* buffer, size_t size, size_t count) {
    if (!buffer || !m_pBuffer) return 0;
    if (m_Position >= m_Size) return 0;
    if (size == 0 || count == 0) return 0;
    // size x count may not fit; the remaining data always does.
    size_t avail = static_cast<size_t>(m_Size - m_Position);
    size_t want = (count > SIZE_MAX / size) ? SIZE_MAX : size * count;
    size_t n = want < avail ? want : avail;
    std::memcpy(buffer, m_pBuffer + m_Position, n);
    m_Position += static_cast<LONG>(n);
    return n / size;
}

size_t PxMemFile::Write(const void* buffer, size_t size, size_t count) {
    if (!m_pBuffer || !buffer) return 0;
    if (size == 0 || count == 0) return 0;
    if (count > SIZE_MAX / size) return 0;
    size_t n = size * count;
    int64_t end = static_cast<int64_t>(m_Position) + static_cast<int64_t>(n);
    if (n > static_cast<size_t>(kMaxPosition) || end > kMaxPosition) return 0;
    if (m_Edge < end && !Alloc(static_cast<unsigned long>(end))) return 0;
    if (m_Position > m_Size) std::memset(m_pBuffer + m_Size, 0, static_cast<size_t>(m_Position - m_Size));
    std::memcpy(m_pBuffer + m_Position, buffer, n);
    m_Position = static_cast<LONG>(end);
    if (m_Position > m_Size) m_Size = m_Position;
    return count;
}

bool PxMemFile::Seek(LONG offset, int origin) {
    if (!m_pBuffer) return false;
    int64_t base;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = m_Position; break;
    case SEEK_END: base = m_Size; break;
    default: return false;
    }
    m_Position = ClampPosition(base + offset);
    return true;
}

LONG PxMemFile::Tell() { return m_pBuffer ? m_Position : -1; }

LONG PxMemFile::Size() { return m_pBuffer ? m_Size : -1; }

bool PxMemFile::Flush() { return m_pBuffer != nullptr; }

bool PxMemFile::Eof() { return !m_pBuffer || m_Position >= m_Size; }

LONG PxMemFile::Error() {
    if (!m_pBuffer) return -1;
    return m_Position > m_Size ? 1 : 0;
}

bool PxMemFile::PutC(unsigned char c) {
    if (!m_pBuffer) return false;
    if (m_Position >= kMaxPosition) return false;
    int64_t end = static_cast<int64_t>(m_Position) + 1;
    if (m_Edge < end && !Alloc(static_cast<unsigned long>(end))) return false;
    if (m_Position > m_Size) std::memset(m_pBuffer + m_Size, 0, static_cast<size_t>(m_Position - m_Size));
    m_pBuffer[m_Position++] = c;
    if (m_Position > m_Size) m_Size = m_Position;
    return true;
}

LONG PxMemFile::GetC() {
    if (Eof()) return -1;
    return m_pBuffer[m_Position++];
}

bool PxMemFile::Alloc(unsigned long needed) {
    if (static_cast<int64_t>(m_Edge) >= static_cast<int64_t>(needed)) return true;
    uint64_t capacity = (static_cast<uint64_t>(needed) / 4096) * 4096 + 4096;
    if (capacity > static_cast<uint64_t>(kMaxPosition)) return false;
    // A stream written piece by piece grows by half again each time, so a large one is not
    // copied once per page of it.
    const uint64_t grown = static_cast<uint64_t>(std::max<LONG>(m_Edge, 0)) * 3 / 2;
    if (grown > capacity && grown <= static_cast<uint64_t>(kMaxPosition)) capacity = grown;
    unsigned char* block;
    if (m_pBuffer && m_bFreeOnClose) {
        block = static_cast<unsigned char*>(std::realloc(m_pBuffer, capacity));
        if (!block) return false;  // the old block stays valid and attached
    } else {
        // A caller's buffer is never reallocated: its bytes move into a block of our own and the
        // caller's memory is not touched again.
        block = static_cast<unsigned char*>(std::malloc(capacity));
        if (!block) return false;
        if (m_pBuffer && m_Size > 0) std::memcpy(block, m_pBuffer, static_cast<size_t>(m_Size));
    }
    m_pBuffer = block;
    m_Edge = static_cast<LONG>(capacity);
    m_bFreeOnClose = true;
    m_bOwnBlock = true;
    return true;
}

void PxMemFile::Free() { Close(); }
