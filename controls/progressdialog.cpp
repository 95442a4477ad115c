#include "controls/progressdialog.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "controls/gradientprogressctrl.h"
#include "ui/msgbridge.h"
#include "controls/syscolors.h"

namespace {

// Dialog units to pixels with the dialog font's base units.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics fm(font);
        const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX = std::max(1, (width / 26 + 1) / 2);
        baseY = std::max(1, fm.height());
    }
    int X(int du) const { return du * baseX / 4; }
    int Y(int du) const { return du * baseY / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    int baseX;
    int baseY;
};

}  // namespace

CProgressDialog::CProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint), m_text(QStringLiteral("Complete : %d%%")) {
    setModal(false);
}

CProgressDialog::~CProgressDialog() = default;

bool CProgressDialog::OnUiThread() const { return QThread::currentThread() == thread(); }

void CProgressDialog::SetText(const QString& text) {
    if (!OnUiThread()) {
        PostCall(this, [this, text] { SetText(text); });
        return;
    }
    if (text == QLatin1String("Complete") || text == QLatin1String("Interval Complete")) {
        m_text = text + QStringLiteral(": %d%%");
    } else {
        m_text = text;
    }
    if (m_bar) {
        m_bar->Painter().SetTextFormat(m_text, PBS_TEXT_PERCENT);
        m_bar->update();
    }
}

bool CProgressDialog::Create(QWidget* parent) {
    if (m_created.load()) return true;
    if (parent != parentWidget()) setParent(parent, windowFlags());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);

    QFont dialogFont(QStringLiteral(u"宋体"), 10);
    setFont(dialogFont);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, CSysColors::Color(COLOR_3DFACE));
    setPalette(pal);
    setAutoFillBackground(true);
    const DialogUnits du(font());
    setFixedSize(du.X(265), du.Y(30));

    m_bar = new CGradientProgressCtrl(this);
    m_bar->setObjectName(QString::number(IDC_PROGRESS));
    m_bar->setGeometry(du.Rect(10, 7, 200, 15));
    m_bar->SetBorder(true);

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QString::number(IDC_CANCEL));
    m_cancel->setGeometry(du.Rect(212, 7, 50, 14));
    m_cancel->setAutoDefault(false);
    m_cancel->setDefault(false);
    QObject::connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancelClicked(); });

    InitBar();
    m_created.store(true);

    if (parent) {
        const QRect outer = parent->frameGeometry();
        move(outer.center() - QPoint(width() / 2, height() / 2));
    } else if (QScreen* s = screen()) {
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    m_visibleWanted.store(true);
    show();
    return true;
}

void CProgressDialog::InitBar() {
    m_bar->SetRange32(m_lower, m_upper);
    CProgressPainter& p = m_bar->Painter();
    p.SetBkColor(RGB(192, 192, 192));
    p.SetColors({RGB(192, 192, 192), RGB(128, 128, 128)});
    p.SetBlockLength(10);
    p.SetTextColors(RGB(0, 0, 0), RGB(0, 0, 0));
    m_bar->ModifyStyle(0, PBS_BLOCK | PBS_GRADIENT_FILLED);
    p.SetBarBrush(std::nullopt);
    p.SetBkBrush(std::nullopt);
    p.SetMargins(0, 0, 0, 0);
    p.SetTextFormat(m_text, PBS_TEXT_PERCENT);
    m_bar->SetTooltipFormat(QString(), 0);
    p.SetRegion(std::nullopt);
    m_bar->SetStaticEdge(true);
    p.SetBlockLength(100);
    m_bar->update();
}

void CProgressDialog::Close() {
    if (!m_created.exchange(false)) return;
    hide();
    m_visibleWanted.store(false);
    delete m_bar;
    m_bar = nullptr;
    delete m_cancel;
    m_cancel = nullptr;
}

void CProgressDialog::SetRange(int lower, int upper) {
    if (!OnUiThread()) {
        PostCall(this, [this, lower, upper] { SetRange(lower, upper); });
        return;
    }
    if (upper <= 0) upper = 1;
    m_lower = lower;
    m_upper = upper;
    if (m_bar) {
        m_bar->SetRange32(lower, upper);
        m_bar->update();
        m_bar->Painter().SetBlockLength((upper - lower) / 2);
    }
}

void CProgressDialog::GetRange(int* lower, int* upper) const {
    if (lower) *lower = m_lower;
    if (upper) *upper = m_upper;
}

void CProgressDialog::SetPos(int pos) {
    m_pos.store(pos);
    if (!m_created.load()) return;
    if (OnUiThread()) {
        m_posPending.store(false);
        m_bar->SetPos(pos);
        m_bar->repaint();
        return;
    }
    m_posPending.store(true);
    RequestUpdate();
}

bool CProgressDialog::ShowWindow(int command) {
    const bool show = command != SW_HIDE;
    if (!m_created.load()) return false;
    const bool was = m_visibleWanted.exchange(show);
    if (OnUiThread()) {
        m_showPending.store(-1);
        setVisible(show);
        return was;
    }
    m_showPending.store(command);
    RequestUpdate();
    return was;
}

void CProgressDialog::RequestUpdate() {
    if (m_updateQueued.exchange(true)) return;
    PostCall(this, [this] { ApplyPending(); });
}

// Runs on the UI thread. The flag is cleared before the state is read, so a request that comes
// in meanwhile queues a fresh update and the last value always reaches the screen.
void CProgressDialog::ApplyPending() {
    m_updateQueued.store(false);
    const int command = m_showPending.exchange(-1);
    const bool posPending = m_posPending.exchange(false);
    if (!m_created.load()) return;
    if (command >= 0) setVisible(command != SW_HIDE);
    if (posPending && m_bar) {
        m_bar->SetPos(m_pos.load());
        m_bar->repaint();
    }
}

void CProgressDialog::OnCancelClicked() {
    if (m_cancelEnabled.load()) m_cancelled.store(true);
}

void CProgressDialog::closeEvent(QCloseEvent* e) { e->ignore(); }
