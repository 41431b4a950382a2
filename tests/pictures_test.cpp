// The program's pictures and help text, checked as the program will meet them: files it can
// decode, in the format their names promise, of a sensible size and with real content.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// Suite names start with "pictures" so that `ctest -R pictures` selects them all.

namespace {

std::string sourceDir() {
    const char* dir = std::getenv("TINKLEWOOD_SOURCE_DIR");
    return dir ? dir : "..";
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

struct Decoded {
    int w = 0, h = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> px{nullptr, stbi_image_free};
    const unsigned char* at(int x, int y) const { return px.get() + (static_cast<size_t>(y) * w + x) * 4; }
};

Decoded decode(const std::vector<unsigned char>& bytes) {
    Decoded d;
    int channels = 0;
    d.px.reset(stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &d.w, &d.h, &channels, 4));
    return d;
}

struct Stats {
    double mean[3] = {0, 0, 0};
    double stddev[3] = {0, 0, 0};
    double darkShare = 0;  // pixels with luminance under 40
};

Stats stats(const Decoded& d) {
    Stats s;
    double sum[3] = {0, 0, 0}, sq[3] = {0, 0, 0};
    size_t dark = 0, n = static_cast<size_t>(d.w) * d.h;
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            const unsigned char* p = d.at(x, y);
            for (int k = 0; k < 3; ++k) {
                sum[k] += p[k];
                sq[k] += static_cast<double>(p[k]) * p[k];
            }
            if (0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2] < 40) ++dark;
        }
    for (int k = 0; k < 3; ++k) {
        s.mean[k] = sum[k] / n;
        s.stddev[k] = std::sqrt(std::max(0.0, sq[k] / n - s.mean[k] * s.mean[k]));
    }
    s.darkShare = static_cast<double>(dark) / n;
    return s;
}

const char* const kPictures[] = {
    "res/textures/skin.jpg",       "res/textures/rock.jpg",         "res/textures/flames.jpg",
    "res/backgrounds/hall.jpg",    "res/backgrounds/space.jpg",     "res/backgrounds/church.png",
    "res/backgrounds/music_box.png", "res/backgrounds/glee.jpg",
};

class Picture : public ::testing::TestWithParam<const char*> {
protected:
    std::string path() const { return sourceDir() + "/" + GetParam(); }
};

TEST_P(Picture, IsTheFormatItsNameSaysSmallAndDecodable) {
    const auto bytes = readFile(path());
    ASSERT_FALSE(bytes.empty()) << path() << " is missing or empty";
    EXPECT_LT(bytes.size(), 400u * 1000u) << path() << " is too large";

    static const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF};
    static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(bytes.size(), sizeof png);
    if (endsWith(path(), ".jpg"))
        EXPECT_TRUE(std::equal(std::begin(jpeg), std::end(jpeg), bytes.begin())) << "not a JPEG";
    else if (endsWith(path(), ".png"))
        EXPECT_TRUE(std::equal(std::begin(png), std::end(png), bytes.begin())) << "not a PNG";
    else
        ADD_FAILURE() << "unexpected extension";

    const Decoded d = decode(bytes);
    ASSERT_TRUE(d.px) << stbi_failure_reason();
    const int longSide = std::max(d.w, d.h);
    EXPECT_GE(longSide, 512);
    EXPECT_LE(longSide, 2048);
}

TEST_P(Picture, HasRealContent) {
    const Decoded d = decode(readFile(path()));
    ASSERT_TRUE(d.px);
    const Stats s = stats(d);
    // A flat or nearly flat fill would pass every format check yet show nothing.
    const double spread = s.stddev[0] + s.stddev[1] + s.stddev[2];
    EXPECT_GT(spread, 15.0) << "channel deviations " << s.stddev[0] << " " << s.stddev[1] << " " << s.stddev[2];
    EXPECT_GT(std::max({s.stddev[0], s.stddev[1], s.stddev[2]}), 6.0);
}

INSTANTIATE_TEST_SUITE_P(pictures, Picture, ::testing::ValuesIn(kPictures), [](const auto& info) {
    std::string name = info.param;
    name = name.substr(name.rfind('/') + 1);
    return name.substr(0, name.find('.'));
});

Decoded load(const std::string& relative) { return decode(readFile(sourceDir() + "/" + relative)); }

TEST(pictures, BackgroundsAreLandscape) {
    for (const char* name : {"hall.jpg", "space.jpg", "church.png", "music_box.png", "glee.jpg"}) {
        const Decoded d = load(std::string("res/backgrounds/") + name);
        ASSERT_TRUE(d.px) << name;
        EXPECT_GT(d.w, d.h) << name;
    }
}

