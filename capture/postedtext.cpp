#include "capture/postedtext.h"

#include <atomic>
#include <memory>

namespace {

struct PostedText {
    HWND target;
    UINT message;
    WPARAM wParam;
    std::string text;
};

std::atomic<int> g_pending{0};

}  // namespace

CPostedTextRelay::CPostedTextRelay() { RegisterWindow(this); }

// Lives as long as the process: a copy posted to it is always taken back and freed, whether
// or not its target still exists when it arrives.
CPostedTextRelay& CPostedTextRelay::Instance() {
    static CPostedTextRelay* relay = new CPostedTextRelay;
    return *relay;
}

bool CPostedTextRelay::Post(HWND target, UINT message, WPARAM wParam, const std::string& text) {
    if (!IsWindow(target))
        return false;
    auto* posted = new PostedText{target, message, wParam, text};
    ++g_pending;
    if (!PostMessage(Instance().GetSafeHwnd(), message, 0, reinterpret_cast<LPARAM>(posted))) {
        --g_pending;
        delete posted;
        return false;
    }
    return true;
}

int CPostedTextRelay::Pending() { return g_pending.load(); }

// On the UI thread: hand the text to its target (a direct call there) and free it after.
LRESULT CPostedTextRelay::WindowProc(UINT, WPARAM, LPARAM lParam) {
    std::unique_ptr<PostedText> posted(reinterpret_cast<PostedText*>(lParam));
    if (!posted)
        return 0;
    --g_pending;
    if (IsWindow(posted->target))
        SendMessage(posted->target, posted->message, posted->wParam, reinterpret_cast<LPARAM>(posted->text.c_str()));
    return 0;
}
