#include "app/dialogs/mixdialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/dataexchange.h"
#include "app/dialogs/documentlist.h"
#include "app/dialogs/mixpreview.h"
#include "app/pelidordoc.h"

CMixDialog::CMixDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Mix");
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    grid->addWidget(new QLabel("Dst :", this), 0, 0);
    grid->addWidget(new QLabel("Src :", this), 1, 0);
    grid->addWidget(new QLabel("OpType :", this), 2, 0);
    m_dstList = Named(new QComboBox(this), kDstId);
    m_srcList = Named(new QComboBox(this), kSrcId);
    m_opList = Named(new QComboBox(this), kOpId);
    CDocumentList::Fill(m_dstList, false);
    CDocumentList::Fill(m_srcList, false);
    m_srcList->setCurrentIndex(m_srcList->count() > 0 ? 0 : -1);
    m_dstList->setCurrentIndex(m_dstList->count() > 1 ? 1 : (m_dstList->count() > 0 ? 0 : -1));
    const struct {
        const char* name;
        PxImage::ImageOpType op;
    } ops[] = {{"OpAdd", PxImage::OpAdd},         {"OpAnd", PxImage::OpAnd},         {"OpXor", PxImage::OpXor},
               {"OpOr", PxImage::OpOr},           {"OpScreen", PxImage::OpScreen},   {"OpMask", PxImage::OpMask},
               {"OpSrcCopy", PxImage::OpSrcCopy}, {"OpDstCopy", PxImage::OpDstCopy}, {"OpSub", PxImage::OpSub},
               {"OpSrcBlend", PxImage::OpSrcBlend}};
    for (const auto& o : ops) m_opList->addItem(o.name, static_cast<int>(o.op));
    m_opList->setCurrentIndex(1);
    grid->addWidget(m_dstList, 0, 1);
    grid->addWidget(m_srcList, 1, 1);
    grid->addWidget(m_opList, 2, 1);

    auto* group = new QGroupBox("Source options", this);
    auto* g = new QGridLayout(group);
    g->addWidget(new QLabel("X offset :", group), 0, 0);
    g->addWidget(new QLabel("Y offset :", group), 1, 0);
    m_xEdit = Named(new QLineEdit("0", group), kXId);
    m_yEdit = Named(new QLineEdit("0", group), kYId);
    g->addWidget(m_xEdit, 0, 1);
    g->addWidget(m_yEdit, 1, 1);
    m_mixAlphaBox = Named(new QCheckBox("Mix alpha channel", group), kMixAlphaId);
    g->addWidget(m_mixAlphaBox, 2, 0, 1, 2);
    top->addWidget(group);

    auto* refresh = Named(new QPushButton("Refresh Preview", this), kRefreshId);
    top->addWidget(refresh);
    m_previewStatic = MakePreviewStatic(this, kPreviewId);
    top->addWidget(m_previewStatic);
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    AddOkCancel(this, buttons);

    connect(refresh, &QPushButton::clicked, this, [this] { Preview(); });
    for (QComboBox* list : {m_dstList, m_srcList, m_opList})
        connect(list, &QComboBox::currentIndexChanged, this, [this] { Preview(); });
    Preview();
}

void CMixDialog::Preview() {
    m_src = CDocumentList::Selected(m_srcList);
    m_dst = CDocumentList::Selected(m_dstList);
    m_op = static_cast<PxImage::ImageOpType>(m_opList->currentData().toInt());
    // Half-typed offsets keep their last good values; OK reports them.
    bool ok = false;
    const int x = m_xEdit->text().trimmed().toInt(&ok);
    if (ok && x >= -kMaxOffset && x <= kMaxOffset) m_x = x;
    const int y = m_yEdit->text().trimmed().toInt(&ok);
    if (ok && y >= -kMaxOffset && y <= kMaxOffset) m_y = y;
    m_mixAlpha = m_mixAlphaBox->isChecked();
    m_preview.reset();
    if (m_src && m_dst) {
        // Another document's worker may be changing its image: read what its views show.
        CMixPreview::Request r{m_op, m_x, m_y, m_mixAlpha};
        m_preview = CMixPreview::Build(m_dst->GetDisplayImage(), m_src->GetDisplayImage(), r, &m_scale);
    }
    ShowImage(m_previewStatic, m_preview.get());
}

void CMixDialog::accept() {
    CDataExchange dx(this);
    LONG x = m_x, y = m_y;
    dx.Long(m_xEdit, x, -kMaxOffset, kMaxOffset);
    dx.Long(m_yEdit, y, -kMaxOffset, kMaxOffset);
    if (!dx.Ok()) return;
    Preview();
    m_x = x;
    m_y = y;
    QDialog::accept();
}
