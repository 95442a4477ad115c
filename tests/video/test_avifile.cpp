#include "video/avifile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "filebytes.h"
#include "tempdir.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace fs = std::filesystem;

namespace {

// A bottom-up BGR frame whose every pixel tells its stored row, column and frame apart.
std::vector<BYTE> MakeFrame(int w, int h, int index) {
    std::vector<BYTE> f(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            BYTE* p = &f[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<BYTE>(x * 7 + index);
            p[1] = static_cast<BYTE>(y * 5);
            p[2] = static_cast<BYTE>(200 - index * 3);
        }
    }
    return f;
}

// A smooth frame, so lossy compressors stay close to it.
std::vector<BYTE> MakeSmoothFrame(int w, int h) {
    std::vector<BYTE> f(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            BYTE* p = &f[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<BYTE>(40 + x);
            p[1] = static_cast<BYTE>(60 + y);
            p[2] = static_cast<BYTE>(180);
        }
    }
    return f;
}

std::string Record(CAviFile& avi, const std::string& path, int w, int h, int frames, FOURCC fcc, unsigned rate) {
    avi.SetCompressor(fcc);
    avi.SetRate(rate);
    if (!avi.Open(path, w, h)) {
        return avi.LastError();
    }
    for (int i = 0; i < frames; ++i) {
        std::vector<BYTE> f = MakeFrame(w, h, i);
        if (!avi.WriteFrame(f.data())) {
            return "frame " + std::to_string(i) + ": " + avi.LastError();
        }
    }
    if (!avi.Close()) {
        return avi.LastError();
    }
    return "";
}

// What FFmpeg itself makes of a file: the first video stream and its packets.
struct Probe {
    bool ok = false;
    int width = 0;
    int height = 0;
    AVCodecID codec = AV_CODEC_ID_NONE;
    uint32_t tag = 0;
    AVRational rate{0, 1};
    int packets = 0;
    std::vector<uint8_t> firstPacket;
};

Probe ProbeFile(const std::string& path) {
    Probe p;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) {
        return p;
    }
    if (avformat_find_stream_info(fmt, nullptr) >= 0 && fmt->nb_streams >= 1) {
        AVStream* st = fmt->streams[0];
        p.width = st->codecpar->width;
        p.height = st->codecpar->height;
        p.codec = st->codecpar->codec_id;
        p.tag = st->codecpar->codec_tag;
        p.rate = st->avg_frame_rate;
        AVPacket* pkt = av_packet_alloc();
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == 0) {
                if (p.packets == 0) {
                    p.firstPacket.assign(pkt->data, pkt->data + pkt->size);
                }
                ++p.packets;
            }
            av_packet_unref(pkt);
        }
        av_packet_free(&pkt);
        p.ok = true;
    }
    avformat_close_input(&fmt);
    return p;
}

uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

}  // namespace

