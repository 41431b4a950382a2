// Key state: the press rules and where each key stands.
#include <gtest/gtest.h>

#include <cmath>

#include "PianoKey.h"

TEST(PianoKeyPress, AnswersTrueWhenLeavingRestOrGoingBelowHalfWay) {
    PianoKey key = whiteKey(0);
    EXPECT_TRUE(key.press(0.3f));
    EXPECT_FLOAT_EQ(key.pressFactor, 0.3f);
    EXPECT_FALSE(key.press(0.6f));
    EXPECT_TRUE(key.press(0.4f));
    EXPECT_TRUE(key.press(0.0f)) << "a release to rest";
    EXPECT_FLOAT_EQ(key.pressFactor, 0.0f);
    EXPECT_FALSE(key.press(0.0f)) << "already at rest";
}

TEST(PianoKeyPress, ClampsToZeroAndOne) {
    PianoKey key = blackKey(0);
    key.press(1.7f);
    EXPECT_FLOAT_EQ(key.pressFactor, 1.0f);
    EXPECT_TRUE(key.press(-2.0f));
    EXPECT_FLOAT_EQ(key.pressFactor, 0.0f);
}

TEST(WhiteKeyGeometry, FifteenKeysSideBySideCentredOnTheOrigin) {
    for (int n = 0; n < 15; ++n) {
        const PianoKey key = whiteKey(n);
        EXPECT_NEAR(key.posX, n * 0.6 - 4.2, 1e-5) << n;
        EXPECT_FLOAT_EQ(key.width, 0.6f);
        EXPECT_FLOAT_EQ(key.height, 0.5f);
        EXPECT_FLOAT_EQ(key.length, 3.0f);
        EXPECT_FLOAT_EQ(key.posY, 0.0f);
        EXPECT_FLOAT_EQ(key.posZ, 0.0f);
        EXPECT_FLOAT_EQ(key.pressFactor, 0.0f);
    }
}

TEST(BlackKeyGeometry, EachSitsOnAWhiteKeyBoundarySkippingEFAndBC) {
    const float expected[10] = {-3.9f, -3.3f, -2.1f, -1.5f, -0.9f, 0.3f, 0.9f, 2.1f, 2.7f, 3.3f};
    for (int n = 0; n < 10; ++n) {
        const PianoKey key = blackKey(n);
        EXPECT_NEAR(key.posX, expected[n], 1e-5) << n;
        // The centre is on the boundary between two white keys 0.6 wide from -4.5.
        const double boundary = (key.posX + 4.5) / 0.6;
        EXPECT_NEAR(boundary, std::round(boundary), 1e-4);
        const int left = static_cast<int>(std::lround(boundary)) - 1;
        EXPECT_NE(left % 7, 2) << "no black key between E and F";
        EXPECT_NE(left % 7, 6) << "no black key between B and C";
        EXPECT_FLOAT_EQ(key.posY, 0.375f);
        EXPECT_FLOAT_EQ(key.posZ, -0.75f);
        EXPECT_FLOAT_EQ(key.height, 0.25f);
    }
}
