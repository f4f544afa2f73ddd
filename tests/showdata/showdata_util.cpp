#include "showdata_util.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace showdata {

Scratch::Scratch()
{
    char templ[] = "/tmp/nimb_showdata_XXXXXX";
    char* dir = mkdtemp(templ);
    m_path = dir ? dir : "";
}

Scratch::~Scratch()
{
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

bool RunGenerator(const std::string& program, const std::string& folder)
{
    std::string command = "'" NIMB_BINARY_DIR "/tools/" + program + "' '" + folder + "' > /dev/null";
    return std::system(command.c_str()) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> ListFiles(const std::string& folder)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file())
            out.push_back(std::filesystem::relative(it->path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string RunData(const std::string& relative)
{
    return std::string(NIMB_RUN_DIR) + "/data/" + relative;
}

bool DecodeRunPicture(const std::string& relative, d3dx::DecodedFile& out)
{
    std::string bytes = ReadFile(RunData(relative));
    return !bytes.empty() && d3dx::DecodeImage(bytes.data(), bytes.size(), out) == S_OK;
}

} // namespace showdata
