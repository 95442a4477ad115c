// The main window: menus, toolbars, status bar panes, the MDI tabs with their context menu,
// full screen, paste, the camera launch, and the layout kept in the profile.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include "capture/camerawindowhost.h"
#include "ui/commandrouter.h"
#include "ui/msgbridge.h"

class QComboBox;
class QKeyEvent;
class QTimer;
class QUrl;
class QDockWidget;
class QMdiArea;
class QMenu;
class QToolBar;
class CFolderTreeCtrl;
class CThumbnailListCtrl;
class CPelidorDoc;
class CView;
class CCameraPlugListener;
class CHistogramWnd;
class CMagnifierWnd;
class IWindowLister;
class QToolButton;

class CMainFrame : public QMainWindow, public CMessageTarget, public CCmdTarget {
public:
    static constexpr int kPanes = 8;
    CMainFrame();
    ~CMainFrame() override;

    // Builds bars, panes and tabs and restores the layout; false when it fails.
    bool OnCreate();
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CCommandRouter* Router() const { return m_pRouter; }
    QMdiArea* MdiArea() const { return m_pMdiArea; }
    CPelidorDoc* ActiveDocument() const;
    CView* ActiveView() const;
    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;
    void SetZoomComboText(const QString& text);
    QComboBox* ZoomCombo() const { return m_pZoomCombo; }
    QStatusBar* StatusBarWidget() const;
    QToolBar* StandardBar() const { return m_pStandardBar; }
    QToolBar* ImageBar() const { return m_pImageBar; }
    // Top-level menus that only image documents show (hidden on the start page).
    void AddDocumentMenus(const QList<QMenu*>& menus) { m_docMenus += menus; }
    QDockWidget* FolderPane() const { return m_pFolderPane; }
    // The "Measure" bar, its "Calibrate Table" split button, and the two tool windows (made on
    // first use when `create` is set, else null until then).
    QToolBar* MeasureBar() const { return m_pMeasureBar; }
    QToolButton* CalibrateTableButton() const { return m_pCalibrateButton; }
    CHistogramWnd* Histogram(bool create);
    QDockWidget* HistogramPane() const { return m_pHistogramPane; }
    CMagnifierWnd* Magnifier(bool create);
    void OnViewHistogram();
    // The "Folder" pane's tree, made on first use.
    CFolderTreeCtrl* FolderTree();
    // The start page's thumbnail list, which the folder tree follows. Before the frame's first
    // picture the tree waits: it is made right after that picture, or when first asked for.
    void SetStartPageList(CThumbnailListCtrl* list);

    void OnEditPaste();
    // "Capture...": a window or the desktop chosen in the capture dialog becomes a new image.
    void OnCapture();
    // The second half of a capture: the chosen window's part `r` of the screen becomes a new
    // document (`chosen` is a window handle of the lister).
    void GrabCapturedWindow(IWindowLister& lister, uintptr_t chosen, const QRect& r);
    // Loads a new camera window and shows it, unless it closed itself while loading.
    template <class Frame>
    void ShowCameraWindow(Frame* frame);
    // Opens dropped files as documents, one after the other.
    void OnDropFiles(const QList<QUrl>& urls);
    void OnFullScreen();
    // Switches the program's look ("Fusion", "Windows"); an unknown name changes nothing.
    void SetMenuStyle(const QString& name);
    bool IsFullScreen() const { return m_bFullScreen != 0; }
    // Shows the tab context menu of the MDI child at a point of the tab bar; false on no hit.
    bool OnTabClientMouse(const QPoint& tabBarPoint, bool exec = true);
    // Writes the window rectangle, the tool settings and the bar layout into the profile.
    void SaveSettings();
    // The "Window" menu: Cascade, Tile, then the open documents (nine at most, then
    // "More Windows..."), the active one checked.
    QMenu* WindowMenu() const { return m_pWindowMenu; }
    void FillWindowMenu();
    // "Cascade": the windows stagger as the area cascades them, each as large as the last one's
    // place leaves room for (two thirds of the area at least, within the area), not at their
    // small preferred size.
    void CascadeWindows();
    // The caption: the program's name and the active document's title.
    void UpdateFrameTitle();

    // Every file a camera window announced, oldest first; a file saved again under the same name
    // appears again (the start page refreshes its tile then).
    const QStringList& CameraFiles() const { return m_cameraFiles; }
    CCameraPlugListener* PlugListener() const { return m_pPlugListener; }
    // What a camera window gets of this frame and the program.
    CameraWindowHost CameraHost();

    QPointer<QWidget> m_pCameraFrame;
    int m_bLongExposure = 0;
    int m_bStartPageCreated = 0;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    bool OnKeypadKey(QObject* o, QKeyEvent* e);

private:
    void BuildMenus();
    void BuildToolBars();
    void BuildStatusBar();
    void RegisterCommands();
    LRESULT OnLaunchCamera();
    // True when a camera launch has to wait for the frame's first picture on the screen; the
    // launch then runs once the window is exposed (painted), or after a time-out when it never is.
    bool DeferLaunchUntilShown();
    void RunDeferredLaunch();
    // "Select Camera" for a model with a colour and a monochrome variant: the id to open.
    int ChooseCameraVariant(int id);
    LRESULT OnCameraFileSaved(WPARAM wParam, LPARAM lParam);
    void DeletePlugListener();
    void OnActivateChild();

    CCommandRouter* m_pRouter = nullptr;
    QMdiArea* m_pMdiArea = nullptr;
    QLabel* m_panes[kPanes] = {};
    QToolBar* m_pStandardBar = nullptr;
    QToolBar* m_pImageBar = nullptr;
    QComboBox* m_pZoomCombo = nullptr;
    QDockWidget* m_pFolderPane = nullptr;
    CFolderTreeCtrl* m_pFolderTree = nullptr;
    QList<QMenu*> m_docMenus;
    QMenu* m_pRecentMenu = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    QMetaObject::Connection m_activeTitle;
    int m_bFullScreen = 0;
    QTimer* m_pIdleTimer = nullptr;
    CCameraPlugListener* m_pPlugListener = nullptr;
    bool m_bShownOnce = false;
    bool m_bPictured = false;  // the frame has been exposed (painted) once
    QPointer<CThumbnailListCtrl> m_pStartList;
    // Makes the folder tree after the first picture when its pane shows by then.
    void OnFirstPicture();
    QTimer* m_pLaunchTimeout = nullptr;  // set while a launch waits for the first picture
    QStringList m_cameraFiles;
    // ---- measurement bar and tool windows ----
    void BuildMeasureBar();
    void DeleteToolWindows();
    QToolBar* m_pMeasureBar = nullptr;
    QToolButton* m_pCalibrateButton = nullptr;
    QDockWidget* m_pHistogramPane = nullptr;
    CHistogramWnd* m_pHistogram = nullptr;
    CMagnifierWnd* m_pMagnifier = nullptr;
};
