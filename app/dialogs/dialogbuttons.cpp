#include "app/dialogs/dialogbuttons.h"

#include <QBoxLayout>
#include <QDialog>

#include "controls/iconbutton.h"

void AddOkCancel(QDialog* dialog, QBoxLayout* layout, CIconButton** okOut, CIconButton** cancelOut) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = new CIconButton(dialog, BS_DEFPUSHBUTTON);
    ok->setObjectName("1");
    ok->setText("OK");
    ok->SetIcon(155, CIconButton::AlignLeft);
    ok->setDefault(true);
    ok->setMinimumWidth(80);
    auto* cancel = new CIconButton(dialog, BS_PUSHBUTTON);
    cancel->setObjectName("2");
    cancel->setText("Cancel");
    cancel->SetIcon(154, CIconButton::AlignLeft);
    cancel->setMinimumWidth(80);
    QObject::connect(ok, &QPushButton::clicked, dialog, [dialog] { dialog->accept(); });
    QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog] { dialog->reject(); });
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    if (okOut) *okOut = ok;
    if (cancelOut) *cancelOut = cancel;
}
