// The bridge's queued calls: in turn with the posted messages, from any thread, and never into
// a receiver that is gone by the time the UI thread gets to them.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "messagerecorder.h"

TEST(MessageBridge, QueuedCallsRunInTurnWithMessagesAndSkipAGoneReceiver) {
    MessageRecorder target;
    const HWND hwnd = target.GetSafeHwnd();
    std::thread worker([&] {
        PostMessage(hwnd, WM_USER + 1, 1);
        PostCall(&target, [&target] { target.received.push_back({0, 42, 0}); });
        PostMessage(hwnd, WM_USER + 2, 2);
    });
    worker.join();
    auto gone = std::make_unique<QObject>();
    bool ranForGone = false;
    PostCall(gone.get(), [&ranForGone] { ranForGone = true; });
    gone.reset();
    PostMessage(hwnd, WM_USER + 3, 3);
    const std::vector<RecordedMessage> expected{{WM_USER + 1, 1, 0}, {0, 42, 0}, {WM_USER + 2, 2, 0}, {WM_USER + 3, 3, 0}};
    EXPECT_EQ(target.Take(), expected);
    EXPECT_FALSE(ranForGone);
}
