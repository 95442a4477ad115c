// The "Snap" tab of the save configuration dialog: how snaps are named and saved, the time
// lapse and the fine mode. A thin shell over the dialog's CSaveConfigLogic.
#pragma once

#include <QWidget>

#include "capture/saveconfiglogic.h"

class CNumberEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

class CSnapSavePage : public QWidget {
public:
    CSnapSavePage(CSaveConfigLogic* logic, QWidget* parent = nullptr);

    // The logic's snap state into the controls (setting a control runs none of its handlers).
    void Show();
    // The controls' texts into the logic, before it stores.
    void Read();

    QRadioButton* DialogRadio() const { return m_dialog; }
    QRadioButton* ConfigRadio() const { return m_config; }
    QLineEdit* Prefix() const { return m_prefix; }
    QLineEdit* Folder() const { return m_folder; }
    // The folder edit's browse button: the folder chooser, started on the edit's folder.
    QToolButton* Browse() const { return m_browse; }
    QCheckBox* TimeStamp() const { return m_timeStamp; }
    QCheckBox* Num() const { return m_num; }
    QComboBox* FileType() const { return m_type; }
    QCheckBox* Lapse() const { return m_lapse; }
    CNumberEdit* Interval() const { return m_interval; }
    CNumberEdit* Frames() const { return m_frames; }
    QCheckBox* FineMode() const { return m_fine; }

private:
    CSaveConfigLogic* m_logic;
    QRadioButton* m_dialog = nullptr;
    QRadioButton* m_config = nullptr;
    QLabel* m_nameLabels[3] = {};
    QLineEdit* m_prefix = nullptr;
    QCheckBox* m_num = nullptr;
    QCheckBox* m_timeStamp = nullptr;
    QLabel* m_pathLabel = nullptr;
    QLineEdit* m_folder = nullptr;
    QToolButton* m_browse = nullptr;
    QComboBox* m_type = nullptr;
    QCheckBox* m_lapse = nullptr;
    QLabel* m_intervalLabel = nullptr;
    CNumberEdit* m_interval = nullptr;
    QLabel* m_framesLabel = nullptr;
    CNumberEdit* m_frames = nullptr;
    QCheckBox* m_fine = nullptr;
};
