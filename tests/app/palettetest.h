// Fixture of the palette, options and place-text tests: the program's prompts with a colour and a
// font picker answered by the test, and a document over an image of the test's choosing.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMouseEvent>

#include <optional>
#include <vector>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidordoc.h"
#include "apptest.h"
#include "ui/messages.h"

class PickerPrompts : public FakePrompts {
public:
    int MessageBox(QWidget* parent, const QString& text, const QString& caption, int type) override {
        captions << caption;
        types.push_back(type);
        return FakePrompts::MessageBox(parent, text, caption, type);
    }
    // Each pick records the colour it opened on and the custom colours it was given, then
    // answers with the next colour queued (none queued: Cancel) and shifts the custom colours.
    bool ChooseColor(QWidget*, COLORREF& color, COLORREF* custom) override {
        opened.push_back(color);
        if (custom) {
            customSeen.emplace_back(custom, custom + 16);
            for (int i = 15; i > 0; i--) custom[i] = custom[i - 1];
            custom[0] = color;
        }
        if (colors.empty()) return false;
        color = colors.front();
        colors.erase(colors.begin());
        return true;
    }
    bool ChooseFont(QWidget*, LOGFONT& font) override {
        fontsOpened.push_back(font);
        if (!font_) return false;
        // Only what the picker shows changes; the character set stays as it was.
        font.lfHeight = font_->lfHeight;
        font.lfWeight = font_->lfWeight;
        font.lfItalic = font_->lfItalic;
        std::copy(std::begin(font_->lfFaceName), std::end(font_->lfFaceName), font.lfFaceName);
        return true;
    }
    QStringList captions;
    std::vector<int> types;
    std::vector<COLORREF> opened;
    std::vector<std::vector<COLORREF>> customSeen;
    std::vector<COLORREF> colors;
    std::vector<LOGFONT> fontsOpened;
    std::optional<LOGFONT> font_;
};

class PaletteAppTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        CPromptService::Replace(&pickers);
    }
    CPelidorDoc* NewImageDoc(PxImage* image, const QString& title = "Test") {
        auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->OpenDocumentFile(QString()));
        doc->SetImage(image);
        doc->SetTitle(title);
        doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
        return doc;
    }
    bool Run(UINT id) { return app->MainFrame()->Router()->Execute(id); }
    bool Enabled(UINT id) { return app->MainFrame()->Router()->Query(id).m_bEnabled; }
    template <typename T = QAbstractButton>
    static T* Control(QDialog* dlg, int id) {
        T* w = dlg->findChild<T*>(QString::number(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    static void Click(QDialog* dlg, int id) {
        if (QAbstractButton* b = Control(dlg, id)) b->click();
    }
    static void SendMouse(QWidget* w, QEvent::Type type, const QPoint& pos) {
        QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }

    PickerPrompts pickers;
};
