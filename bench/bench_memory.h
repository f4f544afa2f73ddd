// The process's memory as the benchmarks report it.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

// Resident memory now, in MB.
inline double ResidentMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (double)sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}

// The most resident memory so far, in MB.
inline double PeakMb()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}
