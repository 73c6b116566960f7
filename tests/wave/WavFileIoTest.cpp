// The small WAV reader and writer behind the virtual devices.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/wave/wavfileio.h"
#include "tests/support/TempFolder.h"
#include "tests/wave/WaveTestSupport.h"

using platform::wave::ReadWavFile;
using platform::wave::WavAudio;

namespace {

void Put(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

std::string FmtChunk(WORD tag, WORD channels, WORD bits) {
    std::string s = "fmt ";
    Put(s, 16, 4);
    Put(s, tag, 2);
    Put(s, channels, 2);
    Put(s, 44100, 4);
    Put(s, 44100u * channels * bits / 8, 4);
    Put(s, channels * bits / 8, 2);
    Put(s, bits, 2);
    return s;
}

std::string Save(const TempFolder& tmp, const std::string& body) {
    std::string file = "RIFF";
    Put(file, static_cast<std::uint32_t>(body.size() + 4), 4);
    file += "WAVE" + body;
    const std::string path = tmp.File("t.wav");
    std::ofstream(path, std::ios::binary) << file;
    return path;
}

TEST(WavFileIo, ReaderWalksPastOddChunksAndTakesOnlyWhatTheFileHolds) {
    TempFolder tmp;
    std::string body = "LIST";
    Put(body, 3, 4);
    body += std::string("abc") + '\0';  // odd size, padded
    body += FmtChunk(1, 1, 16);
    body += "data";
    Put(body, 1000, 4);  // claims more than there is
    Put(body, 0x1234, 2);
    Put(body, 0xFFFE, 2);
    Put(body, 5, 2);
    body.push_back('\x7F');  // half a sample
    WavAudio audio;
    std::string error;
    ASSERT_TRUE(ReadWavFile(Save(tmp, body), &audio, &error)) << error;
    EXPECT_EQ(audio.format.nChannels, 1);
    EXPECT_EQ(audio.samples, (std::vector<std::int16_t>{0x1234, -2, 5}));
}

TEST(WavFileIo, ReaderRefusesOtherAudioWithAReason) {
    TempFolder tmp;
    std::string body = FmtChunk(1, 1, 8) + "data";
    Put(body, 2, 4);
    Put(body, 0, 2);
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(ReadWavFile(Save(tmp, body), &audio, &error));
    EXPECT_EQ(error, "not 16-bit PCM audio");
    EXPECT_FALSE(ReadWavFile(Save(tmp, "data\x02\0\0\0\0\0"), &audio, &error));
    EXPECT_EQ(error, "no format chunk");
}

TEST(WavFileIo, WriterPadsOddDataAndRecordsItsRealSize) {
    TempFolder tmp;
    platform::wave::CWavWriter w;
    ASSERT_TRUE(w.Open(tmp.File("o.wav"), wavetest::Pcm16(1), nullptr));
    ASSERT_TRUE(w.Write("\x01\x02\x03", 3));
    ASSERT_TRUE(w.Close());
    std::ifstream in(tmp.File("o.wav"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 48u);
    EXPECT_EQ(bytes.substr(4, 4), std::string("\x28\0\0\0", 4));   // 36 + padded data
    EXPECT_EQ(bytes.substr(40, 4), std::string("\x03\0\0\0", 4));  // the real data size
}

}  // namespace
