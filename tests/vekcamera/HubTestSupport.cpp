#include "HubTestSupport.h"

#include <mutex>

namespace {
std::mutex g_messagesLock;
std::vector<std::string> g_messages;
}  // namespace

std::function<void()> g_messageHook;

extern "C" void VekHostMessageBox(const char* text, const char*) {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(g_messagesLock);
        g_messages.emplace_back(text ? text : "");
        hook = g_messageHook;
    }
    if (hook)
        hook();
}

void SetHostMessageHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(g_messagesLock);
    g_messageHook = std::move(hook);
}

std::vector<std::string> HostMessages() {
    std::lock_guard<std::mutex> guard(g_messagesLock);
    return g_messages;
}

void ClearHostMessages() {
    std::lock_guard<std::mutex> guard(g_messagesLock);
    g_messages.clear();
    g_messageHook = nullptr;
}

std::string LumoPrefix(int id) {
    char text[16];
    std::snprintf(text, sizeof text, "Lumo%02d", id);
    return text;
}

std::string LumoFn(int id, const std::string& op) { return LumoPrefix(id) + "Camera" + op; }

std::vector<int> StandInDriverIds() {
    return {1, 3, 4, 8, 10, 11, 12, 13, 14, 16, 17, 18, 21, 23, 24, 25, 26, 27, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38};
}

void HubTest::SetUp() {
    lumostub::Reset();
    ClearHostMessages();
    VekCameraWhite2Black(0);
    VekCamera_SetCamera(CAMERA_ID_NONE);
}

void HubTest::TearDown() {
    VekCameraWhite2Black(0);
    VekCamera_SetCamera(CAMERA_ID_NONE);
    lumostub::Reset();
}

void HubTest::Select(int id) {
    VekCamera_SetCamera(id);
    lumostub::Reset();
}
