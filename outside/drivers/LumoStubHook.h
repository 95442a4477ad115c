// Test-only hook shared by the stand-in driver libraries: every call into any of them is
// recorded here, and tests may script what a function returns and writes through its
// out-parameters. Without a script every function answers as a driver with no device: it
// returns -1 and writes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outside/drivers/DriverImports.h"

struct LumoStubCall {
    std::string function;        // full exported name, e.g. "Lumo25CameraSetFrameSpeed"
    std::vector<int64_t> args;   // value arguments; pointers as their addresses
};

namespace lumostub {

void Reset();
std::vector<LumoStubCall> Calls();
// Names of the recorded calls, in order.
std::vector<std::string> CallNames();

// Every later call of the function returns result.
void SetResult(const std::string& function, int result);
// Every later call writes these values through its out-parameters, in argument order (a byte
// out-parameter gets the low byte, a float the value as given).
void SetOutValues(const std::string& function, std::vector<double> values);
// The callback the last Init call received.
FrameCallback LastFrameCallback();

// Used by the stand-in libraries.
int Record(const char* function, std::vector<int64_t> args, FrameCallback callback = nullptr);
// The scripted out-values of a function; empty when none.
std::vector<double> OutValues(const char* function);

}  // namespace lumostub
