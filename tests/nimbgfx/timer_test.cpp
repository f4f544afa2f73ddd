// The process clock on a scripted counter, with and without the
// high-resolution counter.
#include "timer.h"

#include <windows.h>

#include "windows/win_internal.h"

#include <gtest/gtest.h>

namespace {

class TimerPaths : public ::testing::TestWithParam<bool> {
protected:
    static constexpr LONGLONG kFrequency = 1000;
    void SetUp() override
    {
        PlatformScriptClocks(GetParam(), kFrequency);
        TimerResetState();
    }
    void TearDown() override
    {
        TimerResetState();
        PlatformRealClocks();
    }
    // Sets the reading of whichever clock the path uses, in seconds.
    static void at(double seconds)
    {
        PlatformSetCounter((LONGLONG)(seconds * kFrequency + 0.5));
        PlatformSetTimeGetTime((DWORD)(seconds * 1000 + 0.5));
    }
};

TEST_P(TimerPaths, AppTimeBeforeStartIsTheAbsoluteTime)
{
    at(5);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 5.0f, 1e-4);
    EXPECT_NEAR(Timer(TimerCommand::AbsoluteTime), 5.0f, 1e-4);
}

TEST_P(TimerPaths, StopBeforeTheFirstStartDoesNothing)
{
    at(3);
    EXPECT_EQ(Timer(TimerCommand::Stop), 0.0f);
    at(7);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 7.0f, 1e-4);
}

TEST_P(TimerPaths, StartStopPauseStartContinuesWhereItFroze)
{
    at(10);
    EXPECT_EQ(Timer(TimerCommand::Start), 0.0f);
    at(12);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 2.0f, 1e-4);
    Timer(TimerCommand::Stop);
    at(17);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 2.0f, 1e-4);     // frozen during the pause
    EXPECT_NEAR(Timer(TimerCommand::AbsoluteTime), 17.0f, 1e-4); // reads the counter
    Timer(TimerCommand::Start);
    at(18);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 3.0f, 1e-4);
}

TEST_P(TimerPaths, ElapsedTimeIsZeroWhileStoppedAndMeasuresFromStart)
{
    at(10);
    Timer(TimerCommand::Start);
    at(11);
    Timer(TimerCommand::Stop);
    at(14);
    EXPECT_EQ(Timer(TimerCommand::ElapsedTime), 0.0f);
    at(20);
    Timer(TimerCommand::Start);
    at(21.5);
    EXPECT_NEAR(Timer(TimerCommand::ElapsedTime), 1.5f, 1e-4);
    at(22);
    EXPECT_NEAR(Timer(TimerCommand::ElapsedTime), 0.5f, 1e-4);
}

TEST_P(TimerPaths, AdvanceMovesTheFrozenTimeOn)
{
    at(10);
    Timer(TimerCommand::Start);
    at(12);
    Timer(TimerCommand::Stop);
    EXPECT_EQ(Timer(TimerCommand::Advance), 0.0f);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 2.1f, 1e-4);
}

TEST_P(TimerPaths, AdvanceWhileRunningFreezesAtATenthOfASecondOfCounterTime)
{
    at(10);
    Timer(TimerCommand::Start);
    at(11);
    Timer(TimerCommand::Advance);
    at(13);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 0.1f - 10.0f, 1e-4);
    EXPECT_NEAR(Timer(TimerCommand::AbsoluteTime), 13.0f, 1e-4);
    Timer(TimerCommand::Start); // running, so the base stays
    at(14);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 4.0f, 1e-4);
}

TEST_P(TimerPaths, ResetOnAStoppedClockCountsFromTheStopInstant)
{
    at(10);
    Timer(TimerCommand::Start);
    at(12);
    Timer(TimerCommand::Stop);
    at(15);
    EXPECT_EQ(Timer(TimerCommand::Reset), 0.0f);
    at(16);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 4.0f, 1e-4);
    Timer(TimerCommand::Reset); // running: from now
    at(16.25);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 0.25f, 1e-4);
}

TEST_P(TimerPaths, UnknownCommandsReturnMinusOneAndChangeNothing)
{
    at(10);
    Timer(TimerCommand::Start);
    at(11);
    EXPECT_EQ(Timer(static_cast<TimerCommand>(7)), -1.0f);
    EXPECT_EQ(Timer(static_cast<TimerCommand>(-1)), -1.0f);
    EXPECT_NEAR(Timer(TimerCommand::AppTime), 1.0f, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Clock, TimerPaths, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? std::string("Counter") : std::string("MultimediaTimer");
                         });

// The path is chosen on the first call and kept for the run.
TEST(TimerFirstCall, CounterAvailabilityIsDecidedOnce)
{
    PlatformScriptClocks(false, 1000);
    TimerResetState();
    PlatformSetTimeGetTime(2500);
    EXPECT_NEAR(Timer(TimerCommand::AbsoluteTime), 2.5f, 1e-4);
    PlatformScriptClocks(true, 1000); // appears later: not used
    PlatformSetCounter(9000);
    PlatformSetTimeGetTime(3000);
    EXPECT_NEAR(Timer(TimerCommand::AbsoluteTime), 3.0f, 1e-4);
    TimerResetState();
    PlatformRealClocks();
}

} // namespace
