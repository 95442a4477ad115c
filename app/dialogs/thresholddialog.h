// "Threshold": a level slider with a live before/after thumbnail of the image.
#pragma once

#include <QDialog>

#include "app/dialogs/previewpair.h"
#include "ui/msgbridge.h"

class CBitmapSlider;
class QLabel;
class QLineEdit;

class CThresholdDialog : public QDialog, public CMessageTarget {
public:
    static constexpr int kSliderId = 1120;
    static constexpr int kLevelEditId = 1000;
    static constexpr int kBeforeId = 1067;
    static constexpr int kAfterId = 1072;

    // `source` is the image the thumbnail is made of; `level` the starting level.
    CThresholdDialog(PxImage& source, BYTE level, QWidget* parent = nullptr);
    ~CThresholdDialog() override;

    BYTE Level() const { return m_level; }
    const CPreviewPair& Preview() const { return m_preview; }

    void accept() override;
    void reject() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdatePreview();

    BYTE m_level = 0;
    CPreviewPair m_preview;
    CBitmapSlider* m_slider = nullptr;
    QLineEdit* m_edit = nullptr;
    QLabel* m_before = nullptr;
    QLabel* m_after = nullptr;
};
