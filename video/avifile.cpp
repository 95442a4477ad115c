#include "video/avifile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include <unistd.h>

#include "video/avlibraries.h"

namespace {

constexpr FOURCC kAcceptedCompressors[] = {
    MakeFourCC('M', 'P', '4', '2'), MakeFourCC('W', 'M', 'V', '3'), MakeFourCC('M', 'P', 'G', '4'),
    MakeFourCC('X', 'V', 'I', 'D'), MakeFourCC('H', 'F', 'Y', 'U'), MakeFourCC('A', 'C', 'D', 'V'),
};

// FFmpeg's functions; only once CAvLibraries::Shared() has loaded.
const CAvLibraries::Functions& Av() { return CAvLibraries::Shared().Fn(); }

// AVI rows of a DIB are padded to four bytes.
size_t DibStride(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3); }

std::string AvError(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    Av().av_strerror(err, text, sizeof(text));
    return text;
}

const AVOutputFormat* AviMuxer() { return Av().av_guess_format("avi", nullptr, nullptr); }

// The codec the AVI muxer files under this FOURCC, or AV_CODEC_ID_NONE.
AVCodecID CodecOfFourCC(FOURCC fcc) {
    const AVOutputFormat* avi = AviMuxer();
    if (!avi || !avi->codec_tag) {
        return AV_CODEC_ID_NONE;
    }
    return Av().av_codec_get_id(avi->codec_tag, fcc);
}

// An encoder set up as a recording uses it, or null with the error in *err.
AVCodecContext* OpenEncoder(const AVCodec* codec, int width, int height, AVRational timeBase, FOURCC tag,
                            int* err) {
    AVCodecContext* enc = Av().avcodec_alloc_context3(codec);
    if (!enc) {
        *err = AVERROR(ENOMEM);
        return nullptr;
    }
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = codec->pix_fmts
                       ? Av().avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_BGR24, 0, nullptr)
                       : AV_PIX_FMT_YUV420P;
    // Many encoders cap the time base's denominator at 16 bits; a close approximation of a
    // measured rate is fine for them.
    Av().av_reduce(&enc->time_base.num, &enc->time_base.den, timeBase.num, timeBase.den, 65535);
    enc->framerate = av_inv_q(enc->time_base);
    enc->codec_tag = tag;
    // Microscope pictures want fine detail more than a small file.
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * 3;
    *err = Av().avcodec_open2(enc, codec, nullptr);
    if (*err < 0) {
        Av().avcodec_free_context(&enc);
        return nullptr;
    }
    return enc;
}

// Frame sizes an offered compressor must take: a camera's usual ones, a small one, and a cut
// region's (width a multiple of 4, any height).
constexpr struct {
    int width;
    int height;
} kProbeSizes[] = {{640, 480}, {3664, 2740}, {916, 685}, {64, 48}, {1276, 957}};

bool RecordsAnySize(const AVCodec* codec, FOURCC fcc) {
    for (const auto& size : kProbeSizes) {
        int err = 0;
        AVCodecContext* enc = OpenEncoder(codec, size.width, size.height, AVRational{1, 25}, fcc, &err);
        if (!enc) {
            return false;
        }
        Av().avcodec_free_context(&enc);
    }
    return true;
}

void PutLE16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
void PutLE32(BYTE* p, DWORD v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<BYTE>(v >> (8 * i));
    }
}

}  // namespace

std::string FourCCText(FOURCC fcc) {
    std::string s(4, '.');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fcc >> (8 * i)) & 0xFF);
        if (c >= 0x20 && c < 0x7F) {
            s[i] = c;
        }
    }
    return s;
}

struct AviWriter {
    AVFormatContext* fmt = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* enc = nullptr;  // null for uncompressed frames
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    std::vector<BYTE> rawRow;  // one padded row of an uncompressed frame

    ~AviWriter() {
        Av().sws_freeContext(sws);
        Av().av_packet_free(&packet);
        Av().av_frame_free(&frame);
        Av().avcodec_free_context(&enc);
        if (fmt) {
            Av().avio_closep(&fmt->pb);
            Av().avformat_free_context(fmt);
        }
    }

