#include "app/dialogs/palettedialog.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cstring>

#include "app/dialogs/palettegrid.h"
#include "app/palettefile.h"
#include "app/pelidordoc.h"
#include "ui/promptservice.h"
#include "controls/edgedraw.h"
#include "controls/iconbutton.h"
#include "controls/syscolors.h"

namespace {

const QStringList kPaletteFilters = {"*.pal (*.pal)", "*.* (*)"};

template <typename T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// The frame the grid sits in: a sunken edge around all 16 x 16 cells with the origin's margin.
QRect GridFrame() {
    const RECT last = CPaletteGrid::CellRect(255);
    const int m = CPaletteGrid::kOriginX / 2;
    return QRect(QPoint(m, m), QPoint(last.right - 1 + m, last.bottom - 1 + m));
}

}  // namespace

CPaletteDialog::CPaletteDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Palette");
    setObjectName("158");
    // The cell borders take their colours from the palette's shadow roles, filled from the
    // classic scheme the program was drawn against.
    QPalette pal = palette();
    pal.setColor(QPalette::Shadow, CSysColors::Color(COLOR_3DDKSHADOW));
    pal.setColor(QPalette::Dark, CSysColors::Color(COLOR_BTNSHADOW));
    setPalette(pal);
    setMouseTracking(true);

    const QRect frame = GridFrame();
    const int right = frame.right() + 14;
    m_ok = Named(new CIconButton(this), IDOK);
    m_ok->setText("OK");
    m_ok->SetIcon(155, CIconButton::AlignLeft);
    m_ok->setGeometry(right, frame.top(), 96, 26);
    m_cancel = Named(new CIconButton(this), IDCANCEL);
    m_cancel->setText("Cancel");
    m_cancel->SetIcon(154, CIconButton::AlignLeft);
    m_cancel->setGeometry(right, frame.top() + 32, 96, 26);
    m_load = Named(new QPushButton("Load ...", this), 1006);
    m_load->setGeometry(right, frame.top() + 80, 96, 24);
    m_save = Named(new QPushButton("Save ...", this), 1007);
    m_save->setGeometry(right, frame.top() + 110, 96, 24);
    m_alpha = Named(new QCheckBox("Edit alpha component", this), 1008);
    m_alpha->setGeometry(right, frame.top() + 150, 190, 20);

    auto* group = new QGroupBox("Load Options", this);
    group->setGeometry(frame.left(), frame.bottom() + 8, frame.width(), 96);
    const char* texts[3] = {"Maintain indexes", "Nearest color matching", "Error diffusion dithering"};
    for (int i = 0; i < 3; i++) {
        m_option[i] = Named(new QRadioButton(texts[i], group), 1003 + i);
        m_option[i]->setGeometry(10, 22 + i * 23, frame.width() - 20, 20);
    }
    m_info = Named(new QLabel(" I = 0, RGBA = (0,0,0,0)", this), 1009);
    m_info->setGeometry(right, frame.bottom() + 8 + 96 - 20, 190, 20);
    setFixedSize(right + 200, frame.bottom() + 8 + 96 + 10);

    connect(m_ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_load, &QPushButton::clicked, this, [this] { OnLoad(); });
    connect(m_save, &QPushButton::clicked, this, [this] { OnSave(); });
    connect(m_alpha, &QCheckBox::clicked, this, [this] {
        m_editAlpha = m_alpha->isChecked();
        update();
    });
    m_ok->setDefault(true);
    LoadControls();
}

void CPaletteDialog::SetPalette(const RGBQUAD* palette, int count) {
    m_count = std::clamp(count, 0, 256);
    std::fill(std::begin(m_palette), std::end(m_palette), RGBQUAD{0, 0, 0, 0});
    if (palette && m_count > 0) std::memcpy(m_palette, palette, sizeof(RGBQUAD) * static_cast<size_t>(m_count));
    m_modified = false;
    m_selected = -1;
    update();
}

void CPaletteDialog::LoadControls() {
    for (int i = 0; i < 3; i++) m_option[i]->setChecked(m_loadOption == i + 1);
    m_alpha->setChecked(m_editAlpha);
}

