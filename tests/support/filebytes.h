// A whole file read into memory or written from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

// The file's bytes, empty when it cannot be read; ReadFile<std::string> gives them as text.
template <class Container = std::vector<uint8_t>>
Container ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Container((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Replaces the file with the bytes; false when it cannot be written.
inline bool WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}
inline bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    return WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
