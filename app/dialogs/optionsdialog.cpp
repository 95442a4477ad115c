#include "app/dialogs/optionsdialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/exifreport.h"
#include "ui/promptservice.h"
#include "controls/iconbutton.h"

namespace {

template <typename T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// A group of radios with consecutive ids from `firstId`, one under the other.
std::vector<QRadioButton*> RadioGroup(QWidget* parent, const QString& title, const QRect& box,
                                      const std::vector<const char*>& texts, int firstId) {
    auto* group = new QGroupBox(title, parent);
    group->setGeometry(box);
    std::vector<QRadioButton*> radios;
    for (size_t i = 0; i < texts.size(); i++) {
        auto* r = Named(new QRadioButton(texts[i], group), firstId + static_cast<int>(i));
        r->setGeometry(10, 20 + static_cast<int>(i) * 21, box.width() - 20, 20);
        radios.push_back(r);
    }
    return radios;
}

int CheckedIndex(const std::vector<QRadioButton*>& radios) {
    for (size_t i = 0; i < radios.size(); i++)
        if (radios[i]->isChecked()) return static_cast<int>(i);
    return 0;
}

}  // namespace

const std::vector<DWORD>& COptionsDialog::TiffCodes() {
    static const std::vector<DWORD> codes = {0, 1, 2, 4, 32773, 7, 5};
    return codes;
}

COptionsDialog::COptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Options");
    setObjectName("145");
    m_tiff = RadioGroup(this, "TIFF", QRect(10, 10, 160, 172),
                        {"Default : auto", "none", "RLE", "Fax", "Packbits", "Jpeg", "LZW"}, 1003);
    m_gif = RadioGroup(this, "GIF", QRect(180, 10, 190, 88), {"Default : LZW", "None", "RLE"}, 1010);
    m_png = RadioGroup(this, "PNG", QRect(180, 104, 190, 67), {"Default : not interlaced", "interlaced"}, 1013);
    auto* jpegBox = new QGroupBox("JPEG", this);
    jpegBox->setGeometry(10, 188, 360, 74);
    m_jpeg.push_back(Named(new QRadioButton("Default : baseline", jpegBox), 1015));
    m_jpeg.push_back(Named(new QRadioButton("progressive", jpegBox), 1016));
    m_jpeg[0]->setGeometry(10, 20, 170, 20);
    m_jpeg[1]->setGeometry(10, 44, 170, 20);
    m_optimize = Named(new QCheckBox("Optimize", jpegBox), 1032);
    m_optimize->setGeometry(190, 20, 150, 20);

    auto edit = [this](const char* label, int id, int y) {
        auto* l = new QLabel(label, this);
        l->setGeometry(10, y, 200, 22);
        auto* e = Named(new QLineEdit(this), id);
        e->setGeometry(220, y, 80, 22);
        return e;
    };
    m_quality = edit("JPEG quality [0 ... 100]", 1000, 272);
    m_xres = edit("X resolution [DPI]", 1001, 300);
    m_yres = edit("Y resolution [DPI]", 1002, 328);

    m_ok = Named(new CIconButton(this), IDOK);
    m_ok->setText("OK");
    m_ok->SetIcon(155, CIconButton::AlignLeft);
    m_ok->setGeometry(380, 14, 96, 26);
    m_cancel = Named(new CIconButton(this), IDCANCEL);
    m_cancel->setText("Cancel");
    m_cancel->SetIcon(154, CIconButton::AlignLeft);
    m_cancel->setGeometry(380, 46, 96, 26);
    m_exifButton = Named(new CIconButton(this), 3);
    m_exifButton->setText("Exif");
    m_exifButton->SetIcon(156, CIconButton::AlignLeft);
    m_exifButton->setGeometry(380, 94, 96, 26);
    setFixedSize(488, 362);

    for (QRadioButton* r : m_tiff) connect(r, &QRadioButton::clicked, this, [this] { m_bTiffPicked = true; });
    connect(m_ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_exifButton, &QPushButton::clicked, this, [this] { OnExif(); });
    m_ok->setDefault(true);
    LoadControls();
}

void COptionsDialog::LoadControls() {
    m_exifButton->setEnabled(m_pExif && m_pExif->isExif);
    const std::vector<DWORD>& codes = TiffCodes();
    size_t tiff = 0;
    for (size_t i = 0; i < codes.size(); i++)
        if (codes[i] == m_dwTiffCompression) tiff = i;
    m_tiff[tiff]->setChecked(true);
    m_bTiffPicked = false;
    m_gif[m_dwGifOption == 1 || m_dwGifOption == 2 ? m_dwGifOption : 0]->setChecked(true);
    m_png[m_dwPngInterlace == 1 ? 1 : 0]->setChecked(true);
    m_jpeg[(m_dwJpegFlags & JPG_ENC_PROGRESSIVE) ? 1 : 0]->setChecked(true);
    m_optimize->setChecked((m_dwJpegFlags & JPG_ENC_OPTIMIZE) != 0);
    m_quality->setText(QString::number(m_nJpegQuality));
    m_xres->setText(QString::number(m_xDPI));
    m_yres->setText(QString::number(m_yDPI));
}

bool COptionsDialog::StoreControls() {
    CDataExchange dx(this);
    BYTE quality = m_nJpegQuality;
    LONG x = m_xDPI, y = m_yDPI;
    dx.Byte(m_quality, quality, 1, 255);
    dx.Long(m_xres, x, 0, 10000);
    dx.Long(m_yres, y, 0, 10000);
    if (!dx.Ok()) return false;
    // "Default : auto" stands for codes no radio has (Deflate, say); an untouched OK keeps them.
    if (m_bTiffPicked) m_dwTiffCompression = TiffCodes()[static_cast<size_t>(CheckedIndex(m_tiff))];
    m_dwGifOption = static_cast<DWORD>(CheckedIndex(m_gif));
    m_dwPngInterlace = static_cast<DWORD>(CheckedIndex(m_png));
    m_dwJpegFlags = (m_jpeg[1]->isChecked() ? JPG_ENC_PROGRESSIVE : 0) | (m_optimize->isChecked() ? JPG_ENC_OPTIMIZE : 0);
    m_nJpegQuality = quality;
    m_xDPI = x;
    m_yDPI = y;
    return true;
}

void COptionsDialog::OnOK() {
    if (StoreControls()) accept();
}

void COptionsDialog::OnExif() {
    if (!m_pExif || !m_pExif->isExif) return;
    CPromptService::Instance().MessageBox(this, QString::fromUtf8(CExifReport::Build(*m_pExif).c_str()), "EXIF",
                                          MB_OK | MB_ICONQUESTION);
}
