// A scratch folder of the test's own under the temporary directory, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "quillory-test") {
        std::string name = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(name.data()))
            throw std::runtime_error("cannot make a scratch folder from " + name);
        path_ = name;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of an entry in the folder.
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // How many entries the folder holds.
    size_t Count() const {
        return std::distance(std::filesystem::directory_iterator(path_), std::filesystem::directory_iterator());
    }

private:
    std::filesystem::path path_;
};
