#include "app/dialogs/combinedialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/documentlist.h"

CCombineDialog::CCombineDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Combine");
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    const char* labels[4] = {"Red / H /  Y /  X channel source:", "Green / S / U /  I /  Y channel source:",
                             "Blue / L /  V / Q /  Z channel source:", "Alpha channel source:"};
    for (int i = 0; i < 4; i++) {
        grid->addWidget(new QLabel(labels[i], this), i, 0);
        m_sourceLists[i] = Named(new QComboBox(this), kSourceIds[i]);
        CDocumentList::Fill(m_sourceLists[i], i == 3);
        m_sourceLists[i]->setCurrentIndex(m_sourceLists[i]->count() > 0 ? 0 : -1);
        m_sourceLists[i]->setMinimumWidth(160);
        grid->addWidget(m_sourceLists[i], i, 1);
        m_channelLists[i] = Named(new QComboBox(this), kChannelIds[i]);
        m_channelLists[i]->addItems({"gray", "red", "green", "blue"});
        m_channelLists[i]->setCurrentIndex(m_channels[i]);
        grid->addWidget(m_channelLists[i], i, 2);
    }
    grid->addWidget(new QLabel("Color Space", this), 4, 0);
    m_spaceList = Named(new QComboBox(this), kSpaceId);
    m_spaceList->addItems({"RGB", "HSL", "YUV", "YIQ", "XYZ"});
    m_spaceList->setCurrentIndex(0);
    grid->addWidget(m_spaceList, 4, 1);
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    AddOkCancel(this, buttons);
}

void CCombineDialog::accept() {
    for (int i = 0; i < 4; i++) {
        m_docs[i] = CDocumentList::Selected(m_sourceLists[i]);
        m_channels[i] = m_channelLists[i]->currentIndex();
    }
    m_space = m_spaceList->currentIndex();
    QDialog::accept();
}
