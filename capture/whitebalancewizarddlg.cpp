#include "capture/whitebalancewizarddlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include "capture/cameradisplay.h"
#include "resources/resourcetable.h"

namespace {
constexpr int kStep1Text = 61453;
constexpr int kStep2Text = 61454;
const QSize kButtonSize(140, 28);
const QSize kMarkerSize(28, 32);

QLabel* MakeMarker(QWidget* parent, int id) {
    auto* m = new QLabel(QStringLiteral("\u25C0"), parent);
    m->setObjectName(QString::number(id));
    m->setAlignment(Qt::AlignCenter);
    m->setStyleSheet("color: rgb(220, 60, 20); background: transparent;");
    QFont f = m->font();
    f.setPixelSize(22);
    m->setFont(f);
    m->resize(kMarkerSize);
    return m;
}

QLabel* MakeStepText(QWidget* parent, int id, const QRect& where) {
    auto* t = new QLabel(ResourceString(id == CWhiteBalanceWizardDlg::IDC_STEP1 ? kStep1Text : kStep2Text), parent);
    t->setObjectName(QString::number(id));
    t->setWordWrap(true);
    t->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Transparent, black text: the panel shows through.
    t->setAttribute(Qt::WA_TranslucentBackground);
    t->setAutoFillBackground(false);
    t->setStyleSheet("color: black; background: transparent;");
    t->setGeometry(where);
    return t;
}
}  // namespace

CWhiteBalanceWizardDlg::CWhiteBalanceWizardDlg(QWidget* parent, int width, int height)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_logic(width, height) {
    setObjectName(QString::number(IDD));
    setWindowTitle("White Balance");
    setModal(true);
    QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect geo = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const auto layout = CWhiteBalanceWizardLogic::ForScreen(geo.width(), geo.height());
    setGeometry(layout.dialog.translated(geo.topLeft()));
    setFixedSize(layout.dialog.size());

    m_pDisplay = new CCameraDisplay(this);
    m_pDisplay->setObjectName(QString::number(IDC_DISPLAY));
    m_pDisplay->setGeometry(layout.display);

    m_pPicture = new QToolButton(this);
    m_pPicture->setObjectName(QString::number(IDC_PICTURE));
    m_pPicture->setGeometry(layout.picture);
    m_pPicture->setIconSize(layout.picture.size());
    m_pPicture->setAutoRaise(true);
    m_pPicture->setFocusPolicy(Qt::NoFocus);

    m_pText1 = MakeStepText(this, IDC_STEP1, layout.text1);
    m_pText2 = MakeStepText(this, IDC_STEP2, layout.text2);
    m_pText2->hide();

    auto button = [this](int id, const char* text, QPoint at) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        b->setGeometry(QRect(at, kButtonSize));
        return b;
    };
    // "Reference" keeps its place from the dialog's design, under the step buttons.
    m_pReference = button(IDC_REFERENCE, "Reference", layout.redo + QPoint(0, 60));
    m_pBalance = button(IDC_WHITEBALANCE, "White Balance", layout.balance);
    m_pFinish = button(IDC_FINISH, "Finish", layout.finish);
    m_pRedo = button(IDC_REDO, "Redo", layout.redo);
    for (int i = 0; i < 4; ++i) m_pMarkers[i] = MakeMarker(this, IDC_MARKER0 + i);
    m_pMarkers[0]->move(layout.redoMarker + QPoint(0, 60));
    m_pMarkers[1]->move(layout.balanceMarker);
    m_pMarkers[2]->move(layout.finishMarker);
    m_pMarkers[3]->move(layout.redoMarker);

    connect(m_pBalance, &QPushButton::clicked, this, [this] {
        m_logic.OnWhiteBalance();
        UpdateControls();
    });
    connect(m_pReference, &QPushButton::clicked, this, [this] {
        m_logic.OnReference();
        UpdateControls();
    });
    connect(m_pRedo, &QPushButton::clicked, this, [this] {
        if (m_logic.OnRedo()) UpdateControls();
    });
    connect(m_pFinish, &QPushButton::clicked, this, [this] { accept(); });

    m_logic.ReadGains();
    UpdateControls();
    PlaceDisplay();
}

CWhiteBalanceWizardDlg::~CWhiteBalanceWizardDlg() = default;

CCameraView::WizardHandle CWhiteBalanceWizardDlg::Create(QWidget* parent, int width, int height) {
    CCameraView::WizardHandle handle;
    auto dlg = std::make_unique<CWhiteBalanceWizardDlg>(parent, width, height);
    handle.display = dlg->Display();
    handle.dialog = std::move(dlg);
    return handle;
}

QPushButton* CWhiteBalanceWizardDlg::Button(int id) const {
    switch (id) {
    case IDC_REFERENCE: return m_pReference;
    case IDC_WHITEBALANCE: return m_pBalance;
    case IDC_REDO: return m_pRedo;
    case IDC_FINISH: return m_pFinish;
    default: return nullptr;
    }
}

QLabel* CWhiteBalanceWizardDlg::Marker(int index) const { return index >= 0 && index < 4 ? m_pMarkers[index] : nullptr; }

QLabel* CWhiteBalanceWizardDlg::StepText(int id) const {
    return id == IDC_STEP1 ? m_pText1 : id == IDC_STEP2 ? m_pText2 : nullptr;
}

void CWhiteBalanceWizardDlg::UpdateControls() {
    const auto c = CWhiteBalanceWizardLogic::ForState(m_logic.State());
    m_pReference->setEnabled(c.reference);
    m_pBalance->setEnabled(c.balance);
    m_pFinish->setEnabled(c.finish);
    m_pRedo->setEnabled(c.redo);
    for (int i = 0; i < 4; ++i) m_pMarkers[i]->setVisible(c.marker[i]);
    m_pText1->setVisible(c.text1);
    m_pText2->setVisible(c.text2);
    m_nPicture = c.picture;
    const QPixmap pm = ResourcePixmap(c.picture);
    m_pPicture->setIcon(QIcon(pm));
    m_pPicture->update();
}

void CWhiteBalanceWizardDlg::PlaceDisplay() {
    const QRect fitted = CWhiteBalanceWizardLogic::FitDisplay(m_pDisplay->width(), m_pDisplay->height(),
                                                              m_logic.PictureWidth(), m_logic.PictureHeight());
    if (fitted.isEmpty())
        return;
    m_pDisplay->setGeometry(fitted);
    m_pDisplay->repaint();
}

void CWhiteBalanceWizardDlg::reject() {
    m_logic.OnClose();
    QDialog::reject();
}

void CWhiteBalanceWizardDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    const int panel = CWhiteBalanceWizardLogic::kPanelWidth;
    p.fillRect(QRect(w - panel, 0, panel, h), QColor::fromRgb(kPanelColour));
    // The rest: a rectangle in the default pen and brush.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRect(0, 0, w - panel - 1, h - 1));
}

QImage CWhiteBalanceWizardDlg::Render() { return grab().toImage(); }