    // Hands the encoder's finished packets to the muxer.
    int Drain() {
        for (;;) {
            int err = Av().avcodec_receive_packet(enc, packet);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
                return 0;
            }
            if (err < 0) {
                return err;
            }
            Av().av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            err = Av().av_write_frame(fmt, packet);
            Av().av_packet_unref(packet);
            if (err < 0) {
                return err;
            }
        }
    }
};

struct AviReader {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    int streamIndex = -1;
    int nextFrame = 0;  // index of the next frame the decoder will hand out
    bool flushed = false;

    ~AviReader() {
        Av().sws_freeContext(sws);
        Av().av_packet_free(&packet);
        Av().av_frame_free(&frame);
        Av().avcodec_free_context(&dec);
        Av().avformat_close_input(&fmt);
    }
};

CAviFile::CAviFile() = default;

CAviFile::~CAviFile() {
    JoinCloseThread();
    Close();
}

std::string CAviFile::LastError() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastError;
}

int CAviFile::Fail(const std::string& text) {
    m_lastError = text;
    return 0;
}

int CAviFile::SetRate(unsigned rate) {
    if (rate == 0) {
        return 0;
    }
    m_dwRate = rate;
    m_dwScale = 1000000;
    return 1;
}

int CAviFile::SetFrameInterval(uint64_t microseconds) {
    if (microseconds == 0 || !CAvLibraries::Shared().Loaded()) {
        return 0;
    }
    // scale / rate = microseconds / 1000000, reduced so both fit the header's 32-bit fields.
    int num = 0;
    int den = 0;
    Av().av_reduce(&num, &den, static_cast<int64_t>(std::min<uint64_t>(microseconds, INT64_MAX / 2)), 1000000,
              std::numeric_limits<int32_t>::max());
    if (num <= 0 || den <= 0) {
        return 0;
    }
    m_dwScale = static_cast<DWORD>(num);
    m_dwRate = static_cast<DWORD>(den);
    return 1;
}

int CAviFile::SetCompressor(FOURCC fcc) {
    if (std::find(std::begin(kAcceptedCompressors), std::end(kAcceptedCompressors), fcc) !=
        std::end(kAcceptedCompressors)) {
        m_fccCompressor = fcc;
        return 1;
    }
    // Any other compressor the save dialog can offer: a FOURCC of an installed encoder.
    const AVCodecID id = CAvLibraries::Shared().Loaded() ? CodecOfFourCC(fcc) : AV_CODEC_ID_NONE;
    if (fcc != 0 && id != AV_CODEC_ID_NONE && id != AV_CODEC_ID_RAWVIDEO && Av().avcodec_find_encoder(id)) {
        m_fccCompressor = fcc;
    } else {
        m_fccCompressor = FOURCC_DIB;
    }
    return 1;
}

