// A temporary folder for a test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sorvel-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        m_path = made ? std::string(made) + "/" : std::string("./");
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, ending with '/'.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};
