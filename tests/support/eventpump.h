// Delivering the UI thread's queues in tests: Qt's events, deferred deletes and the private
// window messages. A test waits for a condition with a deadline, never for a time to pass.
#pragma once

#include <functional>

// Delivers everything queued, and what its handlers queue in turn, for at least `ms`.
void Pump(int ms = 0);

// Delivers the queues until cond() holds; false when the deadline passed first. The deadline
// only bounds a failing test: a passing one returns as soon as the condition holds.
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 10000);
