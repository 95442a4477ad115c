// Posting a text to a window from a worker thread: the text travels as a copy that the
// message owns. The receiver reads lParam (a zero-terminated UTF-8 string) while it handles
// the message and never frees it; the copy is freed after the handler returns, and also when
// the target window is gone by then.
#pragma once

#include <string>

#include "ui/msgbridge.h"

class CPostedTextRelay : public QObject, public CMessageTarget {
public:
    // Posts msg(wParam, text) to target; false (text freed at once) when the target is gone.
    static bool Post(HWND target, UINT message, WPARAM wParam, const std::string& text);
    // Copies still waiting for delivery (tests).
    static int Pending();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CPostedTextRelay();
    static CPostedTextRelay& Instance();
};
