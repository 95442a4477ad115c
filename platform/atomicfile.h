// The one way the program replaces a file: everything is written under a temporary name in the
// target's folder and renamed over the target only when every write succeeded and reached the
// disk, so a failed save never leaves a partial file behind and never destroys the old one. The
// new file keeps the old one's permissions; a failure keeps its errno for the caller's message.
#pragma once

#include <cstdio>
#include <string>

// Hidden: each library that links the platform keeps its own copy.
class __attribute__((visibility("hidden"))) AtomicFile {
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
    // Closes, makes the temporary file's bytes durable, then renames it over the target.
    bool Commit();
    void Abandon();      // closes and removes the temporary file
    // The errno of the first step that failed; 0 while nothing failed.
    int Error() const { return error_; }
    // Whether the failure came from replacing the target rather than from writing.
    bool RenameFailed() const { return renameFailed_; }

private:
    bool Fail();  // records errno (EIO when a step failed without one)
    bool Sync();

    std::string target_;
    std::string temp_;
    FILE* stream_ = nullptr;
    bool streamFailed_ = false;
    bool committed_ = false;
    bool renameFailed_ = false;
    int error_ = 0;
};
