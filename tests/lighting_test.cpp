// The concert beams' sweep on a driven clock.
#include <cmath>
#include <cstdlib>
#include <set>

#include "app_fixture.h"

namespace {
void expectDirection(const Vector& v, float x, float y, float z, float tolerance = 1e-3f) {
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}
}  // namespace

using ConcertLights = AppTest;

TEST_F(ConcertLights, FirstFramePointsTheBeamsAtTheirStartsLeaningInwards) {
    press('4');
    frame();
    expectDirection(lights().concertSpotDir[0], 1, -5, 0);
    expectDirection(lights().concertSpotDir[1], 0, -5, 0);
    expectDirection(lights().concertSpotDir[2], -1, -5, 0);
}

TEST_F(ConcertLights, BeamsEaseOntoTheirTargetsWithinAQuarterTurnOfThePhase) {
    press('4');
    Vector previous = lights().concertSpotDir[0];
    float previousStep = 0;
    bool accelerated = false;
    // 0.785 s of sweep at 60 steps a second, and the step that reads the final phase.
    for (int i = 0; i < 48; ++i) {
        frame();
        const float step = std::fabs(lights().concertSpotDir[0][0] - previous[0]);
        if (step > previousStep + 1e-4f) accelerated = true;
        previousStep = step;
        previous = lights().concertSpotDir[0];
    }
    EXPECT_TRUE(accelerated) << "the sweep eases out of its start";
    expectDirection(lights().concertSpotDir[0], -2, -5, -2);
    expectDirection(lights().concertSpotDir[1], 3, -5, 0);
    expectDirection(lights().concertSpotDir[2], 4, -5, -2);
}

TEST_F(ConcertLights, SweepEndDrawsTwelveValuesAndMakesTheOldTargetsTheNewStarts) {
    press('4');
    frame();
    clock.advance(1.0);  // one slow frame: the phase is clamped at the end of the sweep
    piano->stepFrame();
    EXPECT_FLOAT_EQ(piano->lights().sweepPhase(), 1.570795f);

    std::srand(12345);
    std::vector<int> reference;
    for (int i = 0; i < 13; ++i) reference.push_back(std::rand());
    std::srand(12345);
    frame();  // the sweep is over: new aim points
    EXPECT_EQ(std::rand(), reference[12]) << "exactly twelve draws";

    expectDirection(piano->lights().sweepFrom()[0], -2, -5, -2, 0);
    expectDirection(piano->lights().sweepFrom()[2], 4, -5, -2, 0);
    const std::set<float> spot0x = {-2.5f, -1.5f, -0.5f, 0.5f, 4.5f, 5.5f, 6.5f, 7.5f};
    const std::set<float> spot1x = {-9, -8, -7, -6, -5, 5, 6, 7, 8, 9};
    const std::set<float> spot2x = {-7.5f, -6.5f, -5.5f, -4.5f, -0.5f, 0.5f, 1.5f, 2.5f};
    const std::set<float> anyZ = {-6, -5, -4, -3, 3, 4, 5, 6};
    EXPECT_TRUE(spot0x.count(piano->lights().sweepTo()[0][0])) << piano->lights().sweepTo()[0][0];
    EXPECT_TRUE(spot1x.count(piano->lights().sweepTo()[1][0])) << piano->lights().sweepTo()[1][0];
    EXPECT_TRUE(spot2x.count(piano->lights().sweepTo()[2][0])) << piano->lights().sweepTo()[2][0];
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(anyZ.count(piano->lights().sweepTo()[i][2])) << piano->lights().sweepTo()[i][2];
        EXPECT_FLOAT_EQ(piano->lights().sweepTo()[i][1], -5);
    }
    // The draw order: spot 0's x is randInt(2, 5) then its sign, plus 2.5.
    std::srand(12345);
    const int magnitude = 2 + std::rand() % 4;
    const int sign = std::rand() % 2 == 1 ? -1 : 1;
    EXPECT_FLOAT_EQ(piano->lights().sweepTo()[0][0], magnitude * sign + 2.5f);
    EXPECT_NEAR(piano->lights().sweepPhase(), -1.570795f, 1e-3) << "the next sweep starts over";
}

TEST_F(ConcertLights, BeamsAreFrozenOutsideConcertMode) {
    const Vector before = lights().concertSpotDir[1];
    frames(30);
    expectDirection(lights().concertSpotDir[1], before[0], before[1], before[2], 0);
}

TEST(RandomDraws, StayWithinTheirRanges) {
    std::set<int> seen;
    bool sawMinus = false, sawPlus = false;
    for (int i = 0; i < 2000; ++i) {
        const int v = randInt(5, 9);
        ASSERT_GE(v, 5);
        ASSERT_LE(v, 9);
        seen.insert(v);
        const int s = randSign();
        ASSERT_TRUE(s == -1 || s == 1);
        sawMinus |= s == -1;
        sawPlus |= s == 1;
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_TRUE(sawMinus && sawPlus);
}
