#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "platform/framemailbox.h"

namespace {

uint64_t Stamp(const uint8_t* buffer) {
    uint64_t v;
    std::memcpy(&v, buffer, sizeof v);
    return v;
}

TEST(FrameMailbox, TheNewestFrameWinsAndOlderBuffersGoBackToTheProducer) {
    uint8_t a[8] = {}, b[8] = {}, c[8] = {}, d[8] = {};
    CFrameMailbox box;
    box.Reset(b);
    uint8_t* grab = a;
    uint8_t* shown = c;
    uint64_t seq = 0;
    EXPECT_EQ(box.Take(shown, &seq, 0), CFrameMailbox::kTimedOut) << "empty";
    EXPECT_FALSE(box.Put(grab, 1));
    EXPECT_EQ(grab, b) << "the spare comes back to write over";
    EXPECT_TRUE(box.Put(grab, 2)) << "frame 1 was never taken";
    EXPECT_EQ(grab, a);
    grab = d;
    EXPECT_TRUE(box.Put(grab, 3));
    EXPECT_EQ(grab, b);
    ASSERT_EQ(box.Take(shown, &seq, 0), CFrameMailbox::kFrame);
    EXPECT_EQ(shown, d);
    EXPECT_EQ(seq, 3u);
    EXPECT_EQ(box.Take(shown, &seq, 0), CFrameMailbox::kTimedOut) << "a frame is taken once";
    EXPECT_FALSE(box.Put(grab, 4));
    box.Discard();
    EXPECT_EQ(box.Take(shown, &seq, 0), CFrameMailbox::kTimedOut);
}

TEST(FrameMailbox, ATakeWaitsUntilItsDeadlineOrAFrame) {
    uint8_t a[8] = {}, b[8] = {}, c[8] = {};
    CFrameMailbox box;
    box.Reset(b);
    uint8_t* shown = c;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(box.Take(shown, nullptr, 30), CFrameMailbox::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(shown, c);
    auto waiter = std::async(std::launch::async, [&] {
        uint64_t seq = 0;
        return box.Take(shown, &seq, 60000) == CFrameMailbox::kFrame ? seq : 0;
    });
    uint8_t* grab = a;
    box.Put(grab, 7);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 7u) << "woken by the put, long before its deadline";
}

TEST(FrameMailbox, StopWakesEveryWaiterAndLaterTakesReturnAtOnceUntilRestart) {
    uint8_t a[8] = {}, b[8] = {};
    CFrameMailbox box;
    box.Reset(b);
    std::vector<std::future<CFrameMailbox::TakeResult>> waiters;
    std::vector<std::vector<uint8_t>> own(4, std::vector<uint8_t>(8));
    for (auto& buffer : own)
        waiters.push_back(std::async(std::launch::async, [&box, p = buffer.data()]() mutable { return box.Take(p); }));
    box.Stop();
    for (auto& w : waiters) {
        ASSERT_EQ(w.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(w.get(), CFrameMailbox::kStopped);
    }
    uint8_t* grab = a;
    box.Put(grab, 1);
    uint8_t* shown = own[0].data();
    EXPECT_EQ(box.Take(shown), CFrameMailbox::kStopped) << "no wait, even with a frame there";
    EXPECT_EQ(shown, own[0].data());
    box.Restart();
    EXPECT_FALSE(box.Stopped());
    EXPECT_EQ(box.Take(shown, nullptr, 0), CFrameMailbox::kTimedOut) << "the frame from before is gone";
}

// Producer and consumer at full speed: every frame the consumer takes is whole (the stamp the
// producer wrote matches the sequence), sequences only rise, and the last frame arrives.
TEST(FrameMailbox, ProducerAndConsumerUnderRealTimingExchangeWholeFramesInOrder) {
    constexpr uint64_t kFrames = 20000;
    constexpr size_t kBytes = 4096;
    std::vector<uint8_t> store[3];
    for (auto& s : store)
        s.assign(kBytes, 0);
    CFrameMailbox box;
    box.Reset(store[1].data());
    auto consumer = std::async(std::launch::async, [&] {
        uint8_t* shown = store[2].data();
        uint64_t last = 0, seq = 0, taken = 0;
        while (last < kFrames) {
            if (box.Take(shown, &seq) != CFrameMailbox::kFrame)
                return std::string("stopped early");
            if (seq <= last)
                return std::string("sequence went back");
            if (Stamp(shown) != seq || Stamp(shown + kBytes - 8) != seq)
                return std::string("torn frame");
            last = seq;
            ++taken;
        }
        return taken > 0 ? std::string() : std::string("nothing taken");
    });
    std::thread producer([&] {
        uint8_t* grab = store[0].data();
        for (uint64_t seq = 1; seq <= kFrames; ++seq) {
            std::memcpy(grab, &seq, 8);
            std::memcpy(grab + kBytes - 8, &seq, 8);
            box.Put(grab, seq);
        }
    });
    producer.join();
    const bool done = consumer.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    box.Stop();  // a consumer still waiting returns, so the test ends either way
    EXPECT_TRUE(done) << "the last frame never came";
    EXPECT_EQ(consumer.get(), "");
}

}  // namespace
