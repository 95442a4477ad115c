#include "debugout.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {
std::atomic<DebugOutputSink> g_sink{nullptr};
}

void SetDebugOutputSink(DebugOutputSink sink) { g_sink.store(sink); }

void OutputDebugStringA(const char* text) {
    if (!text) return;
    if (DebugOutputSink sink = g_sink.load()) {
        sink(text);
        return;
    }
    static const bool enabled = std::getenv("QUILLORY_DEBUG") != nullptr;
    if (enabled) std::fputs(text, stderr);
}

void DebugPrintf(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    OutputDebugStringA(buf);
}
