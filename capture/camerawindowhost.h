// What a camera window needs of the window that opens it, handed in at construction: the camera
// windows know nothing of the program's main frame.
#pragma once

#include <QString>

#include <functional>

#include "ui/msgbridge.h"

class CProfile;
class QWidget;

struct CameraWindowHost {
    // Gets WM_CAMERA_FILESAVED for every snap and recording written.
    HWND mainWindow = nullptr;
    // The program's profile; the hub camera's window needs one, the webcam window reads and
    // writes nothing without it.
    CProfile* profile = nullptr;
    // The program's save folder: the default for snaps and recordings, and where a chosen snap
    // folder is stored when the window saves its settings. Null: none.
    QString* saveFolder = nullptr;
    // Called from the window's close event, with the window.
    std::function<void(QWidget* window)> closed;

    QString SaveFolder() const { return saveFolder ? *saveFolder : QString(); }
    // `name` in the save folder.
    QString InSaveFolder(const QString& name) const {
        const QString folder = SaveFolder();
        return folder + (folder.endsWith('/') ? "" : "/") + name;
    }
};
