// The image's encoding options (TIFF, GIF, PNG and JPEG codec options, JPEG quality) and its
// resolution, with the EXIF report of the file the document was opened from.
#pragma once

#include <QDialog>

#include <vector>

#include "imagelib/codecs/PxImageJPG.h"
#include "platform/wintypes.h"

class CIconButton;
class QCheckBox;
class QLineEdit;
class QRadioButton;

class COptionsDialog : public QDialog {
public:
    explicit COptionsDialog(QWidget* parent = nullptr);

    // The values: the caller fills them before the dialog runs and reads them after OK.
    DWORD m_dwTiffCompression = 0;
    DWORD m_dwGifOption = 0;
    DWORD m_dwPngInterlace = 0;
    DWORD m_dwJpegFlags = 0;
    BYTE m_nJpegQuality = 90;
    LONG m_xDPI = 0;
    LONG m_yDPI = 0;
    // The EXIF record read when the document was opened; null without one.
    const PxImageJPG::tag_ExifInfo* m_pExif = nullptr;

    // Fills the controls from the values (the command calls it once they are set).
    void LoadControls();
    void OnExif();
    // The TIFF codes of the radios, in the order of their ids.
    static const std::vector<DWORD>& TiffCodes();

private:
    // False (dialog stays open) when an edit holds a bad value.
    bool StoreControls();
    void OnOK();

    std::vector<QRadioButton*> m_tiff, m_gif, m_png, m_jpeg;
    QCheckBox* m_optimize = nullptr;
    QLineEdit* m_quality = nullptr;
    QLineEdit* m_xres = nullptr;
    QLineEdit* m_yres = nullptr;
    CIconButton* m_ok = nullptr;
    CIconButton* m_cancel = nullptr;
    CIconButton* m_exifButton = nullptr;
    // Set once the user picks a TIFF radio: until then a preset no radio stands for is kept.
    bool m_bTiffPicked = false;
};
