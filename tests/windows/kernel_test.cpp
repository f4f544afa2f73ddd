// The kernel's clocks: the performance counter and the multimedia timer.
#include <windows.h>
#include <mmsystem.h>

#include "windows/win_internal.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(KernelClocks, RealCounterIsMonotonicAtTenMegahertz)
{
    LARGE_INTEGER f, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 10000000);
    ASSERT_TRUE(QueryPerformanceCounter(&a));
    ASSERT_TRUE(QueryPerformanceCounter(&b));
    EXPECT_LE(a.QuadPart, b.QuadPart);
    EXPECT_GT(a.QuadPart, 0);
    DWORD ms = timeGetTime();
    // Both count from boot.
    EXPECT_LE(std::abs((LONGLONG)ms - (LONGLONG)(DWORD)(a.QuadPart / 10000)), 1000);
}

TEST(KernelClocks, ScriptedNoCounterFails)
{
    PlatformScriptClocks(false, 1000);
    LARGE_INTEGER f;
    EXPECT_FALSE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 0);
    PlatformRealClocks();
}

} // namespace
