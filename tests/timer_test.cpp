// Timer arithmetic on a clock driven by the test.
#include <gtest/gtest.h>

#include "Clock.h"

TEST(Timer, ReadsTheSameValueWhenTheClockHasNotMoved) {
    DrivenClock clock;
    Timer timer(clock);
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(timer.elapsed(), 0.25);
    EXPECT_DOUBLE_EQ(timer.elapsed(), 0.25);
}

TEST(Timer, PausedSpansDoNotCount) {
    DrivenClock clock;
    Timer timer(clock);
    clock.advance(0.5);
    timer.pause();
    clock.advance(1.0);
    EXPECT_DOUBLE_EQ(timer.elapsed(), 0.5) << "a paused timer keeps the reading it had";
    timer.unpause();
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(timer.elapsed(), 0.75);
}

TEST(Timer, RepeatedPauseAndUnpauseChangeNothing) {
    DrivenClock clock;
    Timer timer(clock);
    clock.advance(0.1);
    timer.unpause();  // running: no effect
    clock.advance(0.1);
    timer.pause();
    clock.advance(0.3);
    timer.pause();  // already paused: the pause still dates from the first call
    clock.advance(0.3);
    timer.unpause();
    timer.unpause();
    clock.advance(0.1);
    EXPECT_NEAR(timer.elapsed(), 0.3, 1e-9);
}

TEST(Timer, ResetOfAPausedTimerRunsFromZero) {
    DrivenClock clock;
    Timer timer(clock);
    clock.advance(1.0);
    timer.pause();
    clock.advance(1.0);
    timer.reset();
    EXPECT_DOUBLE_EQ(timer.elapsed(), 0.0);
    clock.advance(0.2);
    EXPECT_NEAR(timer.elapsed(), 0.2, 1e-9) << "a reset ends the pause";
}

TEST(Timer, EachTimerReadsItsOwnClock) {
    DrivenClock first, second;
    Timer a(first), b(second);
    first.advance(0.5);
    EXPECT_DOUBLE_EQ(a.elapsed(), 0.5);
    EXPECT_DOUBLE_EQ(b.elapsed(), 0.0) << "another clock moving moves nothing here";
    second.advance(2.0);
    EXPECT_DOUBLE_EQ(a.elapsed(), 0.5);
    EXPECT_DOUBLE_EQ(b.elapsed(), 2.0);
}

TEST(Timer, RealClockMovesForward) {
    SteadyClock real;
    Timer timer(real);
    const double first = timer.elapsed();
    volatile double sink = 0;
    for (int i = 0; i < 2000000 && timer.elapsed() <= first; ++i) sink = sink + i;
    EXPECT_GT(timer.elapsed(), first);
    EXPECT_GE(first, 0.0);
}
