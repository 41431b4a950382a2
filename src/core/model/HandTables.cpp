// The hands' repertoire: chords, poses and right-hand places. Every table is built by the
// compiler, so nothing here waits on the order in which a program's objects are made.
#include <array>

#include "ChordInfo.h"
#include "Hand.h"
#include "HandShapes.h"
#include "RightHandShapes.h"
#include "modelDims.h"

namespace {
constexpr Vector vec3(float x, float y, float z) { return Vector(std::array<float, 3>{x, y, z}); }

constexpr Vector vec4(float spread, float j1, float j2, float j3) {
    return Vector(std::array<float, 4>{spread, j1, j2, j3});
}
}  // namespace

// ---- Left-hand poses (degrees; wrist, thumb, then index to little finger) ------------------
constexpr Vector DEFAULT_SHAPE(std::array<float, Hand::NUM_HAND_DOFS>{
    -60, 0, 0,
    30, -10, 45,
    10, 10, 35, 10,
    0, 10, 35, 10,
    -15, 0, 40, 20,
    -20, 10, 30, 30});
constexpr Vector CEG_SHAPE(std::array<float, Hand::NUM_HAND_DOFS>{
    -70, 0, -5,
    40, -10, 45,
    4, -9, 30, 20,
    3, 8, 27, 25,
    -10, -10, 20, 20,
    -19, 10, 23, 25});
constexpr Vector CFA_SHAPE(std::array<float, Hand::NUM_HAND_DOFS>{
    -70, 0, -20,
    60, -20, 50,
    8, 1, 36, 31,
    -2, -10, 25, 22,
    -10, -10, 20, 20,
    -20, 3, 25, 25});
constexpr Vector CEA_SHAPE(std::array<float, Hand::NUM_HAND_DOFS>{
    -70, 0, -10,
    60, -20, 45,
    0, -10, 25, 20,
    -7, 15, 25, 10,
    -10, -10, 20, 20,
    -28, 3, 27, 32});
constexpr Vector EGsB_SHAPE(std::array<float, Hand::NUM_HAND_DOFS>{
    -70, 0, -10,
    30, -15, 42,
    15, -15, 25, 20,
    11, 5, 20, 16.5f,
    -10, -10, 20, 20,
    -22, 8, 23, 23});

// Scene units; the left hand rests over the lower octave.
constexpr Vector DEFAULT_LEFT_POS = vec3(DEFAULT_X, 1.0f, 2.0f);

// ---- Chords (key indices and palm positions in scene units) --------------------------------
constexpr int CHORD_NOTES[NUM_CHORDS][3] = {
    {0, 2, 4},   // CEG
    {0, 3, 5},   // CFA
    {0, 2, 5},   // CEA
    {1, 3, 5},   // DFA
    {1, 4, 6},   // DGB
    {2, 6, 18},  // EGsB: G# is the black key 18, pressed last
    {1, 3, 6},   // DFB
};

constexpr std::array<Vector, NUM_CHORDS> CHORD_POSITIONS = {
    vec3(-3.085f, 0.45f, 2.15f), vec3(-2.485f, 0.45f, 2.4f), vec3(-2.665f, 0.45f, 2.15f),
    vec3(-2.485f, 0.45f, 2.15f), vec3(-1.885f, 0.45f, 2.4f), vec3(-1.585f, 0.45f, 2.15f),
    vec3(-2.065f, 0.45f, 2.4f)};

namespace {
constexpr ChordInfo makeChord(ChordEnum c, const Vector& shape) {
    const int* n = CHORD_NOTES[c];
    return ChordInfo{3, {n[0], n[1], n[2]}, CHORD_POSITIONS[c], shape};
}
}  // namespace

// Four poses serve seven chords: a chord a step or two along reuses a neighbour's shape.
constexpr std::array<ChordInfo, NUM_CHORDS> CHORDS = {
    makeChord(CEG, CEG_SHAPE), makeChord(CFA, CFA_SHAPE), makeChord(CEA, CEA_SHAPE),
    makeChord(DFA, CEG_SHAPE), makeChord(DGB, CFA_SHAPE), makeChord(EGsB, EGsB_SHAPE),
    makeChord(DFB, CEA_SHAPE)};

constexpr char CHORD_NAMES[NUM_CHORDS][5] = {"C", "F", "Am", "Dm", "G", "E", "Bdim"};

constexpr ChordEnum CHORD_KEY_TABLE[NUM_MODES][5] = {
    {CEG, DFA, CFA, CEA, DGB},    // MAJOR
    {CEA, DFB, DFA, CFA, EGsB}};  // MINOR

// ---- Right-hand poses (degrees; fingers thumb to little finger) ----------------------------
constexpr std::array<Vector, 5> RFINGERS_DEFAULT = {
    vec4(30, -10, 45, 0), vec4(0, 10, 35, 5), vec4(-5, 10, 35, 10), vec4(-10, 0, 40, 20),
    vec4(-20, 10, 30, 30)};

constexpr Vector RWRIST_DEFAULT = vec3(-60, 0, 0);

namespace {
// The 22-angle rest pose is the rest wrist and rest fingers laid end to end; the thumb has
// no third joint, so only three of its four values go in.
constexpr Vector restPose(const Vector& wrist, const std::array<Vector, 5>& fingers) {
    Vector pose(Hand::NUM_HAND_DOFS);
    pose.copyData(wrist, 3, 0, Hand::WRIST_ROLL);
    pose.copyData(fingers[0], 3, 0, Hand::THUMB_SPREAD);
    for (int k = 1; k < 5; ++k) pose.copyData(fingers[k], 4, 0, Hand::INDEX_SPREAD + 4 * (k - 1));
    return pose;
}
}  // namespace

constexpr Vector DEFAULT_SHAPE_RIGHT = restPose(RWRIST_DEFAULT, RFINGERS_DEFAULT);

// The thumb never strikes a black key; its black entries are never read.
constexpr std::array<std::array<Vector, 5>, 2> RFINGERS_PLAY = {{
    {vec4(45, -40, 55, 0), vec4(0, 16, 40, 20), vec4(-10, 15, 40, 20), vec4(-15, 7, 50, 25),
     vec4(-30, 15, 35, 25)},
    {vec4(0, 0, 0, 0), vec4(17, 17, 30, 10), vec4(5, 15, 30, 15), vec4(-5, 5, 43, 15),
     vec4(-15, 15, 30, 20)}}};

constexpr std::array<std::array<Vector, 5>, 2> RWRIST_PLAY = {{
    {vec3(-70, -5, 5), vec3(-70, 0, 0), vec3(-70, 0, 0), vec3(-70, 0, -5), vec3(-70, 0, -5)},
    {vec3(-65, 0, 0), vec3(-65, 0, 0), vec3(-65, 0, 0), vec3(-65, 0, 0), vec3(-65, 0, 0)}}};

// Scene units: rest places of hand positions 0 and 1, then their striking places.
constexpr std::array<Vector, 4> RIGHT_HAND_POSITIONS = {
    vec3(RIGHT_X[0], 1.0f, 2.0f), vec3(RIGHT_X[1], 1.0f, 2.0f),
    vec3(RIGHT_X[0], NOTE_Y_OFFSET, NOTE_Z_OFFSET), vec3(RIGHT_X[1], NOTE_Y_OFFSET, NOTE_Z_OFFSET)};

