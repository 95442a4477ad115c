// Lets the hub fill a QComboBox through VekCamera_Registerpixel: the combo's handle for the hub
// is this adapter.
#pragma once

#include <QComboBox>

#include "vekcamera/HubGui.h"

class CHubComboAdapter final : public IHubComboBox {
public:
    explicit CHubComboAdapter(QComboBox* box) : m_box(box) {}
    int AddString(const char* text) override {
        m_box->addItem(QString::fromUtf8(text ? text : ""));
        return m_box->count() - 1;
    }
    int SetCurSel(int index) override {
        if (index < -1 || index >= m_box->count()) return -1;
        m_box->setCurrentIndex(index);
        return index;
    }
    HWND Handle() { return HubComboBoxHandle(this); }

private:
    QComboBox* m_box;
};
