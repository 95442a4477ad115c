// Shared fixture: a started program on a temporary profile, with prompts answered by the test.
#pragma once

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <memory>

#include <gtest/gtest.h>

#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "eventpump.h"
#include "fakeprompts.h"
#include "imagelib/pximage.h"

class CMainFrame;

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the program with arguments; the profile lives in the temporary folder.
    bool Start(const QStringList& args = {});
    QString Path(const QString& name) const { return dir.filePath(name); }
    // A 24-bit test image with a gradient; saved as BMP when a name is given.
    static PxImage* MakeImage(int w, int h);
    QString SaveBmp(const QString& name, int w, int h);
    // Starts the program with one new, empty document.
    bool StartWithDocument(CMainFrame*& mf, CPelidorDoc*& doc);
    // A new document of the started program over the image (which it takes).
    CPelidorDoc* NewImageDoc(PxImage* image, const QString& title = "Test");
    // Whether the program's command is enabled now.
    bool Enabled(UINT id);

    QTemporaryDir dir;
    FakePrompts prompts;
    CPromptService* oldPrompts = nullptr;
    std::unique_ptr<CPelidorApp> app;
};
