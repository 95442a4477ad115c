#include "LumoStubHook.h"

#include <map>
#include <mutex>

namespace {

struct HookState {
    std::mutex lock;
    std::vector<LumoStubCall> calls;
    std::map<std::string, int> results;
    std::map<std::string, std::vector<double>> outValues;
    FrameCallback lastCallback = nullptr;
};

HookState& State() {
    static HookState state;
    return state;
}

}  // namespace

namespace lumostub {

void Reset() {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.calls.clear();
    s.results.clear();
    s.outValues.clear();
    s.lastCallback = nullptr;
}

std::vector<LumoStubCall> Calls() {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.calls;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const LumoStubCall& call : Calls())
        names.push_back(call.function);
    return names;
}

void SetResult(const std::string& function, int result) {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.results[function] = result;
}

void SetOutValues(const std::string& function, std::vector<double> values) {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.outValues[function] = std::move(values);
}

FrameCallback LastFrameCallback() {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.lastCallback;
}

int Record(const char* function, std::vector<int64_t> args, FrameCallback callback) {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.calls.push_back(LumoStubCall{function, std::move(args)});
    if (callback)
        s.lastCallback = callback;
    auto it = s.results.find(function);
    return it == s.results.end() ? LUMO_NODEVICE : it->second;
}

std::vector<double> OutValues(const char* function) {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.outValues.find(function);
    return it == s.outValues.end() ? std::vector<double>{} : it->second;
}

}  // namespace lumostub
