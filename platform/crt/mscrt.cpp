#include "mscrt.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <strings.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

namespace {
uint32_t g_randState = 1;

const auto g_processStart = std::chrono::steady_clock::now();
}

int ms_rand()
{
    g_randState = g_randState * 214013u + 2531011u;
    return (int)((g_randState >> 16) & 0x7FFF);
}

void ms_srand(unsigned int seed)
{
    g_randState = seed;
}

long ms_clock()
{
    auto elapsed = std::chrono::steady_clock::now() - g_processStart;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return (long)(int32_t)(uint32_t)ms;
}

namespace {
bool exists(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

// Finds a directory entry of `dir` equal to `name` ignoring case.
bool matchComponent(const std::string& dir, const std::string& name, std::string& found)
{
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return false;
    bool ok = false;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(d);
    return ok;
}
}

bool ms_resolve_path(const char* path, char* out, size_t outSize)
{
    if (!path || !out || outSize == 0)
        return false;
    std::string p(path);
    for (char& c : p)
        if (c == '\\')
            c = '/';
    if (!exists(p)) {
        // Walk the components, fixing case where the exact name is missing.
        std::string result;
        size_t pos = 0;
        if (!p.empty() && p[0] == '/') {
            result = "/";
            pos = 1;
        }
        while (pos <= p.size()) {
            size_t next = p.find('/', pos);
            if (next == std::string::npos)
                next = p.size();
            std::string comp = p.substr(pos, next - pos);
            if (!comp.empty()) {
                std::string base = result;
                std::string candidate = base.empty() ? comp : (base.back() == '/' ? base + comp : base + "/" + comp);
                std::string found;
                if (comp != "." && comp != ".." && !exists(candidate) && matchComponent(base, comp, found))
                    candidate = base.empty() ? found : (base.back() == '/' ? base + found : base + "/" + found);
                result = candidate;
            }
            pos = next + 1;
        }
        if (!result.empty())
            p = result;
    }
    if (p.size() + 1 > outSize)
        return false;
    std::memcpy(out, p.c_str(), p.size() + 1);
    return true;
}

FILE* ms_fopen(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    std::string buf(std::strlen(path) + 4096, '\0');
    if (!ms_resolve_path(path, &buf[0], buf.size()))
        return nullptr;
    return std::fopen(buf.c_str(), mode);
}

bool ms_append(const char* path, const void* data, size_t size)
{
    if (!path || (!data && size))
        return false;
    // The common case, a plain name of an existing file, costs no lookup.
    int fd = -1;
    if (!std::strchr(path, '\\'))
        fd = ::open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        std::string buf(std::strlen(path) + 4096, '\0');
        if (!ms_resolve_path(path, &buf[0], buf.size()))
            return false;
        fd = ::open(buf.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    }
    if (fd < 0)
        return false;
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        size -= (size_t)n;
    }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}
