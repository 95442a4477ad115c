// The text tool's settings: the text, its font and colour, alignment, and the background box
// with its colour, opacity and corner radius. Works on a copy of the record.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>

#include "imagelib/pximage.h"
#include "platform/wintypes.h"

class CIconButton;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;

class CPlaceTextDialog : public QDialog {
public:
    explicit CPlaceTextDialog(QWidget* parent = nullptr);

    // The record: the caller copies it in before the dialog runs and out after OK.
    void SetTextInfo(const PxImage::tagPxTextInfo& info);
    const PxImage::tagPxTextInfo& TextInfo() const { return m_info; }

    void OnFont();
    // 1021 the text colour, 1022 the background colour.
    void OnColor(int id);
    // The custom colours of the colour picker, kept while the dialog lives.
    const COLORREF* CustomColors() const { return m_custom; }

    // The edit's text as the record holds it: lines ended by CR LF, at most 4095 bytes, cut
    // where a UTF-8 character (and a line end) begins.
    static QByteArray RecordText(const QString& text);
    // The record's text as the edit shows it.
    static QString EditText(const char* text, size_t size);

    static LOGFONT ToLogFont(const PxImage::PxLogFont& font);
    static PxImage::PxLogFont FromLogFont(const LOGFONT& font);

private:
    void LoadControls();
    void StoreControls();
    void ApplyColors();
    void EnableBackground();
    void ShowOpacity();
    void ShowRadius();

    PxImage::tagPxTextInfo m_info;
    COLORREF m_custom[16] = {};

    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_font = nullptr;
    CIconButton* m_textColor = nullptr;
    QRadioButton* m_left = nullptr;
    QRadioButton* m_centre = nullptr;
    QRadioButton* m_right = nullptr;
    QCheckBox* m_background = nullptr;
    CIconButton* m_backColor = nullptr;
    QSlider* m_opacity = nullptr;
    QSlider* m_radius = nullptr;
    QLabel* m_opacityText = nullptr;
    QLabel* m_radiusText = nullptr;
    QLabel* m_opacityLabel = nullptr;
    QLabel* m_radiusLabel = nullptr;
    CIconButton* m_ok = nullptr;
    CIconButton* m_cancel = nullptr;
};