int CAviFile::Open(const std::string& path, unsigned width, unsigned height) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastError.clear();
    if (m_writer) {
        return Fail("A recording is already open.");
    }
    if (width == 0 || height == 0 || path.empty()) {
        return Fail("No file name or an empty frame size.");
    }
    if (width > 0xFFFF || height > 0xFFFF) {
        return Fail("The frame size is too large for a recording.");
    }
    if (const CAvLibraries& libraries = CAvLibraries::Shared(); !libraries.Loaded()) {
        return Fail("AVI files cannot be written: " + libraries.Error() + ".");
    }
    const AVOutputFormat* avi = AviMuxer();
    if (!avi) {
        return Fail("AVI files cannot be written: the AVI muxer is not installed.");
    }

    auto* w = new AviWriter;
    auto fail = [&](const std::string& text) {
        const bool created = w->fmt && w->fmt->pb;
        delete w;
        if (created) {
            std::remove(path.c_str());
        }
        m_lastError = text;
        return 0;
    };

    const bool raw = m_fccCompressor == FOURCC_DIB;
    int err = 0;
    AVRational timeBase{static_cast<int>(std::min<DWORD>(m_dwScale, INT32_MAX)),
                        static_cast<int>(std::min<DWORD>(m_dwRate, INT32_MAX))};
    Av().av_reduce(&timeBase.num, &timeBase.den, timeBase.num, timeBase.den, INT32_MAX);

    // The compressor is opened before the file exists, so a missing one touches nothing on disk.
    if (!raw) {
        const AVCodecID id = CodecOfFourCC(m_fccCompressor);
        const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : Av().avcodec_find_encoder(id);
        if (!codec) {
            return fail("The compressor \"" + FourCCText(m_fccCompressor) + "\" isn't installed!");
        }
        w->enc = OpenEncoder(codec, static_cast<int>(width), static_cast<int>(height), timeBase,
                             m_fccCompressor, &err);
        if (!w->enc) {
            return fail("The compressor \"" + std::string(codec->long_name ? codec->long_name : codec->name) +
                        "\" can't record " + std::to_string(width) + " x " + std::to_string(height) + " video!");
        }
        w->frame = Av().av_frame_alloc();
        w->packet = Av().av_packet_alloc();
        if (!w->frame || !w->packet) {
            return fail("Out of memory.");
        }
        w->frame->format = w->enc->pix_fmt;
        w->frame->width = w->enc->width;
        w->frame->height = w->enc->height;
        if (Av().av_frame_get_buffer(w->frame, 0) < 0) {
            return fail("Out of memory.");
        }
        w->sws = Av().sws_getContext(static_cast<int>(width), static_cast<int>(height), AV_PIX_FMT_BGR24,
                                static_cast<int>(width), static_cast<int>(height), w->enc->pix_fmt,
                                SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (!w->sws) {
            return fail("The frames cannot be converted for the compressor \"" + FourCCText(m_fccCompressor) +
                        "\".");
        }
        timeBase = w->enc->time_base;
    } else {
        w->packet = Av().av_packet_alloc();
        if (!w->packet) {
            return fail("Out of memory.");
        }
    }

    if (Av().avformat_alloc_output_context2(&w->fmt, avi, nullptr, path.c_str()) < 0 || !w->fmt) {
        return fail("Out of memory.");
    }
    w->stream = Av().avformat_new_stream(w->fmt, nullptr);
    if (!w->stream) {
        return fail("Out of memory.");
    }
    w->stream->time_base = timeBase;
    w->stream->avg_frame_rate = av_inv_q(timeBase);
    AVCodecParameters* par = w->stream->codecpar;
    if (raw) {
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_RAWVIDEO;
        par->codec_tag = 0;  // BI_RGB
        par->format = AV_PIX_FMT_BGR24;
        par->width = static_cast<int>(width);
        par->height = static_cast<int>(height);
        par->bits_per_coded_sample = 24;
        w->rawRow.assign(DibStride(static_cast<int>(width)), 0);
    } else {
        // Carries the requested FOURCC, or the one the encoder chose for its picture layout.
        Av().avcodec_parameters_from_context(par, w->enc);
    }

    err = Av().avio_open(&w->fmt->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (err < 0) {
        w->fmt->pb = nullptr;
        return fail("Cannot create the file \"" + path + "\": " + AvError(err));
    }
    AVDictionary* options = nullptr;
    if (raw) {
        // Raw frames go to disk as the camera delivers them: bottom-up, so a positive height.
        Av().av_dict_set(&options, "flipped_raw_rgb", "1", 0);
    }
    err = Av().avformat_write_header(w->fmt, &options);
    Av().av_dict_free(&options);
    if (err < 0) {
        return fail("Cannot write the file \"" + path + "\": " + AvError(err));
    }

    m_writer = w;
    m_path = path;
    m_wWidth = static_cast<WORD>(width);
    m_wHeight = static_cast<WORD>(height);
    m_nFrames = 0;
    m_bOpen = true;
    return 1;
}

int CAviFile::WriteFrame(const BYTE* rgb) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!rgb || !m_bOpen.load() || !m_writer) {
        return 0;
    }
    AviWriter* w = m_writer;
    const int width = m_wWidth;
    const int height = m_wHeight;
    const size_t packed = static_cast<size_t>(width) * 3;
    int err = 0;
    if (!w->enc) {
        const size_t stride = w->rawRow.size();
        if (Av().av_new_packet(w->packet, static_cast<int>(stride * height)) < 0) {
            m_lastError = "Out of memory.";
            return 0;
        }
        for (int y = 0; y < height; ++y) {
            BYTE* dst = w->packet->data + stride * y;
            std::memcpy(dst, rgb + packed * y, packed);
            std::memset(dst + packed, 0, stride - packed);
        }
        w->packet->pts = m_nFrames;
        w->packet->dts = m_nFrames;
        w->packet->duration = 1;
        w->packet->flags |= AV_PKT_FLAG_KEY;
        w->packet->stream_index = w->stream->index;
        err = Av().av_write_frame(w->fmt, w->packet);
        Av().av_packet_unref(w->packet);
    } else {
        err = Av().av_frame_make_writable(w->frame);
        if (err >= 0) {
            // The last stored row is the top of the picture.
            const uint8_t* src[1] = {rgb + packed * (height - 1)};
            const int srcStride[1] = {-static_cast<int>(packed)};
            Av().sws_scale(w->sws, src, srcStride, 0, height, w->frame->data, w->frame->linesize);
            w->frame->pts = m_nFrames;
            err = Av().avcodec_send_frame(w->enc, w->frame);
        }
        if (err >= 0) {
            err = w->Drain();
        }
    }
    if (err < 0) {
        m_lastError = "Cannot write a frame to \"" + m_path + "\": " + AvError(err);
        return 0;
    }
    ++m_nFrames;
    return 1;
}

