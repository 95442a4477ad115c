// The camera thread under real timing: jobs run one after another off the UI thread, their
// ends come back on it in the same order, a gone receiver gets nothing, and Drain waits.
#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "capture/camerathread.h"
#include "ui/msgbridge.h"
#include "eventpump.h"

namespace {

TEST(CameraThread, JobsRunInOrderOffTheUiThreadAndTheirEndsComeBackOnIt) {
    CCameraThread& camera = CCameraThread::Instance();
    QObject receiver;
    const auto ui = std::this_thread::get_id();
    std::mutex lock;
    std::vector<int> ran, ended;
    std::atomic<int> offUi{0};
    bool endsOnUi = true;
    for (int i = 0; i < 20; ++i) {
        camera.Post(&receiver, [&, i] {
            if (std::this_thread::get_id() != ui) ++offUi;
            // A job that asks for more camera work gets it done at once, not queued behind itself.
            if (i == 5) camera.Post(nullptr, [&] { std::lock_guard<std::mutex> g(lock); ran.push_back(-1); });
            std::lock_guard<std::mutex> g(lock);
            ran.push_back(i);
        }, [&, i] {
            endsOnUi = endsOnUi && std::this_thread::get_id() == ui;
            ended.push_back(i);
        });
    }
    camera.Drain();
    EXPECT_FALSE(camera.Busy());
    {
        std::lock_guard<std::mutex> g(lock);
        ASSERT_EQ(ran.size(), 21u) << "Drain returns once every job has run";
        std::vector<int> expected;
        for (int i = 0; i < 20; ++i) {
            if (i == 5) expected.push_back(-1);
            expected.push_back(i);
        }
        EXPECT_EQ(ran, expected);
    }
    EXPECT_EQ(offUi.load(), 20);
    ASSERT_TRUE(PumpUntil([&] { return ended.size() == 20; }));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(ended[i], i);
    EXPECT_TRUE(endsOnUi);
}

TEST(CameraThread, AReceiverThatIsGoneGetsNoEnd) {
    CCameraThread& camera = CCameraThread::Instance();
    bool ended = false, otherEnded = false;
    QObject other;
    {
        QObject receiver;
        camera.Post(&receiver, [] {}, [&] { ended = true; });
        camera.Post(&other, [] {}, [&] { otherEnded = true; });
        camera.Drain();
    }
    ASSERT_TRUE(PumpUntil([&] { return otherEnded; }));
    EXPECT_FALSE(ended);
}

}  // namespace
