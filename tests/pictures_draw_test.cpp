// Backgrounds and hand textures on screen, from pictures made by the test.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "scene_support.h"
#include "temp_layout.h"

namespace {
// A picture whose top half is `top` and bottom half `bottom` (rows stored top first).
void writeHalves(const std::filesystem::path& path, Pixel top, Pixel bottom, int w = 64, int h = 48) {
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Pixel p = y < h / 2 ? top : bottom;
            unsigned char* out = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            out[0] = static_cast<unsigned char>(p.r);
            out[1] = static_cast<unsigned char>(p.g);
            out[2] = static_cast<unsigned char>(p.b);
        }
    if (path.extension() == ".png")
        stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3);
    else
        stbi_write_jpg(path.c_str(), w, h, 3, rgb.data(), 95);
}

bool near(const Pixel& p, Pixel q, int tolerance = 12) {
    return std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance && std::abs(p.b - q.b) <= tolerance;
}

const Pixel RED_{220, 30, 30}, BLUE_{30, 30, 220}, GREEN_{30, 200, 30}, WHITE_{255, 255, 255};

// Corners of the window, clear of keys and hands.
const int TOP_Y = GL_TEST_HEIGHT - 10, BOTTOM_Y = 10, LEFT_X = 10;

class PicturesOnScreen : public testing::Test {
protected:
    static TempLayout* layout;

    static void SetUpTestSuite() {
        layout = new TempLayout("pictures");
        writeHalves(layout->res("backgrounds/hall.jpg"), RED_, BLUE_);
        writeHalves(layout->res("backgrounds/space.jpg"), GREEN_, GREEN_);
        // church.png is missing on purpose; the rest are present.
        writeHalves(layout->res("backgrounds/music_box.png"), BLUE_, RED_);
        writeHalves(layout->res("backgrounds/glee.jpg"), GREEN_, RED_);
        // A hand texture of fine stripes, so a textured palm differs from a plain one.
        std::vector<unsigned char> stripes(32 * 32 * 3);
        for (int i = 0; i < 32 * 32; ++i) {
            const unsigned char v = (i / 2) % 2 ? 255 : 0;
            stripes[i * 3] = stripes[i * 3 + 1] = stripes[i * 3 + 2] = v;
        }
        stbi_write_jpg(layout->res("textures/skin.jpg").c_str(), 32, 32, 3, stripes.data(), 95);
        // rock.jpg missing: that texture leaves the hands plain.
        writeHalves(layout->res("textures/flames.jpg"), RED_, RED_);
        startScene();
        renderer().pictures().load(SKIN, HALL);  // from this layout, even if another test started the scene first
    }
    static void TearDownTestSuite() { delete layout; }

    void SetUp() override { startScene(); }
    void TearDown() override { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
};
TempLayout* PicturesOnScreen::layout = nullptr;

// Mean colour of a block of pixels.
Pixel mean(const Frame& f, int x0, int y0, int w, int h) {
    long r = 0, g = 0, b = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            const Pixel p = f.at(x, y);
            r += p.r, g += p.g, b += p.b;
        }
    const long n = static_cast<long>(w) * h;
    return {static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)};
}
}  // namespace

TEST_F(PicturesOnScreen, BackgroundFillsTheWindowUpright) {
    const Frame frame = drawFrame();
    EXPECT_TRUE(near(frame.at(LEFT_X, TOP_Y), RED_)) << "the picture's top row is at the top";
    EXPECT_TRUE(near(frame.at(GL_TEST_WIDTH - 10, TOP_Y), RED_)) << "stretched across, not tiled";
    EXPECT_TRUE(near(frame.at(LEFT_X, BOTTOM_Y), BLUE_));
    EXPECT_TRUE(near(frame.at(GL_TEST_WIDTH / 2, GL_TEST_HEIGHT * 3 / 4), RED_));
}

TEST_F(PicturesOnScreen, IntensityDarkensTheBackgroundToBlack) {
    scene().lights.background_intensity = 0.0f;
    const Frame dark = drawFrame();
    EXPECT_TRUE(near(dark.at(LEFT_X, TOP_Y), {0, 0, 0}, 2));
    scene().lights.background_intensity = 0.5f;
    const Frame half = drawFrame();
    EXPECT_TRUE(near(half.at(LEFT_X, TOP_Y), {110, 15, 15}, 6));
}

TEST_F(PicturesOnScreen, ACopyOfTheWindowStandsForThePictureUntilItGoesStale) {
    // The copy is taken the second time the same background is drawn; from then on the
    // picture's own texture holds nothing, and it comes back when it is needed again.
    for (int i = 0; i < 3; ++i) drawFrame();
    GLint width = -1;
    glBindTexture(GL_TEXTURE_2D, renderer().pictures().backgroundTexture());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 0) << "the picture's pixels are let go";
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), RED_)) << "the copy shows the picture";
    scene().lights.background_intensity = 0.5f;
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), {110, 15, 15}, 6)) << "drawn from the picture again";
    glBindTexture(GL_TEXTURE_2D, renderer().pictures().backgroundTexture());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 64) << "the test's picture, uploaded again";
}