void CAviFile::CloseWriter() {
    AviWriter* w = m_writer;
    m_writer = nullptr;
    if (!w) {
        return;
    }
    int err = 0;
    if (w->enc) {
        err = Av().avcodec_send_frame(w->enc, nullptr);
        if (err >= 0) {
            err = w->Drain();
        }
    }
    const int trailer = Av().av_write_trailer(w->fmt);
    if (err >= 0) {
        err = trailer;
    }
    if (err >= 0 && w->fmt->pb && w->fmt->pb->error < 0) {
        err = w->fmt->pb->error;
    }
    if (err >= 0) {
        err = Av().avio_closep(&w->fmt->pb);
    }
    if (err < 0) {
        m_lastError = "Cannot finish the file \"" + m_path + "\": " + AvError(err);
    }
    delete w;
}

void CAviFile::CloseReader() {
    delete m_reader;
    m_reader = nullptr;
    m_frame.clear();
    m_frame.shrink_to_fit();
    m_bFrameRead = false;
    m_width = 0;
    m_height = 0;
}

int CAviFile::Close() {
    if (m_closeThread.joinable() && m_closeThread.get_id() != std::this_thread::get_id()) {
        JoinCloseThread();
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_bOpen = false;
    const bool hadWriter = m_writer != nullptr;
    if (hadWriter) {
        m_lastError.clear();
    }
    CloseWriter();
    CloseReader();
    m_nFrames = 0;
    return hadWriter && !m_lastError.empty() ? 0 : 1;
}

void CAviFile::JoinCloseThread() {
    if (m_closeThread.joinable()) {
        if (m_closeThread.get_id() == std::this_thread::get_id()) {
            m_closeThread.detach();
        } else {
            m_closeThread.join();
        }
    }
}

bool CAviFile::StartCloseThread(std::function<void()> onClosed) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_writer || !m_bOpen.load()) {
            return false;
        }
    }
    m_bOpen = false;  // refuses further writes without waiting for the one in progress
    JoinCloseThread();
    m_closeThread = std::thread([this, onClosed = std::move(onClosed)]() {
        { std::lock_guard<std::mutex> guard(m_lock); }
        if (onClosed) {
            onClosed();
        }
    });
    return true;
}

// ---- reading ----

