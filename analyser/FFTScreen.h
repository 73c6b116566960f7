// CFFTScreen: the analyser window, 452 x 260 pixels over the main dialog's analyser frame. It
// shows the pitch track on a keyboard grid (TD-PSOLA) or the spectrum of both channels (phase
// vocoder). Both views draw into one off-screen image that the window owns; painting copies the
// image to the window and lays the highlight of the note row or key under the mouse on the copy
// only. A click on a row of the pitch view, or on a key of the spectrum's Keyboard axis, sounds
// that note on the MIDI output for half a second.
//
// Threads: everything here runs on the user-interface thread, except the note player's thread,
// which sends the clicked notes (it reads the open output and updates m_nMidiNote).
#pragma once

#include <atomic>
#include <vector>

#include "analyser/MidiNotePlayer.h"
#include "platform/midi/midiapi.h"
#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

class CFFTScreen : public CWnd {
public:
    // Size of the window and of its image; the plot is the top kPlotH rows, then a label strip.
    static constexpr int kWidth = 452;
    static constexpr int kHeight = 260;
    static constexpr int kPlotH = kHeight - 10;
    static constexpr int kBins = 1024;
    static constexpr int kMaxPages = 1000;
    static constexpr int kWindowId = 3333;

    CFFTScreen();
    ~CFFTScreen() override;

    // Makes the window over the dialog's frame (pFrame, a child of pParent), at the frame's
    // top left corner with the fixed size. Once per dialog.
    BOOL CreateOver(CWnd* pParent, CWnd* pFrame);

    // --- Pitch view ------------------------------------------------------------------------
    // Image made when missing, then the empty grid of the key range with time labels from 0.
    void InitPitchAnalyzer(int keyRange);
    // Grid, white-key rows, keyboard and time labels for flags (key range, +8 ignored).
    void DrawPitchBackground(CDC* pDC, int flags, float startTime);
    // Draws count points (pitch in semitones above C1, time in seconds, level in dB or null for
    // no bars) above the base note. flags: key range, plus 8 to draw the background first
    // without page bookkeeping. TRUE when the background was redrawn.
    BOOL DrawPitchTrack(int count, const float* pitch, const float* time, float base, int flags, const float* level);
    // The next track call starts a new run: the track and the page table start again.
    void RestartPitchTrack() { m_fLastTime = 1.0e6f; }

    // --- Spectrum view ---------------------------------------------------------------------
    // Axis tables for the tuning a4, image made when missing, background drawn (no repaint).
    void InitSpectrumAnalyzer(int a4);
    // 0 Log, 1 Linear1, 2 Keyboard, any other Linear2; background redrawn, window repainted.
    void SetAxisMode(int mode);
    void DrawSpectrumBackground(CDC* pDC);
    // Background and both channels' magnitudes; mode -1 draws marks at the true frequencies
    // (freqL, freqR) of the low bins instead of curves. unused is not read.
    void DrawSpectrum(const float* magL, const float* magR, const float* unused, int mode, const float* freqL,
                      const float* freqR);

    // --- MIDI ------------------------------------------------------------------------------
    // program -1..127 (anything else counts as -1, MIDI off). Opens the mapper at the first
    // program >= 0 (GM System On), then selects the program.
    void SetMidiProgram(int program);
    // Ends every sounding note at once and closes the MIDI output (also done by the destructor).
    void CloseMidi();

    // --- Hover -----------------------------------------------------------------------------
    // Row (pitch view) or key (Keyboard axis) under client point (x, y), or -1.
    int HoverAt(int x, int y) const;
    // No row or key is highlighted any more; the window repaints without the highlight.
    void ClearHover();

    // --- Handlers --------------------------------------------------------------------------
    void OnPaint();
    void OnMouseMove(UINT nFlags, CPoint point);
    void OnLButtonDown(UINT nFlags, CPoint point);
    LRESULT OnMouseLeave(WPARAM, LPARAM);

    // --- State (names as the main dialog uses them) ----------------------------------------
    int m_nPageCount = 0;
    // Entry p: history points up to the end of page p (page p holds entries p-1 .. p).
    int m_nPageStart[kMaxPages] = {};
    int m_nScreenKind = 0;  // 0 pitch view, 1 spectrum view
    int m_nHoverKey = -1;   // row 0..24 or key 0..48 under the mouse; -1 none
    HMIDIOUT m_hMidiOut = nullptr;
    int m_nMidiProgram = 0;             // 0..127; -1 MIDI off
    std::atomic<int> m_nMidiNote{0};    // note of the latest click; 0 once it has ended
    int m_nBaseNote = 0;                // semitones of the lowest row above C2
    int m_nPrevHoverKey = -2;           // hover of the last repaint request; -2 none
    std::vector<int> m_pnBinX[4];       // bin-to-x: [0] Linear1, [1] Keyboard, [2] Linear2, [3] Log
    const int* m_pnCurBinX = nullptr;   // the current axis mode's table
    int m_nBins = kBins;
    int m_nLogLabelX[3] = {};           // 100 Hz, 1 kHz, 10 kHz on the Log axis
    std::vector<int> m_pnLogGridX;      // Log axis minor lines
    int m_nLinMajorX[4] = {};           // 5, 10, 15, 20 kHz on the Linear1 scale
    int m_nLinMinorX[20] = {};          // 1-kHz steps without the multiples of 5
    int m_nLogGridCount = 0;
    CBitmap m_bitmap;
    int m_nAxisMode = 1;
    float m_fLastTime = 1.0e6f;         // time of the first point of the latest live track call
    float m_fKeyboardF0 = 0.0f;         // lower edge of the Keyboard axis, Hz

    DECLARE_MESSAGE_MAP()

private:
    // A memory context over the image for one drawing operation; the window is repainted when
    // it ends (unless told not to).
    class ImageDC;
    void EnsureImage();
    void BuildSpectrumTables(int a4);
    void LayPitchHighlight(std::uint32_t* px, int width, int height) const;
    void LaySpectrumHighlight(std::uint32_t* px, int width, int height) const;

    // Last point drawn by the track (x in plot pixels, y; -1 for none).
    int m_nLastX = 0;
    int m_nLastY = -1;
    CMidiNotePlayer m_notes;
};
