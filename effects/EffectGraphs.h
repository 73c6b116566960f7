// The two pictures of the sound-effect dialog: the equaliser's filter response and the reverb's
// echo impulse response. Each is drawn into an image of its own size; the dialog copies it to
// its place in the client area.
#pragma once

#include "effects/EchoGains.h"
#include "effects/EqResponse.h"
#include "effects/GraphicEqualizer.h"
#include "platform/ui/gdi.h"

// Filter response: 400 × 150 pixels at (24, 210) of the dialog's client area. 0 dB at row 50,
// 100 rows for 24 dB (+12 dB at the top, -24 dB at the bottom); forty columns per octave from C0.
inline constexpr int kFilterGraphWidth = 400;
inline constexpr int kFilterGraphHeight = 150;
inline const CRect kFilterGraphRect{24, 210, 24 + kFilterGraphWidth, 210 + kFilterGraphHeight};

// Impulse response: 375 × 100 pixels at (50, 480): 250 columns per second, gain 1 at the top.
inline constexpr int kImpulseGraphWidth = 375;
inline constexpr int kImpulseGraphHeight = 100;
inline const CRect kImpulseGraphRect{50, 480, 50 + kImpulseGraphWidth, 480 + kImpulseGraphHeight};

// Row of a response value in dB: the integer part of 50 - dB·100/24, limited to 0..150 before
// it becomes an integer (a value that is not a number gives the top row).
int FilterGraphRow(float db);
// Column of echo k at the given spacing in seconds: the integer part of (250·k)·delay.
int ImpulseGraphColumn(int k, float delay);
// Top row of a bar of gain g: the integer part of (1 - g)·100, limited to 0..100.
int ImpulseGraphRow(float gain);

// Black, a dark green grid every 6 dB and every octave, the eleven band curves in their colours
// and the total in white with a 2-pixel pen.
void DrawFilterGraph(CDC& dc, const float bandResp[kEqBands][kEqResponsePoints], const float totalResp[kEqResponsePoints]);
// Black, a grid at gain 0.5, 0.5 s and 1.0 s, and yellow 2-pixel bars: the direct path
// (gains[0]) at column 2 and echoes 1..repeat at their columns.
void DrawImpulseGraph(CDC& dc, const float gains[kEchoGainSlots], int repeat, float delay);
