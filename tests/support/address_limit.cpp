#include "address_limit.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

bool LimitAddressSpace(size_t extra)
{
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    // Large blocks then map new memory, which the cap holds, instead of
    // reusing what the heap has already mapped.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + extra;
    return pages > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
}

bool RunsWithin(size_t extra, const std::function<bool()>& work)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (kAddressLimits && !LimitAddressSpace(extra))
            _exit(2);
        _exit(work() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
