// Shared by the hub's tests: the host message boxes the hub showed and driver-name helpers (the
// scratch folder and the whole-file read come from the test kit).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "LumoStubHook.h"
#include "filebytes.h"
#include "tempdir.h"
#include "vekcamera/VekCamera.h"

std::vector<std::string> HostMessages();
void ClearHostMessages();
// Runs while a host message box is "shown", as the host's event loop would; cleared with the
// messages.
void SetHostMessageHook(std::function<void()> hook);

// "Lumo07" for id 7.
std::string LumoPrefix(int id);
// "Lumo07Camera" + op.
std::string LumoFn(int id, const std::string& op);

// The ids with a stand-in driver library (every driver id but 28, whose driver is Ferrocam).
std::vector<int> StandInDriverIds();

class HubTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Selects the id, then forgets the calls recorded so far.
    void Select(int id);
};
