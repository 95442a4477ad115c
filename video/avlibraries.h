// FFmpeg's libraries, opened when a recording, a compressor list or a recording's first frame
// first needs them rather than with the program: they and what they pull in take longer to load
// than the rest of the program's start-up. Everything in the program that calls FFmpeg goes
// through the one set of functions here.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <string>
#include <vector>

// The FFmpeg functions the program calls.
#define QUILLORY_AV_FUNCTIONS(X)                                                                              \
    X(av_codec_get_id) X(av_codec_is_encoder) X(av_codec_iterate) X(av_dict_free) X(av_dict_set)             \
    X(av_find_input_format) X(av_frame_alloc) X(av_frame_free) X(av_frame_get_buffer)                          \
    X(av_frame_make_writable) X(av_frame_unref) X(av_guess_format) X(av_new_packet) X(av_opt_next)             \
    X(av_packet_alloc) X(av_packet_free) X(av_packet_rescale_ts) X(av_packet_unref) X(av_read_frame)           \
    X(av_reduce) X(av_seek_frame) X(av_strerror) X(av_write_frame) X(av_write_trailer)                         \
    X(avcodec_alloc_context3) X(avcodec_find_best_pix_fmt_of_list) X(avcodec_find_decoder)                     \
    X(avcodec_find_encoder) X(avcodec_find_encoder_by_name) X(avcodec_flush_buffers) X(avcodec_free_context)   \
    X(avcodec_open2) X(avcodec_parameters_from_context) X(avcodec_parameters_to_context)                       \
    X(avcodec_receive_frame) X(avcodec_receive_packet) X(avcodec_send_frame) X(avcodec_send_packet)            \
    X(avformat_alloc_output_context2) X(avformat_close_input) X(avformat_free_context) X(avformat_new_stream)  \
    X(avformat_open_input) X(avformat_query_codec) X(avformat_write_header) X(avio_closep) X(avio_open)        \
    X(sws_freeContext) X(sws_getCachedContext) X(sws_getContext) X(sws_scale)

class CAvLibraries {
public:
    struct Functions {
#define QUILLORY_AV_POINTER(name) decltype(&::name) name = nullptr;
        QUILLORY_AV_FUNCTIONS(QUILLORY_AV_POINTER)
#undef QUILLORY_AV_POINTER
    };

    // The libraries of the FFmpeg version the program was built against, opened by the first
    // call (from any thread) and kept until the process ends.
    static const CAvLibraries& Shared();
    // Their file names: libavutil, libswscale, libavcodec, libavformat with their major versions.
    static std::vector<std::string> DefaultNames();

    // Opens the named libraries and binds every function from them.
    explicit CAvLibraries(const std::vector<std::string>& names);
    CAvLibraries(const CAvLibraries&) = delete;
    CAvLibraries& operator=(const CAvLibraries&) = delete;

    bool Loaded() const { return m_error.empty(); }
    // Why the libraries cannot be used ("the video library libavcodec.so.59 is not installed
    // (...)"); empty when they can.
    const std::string& Error() const { return m_error; }
    // Only when Loaded().
    const Functions& Fn() const { return m_fn; }

private:
    Functions m_fn;
    std::string m_error;
};
