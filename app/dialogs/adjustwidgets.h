// Small builders shared by the point-operation and multi-image dialogs: the image dialogs'
// bitmap slider, the OK and Cancel icon buttons, a preview static and a control's id as its name.
#pragma once

#include <QString>

class CBitmapSlider;
class CIconButton;
class PxImage;
class QBoxLayout;
class QDialog;
class QLabel;
class QWidget;

// Names a control after its dialog id, so tests and other code find it by id.
template <typename W>
W* Named(W* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// Channel 189/190, transparent thumb 186/187, margins 2, 3, 2, 0.
CBitmapSlider* MakeImageSlider(QWidget* parent, int id, int minimum, int maximum, int pos, bool centreMark);
// An icon button with the given id and icon; the caller connects it.
CIconButton* MakeIconButton(QWidget* parent, int id, const QString& text, int iconId);
// OK (1, icon 155) and Cancel (2, icon 154) at the right of a row, wired to accept and reject.
void AddOkCancel(QDialog* dialog, QBoxLayout* row);
// A sunken static that shows an image at its own size (nothing for null or an invalid image).
QLabel* MakePreviewStatic(QWidget* parent, int id);
void ShowImage(QLabel* label, PxImage* image);
