// A caption-only control for the webcam window's toolbar: as large as its caption's text, at
// least 22 pixels across the bar, the caption drawn vertically on a vertical bar and greyed
// while disabled.
#pragma once

#include <QWidget>

class CDSControlStatic : public QWidget {
public:
    explicit CDSControlStatic(const QString& caption, QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return m_caption; }
    // The bar's orientation: vertical when it is docked left or right.
    void SetVertical(bool vertical);
    bool IsVertical() const { return m_bVertical; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString m_caption;
    bool m_bVertical = false;
};
