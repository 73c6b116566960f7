// Text of a pitch dump: twelve header lines and one row per pitch period, fields separated by
// one tab, every line ending in CR LF. These functions only format; the main dialog's
// OpenOutputFiles and WriteDumpLine decide what goes in and write it.
#pragma once

#include <string>

namespace pitch_dump {

struct Header {
    bool liveInput = true;     // "Input\tMIC" or the input file's path
    std::string inputPath;
    int overSampling = 1;
    int a4 = 440;
    std::string minKeyName;
    int minKey = 7;
    std::string maxKeyName;
    int maxKey = 40;
    std::string corrThText;
    bool flattening = false;   // voice mode 3
    std::string targetNote;    // the chorus target's note name in voice mode 3
};

std::string FormatHeader(const Header& h);

// Time column of a mark at sample b with oversampling os: " m:ss.mmm".
std::string FormatTime(int b, int os);

// Frequency of a period from mark a to mark b (b > a), single precision.
float PeriodHz(int a, int b, int os);

// A row; chorus is used in voice mode 3 only (flattening), else the column reads 127.
std::string FormatRow(int b, int os, int amplitude, int hz, const char* note, bool flattening, float chorus);
std::string FormatErrorRow(int b);

// Target of the flattening chorus: A4 × 2^((k − 33)/12), k the middle of the selected keys.
float TargetHz(int a4, int minKey, int maxKey);

}  // namespace pitch_dump
