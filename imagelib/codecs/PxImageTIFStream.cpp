// The TIFF codec's streams: libtiff's client procedures over PxFile and over shared cursors.
#include "imagelib/codecs/PxImageTIFStream.h"

#include <cstdarg>
#include <cstdio>

namespace pxtif {

namespace {

tmsize_t PxTiffRead(thandle_t fd, void* buf, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(static_cast<PxFile*>(fd)->Read(buf, 1, static_cast<size_t>(size)));
}

tmsize_t PxTiffWrite(thandle_t fd, void* buf, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(static_cast<PxFile*>(fd)->Write(buf, 1, static_cast<size_t>(size)));
}

toff_t PxTiffSeek(thandle_t fd, toff_t off, int whence) {
    if (off == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
    // PxFile offsets are 32-bit; a larger one cannot be reached.
    const int64_t soff = static_cast<int64_t>(off);
    if (soff > INT32_MAX || soff < INT32_MIN) return static_cast<toff_t>(-1);
    PxFile* f = static_cast<PxFile*>(fd);
    if (!f->Seek(static_cast<LONG>(soff), whence)) return static_cast<toff_t>(-1);
    if (whence == SEEK_SET) return off;
    return static_cast<toff_t>(f->Tell());
}

int PxTiffClose(thandle_t) { return 0; }

toff_t PxTiffSize(thandle_t fd) {
    LONG s = static_cast<PxFile*>(fd)->Size();
    return s < 0 ? 0 : static_cast<toff_t>(s);
}

int PxTiffMap(thandle_t, void**, toff_t*) { return 0; }
void PxTiffUnmap(thandle_t, void*, toff_t) {}

// libtiff shows and prints nothing: the codec's own texts are the only ones that reach the caller.
int PxTiffSilent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

tmsize_t CursorRead(thandle_t fd, void* buf, tmsize_t size) {
    StreamCursor* c = static_cast<StreamCursor*>(fd);
    if (size <= 0) return 0;
    std::lock_guard<std::mutex> guard(c->stream->lock);
    if (!c->stream->file->Seek(static_cast<LONG>(c->pos), SEEK_SET)) return 0;
    const size_t n = c->stream->file->Read(buf, 1, static_cast<size_t>(size));
    c->pos += static_cast<int64_t>(n);
    return static_cast<tmsize_t>(n);
}

tmsize_t CursorWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t CursorSeek(thandle_t fd, toff_t off, int whence) {
    StreamCursor* c = static_cast<StreamCursor*>(fd);
    if (off == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
    int64_t to = static_cast<int64_t>(off);
    if (whence == SEEK_CUR) to += c->pos;
    else if (whence == SEEK_END) to += static_cast<int64_t>(c->stream->size);
    else if (whence != SEEK_SET) return static_cast<toff_t>(-1);
    // As over the stream itself: 32-bit offsets, and only where the stream can go.
    if (to > INT32_MAX || to < 0) return static_cast<toff_t>(-1);
    std::lock_guard<std::mutex> guard(c->stream->lock);
    if (!c->stream->file->Seek(static_cast<LONG>(to), SEEK_SET)) return static_cast<toff_t>(-1);
    c->pos = to;
    return static_cast<toff_t>(to);
}

toff_t CursorSize(thandle_t fd) { return static_cast<StreamCursor*>(fd)->stream->size; }

}  // namespace

TIFF* OpenOverFile(PxFile* hFile, const char* mode) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, MAX_TIFF_ALLOC);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, static_cast<thandle_t>(hFile), PxTiffRead, PxTiffWrite,
                                  PxTiffSeek, PxTiffClose, PxTiffSize, PxTiffMap, PxTiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

toff_t StreamSize(PxFile* hFile) { return PxTiffSize(static_cast<thandle_t>(hFile)); }

TIFF* OpenOverCursor(StreamCursor* cursor) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, PxTiffSilent, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, MAX_TIFF_ALLOC);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", "rb", static_cast<thandle_t>(cursor), CursorRead, CursorWrite,
                                  CursorSeek, PxTiffClose, CursorSize, PxTiffMap, PxTiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

}  // namespace pxtif