void CPaletteDialog::StoreControls() {
    m_loadOption = m_option[2]->isChecked() ? 3 : m_option[1]->isChecked() ? 2 : 1;
    m_editAlpha = m_alpha->isChecked();
}

void CPaletteDialog::OnOK() {
    StoreControls();
    accept();
}

void CPaletteDialog::ShowMessage(const QString& text) {
    CPromptService::Instance().MessageBox(this, text, "Quillory", MB_OK);
}

void CPaletteDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    DrawSunkenEdge(p, GridFrame());
    const QColor thin = palette().color(QPalette::Dark), thick = palette().color(QPalette::Shadow);
    for (int i = 0; i < m_count; i++) {
        const RECT r = CPaletteGrid::CellRect(i);
        const QRect cell(r.left, r.top, r.right - r.left, r.bottom - r.top);
        const RGBQUAD& c = m_palette[i];
        const QColor fill = m_editAlpha ? QColor(c.rgbReserved, c.rgbReserved, c.rgbReserved)
                                        : QColor(c.rgbRed, c.rgbGreen, c.rgbBlue);
        const int border = i == m_selected ? 2 : 1;
        p.fillRect(cell, i == m_selected ? thick : thin);
        p.fillRect(cell.adjusted(border, border, -border, -border), fill);
    }
}

void CPaletteDialog::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    const int i = CPaletteGrid::HitTest(pos.x(), pos.y(), m_count);
    if (i < 0) return;
    const RGBQUAD& c = m_palette[i];
    m_info->setText(QString::asprintf(" I : %d, RGBA : %d, %d, %d, %d", i, c.rgbRed, c.rgbGreen, c.rgbBlue, c.rgbReserved));
}

void CPaletteDialog::mouseDoubleClickEvent(QMouseEvent* e) { EditEntryAt(e->position().toPoint()); }

void CPaletteDialog::EditEntryAt(const QPoint& pos) {
    const int i = CPaletteGrid::HitTest(pos.x(), pos.y(), m_count);
    if (i < 0) return;
    RGBQUAD& c = m_palette[i];
    COLORREF colour = m_editAlpha ? RGB(c.rgbReserved, c.rgbReserved, c.rgbReserved) : RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
    if (!CPromptService::Instance().ChooseColor(this, colour, nullptr)) return;
    if (m_editAlpha) {
        c.rgbReserved = GetRValue(colour);
    } else {
        c.rgbRed = GetRValue(colour);
        c.rgbGreen = GetGValue(colour);
        c.rgbBlue = GetBValue(colour);
    }
    m_modified = true;
    m_selected = i;
    update();
}

void CPaletteDialog::OnLoad() {
    FileDialogRequest r;
    r.open = true;
    r.title = "Open file";
    r.filters = kPaletteFilters;
    r.filterIndex = 1;
    if (!CPromptService::Instance().FileDialog(this, r)) return;
    // The file is read into a copy; only a palette that reads comes into the dialog.
    RGBQUAD loaded[256];
    std::memcpy(loaded, m_palette, sizeof loaded);
    const CPaletteFile::LoadResult res = CPaletteFile::Load(QFile::encodeName(r.fileName).constData(), loaded, m_count);
    switch (res.status) {
    case CPaletteFile::Status::CannotOpen: return;
    case CPaletteFile::Status::UnknownContents: ShowMessage("Unknown contents!"); return;
    case CPaletteFile::Status::TooManyColors: ShowMessage("Too much colors!"); return;
    case CPaletteFile::Status::Loaded: break;
    }
    if (res.countMismatch) ShowMessage("Warning: numcolors doesn't match");
    std::memcpy(m_palette, loaded, sizeof loaded);
    m_modified = true;
    update();
}

void CPaletteDialog::OnSave() {
    FileDialogRequest r;
    r.open = false;
    r.title = "Save file";
    r.filters = kPaletteFilters;
    r.filterIndex = 1;
    if (!CPromptService::Instance().FileDialog(this, r)) return;
    int err = 0;
    if (!CPaletteFile::SaveRiff(QFile::encodeName(r.fileName).constData(), m_palette, m_count, &err))
        ShowMessage(FileFailureText(QString(), false, r.fileName, err));
}
