// One INI file: sections of key=value lines. Section and key names compare without regard to
// ASCII case, as the Windows profile and registry calls do; stored names keep their case.
// Saving is atomic (temporary file, flush, rename), so a crash never leaves half a file.
#pragma once

#include <string>
#include <vector>

class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file; false when it is missing or unreadable (the contents are then empty).
    // A damaged file is read as far as it makes sense: lines that are neither a section
    // header nor key=value are skipped.
    bool Load();
    // Writes the whole file under a temporary name and renames it over the path, creating the
    // folder when needed. Refuses (false) after a Load that found the file but could not read it.
    bool Save() const;

    const std::string& Path() const { return path_; }
    bool HasSection(const std::string& section) const;
    void AddSection(const std::string& section);
    bool RemoveSection(const std::string& section);
    bool GetValue(const std::string& section, const std::string& key, std::string& value) const;
    void SetValue(const std::string& section, const std::string& key, const std::string& value);
    bool RemoveValue(const std::string& section, const std::string& key);
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(const std::string& section) const;

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    Section* Find(const std::string& section);
    const Section* Find(const std::string& section) const;

    std::string path_;
    std::vector<Section> sections_;
    // Set when the file exists but could not be read: saving would then replace it with the
    // little this object holds, so Save refuses.
    bool unreadable_ = false;
};

bool EqualsNoCase(const std::string& a, const std::string& b);
// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
std::string ConfigHome();
