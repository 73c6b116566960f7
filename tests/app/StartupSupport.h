// A main dialog started headless on a temporary program folder, with hand-driven sound devices
// standing in for the machine's.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"
#include "platform/wave/testdevice.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"

class StartedDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ui::TakeHeadlessMessageBoxes();
        platform::ui::DeliverPostedMessages();
    }
    void TearDown() override {
        dlg.reset();
        platform::ui::DeliverPostedMessages();
        platform::ui::TakeHeadlessMessageBoxes();
    }

    // Builds the dialog on the folder and runs its start-up (modeless, without a window system).
    CWaveInOutDlg& Start() {
        dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
        EXPECT_TRUE(dlg->Create(IDD_SORVEL_DIALOG));
        return *dlg;
    }

    void WriteTraceSwitch() { std::ofstream(folder.File("debug.txt")).flush(); }

    std::vector<std::string> TraceLines() const {
        std::vector<std::string> lines;
        std::ifstream in(folder.File("debug.txt"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
        return texts;
    }

    TempFolder folder;
    platform::wave::CTestWaveDevices devices{{"Mic A", "Mic B"}, {"Speaker A"}};
    std::unique_ptr<CWaveInOutDlg> dlg;
};
