// The real program starts headless with an image argument and keeps running.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imagelib/pximage.h"
#include "video/avifile.h"

TEST(Program, StartsHeadlessWithAnImageArgument) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    PxImage img(32, 16, 24, 1);
    const QString bmp = dir.filePath("arg.bmp");
    ASSERT_TRUE(img.Save(QFile::encodeName(bmp).constData(), 1));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.filePath("cfg"));
    p.setProcessEnvironment(env);
    p.start(QUILLORY_EXE, {"-nologo", bmp});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Still running after start-up: the window is up (waiting at the camera message).
    EXPECT_FALSE(p.waitForFinished(4000)) << p.readAllStandardError().toStdString();
    p.kill();
    p.waitForFinished(5000);
}

namespace {

// Whether the process maps FFmpeg's codec library.
bool MapsVideoCodecs(qint64 pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find("/libavcodec.so") != std::string::npos) return true;
    return false;
}

}  // namespace

// FFmpeg and the libraries it pulls in are opened when a recording first needs them (here the
// start page's tile of one), not with the program.
TEST(Program, OpensTheVideoLibrariesOnlyWhenARecordingNeedsThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.filePath("cfg"));
    env.remove("QUILLORY_SIMULATED_CAMERA");
    auto start = [&](QProcess& p) {
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());  // the start page shows this folder
        p.start(QUILLORY_EXE, {"-nologo"});
        return p.waitForStarted(10000);
    };
    {
        QProcess p;
        ASSERT_TRUE(start(p));
        EXPECT_FALSE(p.waitForFinished(3000)) << p.readAllStandardError().toStdString();
        EXPECT_FALSE(MapsVideoCodecs(p.processId()));
        p.kill();
        p.waitForFinished(5000);
    }

    CAviFile avi;
    const std::vector<BYTE> frame(64 * 48 * 3, 128);
    ASSERT_EQ(avi.Open(QFile::encodeName(dir.filePath("clip.avi")).toStdString(), 64, 48), 1) << avi.LastError();
    ASSERT_EQ(avi.WriteFrame(frame.data()), 1);
    ASSERT_EQ(avi.Close(), 1);
    QProcess p;
    ASSERT_TRUE(start(p));
    bool loaded = false;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         !loaded && p.state() == QProcess::Running && std::chrono::steady_clock::now() < until;) {
        QThread::msleep(100);
        loaded = MapsVideoCodecs(p.processId());
    }
    EXPECT_TRUE(loaded);
    // It keeps running with the tile drawn.
    EXPECT_FALSE(p.waitForFinished(1000)) << p.readAllStandardError().toStdString();
    p.kill();
    p.waitForFinished(5000);
}