TEST(AviFile, UncompressedRecordingIsBottomUpBgrWithPaddedRows) {
    TempDir dir;
    const std::string path = dir.File("raw.avi");
    CAviFile avi;
    // 30 pixels: 90 bytes a row, padded to 92 on disk.
    ASSERT_EQ(Record(avi, path, 30, 20, 5, FOURCC_DIB, 25000000), "");
    EXPECT_FALSE(avi.IsOpen());

    Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.codec, AV_CODEC_ID_RAWVIDEO);
    EXPECT_EQ(p.tag, 0u);
    EXPECT_EQ(p.width, 30);
    EXPECT_EQ(p.height, 20);
    EXPECT_EQ(p.packets, 5);
    EXPECT_EQ(av_cmp_q(p.rate, AVRational{25, 1}), 0);
    ASSERT_EQ(p.firstPacket.size(), 92u * 20);
    const std::vector<BYTE> f0 = MakeFrame(30, 20, 0);
    for (int y = 0; y < 20; ++y) {
        ASSERT_EQ(0, memcmp(&p.firstPacket[92 * y], &f0[90 * y], 90)) << "stored row " << y;
        EXPECT_EQ(p.firstPacket[92 * y + 90], 0);
    }

    // The stream's BITMAPINFOHEADER: positive height (bottom-up), 24 bits, BI_RGB.
    const std::vector<uint8_t> bytes = ReadFile(path);
    const std::string s(bytes.begin(), bytes.end());
    const size_t strf = s.find("strf");
    ASSERT_NE(strf, std::string::npos);
    EXPECT_EQ(LE32(bytes, strf + 8), 40u);
    EXPECT_EQ(LE32(bytes, strf + 12), 30u);
    EXPECT_EQ(static_cast<int32_t>(LE32(bytes, strf + 16)), 20);
    EXPECT_EQ(bytes[strf + 22], 24);
    EXPECT_EQ(LE32(bytes, strf + 24), 0u);
    const size_t strh = s.find("strh");
    ASSERT_NE(strh, std::string::npos);
    EXPECT_EQ(s.substr(strh + 8, 4), "vids");

    // Read back through our own reader: frame 0 in the camera's bottom-up layout, pixel exact,
    // and a later frame after it.
    ASSERT_EQ(avi.OpenForRead(path), 1) << avi.LastError();
    EXPECT_EQ(avi.Width(), 30);
    EXPECT_EQ(avi.Height(), 20);
    ASSERT_TRUE(avi.ReadFrame(0));
    EXPECT_EQ(0, memcmp(avi.FrameBits(), f0.data(), f0.size()));
    ASSERT_TRUE(avi.ReadFrame(3));
    const std::vector<BYTE> f3 = MakeFrame(30, 20, 3);
    EXPECT_EQ(0, memcmp(avi.FrameBits(), f3.data(), f3.size()));
    ASSERT_TRUE(avi.ReadFrame(0));  // back to the start
    EXPECT_EQ(0, memcmp(avi.FrameBits(), f0.data(), f0.size()));
    EXPECT_FALSE(avi.ReadFrame(5));
}

TEST(AviFile, CompressorsRecordAndDecode) {
    struct Case {
        FOURCC fcc;
        AVCodecID codec;
        bool lossless;
    };
    const Case cases[] = {
        {MakeFourCC('H', 'F', 'Y', 'U'), AV_CODEC_ID_HUFFYUV, true},
        {MakeFourCC('X', 'V', 'I', 'D'), AV_CODEC_ID_MPEG4, false},
        {MakeFourCC('M', 'P', '4', '2'), AV_CODEC_ID_MSMPEG4V2, false},
    };
    const int w = 64;
    const int h = 48;
    for (const Case& c : cases) {
        SCOPED_TRACE(FourCCText(c.fcc));
        if (!avcodec_find_encoder(c.codec)) {
            GTEST_SKIP() << "encoder not installed";
        }
        TempDir dir;
        const std::string path = dir.File("c.avi");
        CAviFile avi;
        avi.SetCompressor(c.fcc);
        ASSERT_EQ(avi.Compressor(), c.fcc);
        avi.SetRate(15000000);
        ASSERT_EQ(avi.Open(path, w, h), 1) << avi.LastError();
        const std::vector<BYTE> frame = c.lossless ? MakeFrame(w, h, 0) : MakeSmoothFrame(w, h);
        for (int i = 0; i < 12; ++i) {
            ASSERT_EQ(avi.WriteFrame(frame.data()), 1) << avi.LastError();
        }
        EXPECT_EQ(avi.FrameCount(), 12);
        ASSERT_EQ(avi.Close(), 1) << avi.LastError();

        Probe p = ProbeFile(path);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.codec, c.codec);
        EXPECT_EQ(p.tag, c.fcc);
        EXPECT_EQ(p.width, w);
        EXPECT_EQ(p.height, h);
        EXPECT_EQ(p.packets, 12);
        EXPECT_EQ(av_cmp_q(p.rate, AVRational{15, 1}), 0);

        ASSERT_EQ(avi.OpenForRead(path), 1) << avi.LastError();
        ASSERT_TRUE(avi.ReadFrame(0));
        int worst = 0;
        for (size_t i = 0; i < frame.size(); ++i) {
            worst = std::max(worst, std::abs(int(avi.FrameBits()[i]) - int(frame[i])));
        }
        // The orientation matters most: an upside-down frame differs by far more.
        EXPECT_LE(worst, c.lossless ? 0 : 24);
        ASSERT_TRUE(avi.ReadFrame(11));
        EXPECT_FALSE(avi.ReadFrame(12));
    }
}

