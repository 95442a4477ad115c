// Environment variables a test sets for its own run: each keeps the value it had before the
// first Set and gets it back (or is unset again) when the guard goes or Restore is called.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnv {
public:
    ScopedEnv() = default;
    // nullptr unsets the variable for the guard's life.
    ScopedEnv(const char* name, const char* value) { Set(name, value); }
    ScopedEnv(const char* name, const std::string& value) { Set(name, value.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { Restore(); }

    void Set(const char* name, const char* value) {
        bool known = false;
        for (const auto& [n, old] : saved_)
            known = known || n == name;
        if (!known) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    void Set(const char* name, const std::string& value) { Set(name, value.c_str()); }

    // Puts back every variable set so far, the last set first.
    void Restore() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
        saved_.clear();
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
