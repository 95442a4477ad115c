#include "capture/capturesession.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>

#include "capture/capturefilename.h"
#include "ui/profile.h"

namespace {

constexpr const char* kDefaultPrefix = "Brellan";  // string 61456

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }
QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The integer keys of the save settings: section, key, default, the range a value must be in
// to be taken, the field, and whether the webcam window keeps it.
struct SaveKey {
    const char* section;
    const char* key;
    int def, lo, hi;
    int& (*field)(CameraSettings&);
    bool videoDevice = true;
};
const SaveKey kSaveKeys[] = {
    {"FileSave", "bConfig", 0, 0, 1, [](CameraSettings& s) -> int& { return s.snap.bConfig; }},
    {"FileSave", "bNum", 1, 0, 1, [](CameraSettings& s) -> int& { return s.snap.bNum; }},
    {"FileSave", "uiFiletype", kCaptureBmp, kCaptureJpeg, kCaptureTiff, [](CameraSettings& s) -> int& { return s.snap.uiFiletype; }},
    {"FileSave", "bTimeStamp", 1, 0, 1, [](CameraSettings& s) -> int& { return s.snap.bTimeStamp; }},
    {"FileSave", "bLapse", 0, 0, 1, [](CameraSettings& s) -> int& { return s.snap.bLapse; }},
    {"FileSave", "nSpace", 0, 0, 7200, [](CameraSettings& s) -> int& { return s.snap.nSpace; }},
    {"FileSave", "nCount", 1, 1, 1000, [](CameraSettings& s) -> int& { return s.snap.nCount; }},
    {"VideoSave", "bConfig", 0, 0, 1, [](CameraSettings& s) -> int& { return s.video.bConfig; }},
    {"VideoSave", "bNum", 1, 0, 1, [](CameraSettings& s) -> int& { return s.video.bNum; }},
    {"VideoSave", "bTimeStamp", 1, 0, 1, [](CameraSettings& s) -> int& { return s.video.bTimeStamp; }},
    {"VideoSave", "Compress", 0, INT32_MIN, INT32_MAX, [](CameraSettings& s) -> int& { return s.video.Compress; }},
    {"VideoSave", "CompressID", 0, 0, 1000, [](CameraSettings& s) -> int& { return s.video.CompressID; }},
    {"VideoSave", "bTimeLimit", 0, 0, 1, [](CameraSettings& s) -> int& { return s.video.bTimeLimit; }, false},
    // The webcam window records without a limit but writes the hub window's back as it read it.
    {"VideoSave", "TimeLimit", 1, 1, 60, [](CameraSettings& s) -> int& { return s.video.TimeLimit; }},
};

// A prefix names a file in the save folder: one that would lead elsewhere is not taken.
QString PrefixIn(const CProfile& p, const char* section) {
    const QString v = p.GetProfileString(section, "sFilename", kDefaultPrefix);
    if (v.isEmpty() || v.contains('/') || v.contains('\\') || v == "." || v == "..") return kDefaultPrefix;
    return v;
}

// The snap dialog's filters in order, with the file type each stands for.
struct SnapFilter {
    int type;
    const char* filter;
    const char* ext;
};
const SnapFilter kSnapFilters[] = {
    {kCaptureBmp, "BMP Files (*.bmp)", "bmp"},
    {kCaptureJpeg, "JPEG Files (*.jpg)", "jpg"},
    {kCaptureTiff, "TIFF Files (*.tiff)", "tiff"},
    {kCaptureRaw, "RAW Files (*.raw)", "raw"},
};

}  // namespace

CCaptureSession::CCaptureSession(CameraSettings& settings, const Kind& kind, QString* saveFolder)
    : m_s(settings), m_kind(kind), m_saveFolder(saveFolder ? *saveFolder : m_noSaveFolder) {}

// ---- the profile ----------------------------------------------------------------------------

void CCaptureSession::Load(const CProfile& p) {
    CameraSettings& s = m_s;
    for (const SaveKey& k : kSaveKeys) {
        if (m_kind.videoDevice && !k.videoDevice) continue;
        const int v = p.GetProfileInt(k.section, k.key, k.def);
        k.field(s) = v < k.lo || v > k.hi ? k.def : v;
    }
    const int type = s.snap.uiFiletype;
    if (type != kCaptureJpeg && type != kCaptureBmp && type != kCaptureRaw && type != kCaptureTiff)
        s.snap.uiFiletype = kCaptureBmp;
    s.snap.sFilename = Utf8(PrefixIn(p, "FileSave"));
    s.video.sFilename = Utf8(PrefixIn(p, "VideoSave"));
    LoadSaveFolders(s, p, m_saveFolder);
}

