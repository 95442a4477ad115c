// What both camera windows do with their save settings, without widgets: the "FileSave" and
// "VideoSave" keys of the profile, the names of snaps and recordings, and the sequence of a snap,
// a time lapse and a recording. The hub camera's window and the webcam window each own one; what
// differs between them is the Kind they give it.
#pragma once

#include <QString>

#include <functional>

#include "capture/camerasettings.h"
#include "capture/camerasnapthread.h"
#include "ui/promptservice.h"

class CProfile;

class CCaptureSession {
public:
    struct Kind {
        // The webcam window: no "VideoSave"/"bTimeLimit" key, no raw snaps offered in the dialog.
        bool videoDevice = false;
        // The start name of the file dialogs, in the save folder.
        const char* defaultSaveName = "";
    };
    // Asks the user for a file; false on Cancel. The window shows the dialog over itself.
    using AskFile = std::function<bool(FileDialogRequest&)>;

    // `settings` holds the save settings; `saveFolder` is the program's save folder (none when null).
    CCaptureSession(CameraSettings& settings, const Kind& kind, QString* saveFolder);
    CameraSettings& Settings() { return m_s; }

    // The save settings from the profile; values outside their ranges read as their defaults.
    void Load(const CProfile& p);
    void Save(CProfile& p);
    // The snap and video folders ("FileSave"/"sPath", "VideoSave"/"sPath"; the program's save
    // folder while none is stored). The snap folder's key is the program's save folder too, which
    // the main frame writes when it closes: storing makes the chosen snap folder the program's.
    static void LoadSaveFolders(CameraSettings& s, const CProfile& p, const QString& saveFolder);
    static void SaveSaveFolders(const CameraSettings& s, CProfile& p, QString& saveFolder);

    // The Snap button's tooltip: its prompt, and the time lapse a Snap runs while one is armed.
    static QString SnapToolTip(const SnapSaveSettings& snap);
    // The folder of the next snap's name.
    QString NextSnapFolder() const;
    // The path of shot `index` or of a recording: the configured name, or the one `ask` returns
    // (a snap's file type follows the chosen filter). Empty on Cancel.
    QString SnapPath(int index, const AskFile& ask);
    QString RecordPath(const AskFile& ask);

    // Snap: one shot or a time lapse through the snap thread, which posts WM_CAMERA_SNAP to
    // `frame` for each shot. Nothing while a series runs.
    void Snap(HWND frame, bool open, CCameraSnapThread::IIntervalProgress* interval);
    // One shot of the series: `take` gets the path; a closed camera or a Cancel ends the shot.
    void Shot(int index, bool open, const AskFile& ask, const std::function<void(const QString&)>& take);
    // The shot's file is written (or refused): true when the main frame is to hear of it (raw
    // files are none the start page can show).
    bool FileSaved();
    CCameraSnapThread& SnapThread() { return m_snap; }
    const CCameraSnapThread& SnapThread() const { return m_snap; }

    // The Record command: starts a recording at a chosen path when none runs, else stops it.
    // Runs only in the idle and recording modes (the hub window's numbers); `recording` is the
    // window's flag. Returns the window's mode afterwards.
    struct Recorder {
        std::function<bool(const QString&)> start;
        std::function<bool()> stop;  // true when the recording has ended
    };
    int Record(int mode, bool open, int& recording, const AskFile& ask, const Recorder& recorder);
    enum { kModeIdle = 0, kModeRecording = 13 };

private:
    // The dialogs' start name in the save folder.
    QString InSaveFolder() const;

    CameraSettings& m_s;
    Kind m_kind;
    QString m_noSaveFolder;
    QString& m_saveFolder;
    CCameraSnapThread m_snap;
};
