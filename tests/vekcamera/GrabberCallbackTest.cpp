// The video-device path's sample callback: snapshot requests and the BMP it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/le.h"
#include "vekcamera/DirectShowCapture.h"
#include "filebytes.h"
#include "tempdir.h"

namespace {

videodev::VideoFrame Frame(const std::vector<uint8_t>& data, int w, int h) {
    return videodev::VideoFrame{data.data(), w, h, videodev::DibStride(w), data.size()};
}

TEST(GrabberCallback, TwoRequestsBeforeTheNextSampleWriteOneFileAtTheSecondPath) {
    TempDir dir;
    CGrabberCallback grabber;
    const std::vector<uint8_t> data(4 * 2 * 3, 0x5A);
    grabber.RequestSnapshot((dir.Path() / "first").string());
    grabber.RequestSnapshot((dir.Path() / "second").string());
    EXPECT_EQ(grabber.RequestModeNow(), CGrabberCallback::kSnapshot);
    grabber.BufferCB(Frame(data, 4, 2));
    EXPECT_EQ(grabber.RequestModeNow(), CGrabberCallback::kNone);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "first.bmp"));
    const std::vector<uint8_t> bmp = ReadFile(dir.Path() / "second.bmp");
    ASSERT_EQ(bmp.size(), 54u + data.size());
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.end()), data);

    // The request is one-shot: the next sample writes nothing.
    std::filesystem::remove(dir.Path() / "second.bmp");
    grabber.BufferCB(Frame(data, 4, 2));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(GrabberCallback, AnUnwritableSnapshotIsSkippedAndTheRequestEnds) {
    TempDir dir;
    CGrabberCallback grabber;
    const std::vector<uint8_t> data(4 * 3, 1);
    grabber.RequestSnapshot((dir.Path() / "missing" / "snap").string());
    grabber.BufferCB(Frame(data, 4, 1));
    EXPECT_EQ(grabber.RequestModeNow(), CGrabberCallback::kNone);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(GrabberCallback, RequestsFromAnotherThreadWhileSamplesArrive) {
    // The request and the streaming thread meet under the callback's lock: every request made
    // is served by a later sample, and each file is whole.
    TempDir dir;
    CGrabberCallback grabber;
    const std::vector<uint8_t> data(8 * 4 * 3, 7);
    std::atomic<bool> stop{false};
    std::thread streaming([&] {
        while (!stop)
            grabber.BufferCB(Frame(data, 8, 4));
    });
    for (int i = 0; i < 50; ++i) {
        const std::filesystem::path base = dir.Path() / ("s" + std::to_string(i));
        grabber.RequestSnapshot(base.string());
        for (int wait = 0; wait < 20000 && grabber.RequestModeNow() != CGrabberCallback::kNone; ++wait)  // 20 s at most
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    streaming.join();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
        EXPECT_EQ(std::filesystem::file_size(entry.path()), 54u + data.size());
    }
    EXPECT_EQ(files, 50);
}

}  // namespace
