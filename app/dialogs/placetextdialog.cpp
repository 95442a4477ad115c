#include "app/dialogs/placetextdialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextCursor>

#include <cmath>
#include <cstring>

#include "ui/promptservice.h"
#include "controls/iconbutton.h"
#include "controls/syscolors.h"

namespace {

template <typename T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

constexpr size_t kMaxTextBytes = sizeof(PxImage::tagPxTextInfo::text) - 1;

}  // namespace

CPlaceTextDialog::CPlaceTextDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Place text to image");
    setObjectName("163");
    memset(&m_info, 0, sizeof m_info);

    auto* caption = new QLabel("Text to place:", this);
    caption->setGeometry(10, 8, 200, 20);
    m_text = Named(new QPlainTextEdit(this), 1000);
    m_text->setGeometry(10, 30, 420, 150);
    m_font = Named(new QPushButton("Font", this), 3);
    m_font->setGeometry(440, 30, 100, 26);
    m_textColor = Named(new CIconButton(this), 1021);
    m_textColor->setText("Color...");
    m_textColor->SetIcon(156, CIconButton::AlignLeft);
    m_textColor->setGeometry(440, 62, 100, 26);

    auto* align = new QGroupBox("Alignment", this);
    align->setGeometry(10, 190, 200, 96);
    m_left = Named(new QRadioButton("to left", align), 1004);
    m_centre = Named(new QRadioButton("centered", align), 1003);
    m_right = Named(new QRadioButton("to right", align), 1005);
    m_left->setGeometry(10, 22, 180, 20);
    m_centre->setGeometry(10, 44, 180, 20);
    m_right->setGeometry(10, 66, 180, 20);

    m_background = Named(new QCheckBox("Text has background", this), 1002);
    m_background->setGeometry(220, 186, 220, 22);
    auto* back = new QGroupBox("Background", this);
    back->setGeometry(220, 210, 320, 120);
    m_backColor = Named(new CIconButton(back), 1022);
    m_backColor->setText("Color...");
    m_backColor->SetIcon(156, CIconButton::AlignLeft);
    m_backColor->setGeometry(10, 20, 100, 26);
    m_opacityLabel = new QLabel("Opacity:", back);
    m_opacityLabel->setGeometry(10, 56, 80, 20);
    m_opacity = Named(new QSlider(Qt::Horizontal, back), 1023);
    m_opacity->setGeometry(95, 50, 170, 30);
    m_opacityText = Named(new QLabel(back), 1025);
    m_opacityText->setGeometry(270, 56, 45, 20);
    m_radiusLabel = new QLabel("Round radius:", back);
    m_radiusLabel->setGeometry(10, 88, 85, 20);
    m_radius = Named(new QSlider(Qt::Horizontal, back), 1024);
    m_radius->setGeometry(95, 82, 170, 30);
    m_radiusText = Named(new QLabel(back), 1026);
    m_radiusText->setGeometry(270, 88, 45, 20);

    m_opacity->setTickPosition(QSlider::TicksBothSides);
    m_opacity->setTickInterval(5);
    m_opacity->setSingleStep(10);
    m_opacity->setPageStep(20);
    m_opacity->setRange(0, 100);
    m_radius->setTickPosition(QSlider::TicksBelow);
    m_radius->setTickInterval(5);
    m_radius->setSingleStep(5);
    m_radius->setPageStep(10);
    m_radius->setRange(0, 50);

    m_ok = Named(new CIconButton(this), IDOK);
    m_ok->setText("OK");
    m_ok->SetIcon(155, CIconButton::AlignLeft);
    m_ok->setGeometry(440, 118, 100, 26);
    m_cancel = Named(new CIconButton(this), IDCANCEL);
    m_cancel->setText("Cancel");
    m_cancel->SetIcon(154, CIconButton::AlignLeft);
    m_cancel->setGeometry(440, 150, 100, 26);
    setFixedSize(550, 340);

    connect(m_font, &QPushButton::clicked, this, [this] { OnFont(); });
    connect(m_textColor, &QPushButton::clicked, this, [this] { OnColor(1021); });
    connect(m_backColor, &QPushButton::clicked, this, [this] { OnColor(1022); });
    connect(m_left, &QRadioButton::clicked, this, [this] { m_info.align = 0; });
    connect(m_centre, &QRadioButton::clicked, this, [this] { m_info.align = 1; });
    connect(m_right, &QRadioButton::clicked, this, [this] { m_info.align = 2; });
    connect(m_background, &QCheckBox::clicked, this, [this] {
        m_info.opaque = m_background->isChecked() ? 1 : 0;
        EnableBackground();
    });
    // Every change of position counts, whether dragged, keyed or clicked in the channel.
    connect(m_opacity, &QSlider::valueChanged, this, [this](int pos) {
        m_info.b_opacity = static_cast<float>(pos * 0.01);
        ShowOpacity();
    });
    connect(m_radius, &QSlider::valueChanged, this, [this](int pos) {
        m_info.r_radius = static_cast<BYTE>(pos);
        ShowRadius();
    });
    connect(m_ok, &QPushButton::clicked, this, [this] {
        StoreControls();
        accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    m_ok->setDefault(true);
    LoadControls();
}

void CPlaceTextDialog::SetTextInfo(const PxImage::tagPxTextInfo& info) {
    m_info = info;
    LoadControls();
}

LOGFONT CPlaceTextDialog::ToLogFont(const PxImage::PxLogFont& f) {
    LOGFONT lf;
    lf.lfHeight = f.lfHeight;
    lf.lfWidth = f.lfWidth;
    lf.lfEscapement = f.lfEscapement;
    lf.lfOrientation = f.lfOrientation;
    lf.lfWeight = f.lfWeight;
    lf.lfItalic = f.lfItalic;
    lf.lfUnderline = f.lfUnderline;
    lf.lfStrikeOut = f.lfStrikeOut;
    lf.lfCharSet = f.lfCharSet;
    lf.lfOutPrecision = f.lfOutPrecision;
    lf.lfClipPrecision = f.lfClipPrecision;
    lf.lfQuality = f.lfQuality;
    lf.lfPitchAndFamily = f.lfPitchAndFamily;
    static_assert(sizeof lf.lfFaceName == sizeof f.lfFaceName, "face names of one size");
    memcpy(lf.lfFaceName, f.lfFaceName, sizeof lf.lfFaceName);
    lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    return lf;
}

PxImage::PxLogFont CPlaceTextDialog::FromLogFont(const LOGFONT& lf) {
    PxImage::PxLogFont f;
    f.lfHeight = lf.lfHeight;
    f.lfWidth = lf.lfWidth;
    f.lfEscapement = lf.lfEscapement;
    f.lfOrientation = lf.lfOrientation;
    f.lfWeight = lf.lfWeight;
    f.lfItalic = lf.lfItalic;
    f.lfUnderline = lf.lfUnderline;
    f.lfStrikeOut = lf.lfStrikeOut;
    f.lfCharSet = lf.lfCharSet;
    f.lfOutPrecision = lf.lfOutPrecision;
    f.lfClipPrecision = lf.lfClipPrecision;
    f.lfQuality = lf.lfQuality;
    f.lfPitchAndFamily = lf.lfPitchAndFamily;
    memcpy(f.lfFaceName, lf.lfFaceName, sizeof f.lfFaceName);
    f.lfFaceName[sizeof f.lfFaceName - 1] = '\0';
    return f;
}

QString CPlaceTextDialog::EditText(const char* text, size_t size) {
    QString s = QString::fromUtf8(text, static_cast<qsizetype>(strnlen(text, size)));
    s.replace("\r\n", "\n");
    return s;
}

QByteArray CPlaceTextDialog::RecordText(const QString& text) {
    QString lines = text;
    lines.replace("\r\n", "\n");
    lines.replace('\n', "\r\n");
    QByteArray out = lines.toUtf8();
    if (static_cast<size_t>(out.size()) <= kMaxTextBytes) return out;
    qsizetype n = static_cast<qsizetype>(kMaxTextBytes);
    // out[n] is the first byte left out: while it continues a character, that character goes too.
    while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80) n--;
    // Nor is a line end split.
    if (n > 0 && out[n - 1] == '\r' && out[n] == '\n') n--;
    out.truncate(n);
    return out;
}

