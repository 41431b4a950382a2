// The help window's text: rows drawn, their pitch and size, the keys' names, and a missing file.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <vector>

#include "Help.h"
#include "KeyLayout.h"
#include "scene_support.h"
#include "temp_layout.h"

namespace {
// The rows of text drawn: bands of rows holding text-coloured pixels, counted from the top.
std::vector<int> textBands(const LetterNames& names = LetterNames(), std::array<int, 2> size = {500, 700}) {
    makeGlTestContextCurrent();
    // The help window has a context of its own with GL's defaults; the scene tests that
    // share this one leave lighting and texturing on.
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    helpReshape(size[0], size[1]);
    drawHelpText(ResourcePaths().help, renderer().font(), names);
    glFinish();
    std::vector<unsigned char> pixels(static_cast<size_t>(GL_TEST_WIDTH) * GL_TEST_HEIGHT * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    std::vector<int> bandTops;
    bool inBand = false;
    for (int y = GL_TEST_HEIGHT - 1; y >= 0; --y) {
        bool text = false;
        for (int x = 0; x < GL_TEST_WIDTH && !text; ++x) {
            const unsigned char* p = &pixels[(static_cast<size_t>(y) * GL_TEST_WIDTH + x) * 3];
            text = p[2] > 200 && p[0] > 180;
        }
        if (text && !inBand) bandTops.push_back(y);
        inBand = text;
    }
    return bandTops;
}
// The whole help picture, for comparing two.
std::vector<unsigned char> helpPicture(const LetterNames& names) {
    textBands(names);
    std::vector<unsigned char> pixels(static_cast<size_t>(GL_TEST_WIDTH) * GL_TEST_HEIGHT * 3);
    glReadPixels(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}
}  // namespace

class HelpWindow : public testing::Test {
protected:
    TempLayout layout{"help"};
    std::string draw(std::vector<int>& bands, const LetterNames& names = LetterNames(),
                     std::array<int, 2> size = {500, 700}) {
        testing::internal::CaptureStdout();
        bands = textBands(names, size);
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(HelpWindow, EmptyFileDrawsNothingAndSaysNothing) {
    layout.write("help.txt", "");
    std::vector<int> bands;
    EXPECT_EQ(draw(bands), "");
    EXPECT_TRUE(bands.empty());
}

TEST_F(HelpWindow, ThreeLinesDrawThreeRowsAtTheLinePitch) {
    layout.write("help.txt", "Notes: s d f g\nChords: z x c\nQuit: Esc\n");
    std::vector<int> bands;
    draw(bands);
    ASSERT_EQ(bands.size(), 3u);
    // 15 help units a line, at 1000/700 pixels a unit up in the help window's 500 x 700.
    EXPECT_NEAR(bands[0] - bands[1], 15 * 1000.0 / 700, 2.0);
    EXPECT_NEAR(bands[1] - bands[2], 15 * 1000.0 / 700, 2.0);
    // The first baseline is at 476 units, 680 pixels above the bottom of the window, 20
    // below its top; the tallest glyphs reach about 11 pixels above it.
    EXPECT_NEAR(bands[0], 680 + 11, 4);

    layout.write("help.txt", "Notes: s d f g\nChords: z x c\nQuit: Esc");
    std::vector<int> noFinalBreak;
    draw(noFinalBreak);
    EXPECT_EQ(noFinalBreak, bands);
}

TEST_F(HelpWindow, ABlankLineLeavesAGapOfOnePitch) {
    layout.write("help.txt", "First\n\nThird\n");
    std::vector<int> bands;
    draw(bands);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_NEAR(bands[0] - bands[1], 2 * 15 * 1000.0 / 700, 2.0);
}

TEST_F(HelpWindow, OnlyTheFirstThirtyTwoLinesFit) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "Line " + std::to_string(i) + "\n";
    layout.write("help.txt", text);
    std::vector<int> bands;
    draw(bands);
    EXPECT_EQ(bands.size(), 32u);
}

TEST_F(HelpWindow, MissingFileIsReportedAtEveryRepaint) {
    std::vector<int> bands;
    EXPECT_EQ(draw(bands), "Error: Failed to open file ../res/help.txt.\n");
    EXPECT_TRUE(bands.empty());
    EXPECT_EQ(draw(bands), "Error: Failed to open file ../res/help.txt.\n");
}

TEST_F(HelpWindow, TheMainWindowsSizeDoesNotMoveTheText) {
    layout.write("help.txt", "Notes: s d f g\nChords: z x c\nQuit: Esc\n");
    std::vector<int> bands;
    draw(bands);
    for (auto size : {std::array<int, 2>{600, 500}, std::array<int, 2>{1, 1}}) {
        renderer().reshape(size[0], size[1]);
        std::vector<int> resized;
        draw(resized);
        EXPECT_EQ(resized, bands) << "main window " << size[0] << " x " << size[1];
    }
    renderer().reshape(GL_TEST_WIDTH, GL_TEST_HEIGHT);
}

TEST_F(HelpWindow, APipeOrDeviceInPlaceOfTheFileIsRefusedWithoutWaiting) {
    // Nobody writes to the pipe: a reader that waited for it would never return.
    ASSERT_EQ(mkfifo(layout.res("help.txt").c_str(), 0600), 0);
    std::vector<int> bands;
    EXPECT_EQ(draw(bands), "Error: Failed to open file ../res/help.txt.\n");
    EXPECT_TRUE(bands.empty());
    std::filesystem::remove(layout.res("help.txt"));
    std::filesystem::create_symlink("/dev/zero", layout.res("help.txt"));
    EXPECT_EQ(draw(bands), "Error: Failed to open file ../res/help.txt.\n");
}

// The window is the test window's size here, 1200 x 1000: the text's units are spread over it
// as over a help window of that size, and the text grows as far as the width allows (2.4).
TEST_F(HelpWindow, ALargerWindowSpreadsTheLinesAndGrowsTheText) {
    layout.write("help.txt", "Notes: s d f g\nChords: z x c\nQuit: Esc\n");
    std::vector<int> small, large;
    draw(small);
    draw(large, LetterNames(), {1200, 1000});
    ASSERT_EQ(large.size(), 3u);
    EXPECT_NEAR(large[0] - large[1], 15 * 1000.0 / 490, 2.0) << "the pitch follows the height";
    // The first baseline 14 units below the top; the tallest letters 1.43 times as tall as at
    // first (the height allows less than the width).
    EXPECT_NEAR(large[0], 1000 - 14 * 1000.0 / 490 + 11 * 1000.0 / 700, 3);
}

TEST_F(HelpWindow, KeysAreNamedAsTheLayoutNamesThem) {
    layout.write("help.txt", "Chords: z x\n");
    std::vector<int> us, azerty, written;
    draw(us);
    LetterNames names;
    names.set('z', "w");
    draw(azerty, names);
    layout.write("help.txt", "Chords: w x\n");
    draw(written);
    EXPECT_EQ(azerty, written);
    // The bands alone cannot tell the letters: compare the pictures.
    layout.write("help.txt", "Chords: z x\n");
    const std::vector<unsigned char> named = helpPicture(names);
    layout.write("help.txt", "Chords: w x\n");
    EXPECT_EQ(named, helpPicture(LetterNames()));
    layout.write("help.txt", "Chords: z x\n");
    EXPECT_NE(named, helpPicture(LetterNames()));
}