TEST(AviFile, SlowFramesKeepTheirMeasuredInterval) {
    TempDir dir;
    const std::string path = dir.File("slow.avi");
    CAviFile avi;
    ASSERT_EQ(avi.SetFrameInterval(2500000), 1);  // one frame every 2.5 s
    EXPECT_EQ(avi.SetFrameInterval(0), 0);
    EXPECT_EQ(avi.Scale(), 5u);
    EXPECT_EQ(avi.Rate(), 2u);
    ASSERT_EQ(avi.Open(path, 16, 8), 1) << avi.LastError();
    const std::vector<BYTE> f = MakeFrame(16, 8, 0);
    ASSERT_EQ(avi.WriteFrame(f.data()), 1);
    ASSERT_EQ(avi.WriteFrame(f.data()), 1);
    ASSERT_EQ(avi.Close(), 1);
    Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(av_cmp_q(p.rate, AVRational{2, 5}), 0);

    // A measured rate that is not a 16-bit fraction still opens a compressor that needs one.
    if (avcodec_find_encoder(AV_CODEC_ID_MPEG4)) {
        avi.SetCompressor(MakeFourCC('X', 'V', 'I', 'D'));
        ASSERT_EQ(avi.SetRate(23456789), 1);
        ASSERT_EQ(avi.Open(dir.File("odd.avi"), 32, 32), 1) << avi.LastError();
        const std::vector<BYTE> g = MakeSmoothFrame(32, 32);
        ASSERT_EQ(avi.WriteFrame(g.data()), 1);
        ASSERT_EQ(avi.Close(), 1);
        Probe q = ProbeFile(dir.File("odd.avi"));
        EXPECT_NEAR(av_q2d(q.rate), 23.456789, 0.001);
    }
    EXPECT_EQ(avi.SetRate(0), 0);
}

TEST(AviFile, CompressorChoice) {
    CAviFile avi;
    EXPECT_EQ(avi.Compressor(), FOURCC_DIB);
    avi.SetCompressor(0);
    EXPECT_EQ(avi.Compressor(), FOURCC_DIB);
    avi.SetCompressor(MakeFourCC('Q', 'Q', 'Q', 'Q'));
    EXPECT_EQ(avi.Compressor(), FOURCC_DIB);
    avi.SetCompressor(MakeFourCC('W', 'M', 'V', '3'));
    EXPECT_EQ(avi.Compressor(), MakeFourCC('W', 'M', 'V', '3'));

    // The save dialog offers only the compressors of the known list, each one the writer takes.
    const std::vector<AviCompressor> list = CAviFile::EnumerateCompressors();
    ASSERT_FALSE(list.empty());
    const std::set<std::string> known = {"MP42", "WMV3", "MPG4", "XVID", "HFYU", "ACDV"};
    bool hasHuffyuv = false;
    for (const AviCompressor& c : list) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.description.empty());
        EXPECT_TRUE(known.count(FourCCText(c.fourcc))) << FourCCText(c.fourcc);
        avi.SetCompressor(c.fourcc);
        EXPECT_EQ(avi.Compressor(), c.fourcc);
        hasHuffyuv = hasHuffyuv || c.fourcc == MakeFourCC('H', 'F', 'Y', 'U');
    }
    EXPECT_TRUE(hasHuffyuv);

    // Each offered compressor records whatever size the camera or a cut region has (width a
    // multiple of 4, any height), and its recording decodes again (an encoder that picks its own
    // FOURCC for its picture layout must not be filed under another one).
    TempDir dir;
    for (const AviCompressor& c : list) {
        for (const auto& [w, h] : {std::pair{64, 48}, std::pair{1832, 1370}, std::pair{228, 131}}) {
            SCOPED_TRACE(c.name + " " + std::to_string(w) + " x " + std::to_string(h));
            const std::string path = dir.File(c.name + ".avi");
            const std::vector<BYTE> f = MakeSmoothFrame(w, h);
            avi.SetCompressor(c.fourcc);
            ASSERT_EQ(avi.Open(path, w, h), 1) << avi.LastError();
            ASSERT_EQ(avi.WriteFrame(f.data()), 1) << avi.LastError();
            ASSERT_EQ(avi.Close(), 1) << avi.LastError();
            ASSERT_EQ(avi.OpenForRead(path), 1) << avi.LastError();
            EXPECT_TRUE(avi.ReadFrame(0));
            avi.Close();
            fs::remove(path);
        }
    }
}

