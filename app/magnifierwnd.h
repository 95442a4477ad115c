// The magnifier: a small tool window of the main frame that shows the part of the active image
// view around the mouse, enlarged by a whole factor from 2 to 8. Maximise and minimise of the
// window manager step the factor instead of changing the window's size.
#pragma once

#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>

class CMagnifierWnd : public QWidget {
public:
    static constexpr int kMinFactor = 2, kMaxFactor = 8;
    static constexpr int kClientWidth = 240, kClientHeight = 180;
    static constexpr int kCaptureInterval = 100;  // ms between two captures
    static constexpr int kEchoWait = 1000;  // ms the platform may take to report a state back
    static constexpr int SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030;

    explicit CMagnifierWnd(QWidget* parent = nullptr);

    // The mouse moved to p (view client coordinates): the source rectangle follows it and, when
    // the last capture is at least the interval old, the view is captured again.
    void SetPosition(const QPoint& p);
    // Maximise raises the factor, minimise lowers it; true when the command was taken here.
    bool OnSysCommand(int command);

    int Factor() const { return m_nFactor; }
    QRect SourceRect() const { return m_rcSource; }
    QRect CentreMark() const;
    bool IsReady() const { return m_bReady; }
    int Captures() const { return m_nCaptures; }
    const QImage& Picture() const { return m_picture; }
    // What painting shows, at the client size.
    QImage Render() const;
    // The widget captured: the active view's viewport unless a test set another.
    void SetSourceWidget(std::function<QWidget*()> source) { m_source = std::move(source); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void Capture();
    void UpdateCaption();
    void Paint(QPainter& p) const;
    QWidget* Source() const;

    int m_nFactor = 4;
    int m_w = kClientWidth, m_h = kClientHeight;
    QRect m_rcSource;
    QImage m_picture;
    bool m_bReady = true;
    int m_nEchoes = 0;  // platform reports still due for state requests made through the widget
    QTimer m_echoTimer;
    int m_nCaptures = 0;
    QTimer m_timer;
    std::function<QWidget*()> m_source;
};
