// Shared fixture of the start page's tests: the program's fixture with HOME and the XDG folders
// inside the temporary folder, and writers of test pictures and recordings.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <vector>

#include "apptest.h"
#include "scopedenv.h"
#include "video/avifile.h"

class CThumbnailListCtrl;

class ThumbTest : public AppTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // A folder below the temporary folder (made when missing), without a trailing '/'.
    QString Folder(const QString& name);
    // A picture of one colour (the format from the name's extension).
    static QString WriteImage(const QString& path, int w, int h, const QColor& c);
    // An AVI of w x h frames: frame i has its top half colours[i] and its bottom half blue.
    static bool WriteAvi(const QString& path, FOURCC fcc, int w, int h, const std::vector<QColor>& colours);
    static void WriteBytes(const QString& path, const QByteArray& bytes);
    // Pumps until the list has no scan nor tile to come; false after the time-out.
    bool WaitIdle(CThumbnailListCtrl& list, int ms = 30000);
    static bool Near(QRgb a, const QColor& b, int tolerance = 40);

    ScopedEnv m_env;  // the home and XDG folders of the test

};