TEST_F(PicturesOnScreen, ANewBackgroundShowsOnTheNextFrame) {
    drawFrame();
    scene().activeBackground = SPACE;
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), GREEN_));
    scene().activeBackground = MUSIC_BOX;
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), BLUE_));
}

TEST_F(PicturesOnScreen, APictureIsReadOnceAtStartUpAndShownAgainAfterItsFileIsGone) {
    // Pictures are decoded again from the files as read at start-up each time they are
    // chosen, not kept decoded and not read again.
    const std::filesystem::path glee = layout->res("backgrounds/glee.jpg"), aside = glee.string() + ".aside";
    std::filesystem::rename(glee, aside);
    drawFrame();
    scene().activeBackground = GLEE_BACK;
    const Pixel gleeTop = drawFrame().at(LEFT_X, TOP_Y);
    scene().activeBackground = HALL;
    const Pixel hallTop = drawFrame().at(LEFT_X, TOP_Y);
    scene().activeBackground = GLEE_BACK;
    const Pixel gleeAgain = drawFrame().at(LEFT_X, TOP_Y);
    std::filesystem::rename(aside, glee);
    EXPECT_TRUE(near(gleeTop, GREEN_));
    EXPECT_TRUE(near(hallTop, RED_)) << "the first picture shown, decoded again";
    EXPECT_TRUE(near(gleeAgain, GREEN_));
}

TEST_F(PicturesOnScreen, AMissingPictureIsFlatGreyAndTheOthersStillShow) {
    scene().activeBackground = CHURCH;
    const Frame missing = drawFrame();
    EXPECT_TRUE(near(missing.at(LEFT_X, TOP_Y), WHITE_, 2)) << "flat grey at full intensity";
    EXPECT_TRUE(near(missing.at(LEFT_X, BOTTOM_Y), WHITE_, 2));
    scene().lights.background_intensity = 0.5f;
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), {128, 128, 128}, 2));
    scene().lights.background_intensity = 1.0f;
    scene().activeBackground = GLEE_BACK;
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), GREEN_));
}

TEST_F(PicturesOnScreen, HandsWearTheChosenTextureAndAMissingOneLeavesThemPlain) {
    const Frame striped = drawFrame();
    const auto palm = striped.project(1.2, 1.0, 2.0);  // the right palm's centre
    const Pixel stripedPalm = mean(striped, palm[0] - 20, palm[1] - 20, 40, 40);

    scene().activeHandTexture = ROCK;  // missing
    const Frame plain = drawFrame();
    const Pixel plainPalm = mean(plain, palm[0] - 20, palm[1] - 20, 40, 40);
    EXPECT_FALSE(near(stripedPalm, plainPalm, 6)) << "the texture changes what the palm shows";
    // A plain palm is the skin material alone: yellowish, all pixels alike.
    EXPECT_GT(plainPalm.r, plainPalm.b);
    int varied = 0;
    for (int dx = -20; dx < 20; dx += 4) {
        const Pixel s = striped.at(palm[0] + dx, palm[1]);
        const Pixel q = plain.at(palm[0] + dx, palm[1]);
        varied += std::abs(s.r - q.r) > 10;
    }
    EXPECT_GT(varied, 2);

    scene().activeHandTexture = FLAMES;
    const Pixel redPalm = mean(drawFrame(), palm[0] - 20, palm[1] - 20, 40, 40);
    EXPECT_GT(redPalm.r, redPalm.g + 10) << "red flames tint the palm";
}

TEST_F(PicturesOnScreen, TheChosenTextureShowsOnTheNextFrameAndBackAgain) {
    const Frame before = drawFrame();
    const auto palm = before.project(1.2, 1.0, 2.0);
    scene().activeHandTexture = FLAMES;
    const Pixel flames = mean(drawFrame(), palm[0] - 20, palm[1] - 20, 40, 40);
    scene().activeHandTexture = SKIN;
    const Frame after = drawFrame();
    const Pixel a = mean(before, palm[0] - 20, palm[1] - 20, 40, 40);
    const Pixel b = mean(after, palm[0] - 20, palm[1] - 20, 40, 40);
    EXPECT_FALSE(near(a, flames, 6)) << "the flames showed at once";
    EXPECT_TRUE(near(a, b, 0)) << "and the first picture came back, uploaded again";
}

TEST_F(PicturesOnScreen, MissingPicturesAreCountedOnOneLineNamingTheFirst) {
    testing::internal::CaptureStderr();
    renderer().pictures().load(SKIN, HALL);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("2 pictures"), std::string::npos) << said;
    // Hand textures are listed before backgrounds: rock.jpg comes first, with its reason.
    EXPECT_NE(said.find("../res/textures/rock.jpg (can't fopen)"), std::string::npos) << said;
    EXPECT_EQ(said.find("church.png"), std::string::npos) << said;
    scene().activeBackground = GLEE_BACK;
    EXPECT_TRUE(near(drawFrame().at(LEFT_X, TOP_Y), GREEN_)) << "the others still load";
}
