// The window that would hold the image-process page: a folder tree (255) when it has none and a
// tab control whose one tab "ImageProcess" is the page, filling the window.
#pragma once

#include <QWidget>

class QTabWidget;
class QTreeView;
class CPageImageProc;

class CImageProcTabHost : public QWidget {
public:
    static constexpr int kTreeId = 255;
    explicit CImageProcTabHost(QWidget* parent = nullptr);

    QTabWidget* Tabs() const { return m_pTabs; }
    CPageImageProc* Page() const { return m_pPage; }
    QTreeView* Tree() const { return m_pTree; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QTabWidget* m_pTabs = nullptr;
    CPageImageProc* m_pPage = nullptr;
    QTreeView* m_pTree = nullptr;
};
