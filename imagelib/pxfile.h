// Byte streams: the one abstract stream every codec reads and writes through, a C stdio
// implementation and a growable memory implementation.
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/wintypes.h"

class PxFile {
public:
    PxFile() = default;
    PxFile(const PxFile&) = delete;
    PxFile& operator=(const PxFile&) = delete;
    virtual ~PxFile() = default;

    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    virtual bool Seek(LONG offset, int origin) = 0;
    virtual LONG Tell() = 0;
    virtual LONG Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual LONG Error() = 0;
    virtual bool PutC(unsigned char c);
    virtual LONG GetC() = 0;
};

class PxIOFile : public PxFile {
public:
    explicit PxIOFile(FILE* fp = nullptr);
    ~PxIOFile() override;

    bool Open(const char* path, const char* mode);
    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(LONG offset, int origin) override;
    LONG Tell() override;
    LONG Size() override;
    bool Flush() override;
    bool Eof() override;
    LONG Error() override;
    bool PutC(unsigned char c) override;
    LONG GetC() override;

protected:
    FILE* m_fp;
    bool m_bCloseFile;
};

class PxMemFile : public PxFile {
public:
    // A caller's buffer is used in place; it is never freed by this object. If a write must grow
    // past its capacity, the bytes are copied into a block this object owns and the caller's
    // buffer is left untouched from then on.
    explicit PxMemFile(unsigned char* buffer = nullptr, unsigned long size = 0);
    ~PxMemFile() override;

    bool Open();
    unsigned char* GetBuffer(bool detach = true);

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(LONG offset, int origin) override;
    LONG Tell() override;
    LONG Size() override;
    bool Flush() override;
    bool Eof() override;
    LONG Error() override;
    bool PutC(unsigned char c) override;
    LONG GetC() override;

    // Bytes allocated; mostly of interest to tests.
    LONG Capacity() const { return m_Edge; }

protected:
    bool Alloc(unsigned long needed);
    void Free();

    unsigned char* m_pBuffer;
    LONG m_Size;
    bool m_bFreeOnClose;
    LONG m_Position;
    LONG m_Edge;
    bool m_bOwnBlock;  // the block came from our own allocation (never true for a caller's buffer)
};
