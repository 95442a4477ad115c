#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {
std::atomic<unsigned> g_tempCounter{0};
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
    if (!committed_)
        Abandon();
}

bool AtomicFile::Create(bool keepExisting) {
    if (target_.empty())
        return false;
    const size_t slash = target_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // A short name of its own in the target's folder: the target's name plus a suffix
        // would not fit when the target's name is already near the system's limit.
        temp_ = folder + ".part" + std::to_string(getpid()) + "_" + std::to_string(g_tempCounter++);
        fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temp_.clear();
        return false;
    }
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    if (keepExisting) {
        FILE* old = std::fopen(target_.c_str(), "rb");
        // Only a missing target starts empty: one that exists but cannot be read (no access, no
        // descriptor left) would otherwise be replaced and lose what it holds.
        if (!old && errno != ENOENT) {
            Abandon();
            return false;
        }
        if (old) {
            char buffer[65536];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, old)) > 0) {
                if (!Write(buffer, n))
                    break;
            }
            bool readFailed = std::ferror(old) != 0;
            std::fclose(old);
            if (readFailed || streamFailed_) {
                Abandon();
                return false;
            }
        }
    }
    return true;
}

bool AtomicFile::Write(const void* data, size_t length) {
    if (!stream_ || streamFailed_)
        return false;
    if (length && std::fwrite(data, 1, length, stream_) != length)
        streamFailed_ = true;
    return !streamFailed_;
}

bool AtomicFile::CloseStream() {
    if (!stream_)
        return !streamFailed_;
    if (std::fflush(stream_) != 0 || std::ferror(stream_))
        streamFailed_ = true;
    if (std::fclose(stream_) != 0)
        streamFailed_ = true;
    stream_ = nullptr;
    return !streamFailed_;
}

bool AtomicFile::Commit() {
    if (temp_.empty() || !CloseStream())
        return false;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        return false;
    committed_ = true;
    return true;
}

void AtomicFile::Abandon() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}
