// A file written under a temporary name in the target's folder and renamed over the target
// only when every write succeeded, so a failed save never leaves a partial file behind.
#pragma once

#include <cstdio>
#include <string>

class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();  // removes the temporary file unless Commit succeeded
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; with keepExisting the target's current bytes are copied
    // into it first (for writers that append to an existing file). False when it cannot.
    bool Create(bool keepExisting = false);
    const std::string& TempPath() const { return temp_; }
    // The stream on the temporary file, opened by Create; nullptr for writers that reopen
    // the temporary path themselves (call CloseStream first).
    FILE* Stream() const { return stream_; }
    bool Write(const void* data, size_t length);
    bool CloseStream();  // flushes and closes; false when a buffered write failed
    bool Commit();       // closes, then renames over the target
    void Abandon();      // closes and removes the temporary file

private:
    std::string target_;
    std::string temp_;
    FILE* stream_ = nullptr;
    bool streamFailed_ = false;
    bool committed_ = false;
};