int CAviFile::OpenForRead(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    CloseReader();
    m_lastError.clear();
    m_readPath = path;
    if (const CAvLibraries& libraries = CAvLibraries::Shared(); !libraries.Loaded()) {
        return Fail("AVI files cannot be read: " + libraries.Error() + ".");
    }
    auto* r = new AviReader;
    auto fail = [&](const std::string& text) {
        delete r;
        m_lastError = text;
        return 0;
    };
    const AVInputFormat* avi = Av().av_find_input_format("avi");
    if (!avi) {
        return fail("AVI files cannot be read: the AVI demuxer is not installed.");
    }
    int err = Av().avformat_open_input(&r->fmt, path.c_str(), avi, nullptr);
    if (err < 0) {
        r->fmt = nullptr;
        return fail("\"" + path + "\" is no readable AVI file: " + AvError(err));
    }
    for (unsigned i = 0; i < r->fmt->nb_streams; ++i) {
        if (r->fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            r->streamIndex = static_cast<int>(i);
            break;
        }
    }
    if (r->streamIndex < 0) {
        return fail("\"" + path + "\" holds no video.");
    }
    for (unsigned i = 0; i < r->fmt->nb_streams; ++i) {
        if (static_cast<int>(i) != r->streamIndex) {
            r->fmt->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    const AVCodecParameters* par = r->fmt->streams[r->streamIndex]->codecpar;
    const int width = par->width;
    const int height = par->height;
    if (width <= 0 || height <= 0 || width > kMaxReadSide || height > kMaxReadSide ||
        static_cast<int64_t>(width) * height > kMaxReadPixels) {
        return fail("\"" + path + "\" has an unusable frame size " + std::to_string(width) + " x " +
                    std::to_string(height) + ".");
    }
    const AVCodec* codec = Av().avcodec_find_decoder(par->codec_id);
    if (!codec) {
        return fail("No decoder is installed for the video of \"" + path + "\".");
    }
    r->dec = Av().avcodec_alloc_context3(codec);
    r->frame = Av().av_frame_alloc();
    r->packet = Av().av_packet_alloc();
    if (!r->dec || !r->frame || !r->packet) {
        return fail("Out of memory.");
    }
    if (Av().avcodec_parameters_to_context(r->dec, par) < 0) {
        return fail("The video of \"" + path + "\" cannot be decoded.");
    }
    r->dec->thread_count = 1;
    r->dec->max_pixels = kMaxReadPixels;
    err = Av().avcodec_open2(r->dec, codec, nullptr);
    if (err < 0) {
        return fail("The video of \"" + path + "\" cannot be decoded: " + AvError(err));
    }
    m_reader = r;
    m_width = width;
    m_height = height;
    m_frame.assign(static_cast<size_t>(width) * height * 3, 0);
    return 1;
}

bool CAviFile::ReadFrame(int n) {
    std::lock_guard<std::mutex> guard(m_lock);
    AviReader* r = m_reader;
    if (!r || n < 0) {
        return false;
    }
    m_bFrameRead = false;
    if (n < r->nextFrame) {
        AVStream* st = r->fmt->streams[r->streamIndex];
        const int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
        if (Av().av_seek_frame(r->fmt, r->streamIndex, start, AVSEEK_FLAG_BACKWARD) < 0) {
            return false;
        }
        Av().avcodec_flush_buffers(r->dec);
        r->nextFrame = 0;
        r->flushed = false;
    }
    for (;;) {
        int err = Av().avcodec_receive_frame(r->dec, r->frame);
        if (err == 0) {
            const int index = r->nextFrame++;
            if (index < n) {
                Av().av_frame_unref(r->frame);
                continue;
            }
            bool ok = false;
            if (r->frame->width > 0 && r->frame->height > 0 && r->frame->format >= 0) {
                r->sws = Av().sws_getCachedContext(r->sws, r->frame->width, r->frame->height,
                                              static_cast<AVPixelFormat>(r->frame->format), m_width, m_height,
                                              AV_PIX_FMT_BGR24, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                              nullptr, nullptr);
                if (r->sws) {
                    // Top-down decoder output into the bottom-up frame buffer.
                    const int stride = m_width * 3;
                    uint8_t* dst[1] = {m_frame.data() + static_cast<size_t>(stride) * (m_height - 1)};
                    const int dstStride[1] = {-stride};
                    ok = Av().sws_scale(r->sws, r->frame->data, r->frame->linesize, 0, r->frame->height, dst,
                                   dstStride) == m_height;
                }
            }
            Av().av_frame_unref(r->frame);
            if (!ok) {
                m_lastError = "A frame of \"" + m_readPath + "\" cannot be converted.";
            }
            m_bFrameRead = ok;
            return ok;
        }
        if (err == AVERROR_EOF) {
            return false;
        }
        if (err != AVERROR(EAGAIN)) {
            return false;
        }
        if (r->flushed) {
            return false;
        }
        // The decoder wants input: the next packet of the stream, or the end of the file
        // (a truncated file just ends early).
        err = Av().av_read_frame(r->fmt, r->packet);
        if (err < 0) {
            r->flushed = true;
            Av().avcodec_send_packet(r->dec, nullptr);
            continue;
        }
        if (r->packet->stream_index == r->streamIndex) {
            // A damaged packet is skipped; the next one may decode.
            Av().avcodec_send_packet(r->dec, r->packet);
        }
        Av().av_packet_unref(r->packet);
    }
}

bool CAviFile::SaveFrameAsBmp(std::string& bmpPath) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_reader || !m_bFrameRead) {
        return Fail("No frame has been read.");
    }
    const size_t packed = static_cast<size_t>(m_width) * 3;
    const size_t stride = DibStride(m_width);
    const uint64_t imageSize = static_cast<uint64_t>(stride) * m_height;
    BYTE header[BITMAPFILEHEADER_SIZE + BITMAPINFOHEADER_SIZE] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutLE32(header + 2, static_cast<DWORD>(imageSize + sizeof(header)));
    PutLE32(header + 10, static_cast<DWORD>(sizeof(header)));
    BYTE* info = header + BITMAPFILEHEADER_SIZE;
    PutLE32(info + 0, BITMAPINFOHEADER_SIZE);
    PutLE32(info + 4, static_cast<DWORD>(m_width));
    PutLE32(info + 8, static_cast<DWORD>(m_height));
    PutLE16(info + 12, 1);
    PutLE16(info + 14, 24);
    PutLE32(info + 16, BI_RGB);
    PutLE32(info + 20, static_cast<DWORD>(imageSize));

    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) {
        dir = "/tmp";
    }
    std::string name = (dir / "quillory-avi-frame-XXXXXX.bmp").string();
    std::vector<char> templ(name.begin(), name.end());
    templ.push_back('\0');
    const int fd = mkstemps(templ.data(), 4);
    if (fd < 0) {
        return Fail("Cannot create a temporary file in \"" + dir.string() + "\".");
    }
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        std::remove(templ.data());
        return Fail("Cannot create a temporary file in \"" + dir.string() + "\".");
    }
    bool ok = std::fwrite(header, 1, sizeof(header), f) == sizeof(header);
    std::vector<BYTE> row(stride, 0);
    for (int y = 0; ok && y < m_height; ++y) {
        std::memcpy(row.data(), m_frame.data() + packed * y, packed);
        ok = std::fwrite(row.data(), 1, stride, f) == stride;
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        std::remove(templ.data());
        return Fail("Cannot write the temporary file \"" + std::string(templ.data()) + "\".");
    }
    bmpPath = templ.data();
    return true;
}

