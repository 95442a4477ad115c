// "Combine": one open document per channel (and optionally one for alpha), which plane of each
// to take, and the colour space the channels are in.
#pragma once

#include <QDialog>

class CPelidorDoc;
class QComboBox;

class CCombineDialog : public QDialog {
public:
    static constexpr int kSourceIds[4] = {1010, 1011, 1012, 1013};
    static constexpr int kChannelIds[4] = {1014, 1018, 1019, 1020};
    static constexpr int kSpaceId = 1015;

    explicit CCombineDialog(QWidget* parent = nullptr);

    // After OK: the four source documents (alpha null for "(None)"), the four planes (0 gray,
    // 1 red, 2 green, 3 blue) and the colour-space index.
    CPelidorDoc* Source(int i) const { return m_docs[i]; }
    int Channel(int i) const { return m_channels[i]; }
    int ColorSpace() const { return m_space; }

    void accept() override;

private:
    QComboBox* m_sourceLists[4] = {};
    QComboBox* m_channelLists[4] = {};
    QComboBox* m_spaceList = nullptr;
    CPelidorDoc* m_docs[4] = {};
    int m_channels[4] = {1, 2, 3, 0};
    int m_space = 0;
};
