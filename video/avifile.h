// The camera view's AVI writer, and the reader of a recording's frames for the start page.
// Plain C++ over FFmpeg (no Qt): the display thread writes, the UI thread opens and closes.
#pragma once

#include "platform/wintypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef DWORD FOURCC;

constexpr FOURCC MakeFourCC(char a, char b, char c, char d) {
    return static_cast<FOURCC>(static_cast<BYTE>(a)) | (static_cast<FOURCC>(static_cast<BYTE>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<BYTE>(c)) << 16) | (static_cast<FOURCC>(static_cast<BYTE>(d)) << 24);
}
// "Full Frames (Uncompressed)": bottom-up 24-bit rows, no compressor.
constexpr FOURCC FOURCC_DIB = MakeFourCC('D', 'I', 'B', ' ');

// The four characters of a FOURCC ("XVID"); non-printable bytes become '.'.
std::string FourCCText(FOURCC fcc);

// An installed encoder that can record into an AVI file.
struct AviCompressor {
    std::string name;         // the encoder's short name ("huffyuv")
    std::string description;  // what the save dialog shows ("Huffyuv / HuffYUV")
    FOURCC fourcc;            // what SetCompressor takes and the file's header carries
};

struct AviWriter;
struct AviReader;

class CAviFile {
public:
    // Largest frame read back (either side, and in total), so a forged header cannot make the
    // reader allocate without bound.
    static constexpr int kMaxReadSide = 16384;
    static constexpr int64_t kMaxReadPixels = 32LL * 1024 * 1024;

    CAviFile();
    ~CAviFile();
    CAviFile(const CAviFile&) = delete;
    CAviFile& operator=(const CAviFile&) = delete;

    // ---- writing ----

    // Frame rate as rate / 1000000 frames per second (so 25 fps is 25000000). 0 is ignored
    // (returns 0); else stored, returns 1. Takes effect at the next Open.
    int SetRate(unsigned rate);
    // Frame rate from the interval the caller measured between frames, in microseconds; exact
    // also for frames slower than one per second. 0 is ignored (returns 0).
    int SetFrameInterval(uint64_t microseconds);
    // The frame time of the next recording as scale / rate seconds.
    DWORD Rate() const { return m_dwRate; }
    DWORD Scale() const { return m_dwScale; }

    // "MP42", "WMV3", "MPG4", "XVID", "HFYU", "ACDV", or the FOURCC of another installed encoder
    // the AVI muxer takes (a profile may hold one chosen from an earlier, longer list); anything
    // else selects FOURCC_DIB. Returns 1.
    int SetCompressor(FOURCC fcc);
    FOURCC Compressor() const { return m_fccCompressor; }

    // Creates the file for frames of width x height. Returns 1 on success; 0 when the size or
    // path is empty, the compressor has no installed encoder or refuses the size, or the file
    // cannot be created; LastError() then says why, and no file is left behind. A caller that
    // gets 0 must not record nor announce the file.
    int Open(const std::string& path, unsigned width, unsigned height);
    bool IsOpen() const { return m_bOpen.load(); }
    const std::string& Path() const { return m_path; }  // of the recording

    // Appends one frame: width x height x 3 bytes, BGR, bottom-up rows without padding (the
    // camera view's layout). 0 for a null buffer, a file not open, or a failed write.
    int WriteFrame(const BYTE* rgb);
    int FrameCount() const { return m_nFrames.load(); }

    // Finishes the recording (flushes the compressor, writes the index) and frees the reader.
    // Returns 0 when the file could not be finished (LastError()), else 1.
    int Close();

    // Stops further writes at once, then on a short thread waits for a write in progress and
    // calls onClosed (outside the lock; it should only post a message, the receiver then calls
    // Close). Returns false, with no thread and no call, when nothing is open for writing.
    bool StartCloseThread(std::function<void()> onClosed);

    // ---- reading ----

    // Opens an AVI for reading its first video stream. 0 when it is no AVI, has no video, its
    // frame size is out of bounds or no decoder is installed (LastError()). The file is only read.
    int OpenForRead(const std::string& path);
    // Decodes frame n (0 = the first) into FrameBits(). False when there is no frame n or it
    // cannot be decoded (a truncated file ends early).
    bool ReadFrame(int n);
    // The decoded frame: Width() x Height() x 3 bytes, BGR, bottom-up rows without padding.
    const BYTE* FrameBits() const { return m_bFrameRead ? m_frame.data() : nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Writes the decoded frame as a 24-bit BMP to a new private temporary file and returns its
    // path through the argument; the caller loads and deletes it. Never writes beside the video.
    bool SaveFrameAsBmp(std::string& bmpPath);

    // Why the last Open, WriteFrame, Close or read failed.
    std::string LastError() const;

    // The compressors the save dialog offers besides "No Compressor": the installed encoders of
    // "MP42", "WMV3", "MPG4", "XVID", "HFYU" and "ACDV" that the AVI muxer takes and that record
    // any frame size a camera or a cut region gives, in the library's order, one per
    // description. The first call opens each of them a few times and takes a moment; later
    // calls return the same list.
    static std::vector<AviCompressor> EnumerateCompressors();

private:
    void CloseWriter();
    void CloseReader();
    void JoinCloseThread();
    int Fail(const std::string& text);  // stores the reason, returns 0

    std::atomic<bool> m_bOpen{false};
    mutable std::mutex m_lock;
    std::thread m_closeThread;
    std::string m_path;
    WORD m_wWidth = 0;
    WORD m_wHeight = 0;
    DWORD m_dwRate = 10;
    DWORD m_dwScale = 1000000;
    std::atomic<int> m_nFrames{0};
    FOURCC m_fccCompressor = FOURCC_DIB;
    AviWriter* m_writer = nullptr;

    AviReader* m_reader = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::string m_readPath;
    std::vector<BYTE> m_frame;
    bool m_bFrameRead = false;  // m_frame holds a decoded frame
    std::string m_lastError;
};
