// The batch list and the batch thread's work buffers.
//
// Threads: the list is written by the picker on the user-interface thread before the batch
// thread starts and read by that thread only; the factor and the detector's work buffers are
// set up and used by the batch thread alone, one file at a time.
#pragma once

#include <string>

inline constexpr int kBatchMaxFiles = 1024;
// Work buffer sizes per unit of the oversampling factor.
inline constexpr int kBatchFrameSlots = 4096;  // analysis window samples
inline constexpr int kBatchCorrSlots = 2048;   // correlation lags (the full lag range of any key range)

// Full paths of the chosen files, and how many are stored (0..1024).
extern std::string g_strBatchFile[kBatchMaxFiles];
extern int g_nBatchFiles;
// The oversampling factor F of the file being converted (1..4).
extern int g_nOverSampling;
// The detector's mean-free window (F × 4096 floats) and correlation per lag (F × 2048 floats),
// allocated for each file.
extern float* g_pfBatchFrame;
extern float* g_pfBatchCorr;