std::vector<AviCompressor> CAviFile::EnumerateCompressors() {
    // The installed encoders do not change while the program runs.
    static const std::vector<AviCompressor> compressors = [] {
        std::vector<AviCompressor> list;
        if (!CAvLibraries::Shared().Loaded()) {
            return list;
        }
        const AVOutputFormat* avi = AviMuxer();
        if (!avi || !avi->codec_tag) {
            return list;
        }
        void* it = nullptr;
        while (const AVCodec* codec = Av().av_codec_iterate(&it)) {
            if (!Av().av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO ||
                Av().avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
                continue;
            }
            for (const FOURCC fcc : kAcceptedCompressors) {
                // Recording opens the preferred encoder of the FOURCC's codec, so only that one is
                // offered, and only when it takes every size a camera or a cut region records.
                if (CodecOfFourCC(fcc) != codec->id || Av().avcodec_find_encoder(codec->id) != codec ||
                    !RecordsAnySize(codec, fcc)) {
                    continue;
                }
                std::string description = codec->long_name ? codec->long_name : codec->name;
                list.erase(std::remove_if(list.begin(), list.end(),
                                          [&](const AviCompressor& c) { return c.description == description; }),
                           list.end());
                list.push_back(AviCompressor{codec->name, std::move(description), fcc});
            }
        }
        return list;
    }();
    return compressors;
}
