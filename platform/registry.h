// The current user's registry, kept in INI files under ConfigHome(). A key path
// "Software\Company\Product\Sub\Key" lives in Company/Product.ini, section "Sub\Key"; names
// compare without regard to case. DWORDs are stored as "dword:xxxxxxxx", strings as text.
// Every change rewrites its file atomically; a damaged or hand-edited file never crashes a
// reader: a value that does not parse is reported missing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Create(const std::string& keyPath);  // creates the key when it does not exist
    bool Open(const std::string& keyPath);    // fails when the key does not exist
    void Close();
    bool IsOpen() const { return open_; }

    bool WriteDword(const std::string& name, DWORD value);
    bool WriteString(const std::string& name, const std::string& value);
    // Both leave the destination unchanged on failure. ReadString fails when the value with
    // its terminating zero would need more than maxBytes.
    bool ReadDword(const std::string& name, DWORD& value) const;
    bool ReadString(const std::string& name, std::string& value, size_t maxBytes) const;
    bool DeleteValue(const std::string& name);
    // Writes between BeginBatch and CommitBatch are kept and rewrite the file once, at the
    // commit (each still fails at once for a name the file cannot hold). CommitBatch reports
    // whether the file was written; Close drops what was not committed.
    void BeginBatch();
    bool CommitBatch();

private:
    bool Attach(const std::string& keyPath, bool create);
    bool Write(const std::string& name, const std::string& stored);
    std::string file_;
    std::string section_;
    bool open_ = false;
    bool batch_ = false;
    std::vector<std::pair<std::string, std::string>> pending_;
};

// Where a key path is kept; false for a path with no company part.
bool RegistryLocation(const std::string& keyPath, std::string& file, std::string& section);
