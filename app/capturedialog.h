// "Capture": picks the desktop or one of the visible top-level windows, whose picture the main
// frame's capture command turns into a new image. Stays above the other windows.
#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "app/windowlister.h"

class QListWidget;
class CIconButton;

class CCaptureDialog : public QDialog {
public:
    static constexpr int kListId = 1001;
    static constexpr int kMaxWindows = 254;
    static constexpr int kMaxTitle = 259;

    CCaptureDialog(IWindowLister& lister, QWidget* parent = nullptr);

    // The windows the list offers after "Desktop": visible, not minimised, a client area above
    // 4 x 4 pixels and a title, at most 254 counted, and the first one found left out.
    static std::vector<ListedWindow> ListableWindows(const std::vector<ListedWindow>& windows);

    QListWidget* List() const { return m_pList; }
    // The results after OK: the chosen window (the desktop for "Desktop") and its entry's text.
    WindowHandle ChosenWindow() const { return m_hWindow; }
    QString ChosenText() const { return m_strText; }

    void accept() override;

private:
    QListWidget* m_pList = nullptr;
    WindowHandle m_hWindow = 0;
    QString m_strText;
};
