#include "ferrocam/windowport.h"

#include <atomic>

namespace {
std::atomic<const FerroWindowPort*> g_port{nullptr};
}

void SetFerroWindowPort(const FerroWindowPort* port) { g_port.store(port); }
const FerroWindowPort* GetFerroWindowPort() { return g_port.load(); }
