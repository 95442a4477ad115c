// File names of snaps and recordings built from the save settings.
#pragma once

#include <QString>

#include <string>

#include "capture/camerasettings.h"
#include "platform/wintypes.h"

// ".avi" for video; for stills ".jpg" (1), ".tiff" (8), ".bmp" for anything else.
std::string CaptureFileExtension(int fileType, bool video);

// The full path in the folder chosen for snaps or videos (the program's save folder `saveFolder`
// while none is chosen): a time stamp (month, day, hour, minute, second of the local time) or the prefix
// with "-index" for index > 0, then the extension; "_1", "_2", ... are added before the
// extension while a file of that name exists.
std::string MakeCaptureFileName(const CameraSettings& settings, int index, bool video, const QString& saveFolder);
// The same in the given folder (a separator is added when it has none at its end).
std::string MakeCaptureFileName(const CameraSettings& settings, int index, bool video,
                                const std::string& folder);

// The program's save folder `saveFolder`, ending in a separator (empty while no folder is set).
std::string CaptureSaveFolder(const QString& saveFolder);

// The extension of the last path component, dot included ("" when it has none).
std::string PathExtension(const std::string& path);
// The path without that extension.
std::string PathWithoutExtension(const std::string& path);

// The compressor FOURCC a recording uses: an accepted compressor as given, anything else "DIB ".
DWORD RecordingCompressor(int compress);
