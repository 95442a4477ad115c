// The Rotate dialog: free rotation with a before/after thumbnail, an angle slider and two
// quarter-turn buttons. The caller hands in a copy of the image; OK leaves the angle and the
// (hidden) list choices in the public fields.
#pragma once

#include <QDialog>

#include <memory>

#include "ui/msgbridge.h"
#include "imagelib/pximage.h"

class CBitmapSlider;
class CIconButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class CRotateDialog : public QDialog, public CMessageTarget {
public:
    static constexpr int kThumbnailLimit = 200;

    explicit CRotateDialog(const PxImage& source, QWidget* parent = nullptr);
    ~CRotateDialog() override;

    // Results (and start values).
    float m_angle = 0;
    int m_interpolation = 1;
    int m_overflow = 1;
    bool m_keepSize = false;

    const PxImage& Thumbnail() const { return m_thumbnail; }
    // The rotated thumbnail shown in "After"; null once the dialog has closed.
    const PxImage* AfterImage() const { return m_after.get(); }
    // Rotates the thumbnail by the whole degrees of the angle and shows it.
    void Preview();
    void accept() override;
    void reject() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void MakeThumbnail(const PxImage& source);
    void AngleEdited(const QString& text);
    void Quarter(bool right);
    void ReadChoices();
    void FreePreview();

    PxImage m_thumbnail;
    std::unique_ptr<PxImage> m_after;
    QLabel* m_before = nullptr;
    QLabel* m_afterLabel = nullptr;
    CBitmapSlider* m_slider = nullptr;
    QLineEdit* m_edit = nullptr;
    CIconButton* m_left = nullptr;
    CIconButton* m_right = nullptr;
    QComboBox* m_interpolationList = nullptr;
    QComboBox* m_overflowList = nullptr;
    QCheckBox* m_keep = nullptr;
};
