#include "platform/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "platform/atomicfile.h"

namespace {

// A profile is small; anything larger is not one of ours and is not read into memory whole.
constexpr off_t kMaxIniBytes = 16 * 1024 * 1024;

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Values may hold any text; backslash, CR and LF are escaped so each value stays one line.
std::string Escape(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// Only the three escapes Escape writes are undone; any other backslash, as in a Windows path
// in a file some other program wrote, stays as it is.
std::string Unescape(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const char n = i + 1 < v.size() ? v[i + 1] : '\0';
        if (v[i] == '\\' && (n == '\\' || n == 'n' || n == 'r')) {
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
            ++i;
        } else {
            out += v[i];
        }
    }
    return out;
}

bool MakeFolders(const std::string& dir) {
    if (dir.empty())
        return true;
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : ".") + "/.config";
}

IniFile::Section* IniFile::Find(const std::string& section) {
    for (auto& s : sections_)
        if (EqualsNoCase(s.name, section))
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::Find(const std::string& section) const {
    for (auto& s : sections_)
        if (EqualsNoCase(s.name, section))
            return &s;
    return nullptr;
}

bool IniFile::Load() {
    sections_.clear();
    unreadable_ = false;
    // Non-blocking, so that opening a pipe does not wait for a writer; regular files ignore it.
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A file that is there but cannot be opened must not be replaced by a near-empty one.
        unreadable_ = errno != ENOENT && errno != ENOTDIR;
        return false;
    }
    // Only a regular file of sensible size is read, and no more bytes than it had when opened,
    // so a device, a pipe or a file growing under us cannot make the read endless.
    struct stat st;
    std::string data;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxIniBytes;
    if (ok) {
        data.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::read(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0) {
                data.resize(done);  // shrank while being read: what is there is the file
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    if (!ok) {
        unreadable_ = true;
        return false;
    }
    std::istringstream in(data);
    // Lookups by lower-cased name keep a large hostile file from costing quadratic time.
    std::unordered_map<std::string, size_t> sectionIndex;
    std::vector<std::unordered_set<std::string>> seenKeys;
    auto sectionFor = [&](const std::string& name) -> size_t {
        auto [it, added] = sectionIndex.emplace(Lower(name), sections_.size());
        if (added) {
            sections_.push_back({name, {}});
            seenKeys.emplace_back();
        }
        return it->second;
    };
    std::string line;
    constexpr size_t kNone = SIZE_MAX, kBrokenHeader = SIZE_MAX - 1;
    size_t current = kNone;
    bool first = true;
    while (std::getline(in, line)) {
        // Editors on Windows often start a UTF-8 file with a byte order mark.
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        first = false;
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#')
            continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            // The lines under a header without its bracket belong to no section we know; they
            // must not be taken for values of the section before it.
            if (close == std::string::npos) {
                current = kBrokenHeader;
                continue;
            }
            current = sectionFor(t.substr(1, close - 1));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = Trim(line.substr(0, eq));
        std::string value = line.substr(eq + 1);
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        if (key.empty())
            continue;
        if (current == kBrokenHeader)
            continue;
        // Values before any header belong to the unnamed section.
        if (current == kNone)
            current = sectionFor("");
        // As with the Windows profile calls, the first of duplicate keys is the one that counts.
        if (seenKeys[current].insert(Lower(key)).second)
            sections_[current].entries.push_back({key, Unescape(value)});
    }
    return true;
}

bool IniFile::Save() const {
    if (unreadable_)
        return false;
    std::ostringstream text;
    for (auto& s : sections_) {
        if (!s.name.empty() || &s != &sections_.front())
            text << '[' << s.name << "]\n";
        for (auto& e : s.entries)
            text << e.key << '=' << Escape(e.value) << '\n';
        text << '\n';
    }
    const std::string data = text.str();

    size_t slash = path_.find_last_of('/');
    if (slash != std::string::npos && !MakeFolders(path_.substr(0, slash)))
        return false;
    AtomicFile file(path_);
    return file.Create() && file.Write(data.data(), data.size()) && file.Commit();
}

bool IniFile::HasSection(const std::string& section) const { return Find(section) != nullptr; }

void IniFile::AddSection(const std::string& section) {
    if (!Find(section))
        sections_.push_back({section, {}});
}

bool IniFile::RemoveSection(const std::string& section) {
    for (auto it = sections_.begin(); it != sections_.end(); ++it)
        if (EqualsNoCase(it->name, section)) {
            sections_.erase(it);
            return true;
        }
    return false;
}

bool IniFile::GetValue(const std::string& section, const std::string& key, std::string& value) const {
    const Section* s = Find(section);
    if (!s)
        return false;
    for (auto& e : s->entries)
        if (EqualsNoCase(e.key, key)) {
            value = e.value;
            return true;
        }
    return false;
}

void IniFile::SetValue(const std::string& section, const std::string& key, const std::string& value) {
    AddSection(section);
    Section* s = Find(section);
    for (auto& e : s->entries)
        if (EqualsNoCase(e.key, key)) {
            e.value = value;
            return;
        }
    s->entries.push_back({key, value});
}

bool IniFile::RemoveValue(const std::string& section, const std::string& key) {
    Section* s = Find(section);
    if (!s)
        return false;
    for (auto it = s->entries.begin(); it != s->entries.end(); ++it)
        if (EqualsNoCase(it->key, key)) {
            s->entries.erase(it);
            return true;
        }
    return false;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (auto& s : sections_)
        names.push_back(s.name);
    return names;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    if (const Section* s = Find(section))
        for (auto& e : s->entries)
            keys.push_back(e.key);
    return keys;
}