void CPlaceTextDialog::LoadControls() {
    {
        const QSignalBlocker block(m_text);
        m_text->setFont(CPromptService::FontFromLogFont(ToLogFont(m_info.lfont)));
        m_text->setPlainText(EditText(m_info.text, sizeof m_info.text));
        m_text->selectAll();
        m_text->ensureCursorVisible();
    }
    ApplyColors();
    m_background->setChecked(m_info.opaque != 0);
    (m_info.align == 0 ? m_left : m_info.align == 2 ? m_right : m_centre)->setChecked(true);
    {
        const QSignalBlocker a(m_opacity), b(m_radius);
        m_opacity->setValue(static_cast<int>(std::lround(m_info.b_opacity * 100.0)));
        m_radius->setValue(m_info.r_radius);
    }
    ShowOpacity();
    ShowRadius();
    EnableBackground();
}

void CPlaceTextDialog::StoreControls() {
    const QByteArray text = RecordText(m_text->toPlainText());
    memset(m_info.text, 0, sizeof m_info.text);
    memcpy(m_info.text, text.constData(), static_cast<size_t>(text.size()));
    m_info.opaque = m_background->isChecked() ? 1 : 0;
}

void CPlaceTextDialog::ApplyColors() {
    // The text in the text colour on the background colour; the rest of the edit black.
    QPalette pal = m_text->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, CSysColors::ToQColor(m_info.fcolor));
    m_text->setPalette(pal);
    QTextCharFormat format;
    format.setForeground(CSysColors::ToQColor(m_info.fcolor));
    format.setBackground(CSysColors::ToQColor(m_info.bcolor));
    const QSignalBlocker block(m_text);
    QTextCursor all(m_text->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(format);
    m_text->mergeCurrentCharFormat(format);
    m_text->viewport()->update();
}

void CPlaceTextDialog::EnableBackground() {
    const bool on = m_background->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_backColor), static_cast<QWidget*>(m_opacity),
                       static_cast<QWidget*>(m_radius), static_cast<QWidget*>(m_opacityText),
                       static_cast<QWidget*>(m_radiusText)})
        w->setEnabled(on);
}

void CPlaceTextDialog::ShowOpacity() {
    m_opacityText->setText(QString::asprintf("%.0f%%", m_info.b_opacity * 100.0));
}

void CPlaceTextDialog::ShowRadius() { m_radiusText->setText(QString::asprintf("%d%%", m_info.r_radius)); }

void CPlaceTextDialog::OnFont() {
    LOGFONT lf = ToLogFont(m_info.lfont);
    if (!CPromptService::Instance().ChooseFont(this, lf)) return;
    m_info.lfont = FromLogFont(lf);
    m_text->setFont(CPromptService::FontFromLogFont(lf));
}

void CPlaceTextDialog::OnColor(int id) {
    COLORREF& colour = id == 1021 ? m_info.fcolor : m_info.bcolor;
    COLORREF chosen = colour;
    if (!CPromptService::Instance().ChooseColor(this, chosen, m_custom)) return;
    colour = chosen;
    ApplyColors();
}
