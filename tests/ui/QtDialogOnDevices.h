// The started main dialog on the Qt backend, with the virtual sound devices in place of real
// ones: the recording device delivers a file and the playback device records what it plays into
// played.wav in the test's folder.
#pragma once

#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "resources/resource_ids.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

class QtDialogOnDevicesTest : public QtUiTest {
protected:
    // Sets the virtual devices up (input file, played.wav, speed factor), then creates the main
    // dialog, waits for its window and answers the start-up's message boxes.
    void StartDialog(const std::string& input, const char* speedFactor) {
        in = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_IN", input);
        out = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_OUT", folder.File("played.wav"));
        speed = std::make_unique<ScopedEnv>("SORVEL_VIRTUAL_SPEED", speedFactor);
        dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Answered));
    }
    // Stops a run still going, then ends the dialog before the devices it used.
    void TearDown() override {
        if (dlg) {
            dlg->OnBnClickedStop();
            platform::ui::qt::testing::ProcessEvents(20);
        }
        dlg.reset();
        speed.reset();
        out.reset();
        in.reset();
        QtUiTest::TearDown();
    }

    TempFolder folder;
    std::unique_ptr<ScopedEnv> in, out, speed;
    std::unique_ptr<CWaveInOutDlg> dlg;
};
