// Pieces the image dialogs share: the OK and Cancel icon buttons, and a picture label.
#pragma once

class QBoxLayout;
class QDialog;
class CIconButton;

// Adds OK (id 1, icon 155, the check mark) and Cancel (id 2, icon 154, the cross) to the layout; OK runs `accept`
// through the dialog's own slot, Cancel rejects.
void AddOkCancel(QDialog* dialog, QBoxLayout* layout, CIconButton** ok = nullptr, CIconButton** cancel = nullptr);
