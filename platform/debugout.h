// The platform's debug-output call: text goes to stderr when QUILLORY_DEBUG is set, else nowhere.
#pragma once

void OutputDebugStringA(const char* text);
// printf-style convenience over OutputDebugStringA.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tests capture the output through this hook (nullptr restores stderr).
using DebugOutputSink = void (*)(const char* text);
void SetDebugOutputSink(DebugOutputSink sink);
