#include "app/pageimageproc.h"

#include <QGridLayout>

#include "app/cmdids.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "ui/messages.h"
#include "ui/msgbridge.h"
#include "controls/shadebutton.h"

namespace {
struct PageButton {
    int id;
    const char* text;
    int command;  // 0: the button sends nothing
};
const PageButton kButtons[] = {
    {1038, "Crop", ID_IMAGE_CROP},
    {1037, "Resample...", ID_IMAGE_RESAMPLE},
    {1043, "Mirror", ID_IMAGE_MIRROR},
    {1031, "Flip", ID_IMAGE_FLIP},
    {1032, "Invert Left", ID_IMAGE_ROTATEL},
    {1034, "Invert Right", ID_IMAGE_ROTATER},
    {1035, "Rotate...", ID_IMAGE_ROTATE},
    {1055, "Repair...", ID_IMAGE_REPAIR},
    {1033, "Sharpen", ID_IMAGE_FILTERS_SHARPEN},
    {1040, "Lighten...", ID_IMAGE_LIGHTCONTRASTGAMMA},
    {1056, "Mix...", ID_IMAGE_MIX},
    {1053, "Combine...", ID_IMAGE_COMBINE},
    {1048, "Colorize...", ID_IMAGE_COLORIZE},
    {1039, "Blur", ID_IMAGE_FILTERS_BLUR},
    {1042, "Contrast...", 0},
    {1049, "Gamma...", 0},
};
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 24;
}  // namespace

CPageImageProc::CPageImageProc(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::number(kResourceId));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(7, 7, 7, 7);
    grid->setSpacing(4);
    int i = 0;
    for (const PageButton& b : kButtons) {
        auto* button = new CShadeButton(this);
        button->setObjectName(QString::number(b.id));
        button->setText(QString::fromLatin1(b.text));
        button->setFixedSize(kButtonWidth, kButtonHeight);
        button->SetShade(CShadeButton::ShadeVertical, 8, 20, 5, RGB(55, 55, 255));
        const int id = b.id;
        connect(button, &QPushButton::clicked, this, [this, id] { OnButton(id); });
        grid->addWidget(button, i / 2, i % 2);
        i++;
    }
    grid->setRowStretch(i / 2, 1);
}

int CPageImageProc::CommandOf(int buttonId) {
    for (const PageButton& b : kButtons)
        if (b.id == buttonId) return b.command;
    return -1;
}

CShadeButton* CPageImageProc::Button(int buttonId) const {
    return findChild<CShadeButton*>(QString::number(buttonId), Qt::FindDirectChildrenOnly);
}

void CPageImageProc::OnButton(int buttonId) {
    const int command = CommandOf(buttonId);
    if (command <= 0) return;
    if (CMainFrame* mf = AfxGetMainFrame()) SendMessage(mf->GetSafeHwnd(), WM_COMMAND, static_cast<WPARAM>(command), 0);
}
