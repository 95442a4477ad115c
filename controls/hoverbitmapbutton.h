// A bitmap button that highlights while the mouse is over it. One of the two buttons of the
// screen-region overlay (its items 1031 and 1067, found as the owner's children of that object
// name): entering it takes the focus and loads the highlighted bitmap, losing the focus loads the
// normal one back, so the highlight follows the mouse through the keyboard focus.
// Bitmaps come from the resource table by id; without them the button draws a plain face.
// UI thread only.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

class CHoverBitmapButton : public QAbstractButton {
public:
    static constexpr int kRegionItem = 1031;  // highlighted 261, normal 264
    static constexpr int kOtherItem = 1067;   // highlighted 262, normal 265

    explicit CHoverBitmapButton(QWidget* owner, QWidget* parent = nullptr);

    // The bitmaps of the four states by resource id (0: the normal one serves).
    bool LoadBitmaps(int normal, int selected = 0, int focus = 0, int disabled = 0);
    // The bitmap ids now loaded: normal, selected, focus, disabled.
    int BitmapId(int state) const { return state >= 0 && state < 4 ? m_ids[state] : 0; }
    // Which of the owner's items this button is: 1031, 1067, or 0.
    int OwnerItem() const;
    // The button as painted.
    QImage Render() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    QWidget* m_owner;
    int m_ids[4] = {0, 0, 0, 0};
    QPixmap m_bitmaps[4];
};