// The hand textures repeat around the fingers, so the right edge must run on into the left
// and the bottom into the top. Across a seam that does not meet, the two sides are as unlike
// as two distant columns (or rows); across a good one they are about as alike as neighbours.
TEST(pictures, HandTexturesTileWithoutSeams) {
    for (const char* name : {"skin.jpg", "rock.jpg", "flames.jpg"}) {
        const Decoded d = load(std::string("res/textures/") + name);
        ASSERT_TRUE(d.px) << name;
        auto diff = [&](int x0, int y0, int x1, int y1) {
            const unsigned char *a = d.at(x0, y0), *b = d.at(x1, y1);
            return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
        };
        auto columns = [&](int a, int b) {
            double sum = 0;
            for (int y = 0; y < d.h; ++y) sum += diff(a, y, b, y);
            return sum / d.h;
        };
        auto rows = [&](int a, int b) {
            double sum = 0;
            for (int x = 0; x < d.w; ++x) sum += diff(x, a, x, b);
            return sum / d.w;
        };
        const int w = d.w, h = d.h;
        double neighbourColumns = 0, neighbourRows = 0;
        for (int x = 0; x + 1 < w; ++x) neighbourColumns += columns(x, x + 1) / (w - 1);
        for (int y = 0; y + 1 < h; ++y) neighbourRows += rows(y, y + 1) / (h - 1);
        const double distantColumns = (columns(0, w / 3) + columns(w / 4, w / 2) + columns(w / 2, 5 * w / 6)) / 3;
        const double distantRows = (rows(0, h / 3) + rows(h / 4, h / 2) + rows(h / 2, 5 * h / 6)) / 3;
        EXPECT_LT(columns(w - 1, 0), 0.5 * (neighbourColumns + distantColumns))
            << name << ": left and right edges do not meet";
        EXPECT_LT(rows(h - 1, 0), 0.5 * (neighbourRows + distantRows)) << name << ": top and bottom edges do not meet";
    }
}

TEST(pictures, FlamesAreRedOrangeAndYellow) {
    const Decoded d = load("res/textures/flames.jpg");
    ASSERT_TRUE(d.px);
    const Stats s = stats(d);
    EXPECT_GT(s.mean[0], s.mean[1]);
    EXPECT_GT(s.mean[1], s.mean[2]);
    EXPECT_GT(s.mean[0], 1.5 * s.mean[2]);
}

TEST(pictures, SpaceIsMostlyDark) {
    const Decoded d = load("res/backgrounds/space.jpg");
    ASSERT_TRUE(d.px);
    const Stats s = stats(d);
    EXPECT_GT(s.darkShare, 0.6);
}

TEST(pictures, SkinIsLightAndWarm) {
    // The hands' lit material is multiplied by this texture: dark skin would blacken them.
    const Decoded d = load("res/textures/skin.jpg");
    ASSERT_TRUE(d.px);
    const Stats s = stats(d);
    EXPECT_GT(s.mean[0], 180.0);
    EXPECT_GT(s.mean[0], s.mean[1]);
    EXPECT_GT(s.mean[1], s.mean[2]);
}

// ---------------------------------------------------------------------------------------
// Help text

std::vector<std::string> helpLines() {
    std::ifstream in(sourceDir() + "/res/help.txt", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(picturesHelp, FitsItsWindow) {
    const auto bytes = readFile(sourceDir() + "/res/help.txt");
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n') << "last line lacks its newline";
    const auto lines = helpLines();
    EXPECT_LE(lines.size(), 32u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 54u) << "line " << i + 1 << ": " << lines[i];
        for (char c : lines[i])
            EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << "line " << i + 1 << " has a character outside plain ASCII";
    }
}

TEST(picturesHelp, NamesEveryKey) {
    std::set<std::string> words;
    std::string all;
    for (const auto& line : helpLines()) {
        std::istringstream in(line);
        for (std::string w; in >> w;) words.insert(w);
        all += line + "\n";
    }
    // Each key stands as a word of its own, so a letter merely inside a word does not count.
    for (const char* key : {"s", "d", "f", "g", "h", "j", "k", "l", "e", "r", "y", "u", "i", "z", "x",
                            "c", "v", "b", "+", "-", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "<", ">", "/", "?", "[", "]", "'",
                            "Space", "Tab", "Return", "Esc", "F1"})
        EXPECT_TRUE(words.count(key)) << "help does not name the key " << key;
    EXPECT_TRUE(all.find("Arrow") != std::string::npos || all.find("arrow") != std::string::npos)
        << "help does not mention the arrow keys";
    EXPECT_TRUE(all.find("drag") != std::string::npos) << "help does not explain the mouse";
}

}  // namespace
