// A page of sixteen shaded buttons, each a shortcut that sends one image command to the main
// window. Nothing in the program opens it; a host window can hold it.
#pragma once

#include <QWidget>

#include "platform/wintypes.h"

class CShadeButton;

class CPageImageProc : public QWidget {
public:
    static constexpr int kResourceId = 169;
    explicit CPageImageProc(QWidget* parent = nullptr);

    // The command a button sends, 0 for the two that send none; -1 for an unknown button id.
    static int CommandOf(int buttonId);
    CShadeButton* Button(int buttonId) const;

private:
    void OnButton(int buttonId);
};
