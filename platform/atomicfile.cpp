#include "platform/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace {
std::atomic<unsigned> g_tempCounter{0};
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
    if (!committed_)
        Abandon();
}

bool AtomicFile::Fail() {
    if (!error_)
        error_ = errno ? errno : EIO;
    return false;
}

bool AtomicFile::Create(bool keepExisting) {
    if (target_.empty()) {
        error_ = ENOENT;
        return false;
    }
    errno = 0;
    const std::filesystem::path folder = std::filesystem::path(target_).parent_path();
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // A short name of its own in the target's folder: the target's name plus a suffix
        // would not fit when the target's name is already near the system's limit.
        const std::string name = ".part" + std::to_string(getpid()) + "_" + std::to_string(g_tempCounter++);
        temp_ = folder.empty() ? name : (folder / name).string();
        fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        temp_.clear();
        return Fail();
    }
    // The new file takes the old one's place and keeps its permissions: a file the user made
    // private stays private. A file system that keeps no modes (a FAT stick) or an old file of
    // another owner gives the new file the folder's usual mode instead of failing the save.
    struct stat old;
    if (::stat(target_.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0 && errno != EPERM &&
        errno != ENOTSUP && errno != EOPNOTSUPP) {
        Fail();
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        Fail();
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
            Fail();
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
            if (readFailed)
                Fail();
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
    if (length && std::fwrite(data, 1, length, stream_) != length) {
        streamFailed_ = true;
        Fail();
    }
    return !streamFailed_;
}

bool AtomicFile::CloseStream() {
    if (!stream_)
        return !streamFailed_;
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
        streamFailed_ = true;
        Fail();
    }
    if (std::fclose(stream_) != 0) {
        streamFailed_ = true;
        Fail();
    }
    stream_ = nullptr;
    return !streamFailed_;
}

bool AtomicFile::Sync() {
    // Through a descriptor of its own: a writer may have reopened the temporary path.
    const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail();
    // A filesystem that cannot sync (EINVAL) has nothing more to make durable.
    bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    if (!ok)
        Fail();
    ::close(fd);
    return ok;
}

bool AtomicFile::Commit() {
    if (temp_.empty() || !CloseStream() || !Sync())
        return false;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        renameFailed_ = true;
        return Fail();
    }
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
