// The "About" box of the Help menu.
#pragma once

#include <QDialog>

class CAboutDialog : public QDialog {
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};
