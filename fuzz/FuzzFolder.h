// A private temporary folder for a fuzz driver's files, made once per process under $TMPDIR
// (or /tmp) and removed with everything in it when the process ends, so that drivers running
// side by side never share or leave a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzsupport {

class Folder {
public:
    explicit Folder(const char* name) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/sorvel-" + name + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern + "/";
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The folder, ending with '/'.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// Writes bytes as the whole file; aborts when it cannot (the driver's own set-up failed).
inline void WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr || (size > 0 && std::fwrite(data, 1, size, fp) != size) || std::fclose(fp) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline std::string ReadFile(const std::string& path) {
    std::string text;
    if (std::FILE* fp = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, fp)) > 0;) text.append(buf, n);
        std::fclose(fp);
    }
    return text;
}

// Stops the run with a reason on stderr; libFuzzer keeps the input that got here.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace fuzzsupport
