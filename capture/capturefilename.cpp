#include "capture/capturefilename.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/clock.h"

namespace {

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

constexpr DWORD Fourcc(const char (&s)[5]) {
    return static_cast<DWORD>(static_cast<BYTE>(s[0])) | (static_cast<DWORD>(static_cast<BYTE>(s[1])) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(s[2])) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(s[3])) << 24);
}

}  // namespace

std::string CaptureFileExtension(int fileType, bool video) {
    if (video)
        return ".avi";
    if (fileType == kCaptureJpeg)
        return ".jpg";
    if (fileType == kCaptureTiff)
        return ".tiff";
    return ".bmp";
}

std::string CaptureSaveFolder(const QString& saveFolder) {
    // An unset folder stays empty (the working folder) rather than becoming the root.
    std::string folder = saveFolder.toStdString();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string MakeCaptureFileName(const CameraSettings& settings, int index, bool video, const QString& saveFolder) {
    const std::string& chosen = video ? settings.video.sPath : settings.snap.sPath;
    return MakeCaptureFileName(settings, index, video, chosen.empty() ? CaptureSaveFolder(saveFolder) : chosen);
}

std::string MakeCaptureFileName(const CameraSettings& settings, int index, bool video,
                                const std::string& folder) {
    std::string f = folder;
    if (!f.empty() && f.back() != '/')
        f += '/';
    const int timeStamp = video ? settings.video.bTimeStamp : settings.snap.bTimeStamp;
    const std::string& prefix = video ? settings.video.sFilename : settings.snap.sFilename;

    std::string stem;
    if (timeStamp) {
        const LocalTime t = LocalTimeNow();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d", t.month, t.day, t.hour, t.minute, t.second);
        stem = f + stamp;
    } else if (index > 0) {
        stem = f + prefix + "-" + std::to_string(index);
    } else {
        stem = f + prefix;
    }

    const std::string ext = CaptureFileExtension(settings.snap.uiFiletype, video);
    std::string name = stem + ext;
    for (int n = 1; FileExists(name); ++n)
        name = stem + "_" + std::to_string(n) + ext;
    return name;
}

// A leading dot names a hidden file, not an extension.
std::string PathExtension(const std::string& path) { return std::filesystem::path(path).extension().string(); }

std::string PathWithoutExtension(const std::string& path) {
    return path.substr(0, path.size() - PathExtension(path).size());
}

DWORD RecordingCompressor(int compress) {
    static constexpr DWORD kAccepted[] = {Fourcc("MP42"), Fourcc("WMV3"), Fourcc("MPG4"),
                                          Fourcc("XVID"), Fourcc("HFYU"), Fourcc("ACDV")};
    const DWORD fcc = static_cast<DWORD>(compress);
    for (DWORD accepted : kAccepted)
        if (fcc == accepted)
            return fcc;
    return Fourcc("DIB ");
}
