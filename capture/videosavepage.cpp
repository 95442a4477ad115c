#include "capture/videosavepage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

CVideoSavePage::CVideoSavePage(CSaveConfigLogic* logic, QWidget* parent) : QWidget(parent), m_logic(logic) {
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
    m_typeLabel = Place(new QLabel("Type:", this), 1013, 190, 64, 40, 20);
    m_ext = Place(new QComboBox(this), 1008, 308, 36, 64, 22);
    m_ext->addItem(".avi");
    m_timeStamp = Place(new QCheckBox("Use Time-stamped", this), 1006, 12, 64, 170, 20);
    m_pathLabel = Place(new QLabel("Path:", this), 1018, 12, 92, 40, 20);
    m_folder = Place(new QLineEdit(this), 1005, 56, 90, 290, 22);
    m_browse = Place(new QToolButton(this), 0, 348, 90, 24, 22);
    m_browse->setObjectName("browse1005");
    m_browse->setText("...");
    Place(new QGroupBox("Video Compressor", this), 1087, 6, 120, 368, 56)->lower();
    m_compressor = Place(new QComboBox(this), 1085, 16, 142, 260, 24);
    for (const AviCompressor& c : m_logic->Compressors()) m_compressor->addItem(QString::fromStdString(c.description));
    m_compressor->addItem("No Compressor");
    m_configButton = Place(new QPushButton("Config", this), 1086, 284, 142, 80, 24);
    m_limitCheck = Place(new QCheckBox("Use Time Limit", this), 1130, 12, 188, 130, 20);
    m_limitLabel = Place(new QLabel("Time Limit:", this), 1131, 150, 188, 70, 20);
    m_limit = Place(new CNumberEdit(this), CSaveConfigLogic::kTimeLimit.id, 222, 186, 56, 22);
    m_limit->SetRange(CSaveConfigLogic::kTimeLimit.minimum, CSaveConfigLogic::kTimeLimit.maximum);
    m_secLabel = Place(new QLabel("Sec", this), 1132, 284, 188, 30, 20);

    auto configRadio = [this](bool use) {
        Read();
        m_logic->OnVideoConfig(use);
        Show();
    };
    QObject::connect(m_dialog, &QRadioButton::clicked, this, [configRadio] { configRadio(false); });
    QObject::connect(m_config, &QRadioButton::clicked, this, [configRadio] { configRadio(true); });
    QObject::connect(m_browse, &QToolButton::clicked, this, [this] {
        QString folder = m_folder->text();
        if (!CPromptService::Instance().ChooseFolder(this, QString(), folder)) return;
        m_folder->setText(folder);
    });
    QObject::connect(m_timeStamp, &QCheckBox::clicked, this, [this](bool on) {
        Read();
        m_logic->OnVideoTimeStamp(on);
        Show();
    });
    QObject::connect(m_limitCheck, &QCheckBox::clicked, this, [this](bool on) {
        Read();
        m_logic->OnVideoTimeLimit(on);
        Show();
    });
    QObject::connect(m_compressor, &QComboBox::activated, this, [this](int item) {
        Read();
        m_logic->OnCompressor(item);
        Show();
    });
}

void CVideoSavePage::Show() {
    const CSaveConfigLogic::VideoPage& p = m_logic->video;
    const QSignalBlocker b1(m_prefix), b2(m_folder), b3(m_compressor), b4(m_limit);
    m_dialog->setChecked(!p.bConfig);
    m_config->setChecked(p.bConfig != 0);
    m_prefix->setText(QString::fromStdString(p.sFilename));
    m_folder->setText(QString::fromStdString(p.sPath));
    m_timeStamp->setChecked(p.bTimeStamp != 0);
    m_num->setChecked(p.bNum != 0);
    m_compressor->setCurrentIndex(p.compressor);
    m_limitCheck->setChecked(p.bTimeLimit != 0);
    m_limit->setText(QString::fromStdString(p.timeLimit));
    for (QLabel* l : m_nameLabels) l->setEnabled(p.nameEnabled);
    m_prefix->setEnabled(p.nameEnabled);
    m_num->setEnabled(p.nameEnabled);
    for (QWidget* w : {static_cast<QWidget*>(m_ext), static_cast<QWidget*>(m_timeStamp),
                       static_cast<QWidget*>(m_pathLabel), static_cast<QWidget*>(m_folder), static_cast<QWidget*>(m_browse),
                       static_cast<QWidget*>(m_typeLabel)})
        w->setEnabled(p.configEnabled);
    for (QWidget* w : {static_cast<QWidget*>(m_limitLabel), static_cast<QWidget*>(m_limit),
                       static_cast<QWidget*>(m_secLabel)})
        w->setEnabled(p.timeLimitEnabled);
    m_configButton->setEnabled(p.configButtonEnabled);
}

void CVideoSavePage::Read() {
    CSaveConfigLogic::VideoPage& p = m_logic->video;
    p.bConfig = m_config->isChecked() ? 1 : 0;
    p.sFilename = m_prefix->text().toStdString();
    p.sPath = m_folder->text().toStdString();
    p.bTimeStamp = m_timeStamp->isChecked() ? 1 : 0;
    p.bNum = m_num->isChecked() ? 1 : 0;
    p.compressor = m_compressor->currentIndex() >= 0 ? m_compressor->currentIndex() : m_logic->NoCompressorItem();
    p.bTimeLimit = m_limitCheck->isChecked() ? 1 : 0;
    p.timeLimit = m_limit->text().toStdString();
}