void CCaptureSession::Save(CProfile& p) {
    for (const SaveKey& k : kSaveKeys)
        if (!m_kind.videoDevice || k.videoDevice) p.WriteProfileInt(k.section, k.key, k.field(m_s));
    p.WriteProfileString("FileSave", "sFilename", FromUtf8(m_s.snap.sFilename));
    p.WriteProfileString("VideoSave", "sFilename", FromUtf8(m_s.video.sFilename));
    SaveSaveFolders(m_s, p, m_saveFolder);
}

void CCaptureSession::LoadSaveFolders(CameraSettings& s, const CProfile& p, const QString& saveFolder) {
    s.snap.sPath = Utf8(p.GetProfileString("FileSave", "sPath", saveFolder));
    s.video.sPath = Utf8(p.GetProfileString("VideoSave", "sPath", saveFolder));
}

void CCaptureSession::SaveSaveFolders(const CameraSettings& s, CProfile& p, QString& saveFolder) {
    if (!s.snap.sPath.empty()) saveFolder = FromUtf8(s.snap.sPath);
    p.WriteProfileString("FileSave", "sPath", saveFolder);
    p.WriteProfileString("VideoSave", "sPath", FromUtf8(s.video.sPath));
}

// ---- names ----------------------------------------------------------------------------------

QString CCaptureSession::SnapToolTip(const SnapSaveSettings& snap) {
    const QString prompt = "Camera Snap";
    if (!snap.bConfig || !snap.bLapse) return prompt;
    return QString("%1: time lapse of %2 %3, %4 s apart")
        .arg(prompt)
        .arg(snap.nCount)
        .arg(snap.nCount == 1 ? "shot" : "shots")
        .arg(snap.nSpace);
}

QString CCaptureSession::NextSnapFolder() const {
    const QString name = FromUtf8(MakeCaptureFileName(m_s, 0, false, m_saveFolder));
    const int slash = name.lastIndexOf('/');
    return slash >= 0 ? name.left(slash + 1) : QString();
}

QString CCaptureSession::SnapPath(int index, const AskFile& ask) {
    if (m_s.snap.bConfig) return FromUtf8(MakeCaptureFileName(m_s, index, false, m_saveFolder));
    const int offered = m_kind.videoDevice ? 3 : 4;
    FileDialogRequest r;
    r.open = false;
    r.title = "camera snap files";
    r.fileName = InSaveFolder();
    for (int i = 0; i < offered; ++i) {
        r.filters << kSnapFilters[i].filter;
        if (kSnapFilters[i].type == m_s.snap.uiFiletype) r.filterIndex = i + 1;
    }
    r.defaultExt = kSnapFilters[r.filterIndex - 1].ext;
    if (!ask(r)) return {};
    m_s.snap.uiFiletype = kSnapFilters[std::clamp(r.filterIndex, 1, offered) - 1].type;
    return r.fileName;
}

QString CCaptureSession::RecordPath(const AskFile& ask) {
    if (m_s.video.bConfig) return FromUtf8(MakeCaptureFileName(m_s, 0, true, m_saveFolder));
    FileDialogRequest r;
    r.open = false;
    r.title = "camera save *.avi files";
    r.fileName = InSaveFolder();
    r.filters = {"AVI Files (*.avi)"};
    r.defaultExt = "avi";
    return ask(r) ? r.fileName : QString();
}

QString CCaptureSession::InSaveFolder() const {
    return m_saveFolder + (m_saveFolder.endsWith('/') ? "" : "/") + m_kind.defaultSaveName;
}

// ---- snaps and recordings -------------------------------------------------------------------

void CCaptureSession::Snap(HWND frame, bool open, CCameraSnapThread::IIntervalProgress* interval) {
    if (m_snap.IsActive()) return;
    CCameraSnapThread::Plan plan;
    plan.open = open;
    plan.lapse = m_s.snap.bConfig && m_s.snap.bLapse;
    plan.count = m_s.snap.nCount;
    plan.spaceSeconds = m_s.snap.nSpace;
    m_snap.Start(frame, plan, interval);
}

void CCaptureSession::Shot(int index, bool open, const AskFile& ask, const std::function<void(const QString&)>& take) {
    // A shot asked for after the camera went away saves nothing; the series goes on to its end.
    const QString path = open ? SnapPath(index, ask) : QString();
    if (path.isEmpty()) {
        m_snap.SetSnapDone();
        return;
    }
    take(path);
}

bool CCaptureSession::FileSaved() {
    m_snap.SetSnapDone();
    return m_s.snap.uiFiletype != kCaptureRaw;
}

int CCaptureSession::Record(int mode, bool open, int& recording, const AskFile& ask, const Recorder& recorder) {
    if (mode != kModeIdle && mode != kModeRecording) return mode;
    if (!recording) {
        if (!open) return mode;
        const QString path = RecordPath(ask);
        if (path.isEmpty() || !recorder.start(path)) return mode;
        recording = 1;
        return kModeRecording;
    }
    if (!recorder.stop()) return mode;
    recording = 0;
    return kModeIdle;
}
