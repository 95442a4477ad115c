// "Mix": a destination and a source document, the mixing operation and the source's offset,
// with a thumbnail of the result.
#pragma once

#include <QDialog>

#include <memory>

#include "imagelib/pximage.h"

class CPelidorDoc;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class CMixDialog : public QDialog {
public:
    static constexpr int kDstId = 1027, kSrcId = 1028, kOpId = 1029;
    static constexpr int kXId = 1000, kYId = 1001, kMixAlphaId = 1002;
    static constexpr int kRefreshId = 1030, kPreviewId = 1031;
    // Offsets beyond this place the source far outside any image.
    static constexpr LONG kMaxOffset = 1000000;

    explicit CMixDialog(QWidget* parent = nullptr);

    CPelidorDoc* Source() const { return m_src; }
    CPelidorDoc* Destination() const { return m_dst; }
    PxImage::ImageOpType Op() const { return m_op; }
    LONG XOffset() const { return m_x; }
    LONG YOffset() const { return m_y; }
    bool MixAlpha() const { return m_mixAlpha; }
    // The image the preview static shows; null when nothing can be previewed.
    PxImage* PreviewImage() const { return m_preview.get(); }
    float ThumbnailScale() const { return m_scale; }

    void accept() override;

private:
    // Reads the lists and (when they parse) the edits, then rebuilds the thumbnail.
    void Preview();

    QComboBox* m_dstList = nullptr;
    QComboBox* m_srcList = nullptr;
    QComboBox* m_opList = nullptr;
    QLineEdit* m_xEdit = nullptr;
    QLineEdit* m_yEdit = nullptr;
    QCheckBox* m_mixAlphaBox = nullptr;
    QLabel* m_previewStatic = nullptr;
    CPelidorDoc* m_src = nullptr;
    CPelidorDoc* m_dst = nullptr;
    PxImage::ImageOpType m_op = PxImage::OpAnd;
    LONG m_x = 0, m_y = 0;
    bool m_mixAlpha = false;
    float m_scale = 1.0f;
    std::unique_ptr<PxImage> m_preview;
};
