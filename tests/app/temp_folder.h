// A temporary folder that is the working folder while the object lives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempFolder {
public:
    TempFolder()
    {
        char templ[] = "/tmp/nimbapp_test_XXXXXX";
        char* dir = mkdtemp(templ);
        path_ = dir ? dir : "";
        char cwd[4096];
        previous_ = getcwd(cwd, sizeof cwd) ? cwd : ".";
        if (!path_.empty() && chdir(path_.c_str()) != 0)
            path_.clear();
    }
    ~TempFolder()
    {
        if (chdir(previous_.c_str()) != 0) {
        }
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    static void write(const std::string& name, const std::string& text)
    {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
    std::string previous_;
};
