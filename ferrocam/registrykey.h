// A key of the current user's registry (the INI-backed registry of the platform layer).
#pragma once

#include <string>

#include "platform/registry.h"
#include "platform/wintypes.h"

enum class RegistryRoot { CurrentUser };

class CRegistryKey {
public:
    explicit CRegistryKey(RegistryRoot root = RegistryRoot::CurrentUser) : root_(root) {}
    virtual ~CRegistryKey() { Close(); }

    bool Create(const std::string& subKey) { return key_.Create(subKey); }
    bool Open(const std::string& subKey) { return key_.Open(subKey); }
    void Close() { key_.Close(); }
    bool WriteDword(const char* name, DWORD value) { return key_.WriteDword(name, value); }
    bool WriteString(const char* name, const std::string& value) { return key_.WriteString(name, value); }
    // Writes in between go to the file together, at the commit.
    void BeginBatch() { key_.BeginBatch(); }
    bool CommitBatch() { return key_.CommitBatch(); }
    // Both leave the destination unchanged when the value is missing or unreadable.
    bool ReadDword(const char* name, DWORD& value) const { return key_.ReadDword(name, value); }
    bool ReadString(const char* name, std::string& value) const { return key_.ReadString(name, value, 200); }
    RegistryRoot Root() const { return root_; }

private:
    RegistryRoot root_;
    RegKey key_;
};
