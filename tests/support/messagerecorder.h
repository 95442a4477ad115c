// A window that records every private message posted to it.
#pragma once

#include <QWidget>

#include <ostream>
#include <vector>

#include "ui/msgbridge.h"

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const RecordedMessage& o) const {
        return message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

inline void PrintTo(const RecordedMessage& m, std::ostream* os) {
    *os << "{" << m.message << ", " << m.wParam << ", " << m.lParam << "}";
}

class MessageRecorder : public QWidget, public CMessageTarget {
public:
    MessageRecorder() { RegisterWindow(this); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        received.push_back({message, wParam, lParam});
        return 0;
    }
    // Delivers what was posted and hands it over, leaving the record empty.
    std::vector<RecordedMessage> Take() {
        PumpPrivateMessages();
        std::vector<RecordedMessage> out;
        out.swap(received);
        return out;
    }
    // The wParam of each message of one kind, oldest first.
    std::vector<WPARAM> Of(UINT message) const {
        std::vector<WPARAM> out;
        for (const RecordedMessage& m : received)
            if (m.message == message) out.push_back(m.wParam);
        return out;
    }
    std::vector<RecordedMessage> received;
};
