// Format dispatch: every load and save goes through a codec object made for one format id.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "imagelib/codecs/pxcodecs.h"
#include "imagelib/pximage.h"
#include "platform/atomicfile.h"

namespace {

thread_local unsigned t_detectionDecodersTried = 0;

std::string NotBuiltText(const char* what, DWORD imagetype) {
    return std::string(what) + ": the " + PxFormatName(imagetype) + " codec is not built";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// codec hooks of a plain image

bool PxImage::CodecDecode(PxFile*) {
    SetLastError("Decode: Unknown or wrong format");
    return false;
}

bool PxImage::CodecEncode(PxFile*) {
    SetLastError("Encode: Unknown format");
    return false;
}

bool PxImage::CodecEncodeMulti(PxFile*, PxImage**, int) {
    SetLastError("Multipage Encode, Unsupported operation for this format");
    return false;
}

bool PxImage::IsFormatSupported(DWORD imagetype) {
    if (imagetype == PXIMAGE_FORMAT_UNKNOWN || imagetype >= PXIMAGE_FORMAT_COUNT) return false;
    std::unique_ptr<PxImage> codec(PxNewCodec(imagetype));
    return codec != nullptr;
}

// ---------------------------------------------------------------------------------------------
// decoding

bool PxImage::Decode(PxFile* stream, DWORD imagetype) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    if (imagetype >= PXIMAGE_FORMAT_COUNT) {
        SetLastError("Decode: Unknown or wrong format");
        return false;
    }

    if (imagetype != PXIMAGE_FORMAT_UNKNOWN) {
        std::unique_ptr<PxImage> codec(PxNewCodec(imagetype));
        if (!codec) {
            SetLastError(NotBuiltText("Decode", imagetype).c_str());
            return false;
        }
        codec->CopyInfo(*this);
        if (codec->CodecDecode(stream)) return Transfer(*codec);
        SetLastError(codec->GetLastError());
        if (imagetype == PXIMAGE_FORMAT_GIF || imagetype == PXIMAGE_FORMAT_ICO || imagetype == PXIMAGE_FORMAT_TIF)
            info.nNumFrames = codec->info.nNumFrames;
        return false;
    }

    // The first bytes are read once; only the codecs they point to decode, in the tables' order.
    t_detectionDecodersTried = 0;
    const LONG start = stream->Tell();
    BYTE head[kPxDetectionHeadBytes];
    const size_t count = stream->Read(head, 1, sizeof head);
    const int64_t length = int64_t{stream->Size()} - start;
    stream->Seek(start, SEEK_SET);
    for (std::span<const PxFormatProbe> probes : {PxSignatureProbes(), PxHeaderProbes()}) {
        for (const PxFormatProbe& probe : probes) {
            if (!probe.accepts(head, count, length)) continue;
            std::unique_ptr<PxImage> codec(PxNewCodec(probe.imagetype));
            if (!codec) continue;  // not built in: nothing to try
            codec->CopyInfo(*this);
            ++t_detectionDecodersTried;
            if (codec->CodecDecode(stream)) return Transfer(*codec);
            stream->Seek(start, SEEK_SET);
        }
    }
    SetLastError("Decode: Unknown or wrong format");
    return false;
}

unsigned PxDetectionDecodersTried() { return t_detectionDecodersTried; }

bool PxImage::Decode(FILE* stream, DWORD imagetype) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    PxIOFile file(stream);
    return Decode(&file, imagetype);
}

bool PxImage::Decode(BYTE* buffer, DWORD size, DWORD imagetype) {
    if (!buffer) {
        SetLastError("null file handler");
        return false;
    }
    PxMemFile file(buffer, size);
    return Decode(&file, imagetype);
}

namespace {

// The last-error text of a file that cannot be opened: its name and the system's reason.
std::string OpenFailureText(const char* filename, int err) {
    const char* slash = std::strrchr(filename, '/');
    return std::string("Load: can't open \"") + (slash ? slash + 1 : filename) + "\": " + std::strerror(err);
}

}  // namespace

bool PxImage::Load(const char* filename, DWORD imagetype) {
    if (!filename) {
        SetLastError("null file handler");
        return false;
    }
    if (imagetype >= 1 && imagetype < PXIMAGE_FORMAT_COUNT) {
        FILE* fp = std::fopen(filename, "rb");
        if (!fp) {
            SetLastError(OpenFailureText(filename, errno).c_str());
            return false;
        }
        bool ok = Decode(fp, imagetype);
        std::fclose(fp);
        if (ok) return true;
    }
    // The requested format failed (or none was named): detect, but keep the first reason so the
    // caller learns why its own format did not read.
    char remembered[sizeof info.szLastError];
    std::memcpy(remembered, info.szLastError, sizeof remembered);
    FILE* fp = std::fopen(filename, "rb");
    if (!fp) {
        SetLastError(OpenFailureText(filename, errno).c_str());
        return false;
    }
    bool ok = Decode(fp, PXIMAGE_FORMAT_UNKNOWN);
    std::fclose(fp);
    if (!ok && imagetype >= 1 && imagetype < PXIMAGE_FORMAT_COUNT) SetLastError(remembered);
    return ok;
}

// ---------------------------------------------------------------------------------------------
// encoding

