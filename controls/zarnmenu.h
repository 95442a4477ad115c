// The drop-down menu a flat button can own. Nothing in the program fills or shows one, so it is
// a plain menu; the program-wide look questions are answered here.
#pragma once

#include <QMenu>

class ZarnMenu : public QMenu {
public:
    explicit ZarnMenu(QWidget* parent = nullptr);
    ~ZarnMenu() override;

    // Whether the desktop runs the classic theme (menus would then take the classic look).
    // There is no such theme here, so the answer is always no; it is worked out once.
    static bool IsClassicTheme();
};
