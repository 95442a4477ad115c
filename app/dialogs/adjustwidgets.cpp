#include "app/dialogs/adjustwidgets.h"

#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QPixmap>

#include "app/imageconvert.h"
#include "controls/bitmapslider.h"
#include "controls/iconbutton.h"

CBitmapSlider* MakeImageSlider(QWidget* parent, int id, int minimum, int maximum, int pos, bool centreMark) {
    auto* s = Named(new CBitmapSlider(parent, id), id);
    s->SetBitmapChannel(189, 190);
    s->SetBitmapThumb(186, 187, true);
    s->SetMargin(2, 3, 2, 0);
    s->SetRange(minimum, maximum);
    s->SetPos(pos);
    s->SetCentreMark(centreMark);
    s->setFixedHeight(s->sizeHint().height());
    return s;
}

CIconButton* MakeIconButton(QWidget* parent, int id, const QString& text, int iconId) {
    auto* b = Named(new CIconButton(parent), id);
    b->setText(text);
    b->SetIcon(iconId, CIconButton::AlignLeft);
    b->setMinimumSize(80, 26);
    return b;
}

void AddOkCancel(QDialog* dialog, QBoxLayout* row) {
    row->addStretch(1);
    CIconButton* ok = MakeIconButton(dialog, 1, "OK", 155);
    CIconButton* cancel = MakeIconButton(dialog, 2, "Cancel", 154);
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(cancel);
    QObject::connect(ok, &QPushButton::clicked, dialog, [dialog] { dialog->accept(); });
    QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog] { dialog->reject(); });
}

QLabel* MakePreviewStatic(QWidget* parent, int id) {
    auto* l = Named(new QLabel(parent), id);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

void ShowImage(QLabel* label, PxImage* image) {
    if (!image || !image->IsValid()) {
        label->setPixmap(QPixmap());
        return;
    }
    label->setPixmap(QPixmap::fromImage(QImageFromImage(*image)));
}
