// Vector: mixed-dimension arithmetic, the division guard, deep copies and the subscript
// assertion.
#include <gtest/gtest.h>

#include <cmath>

#include "Vector.h"

namespace {
Vector v3(float x, float y, float z) { return Vector(std::array<float, 3>{x, y, z}); }
Vector v2(float x, float y) {
    const float values[2] = {x, y};
    return Vector(2, values);
}

void expectElements(const Vector& v, std::initializer_list<float> expected) {
    ASSERT_EQ(v.getDim(), static_cast<int>(expected.size()));
    int i = 0;
    for (float e : expected) EXPECT_FLOAT_EQ(v[i++], e) << "element " << i - 1;
}
}  // namespace

TEST(Vector, ZeroDimensionIsValidAndStaysEmptyThroughArithmetic) {
    Vector empty(0);
    EXPECT_EQ(empty.getDim(), 0);
    EXPECT_EQ((empty + v3(1, 2, 3)).getDim(), 0);
    EXPECT_EQ((empty - v3(1, 2, 3)).getDim(), 0);
    EXPECT_EQ((empty * 4.0f).getDim(), 0);
}

TEST(Vector, RightOperandIsPaddedOrCutToTheLeftDimension) {
    expectElements(v3(1, 2, 3) + v2(10, 20), {11, 22, 3});
    expectElements(v2(1, 2) + v3(10, 20, 30), {11, 22});
    expectElements(v3(1, 2, 3) - v2(10, 20), {-9, -18, 3});
    expectElements(v2(1, 2) - v3(10, 20, 30), {-9, -18});
}

TEST(Vector, CompoundOperatorsNeverChangeTheLeftDimension) {
    Vector a = v2(1, 2);
    a += v3(1, 1, 1);
    expectElements(a, {2, 3});
    a -= Vector(std::array<float, 22>{});
    expectElements(a, {2, 3});
    Vector b = v3(1, 2, 3);
    b -= v2(1, 1);
    expectElements(b, {0, 1, 3});
    b *= 2.0f;
    expectElements(b, {0, 2, 6});
    b /= 2.0f;
    expectElements(b, {0, 1, 3});
}

TEST(Vector, DivisionActsOnlyOnDivisorsLargerThanTheGuard) {
    const Vector a = v3(2, 4, 6);
    for (float tiny : {0.0f, 0.0001f, -0.0001f, std::nanf("")}) {
        expectElements(a / tiny, {2, 4, 6});
    }
    expectElements(a / 0.00011f, {2 / 0.00011f, 4 / 0.00011f, 6 / 0.00011f});
    expectElements(a / -0.001f, {-2000, -4000, -6000});
}

TEST(Vector, CopiesAreDeepAndAssignmentTakesTheSourceDimension) {
    Vector source = v3(1, 2, 3);
    Vector copy(source);
    copy[0] = 99;
    EXPECT_FLOAT_EQ(source[0], 1);

    Vector target = v3(7, 8, 9);
    const Vector wide(std::array<float, 22>{5, 6});
    target = wide;
    EXPECT_EQ(target.getDim(), 22);
    EXPECT_FLOAT_EQ(target[1], 6);
    target[1] = -1;
    EXPECT_FLOAT_EQ(wide[1], 6);
}

TEST(Vector, AssignmentBetweenEqualDimensionsReusesStorageAndSelfAssignmentIsHarmless) {
    Vector a = v3(1, 2, 3);
    const float* storage = a.getData();
    a = v3(4, 5, 6);
    EXPECT_EQ(a.getData(), storage);
    Vector& alias = a;
    a = alias;
    expectElements(a, {4, 5, 6});
}

TEST(Vector, MakeDimPadsWithZerosOrCuts) {
    const Vector any(1);
    expectElements(any.makeDim(5, v3(1, 2, 3)), {1, 2, 3, 0, 0});
    expectElements(any.makeDim(2, v3(1, 2, 3)), {1, 2});
}

TEST(Vector, InterpolateIsUnclampedAndKeepsTheFirstDimension) {
    const Vector a = v3(0, 10, -2), b = v3(4, 20, 2);
    expectElements(Vector::interpolate(a, b, 0), {0, 10, -2});
    expectElements(Vector::interpolate(a, b, 0.5f), {2, 15, 0});
    expectElements(Vector::interpolate(a, b, 2), {8, 30, 6});
    const Vector b4(std::array<float, 4>{4, 20, 2, 100});
    expectElements(Vector::interpolate(a, b4, 0.5f), {2, 15, 0});
}

TEST(Vector, CopyDataMovesARunAndNothingElse) {
    Vector hand(std::array<float, 22>{});
    for (int i = 0; i < 22; ++i) hand[i] = static_cast<float>(i);
    Vector finger(4);
    finger.copyData(hand, 4, 6 + 4 * 2, 0);
    expectElements(finger, {14, 15, 16, 17});
    finger.copyData(hand, 0, 0, 0);
    expectElements(finger, {14, 15, 16, 17});
    Vector partial = v3(-1, -1, -1);
    partial.copyData(hand, 2, 20, 1);
    expectElements(partial, {-1, 20, 21});
}

TEST(VectorDeathTest, SubscriptOutsideTheDimensionFailsTheAssertion) {
    Vector a = v3(1, 2, 3);
    EXPECT_DEATH(a[3], "index >= 0 && index < d");
    EXPECT_DEATH(a[-1], "index >= 0 && index < d");
    Vector empty(0);
    EXPECT_DEATH(empty[0], "index >= 0 && index < d");
}