bool PxImage::EncodeSafeCheck(PxFile* hFile) {
    if (!hFile) {
        SetLastError("null file handler");
        return true;
    }
    if (!pDib) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
}

bool PxImage::Encode(PxFile* stream, DWORD imagetype) {
    if (imagetype == PXIMAGE_FORMAT_UNKNOWN || imagetype >= PXIMAGE_FORMAT_COUNT) {
        SetLastError("Encode: Unknown format");
        return false;
    }
    std::unique_ptr<PxImage> codec(PxNewCodec(imagetype));
    if (!codec) {
        SetLastError(NotBuiltText("Encode", imagetype).c_str());
        return false;
    }
    // The codec sees our pixels and settings without copying them and frees nothing.
    codec->Ghost(this);
    bool ok = codec->CodecEncode(stream);
    if (!ok) SetLastError(codec->GetLastError());
    return ok;
}

bool PxImage::Encode(FILE* stream, DWORD imagetype) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    PxIOFile file(stream);
    return Encode(&file, imagetype);
}

bool PxImage::Encode(BYTE*& buffer, LONG& size, DWORD imagetype) {
    if (buffer) {
        SetLastError("the buffer must be empty");
        return false;
    }
    PxMemFile file;
    if (!file.Open()) {
        SetLastError("Encode: can't allocate memory");
        return false;
    }
    if (!Encode(&file, imagetype)) return false;
    size = file.Size();
    buffer = file.GetBuffer(true);
    return true;
}

bool PxImage::Encode(PxFile* stream, PxImage** images, int count, DWORD imagetype) {
    if (imagetype != PXIMAGE_FORMAT_GIF && imagetype != PXIMAGE_FORMAT_TIF) {
        SetLastError("Multipage Encode, Unsupported operation for this format");
        return false;
    }
    std::unique_ptr<PxImage> codec(PxNewCodec(imagetype));
    if (!codec) {
        SetLastError(NotBuiltText("Multipage Encode", imagetype).c_str());
        return false;
    }
    codec->Ghost(this);
    bool ok = codec->CodecEncodeMulti(stream, images, count);
    if (!ok) SetLastError(codec->GetLastError());
    return ok;
}

bool PxImage::Encode(FILE* stream, PxImage** images, int count, DWORD imagetype) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    PxIOFile file(stream);
    return Encode(&file, images, count, imagetype);
}

bool PxImage::Save(const char* filename, DWORD imagetype) {
    if (!filename || !*filename) {
        SetLastError("Save: no file name");
        return false;
    }
    // Write through a symbolic link to the file it names, so the link survives the rename.
    std::string target = filename;
    struct stat st;
    bool exists = false;
    if (lstat(filename, &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* real = realpath(filename, nullptr);
            if (real) {
                target = real;
                std::free(real);
            }
        }
        exists = stat(target.c_str(), &st) == 0;
    }
    // Replacing by rename would get past a read-only file; opening it for writing would not.
    if (exists && access(target.c_str(), W_OK) != 0) {
        std::string text = std::string("Save: can't write the file: ") + std::strerror(errno);
        SetLastError(text.c_str());
        return false;
    }

    // Encode into a temporary file beside the target; the target is replaced only when every
    // byte went out, so a failed save never destroys the file it would have replaced.
    AtomicFile file(target);
    if (!file.Create()) {
        std::string text = std::string("Save: can't create the file: ") + std::strerror(file.Error());
        SetLastError(text.c_str());
        return false;
    }
    if (!Encode(file.Stream(), imagetype))
        return false;  // the codec's own text stays; the temporary file goes with `file`
    if (!file.Commit()) {
        const char* reason = file.RenameFailed() ? "Save: can't replace the file" : "Save: writing the file failed";
        std::string text = std::string(reason) + ": " + std::strerror(file.Error());
        SetLastError(text.c_str());
        return false;
    }
    return true;
}

bool PxImage::Encode2RGBA(PxFile* stream) {
    if (EncodeSafeCheck(stream)) return false;
    const DWORD width = GetWidth();
    std::unique_ptr<BYTE[]> row(new (std::nothrow) BYTE[static_cast<size_t>(width) * 4]);
    if (!row) {
        SetLastError("Encode2RGBA: can't allocate memory");
        return false;
    }
    for (DWORD y = 0; y < GetHeight(); y++) {
        for (DWORD x = 0; x < width; x++) {
            RGBQUAD c = BlindGetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y));
            BYTE* p = row.get() + static_cast<size_t>(x) * 4;
            p[0] = c.rgbRed;
            p[1] = c.rgbGreen;
            p[2] = c.rgbBlue;
            p[3] = c.rgbReserved;
        }
        if (stream->Write(row.get(), 1, static_cast<size_t>(width) * 4) != static_cast<size_t>(width) * 4) {
            SetLastError("Encode2RGBA: writing failed");
            return false;
        }
    }
    return true;
}

bool PxImage::Encode2RGBA(BYTE*& buffer, LONG& size) {
    if (buffer) {
        SetLastError("the buffer must be empty");
        return false;
    }
    PxMemFile file;
    if (!file.Open()) {
        SetLastError("Encode2RGBA: can't allocate memory");
        return false;
    }
    if (!Encode2RGBA(&file)) return false;
    size = file.Size();
    buffer = file.GetBuffer(true);
    return true;
}
