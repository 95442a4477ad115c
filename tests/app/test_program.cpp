// The real program starts headless with an image argument and keeps running.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

#include "imagelib/pximage.h"

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