TEST(AviFile, FailedOpenLeavesNothingAndRefusesFrames) {
    TempDir dir;
    const std::vector<BYTE> f = MakeFrame(16, 16, 0);
    CAviFile avi;

    // A compressor without an installed encoder: no file, a clear reason, frames refused.
    avi.SetCompressor(MakeFourCC('W', 'M', 'V', '3'));
    const std::string wmv = dir.File("wmv.avi");
    EXPECT_EQ(avi.Open(wmv, 16, 16), 0);
    EXPECT_NE(avi.LastError().find("WMV3"), std::string::npos) << avi.LastError();
    EXPECT_FALSE(fs::exists(wmv));
    EXPECT_FALSE(avi.IsOpen());
    EXPECT_EQ(avi.WriteFrame(f.data()), 0);
    EXPECT_FALSE(avi.StartCloseThread([] { ADD_FAILURE() << "nothing was recorded"; }));

    // A failed compressor open must not truncate an earlier recording of the same name.
    avi.SetCompressor(FOURCC_DIB);
    const std::string kept = dir.File("kept.avi");
    ASSERT_EQ(Record(avi, kept, 16, 16, 2, FOURCC_DIB, 1000000), "");
    const auto before = fs::file_size(kept);
    avi.SetCompressor(MakeFourCC('M', 'P', 'G', '4'));
    EXPECT_EQ(avi.Open(kept, 16, 16), 0);
    EXPECT_EQ(fs::file_size(kept), before);

    // A folder that does not exist, a "folder" that is a file, and one that cannot be written.
    avi.SetCompressor(FOURCC_DIB);
    EXPECT_EQ(avi.Open(dir.File("missing/x.avi"), 16, 16), 0);
    EXPECT_NE(avi.LastError().find("missing/x.avi"), std::string::npos) << avi.LastError();
    EXPECT_EQ(avi.Open(kept + "/x.avi", 16, 16), 0);
    EXPECT_EQ(fs::file_size(kept), before);
    EXPECT_EQ(avi.Open(dir.File("empty.avi"), 0, 16), 0);
    EXPECT_EQ(avi.Open("", 16, 16), 0);
    EXPECT_FALSE(fs::exists(dir.File("empty.avi")));
    EXPECT_FALSE(avi.IsOpen());
}

