#include "platform/registry.h"

#include <dirent.h>

#include <cinttypes>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/inifile.h"

namespace {

// One process-wide lock: every change is a read-modify-write of a whole file.
std::mutex g_registryLock;

std::vector<std::string> SplitKey(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool SafeComponent(const std::string& s) { return s != "." && s != ".."; }

// Registry names ignore case, the file system does not: an existing entry spelled another way
// is the one meant.
std::string ExistingSpelling(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return name;
    std::string found = name;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, name.c_str()) == 0) {
            found = name;
            break;
        }
        if (EqualsNoCase(e->d_name, name))
            found = e->d_name;
    }
    ::closedir(d);
    return found;
}

bool EdgeBlank(const std::string& s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    return !s.empty() && (blank(s.front()) || blank(s.back()));
}

// Names the INI file could not give back as written: storing them would report success and lose
// the value at the next load.
bool StorableValueName(const std::string& name) {
    return !name.empty() && !EdgeBlank(name) && name.find_first_of("=\n") == std::string::npos &&
           name[0] != ';' && name[0] != '#' && name[0] != '[';
}

// Blanks inside the brackets of a section header are kept, so only these two break a name.
bool StorableSection(const std::string& section) { return section.find_first_of("]\n") == std::string::npos; }

}  // namespace

bool RegistryLocation(const std::string& keyPath, std::string& file, std::string& section) {
    std::vector<std::string> parts = SplitKey(keyPath);
    if (!parts.empty() && EqualsNoCase(parts[0], "Software"))
        parts.erase(parts.begin());
    if (parts.empty() || !SafeComponent(parts[0]) || (parts.size() > 1 && !SafeComponent(parts[1])))
        return false;
    const std::string home = ConfigHome();
    const std::string company = ExistingSpelling(home, parts[0]);
    const std::string product = ExistingSpelling(home + "/" + company, (parts.size() > 1 ? parts[1] : parts[0]) + ".ini");
    file = home + "/" + company + "/" + product;
    section.clear();
    for (size_t i = 2; i < parts.size(); ++i) {
        if (!section.empty())
            section += '\\';
        section += parts[i];
    }
    return true;
}

bool RegKey::Attach(const std::string& keyPath, bool create) {
    Close();
    std::string file, section;
    if (!RegistryLocation(keyPath, file, section) || !StorableSection(section))
        return false;
    std::lock_guard<std::mutex> lock(g_registryLock);
    IniFile ini(file);
    const bool loaded = ini.Load();
    if (!ini.HasSection(section)) {
        if (!create)
            return false;
        ini.AddSection(section);
        if (!ini.Save())
            return false;
    } else if (!loaded) {
        return false;
    }
    file_ = file;
    section_ = section;
    open_ = true;
    return true;
}

bool RegKey::Create(const std::string& keyPath) { return Attach(keyPath, true); }
bool RegKey::Open(const std::string& keyPath) { return Attach(keyPath, false); }

void RegKey::Close() {
    open_ = false;
    batch_ = false;
    pending_.clear();
    file_.clear();
    section_.clear();
}

bool RegKey::Write(const std::string& name, const std::string& stored) {
    if (!open_ || !StorableValueName(name))
        return false;
    if (batch_) {
        pending_.emplace_back(name, stored);
        return true;
    }
    std::lock_guard<std::mutex> lock(g_registryLock);
    IniFile ini(file_);
    ini.Load();
    ini.SetValue(section_, name, stored);
    return ini.Save();
}

void RegKey::BeginBatch() {
    batch_ = open_;
    pending_.clear();
}

bool RegKey::CommitBatch() {
    if (!batch_)
        return false;
    batch_ = false;
    std::vector<std::pair<std::string, std::string>> values;
    values.swap(pending_);
    std::lock_guard<std::mutex> lock(g_registryLock);
    IniFile ini(file_);
    ini.Load();
    for (const auto& [name, stored] : values)
        ini.SetValue(section_, name, stored);
    return ini.Save();
}

bool RegKey::WriteDword(const std::string& name, DWORD value) {
    char text[32];
    std::snprintf(text, sizeof text, "dword:%08" PRIx32, value);
    return Write(name, text);
}

bool RegKey::WriteString(const std::string& name, const std::string& value) { return Write(name, value); }

bool RegKey::ReadDword(const std::string& name, DWORD& value) const {
    if (!open_)
        return false;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        IniFile ini(file_);
        if (!ini.Load() || !ini.GetValue(section_, name, text))
            return false;
    }
    // "dword:" with up to eight hex digits, as written; a plain decimal number is accepted from
    // hand-edited files. Anything else is not a DWORD.
    const char* p = text.c_str();
    int base = 10;
    if (text.size() > 6 && EqualsNoCase(text.substr(0, 6), "dword:")) {
        p += 6;
        base = 16;
        if (std::string(p).size() > 8)
            return false;
    }
    if (*p == '\0' || *p == '-' || *p == '+' || *p == ' ')
        return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(p, &end, base);
    if (!end || *end != '\0' || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(v);
    return true;
}

bool RegKey::ReadString(const std::string& name, std::string& value, size_t maxBytes) const {
    if (!open_)
        return false;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        IniFile ini(file_);
        if (!ini.Load() || !ini.GetValue(section_, name, text))
            return false;
    }
    if (text.size() + 1 > maxBytes)
        return false;
    value = text;
    return true;
}

bool RegKey::DeleteValue(const std::string& name) {
    if (!open_)
        return false;
    std::lock_guard<std::mutex> lock(g_registryLock);
    IniFile ini(file_);
    if (!ini.Load() || !ini.RemoveValue(section_, name))
        return false;
    return ini.Save();
}
