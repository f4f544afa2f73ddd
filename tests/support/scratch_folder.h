// A fresh folder below /tmp that is the working folder while the object
// lives; it is removed with everything in it when the object goes.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class ScratchFolder {
public:
    explicit ScratchFolder(const char* prefix = "nimb_test")
    {
        std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        char* dir = mkdtemp(name.data());
        m_path = dir != nullptr ? dir : "";
        char cwd[4096];
        m_previous = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
        if (!m_path.empty() && chdir(m_path.c_str()) != 0)
            m_path.clear();
    }
    ~ScratchFolder()
    {
        if (chdir(m_previous.c_str()) != 0) {
        }
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when the folder could not be made or entered.
    const std::string& path() const { return m_path; }

    // Writes a file, making the folders on its path.
    static void Write(const std::string& name, const std::string& bytes)
    {
        std::filesystem::path p(name);
        std::error_code ec;
        if (p.has_parent_path())
            std::filesystem::create_directories(p.parent_path(), ec);
        std::ofstream(name, std::ios::binary) << bytes;
    }
    // The whole content of a file ("" when it cannot be read).
    static std::string Read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Names of the files directly in the folder whose name ends in `suffix`.
    std::vector<std::string> Files(const std::string& suffix) const
    {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(m_path, ec)) {
            std::string n = e.path().filename().string();
            if (n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(n);
        }
        return out;
    }

private:
    std::string m_path;
    std::string m_previous;
};