TEST(AviFile, OpenFailsInAReadOnlyFolder) {
    TempDir dir;
    CAviFile avi;
    const fs::path locked = dir.Path() / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (access(locked.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "running with rights that write anywhere";
    }
    EXPECT_EQ(avi.Open((locked / "x.avi").string(), 16, 16), 0);
    EXPECT_FALSE(avi.IsOpen());
}

TEST(AviFile, CloseThreadWaitsForWritesAndRefusesLaterOnes) {
    TempDir dir;
    const std::string path = dir.File("threads.avi");
    CAviFile avi;
    avi.SetRate(30000000);
    ASSERT_EQ(avi.Open(path, 64, 48), 1) << avi.LastError();
    const std::vector<BYTE> f = MakeFrame(64, 48, 0);

    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread display([&] {
        while (!stop) {
            if (avi.WriteFrame(f.data())) {
                ++written;
            }
        }
    });
    while (written < 20) {
        std::this_thread::yield();
    }
    std::mutex m;
    std::condition_variable cv;
    bool closed = false;
    ASSERT_TRUE(avi.StartCloseThread([&] {
        std::lock_guard<std::mutex> g(m);
        closed = true;
        cv.notify_all();
    }));
    {
        std::unique_lock<std::mutex> g(m);
        ASSERT_TRUE(cv.wait_for(g, std::chrono::seconds(10), [&] { return closed; }));
    }
    // The writer's own count: the display thread may not have counted its last accepted frame yet.
    const int atClose = avi.FrameCount();
    EXPECT_EQ(avi.WriteFrame(f.data()), 0);  // refused after stop
    stop = true;
    display.join();
    EXPECT_EQ(written, atClose);
    EXPECT_EQ(avi.FrameCount(), atClose);
    ASSERT_EQ(avi.Close(), 1);
    EXPECT_EQ(ProbeFile(path).packets, atClose);
}

TEST(AviFile, DamagedAndForeignFilesReadCleanly) {
    TempDir dir;
    CAviFile avi;
    const std::string good = dir.File("good.avi");
    ASSERT_EQ(Record(avi, good, 40, 30, 3, FOURCC_DIB, 10000000), "");
    const std::vector<uint8_t> bytes = ReadFile(good);

    // Cut inside the first frame, and inside the header.
    for (size_t keep : {bytes.size() / 2, size_t(300), size_t(12)}) {
        SCOPED_TRACE(keep);
        const std::string cut = dir.File("cut" + std::to_string(keep) + ".avi");
        std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), keep);
        if (avi.OpenForRead(cut)) {
            if (avi.ReadFrame(0)) {
                EXPECT_FALSE(avi.ReadFrame(2));  // the rest is cut away
            }
            EXPECT_LE(avi.Width(), CAviFile::kMaxReadSide);
        } else {
            EXPECT_FALSE(avi.LastError().empty());
        }
        EXPECT_EQ(fs::file_size(cut), keep);
    }

    // Garbage, an empty file, a file that is not there.
    const std::string garbage = dir.File("garbage.avi");
    {
        std::ofstream out(garbage, std::ios::binary);
        uint32_t x = 12345;
        for (int i = 0; i < 20000; ++i) {
            x = x * 1103515245u + 12345u;
            out.put(static_cast<char>(x >> 24));
        }
    }
    EXPECT_EQ(avi.OpenForRead(garbage), 0);
    EXPECT_FALSE(avi.ReadFrame(0));
    std::ofstream(dir.File("empty.avi")).close();
    EXPECT_EQ(avi.OpenForRead(dir.File("empty.avi")), 0);
    EXPECT_EQ(avi.OpenForRead(dir.File("none.avi")), 0);

    // A header claiming a huge frame is refused before anything is allocated for it.
    std::vector<uint8_t> huge = bytes;
    const std::string s(huge.begin(), huge.end());
    for (size_t at = s.find("strf"); at != std::string::npos; at = std::string::npos) {
        huge[at + 12] = 0xFF;
        huge[at + 13] = 0xFF;
        huge[at + 14] = 0x00;
        huge[at + 15] = 0x00;
    }
    size_t avih = s.find("avih");
    huge[avih + 8 + 32] = 0xFF;
    huge[avih + 8 + 33] = 0xFF;
    const std::string big = dir.File("big.avi");
    WriteFile(big, huge);
    EXPECT_EQ(avi.OpenForRead(big), 0);
    EXPECT_EQ(avi.FrameBits(), nullptr);
}

TEST(AviFile, FirstFrameAsPrivateBmp) {
    TempDir dir;
    CAviFile avi;
    const std::string video = dir.File("v.avi");
    ASSERT_EQ(Record(avi, video, 30, 4, 1, FOURCC_DIB, 5000000), "");
    // A user's own file beside the video stays untouched.
    const std::string beside = video + ".bmp";
    std::ofstream(beside) << "mine";

    ASSERT_EQ(avi.OpenForRead(video), 1);
    std::string bmp;
    EXPECT_FALSE(avi.SaveFrameAsBmp(bmp));  // nothing read yet
    ASSERT_TRUE(avi.ReadFrame(0));
    ASSERT_TRUE(avi.SaveFrameAsBmp(bmp)) << avi.LastError();
    EXPECT_NE(bmp, beside);
    EXPECT_EQ(ReadFile(beside).size(), 4u);

    const std::vector<uint8_t> b = ReadFile(bmp);
    fs::remove(bmp);
    ASSERT_EQ(b.size(), 54u + 92 * 4);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(LE32(b, 2), b.size());
    EXPECT_EQ(LE32(b, 10), 54u);
    EXPECT_EQ(LE32(b, 18), 30u);
    EXPECT_EQ(LE32(b, 22), 4u);
    EXPECT_EQ(LE32(b, 34), 92u * 4);
    const std::vector<BYTE> f0 = MakeFrame(30, 4, 0);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(0, memcmp(&b[54 + 92 * y], &f0[90 * y], 90)) << "row " << y;
    }
}
