#include "capture/snapsavepage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>

#include "ui/promptservice.h"
#include "controls/numberedit.h"

namespace {

template <class W>
W* Place(W* w, int id, int x, int y, int width, int height) {
    w->setObjectName(QString::number(id));
    w->setGeometry(x, y, width, height);
    return w;
}

}  // namespace

CSnapSavePage::CSnapSavePage(CSaveConfigLogic* logic, QWidget* parent) : QWidget(parent), m_logic(logic) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 231, 252));
    setPalette(pal);
    resize(380, 300);
    m_dialog = Place(new QRadioButton("Use File Save Dialog", this), 1001, 12, 8, 170, 20);
    m_config = Place(new QRadioButton("Use File Save Config", this), 1002, 190, 8, 170, 20);
    auto* radios = new QButtonGroup(this);
    radios->addButton(m_dialog);
    radios->addButton(m_config);
    m_nameLabels[0] = Place(new QLabel("File Name:", this), 1015, 12, 38, 70, 20);
    m_prefix = Place(new QLineEdit(this), 1004, 84, 36, 130, 22);
    m_nameLabels[1] = Place(new QLabel("+", this), 1016, 220, 38, 12, 20);
    m_num = Place(new QCheckBox("Num", this), 1007, 236, 38, 56, 20);
    m_nameLabels[2] = Place(new QLabel("+", this), 1017, 294, 38, 12, 20);
    m_type = Place(new QComboBox(this), 1008, 308, 36, 64, 22);
    m_type->addItems({".jpg", ".bmp", ".tiff", ".raw"});
    m_timeStamp = Place(new QCheckBox("Use Time-stamped", this), 1006, 12, 64, 170, 20);
    m_pathLabel = Place(new QLabel("Path:", this), 1018, 12, 92, 40, 20);
    m_folder = Place(new QLineEdit(this), 1005, 56, 90, 290, 22);
    m_browse = Place(new QToolButton(this), 0, 348, 90, 24, 22);
    m_browse->setObjectName("browse1005");
    m_browse->setText("...");
    m_lapse = Place(new QCheckBox("Time Lapse", this), 1009, 12, 124, 110, 20);
    m_intervalLabel = Place(new QLabel("Interval(s):", this), 1019, 126, 124, 70, 20);
    m_interval = Place(new CNumberEdit(this), CSaveConfigLogic::kInterval.id, 198, 122, 56, 22);
    m_interval->SetRange(CSaveConfigLogic::kInterval.minimum, CSaveConfigLogic::kInterval.maximum);
    m_framesLabel = Place(new QLabel("Frames:", this), 1020, 262, 124, 50, 20);
    m_frames = Place(new CNumberEdit(this), CSaveConfigLogic::kFrames.id, 314, 122, 56, 22);
    m_frames->SetRange(CSaveConfigLogic::kFrames.minimum, CSaveConfigLogic::kFrames.maximum);
    Place(new QGroupBox("Resolution of Snap", this), 1021, 6, 156, 368, 56)->lower();
    m_fine = Place(new QCheckBox("Use Fine Mode", this), 1091, 16, 180, 160, 20);

    QObject::connect(m_dialog, &QRadioButton::clicked, this, [this] {
        Read();
        m_logic->OnSnapConfig(false);
        Show();
    });
    QObject::connect(m_config, &QRadioButton::clicked, this, [this] {
        Read();
        m_logic->OnSnapConfig(true);
        Show();
    });
    QObject::connect(m_browse, &QToolButton::clicked, this, [this] {
        QString folder = m_folder->text();
        if (!CPromptService::Instance().ChooseFolder(this, QString(), folder)) return;
        m_folder->setText(folder);
    });
    QObject::connect(m_timeStamp, &QCheckBox::clicked, this, [this](bool on) {
        Read();
        m_logic->OnSnapTimeStamp(on);
        Show();
    });
    QObject::connect(m_lapse, &QCheckBox::clicked, this, [this](bool on) {
        Read();
        m_logic->OnSnapLapse(on);
        Show();
    });
}

void CSnapSavePage::Show() {
    const CSaveConfigLogic::SnapPage& p = m_logic->snap;
    const QSignalBlocker b1(m_prefix), b2(m_folder), b3(m_type), b4(m_interval), b5(m_frames);
    m_dialog->setChecked(!p.bConfig);
    m_config->setChecked(p.bConfig != 0);
    m_prefix->setText(QString::fromStdString(p.sFilename));
    m_folder->setText(QString::fromStdString(p.sPath));
    m_timeStamp->setChecked(p.bTimeStamp != 0);
    m_num->setChecked(p.bNum != 0);
    m_type->setCurrentIndex(p.fileItem);
    m_lapse->setChecked(p.bLapse != 0);
    m_interval->setText(QString::fromStdString(p.interval));
    m_frames->setText(QString::fromStdString(p.frames));
    m_fine->setChecked(p.bFineMode != 0);
    for (QLabel* l : m_nameLabels) l->setEnabled(p.nameEnabled);
    m_prefix->setEnabled(p.nameEnabled);
    m_num->setEnabled(p.nameEnabled);
    for (QWidget* w : {static_cast<QWidget*>(m_timeStamp), static_cast<QWidget*>(m_pathLabel),
                       static_cast<QWidget*>(m_folder), static_cast<QWidget*>(m_browse),
                       static_cast<QWidget*>(m_lapse)})
        w->setEnabled(p.configEnabled);
    for (QWidget* w : {static_cast<QWidget*>(m_intervalLabel), static_cast<QWidget*>(m_interval),
                       static_cast<QWidget*>(m_framesLabel), static_cast<QWidget*>(m_frames)})
        w->setEnabled(p.lapseEnabled);
    m_fine->setEnabled(p.fineModeEnabled);
}

void CSnapSavePage::Read() {
    CSaveConfigLogic::SnapPage& p = m_logic->snap;
    p.bConfig = m_config->isChecked() ? 1 : 0;
    p.sFilename = m_prefix->text().toStdString();
    p.sPath = m_folder->text().toStdString();
    p.bTimeStamp = m_timeStamp->isChecked() ? 1 : 0;
    p.bNum = m_num->isChecked() ? 1 : 0;
    p.fileItem = m_type->currentIndex();
    p.bLapse = m_lapse->isChecked() ? 1 : 0;
    p.interval = m_interval->text().toStdString();
    p.frames = m_frames->text().toStdString();
    p.bFineMode = m_fine->isChecked() ? 1 : 0;
}
