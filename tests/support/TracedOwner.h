// A main dialog with tracing switched on in a temporary program folder, for tests of objects that
// report failures through their owner: the trace lines and the headless message boxes are read
// back as lists of texts.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"
#include "support/TempFolder.h"

class TracedOwner {
public:
    TracedOwner() {
        std::ofstream(m_folder.File("debug.txt")).flush();
        m_dlg = std::make_unique<CWaveInOutDlg>(m_folder.Path());
        platform::ui::TakeHeadlessMessageBoxes();
    }

    CWaveInOutDlg* Dialog() { return m_dlg.get(); }
    const TempFolder& Folder() const { return m_folder; }

    std::vector<std::string> TraceLines() const {
        std::vector<std::string> lines;
        std::ifstream in(m_folder.File("debug.txt"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The texts of the message boxes shown since the last call.
    static std::vector<std::string> TakeBoxes() {
        std::vector<std::string> texts;
        for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
        return texts;
    }

private:
    TempFolder m_folder;
    std::unique_ptr<CWaveInOutDlg> m_dlg;
};
