#include "runfolder.h"

#include <cstdio>
#include <filesystem>

namespace tools {

int DataFolder(int argc, char** argv, const char* sub, std::string& dir)
{
    const char* program = argc > 0 ? argv[0] : "make_data";
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <run folder>\n", program);
        return 2;
    }
    dir = std::string(argv[1]) + "/data/" + sub + "/";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot create %s\n", std::filesystem::path(program).filename().c_str(),
                     dir.c_str());
        return 1;
    }
    return 0;
}

} // namespace tools
