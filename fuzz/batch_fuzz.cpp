// Fuzz driver for the batch's whole-file read: any bytes as a chosen file go through a batch
// conversion of that one file without a fault, and its result agrees with the file:
// - a 16-bit 44.1 kHz mono or stereo PCM file whose data is all there is converted (result 0) into
//   a mono 16-bit 44.1 kHz WAV in the output folder;
// - any other file fails (result 1) with a message shown, and writes no output; the buffers are
//   never made for a data size the file does not hold (no allocation limit is raised).
// The oversampling (1, 2 or 4) follows the input's size, so every read path is taken.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "audio/WaveFile.h"
#include "batch/BatchList.h"
#include "fuzz/FuzzFolder.h"
#include "platform/ui/msgbox.h"

using fuzzsupport::Fail;

namespace {

const fuzzsupport::Folder& Work() {
    static const fuzzsupport::Folder folder("batch-fuzz");
    return folder;
}

// One main dialog for the whole run, set up as a headless batch run sets it up.
CWaveInOutDlg& Dialog() {
    static CWaveInOutDlg* dlg = [] {
        std::filesystem::create_directories(Work().File("out"));
        auto* d = new CWaveInOutDlg(Work().Path());
        if (!d->AllocStreamBuffers()) Fail("no memory for the stream buffers");
        d->BuildKeyTable();
        d->FillVoiceModeCombo();
        d->m_comboVoiceMode.SetCurSel(1);
        d->m_comboMinKey.SetCurSel(7);
        d->m_comboMaxKey.SetCurSel(40);
        d->m_editCorrTh.SetWindowText("0.5");
        d->m_fPitchRatio = 1.5f;
        d->m_fFormantRatio = 1.0f;
        d->m_strOutputFolder = Work().File("out/");
        return d;
    }();
    return *dlg;
}

std::vector<std::filesystem::path> Outputs() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(Work().File("out"))) files.push_back(entry.path());
    return files;
}

// What the batch must make of the file, found by opening it apart.
enum class Expected { Convert, Refuse };

Expected Expect(const std::string& path, int factor) {
    CWaveFile probe;
    if (probe.OpenRead(path) != 0) return Expected::Refuse;
    const WAVEFORMATEX f = probe.m_fmt;
    const bool layout = (f.nChannels == 1 || f.nChannels == 2) && f.wBitsPerSample == 16 && f.nSamplesPerSec == 44100;
    const long long frames = static_cast<long long>(probe.m_dwDataSize / 2) / (f.nChannels == 0 ? 1 : f.nChannels);
    const bool whole = probe.DataBytesHeld() == static_cast<std::int64_t>(probe.m_dwDataSize);
    const bool pcm = probe.IsPcm();
    probe.Close();
    if (!layout || !pcm || !whole || frames >= (1LL << 30) / factor) return Expected::Refuse;
    return Expected::Convert;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CWaveInOutDlg& dlg = Dialog();
    const std::string path = Work().File("chosen.wav");
    fuzzsupport::WriteFile(path, data, size);
    static const int kFactors[3] = {1, 2, 4};
    const int factor = kFactors[size % 3];
    const Expected expected = Expect(path, factor);
    platform::ui::TakeHeadlessMessageBoxes();

    dlg.m_nBatchOverSampling = factor;
    g_strBatchFile[0] = path;
    g_nBatchFiles = 1;
    const int result = dlg.BatchFile(0);
    const auto boxes = platform::ui::TakeHeadlessMessageBoxes();
    const auto outputs = Outputs();

    if (expected == Expected::Convert) {
        if (result != 0) Fail("a good file was not converted");
        if (outputs.size() != 1) Fail("a converted file left no single output");
        CWaveFile out;
        if (out.OpenRead(outputs[0].string()) != 0) Fail("the output does not open");
        if (out.m_fmt.nChannels != 1 || out.m_fmt.wBitsPerSample != 16 || out.m_fmt.nSamplesPerSec != 44100 || !out.IsPcm())
            Fail("the output is not mono 16-bit 44.1 kHz");
        out.Close();
    } else {
        if (result != 1) Fail("a file that cannot be converted was not refused");
        if (boxes.empty()) Fail("a refused file was not reported");
        if (!outputs.empty()) Fail("a refused file left an output");
    }
    for (const auto& file : outputs) std::filesystem::remove(file);
    return 0;
}
