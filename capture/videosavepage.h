// The "Video" tab of the save configuration dialog: how recordings are named and saved, the
// compressor and the time limit. A thin shell over the dialog's CSaveConfigLogic.
#pragma once

#include <QWidget>

#include "capture/saveconfiglogic.h"

class CNumberEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

class CVideoSavePage : public QWidget {
public:
    CVideoSavePage(CSaveConfigLogic* logic, QWidget* parent = nullptr);

    void Show();
    void Read();

    QRadioButton* DialogRadio() const { return m_dialog; }
    QRadioButton* ConfigRadio() const { return m_config; }
    QLineEdit* Prefix() const { return m_prefix; }
    QLineEdit* Folder() const { return m_folder; }
    // The folder edit's browse button: the folder chooser, started on the edit's folder.
    QToolButton* Browse() const { return m_browse; }
    QCheckBox* TimeStamp() const { return m_timeStamp; }
    QCheckBox* Num() const { return m_num; }
    QComboBox* Extension() const { return m_ext; }
    QComboBox* Compressor() const { return m_compressor; }
    QPushButton* ConfigButton() const { return m_configButton; }
    QCheckBox* TimeLimitCheck() const { return m_limitCheck; }
    CNumberEdit* TimeLimit() const { return m_limit; }

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
    QLabel* m_typeLabel = nullptr;
    QComboBox* m_ext = nullptr;
    QComboBox* m_compressor = nullptr;
    QPushButton* m_configButton = nullptr;
    QCheckBox* m_limitCheck = nullptr;
    QLabel* m_limitLabel = nullptr;
    CNumberEdit* m_limit = nullptr;
    QLabel* m_secLabel = nullptr;
};
