// Byte images of RIFF files for tests: chunks with true or false stated sizes, WAVE forms, PCM
// format bodies, and whole-file read and write helpers.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace riffbytes {

inline std::string Le16(std::uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

inline std::string Le32(std::uint32_t v) { return Le16(static_cast<std::uint16_t>(v)) + Le16(static_cast<std::uint16_t>(v >> 16)); }

inline std::uint32_t ReadLe32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return v;
}

inline std::uint16_t ReadLe16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      (static_cast<unsigned char>(bytes.at(at + 1)) << 8));
}

// A chunk: id, size (the body's length unless stated), body and a pad byte for an odd body.
inline std::string Chunk(const std::string& id, const std::string& body, std::optional<std::uint32_t> stated = {}) {
    std::string out = id + Le32(stated.value_or(static_cast<std::uint32_t>(body.size()))) + body;
    if (body.size() & 1) out.push_back('\0');
    return out;
}

// A RIFF form: "RIFF", size (form type plus body unless stated), form type, body.
inline std::string Riff(const std::string& formType, const std::string& body, std::optional<std::uint32_t> stated = {}) {
    return "RIFF" + Le32(stated.value_or(static_cast<std::uint32_t>(4 + body.size()))) + formType + body;
}

// The 16-byte PCM format body: 44100 Hz, 16 bits.
inline std::string PcmFmt(std::uint16_t channels) {
    return Le16(1) + Le16(channels) + Le32(44100) + Le32(88200u * channels) + Le16(static_cast<std::uint16_t>(2 * channels)) +
           Le16(16);
}

// A well-formed WAVE file with the given sample bytes.
inline std::string Wave(std::uint16_t channels, const std::string& samples) {
    return Riff("WAVE", Chunk("fmt ", PcmFmt(channels)) + Chunk("data", samples));
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The first bytes of a file (all of it when shorter).
inline std::string ReadHead(const std::string& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string out(bytes, '\0');
    in.read(out.data(), static_cast<std::streamsize>(bytes));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out;
}

// The whole file as bytes (empty when it cannot be read).
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace riffbytes
