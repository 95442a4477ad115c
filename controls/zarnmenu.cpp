#include "controls/zarnmenu.h"

ZarnMenu::ZarnMenu(QWidget* parent) : QMenu(parent) {}

ZarnMenu::~ZarnMenu() = default;

bool ZarnMenu::IsClassicTheme() {
    static const bool classic = false;
    return classic;
}
