// Paints the program's hand textures and stage backgrounds from noise, gradients and simple
// shapes, so every picture the program shows is made here and can be regenerated.
//
// usage: pictures OUTPUT_DIR [name...]   (names: skin rock flames hall space church
//                                          music_box glee icon; none means all)
//
// OUTPUT_DIR is the resource folder, res/; the desktop icon is not a resource the program
// reads and goes beside the desktop entry, in packaging/.

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr float kPi = 3.14159265358979f;

// ---------------------------------------------------------------------------------------
// Colour arithmetic

struct Col {
    float r = 0, g = 0, b = 0;
};
Col operator+(Col a, Col b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Col operator-(Col a, Col b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
Col operator*(Col a, Col b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Col operator*(Col a, float s) { return {a.r * s, a.g * s, a.b * s}; }

float clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }
float mixf(float a, float b, float t) { return a + (b - a) * t; }
Col mix(Col a, Col b, float t) { return a + (b - a) * t; }
float smooth(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
float luminance(Col c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

// A piecewise-linear colour ramp; stops must be sorted by position.
struct Stop {
    float at;
    Col c;
};
Col ramp(const std::vector<Stop>& stops, float t) {
    if (t <= stops.front().at) return stops.front().c;
    for (size_t i = 1; i < stops.size(); ++i)
        if (t <= stops[i].at)
            return mix(stops[i - 1].c, stops[i].c,
                       (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
    return stops.back().c;
}

// ---------------------------------------------------------------------------------------
// Noise. Every lattice function takes periods so the hand textures can tile seamlessly when
// they wrap around the fingers; a period of 0 means no wrapping.

uint32_t hash(int x, int y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B1u ^ static_cast<uint32_t>(x) * 0x85EBCA77u ^
                 static_cast<uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}
float hashf(int x, int y, uint32_t seed) { return (hash(x, y, seed) >> 8) * (1.0f / 16777216.0f); }

int wrap(int i, int period) {
    if (period <= 0) return i;
    i %= period;
    return i < 0 ? i + period : i;
}

// Gradient noise in roughly [-1, 1].
float noise(float x, float y, uint32_t seed, int px = 0, int py = 0) {
    int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    float fx = x - ix, fy = y - iy;
    auto grad = [&](int cx, int cy, float dx, float dy) {
        float a = hashf(wrap(cx, px), wrap(cy, py), seed) * 2 * kPi;
        return std::cos(a) * dx + std::sin(a) * dy;
    };
    float ux = fx * fx * fx * (fx * (fx * 6 - 15) + 10);
    float uy = fy * fy * fy * (fy * (fy * 6 - 15) + 10);
    float n00 = grad(ix, iy, fx, fy), n10 = grad(ix + 1, iy, fx - 1, fy);
    float n01 = grad(ix, iy + 1, fx, fy - 1), n11 = grad(ix + 1, iy + 1, fx - 1, fy - 1);
    return 1.41f * mixf(mixf(n00, n10, ux), mixf(n01, n11, ux), uy);
}

// Fractal sum in roughly [0, 1]; each octave doubles the frequency and the periods.
float fbm(float x, float y, int octaves, uint32_t seed, int px = 0, int py = 0, float gain = 0.5f) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * noise(x, y, seed + 101u * o, px, py);
        norm += amp;
        amp *= gain;
        x *= 2;
        y *= 2;
        px *= 2;
        py *= 2;
    }
    return 0.5f + 0.5f * sum / norm;
}

// Sum of |noise|: creased, billowy, the look of fire and smoke.
float turbulence(float x, float y, int octaves, uint32_t seed, int px = 0, int py = 0) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * std::fabs(noise(x, y, seed + 131u * o, px, py));
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        px *= 2;
        py *= 2;
    }
    return sum / norm;
}

// Jittered-grid cells: distance to the nearest point, distance to the nearest cell border
// (exact, so lead lines and cracks keep an even width) and the owning cell's id.
struct Cell {
    float f1;
    float edge;
    uint32_t id;
};
Cell cells(float x, float y, uint32_t seed, int period = 0, float jitter = 0.9f) {
    int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    float pxs[25], pys[25];
    uint32_t ids[25];
    int n = 0, best = 0;
    float bestD = 1e9f;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            int cx = ix + dx, cy = iy + dy;
            int wx = wrap(cx, period), wy = wrap(cy, period);
            float ox = 0.5f + jitter * (hashf(wx, wy, seed) - 0.5f);
            float oy = 0.5f + jitter * (hashf(wx, wy, seed + 7u) - 0.5f);
            pxs[n] = cx + ox;
            pys[n] = cy + oy;
            ids[n] = hash(wx, wy, seed + 13u);
            float d = (pxs[n] - x) * (pxs[n] - x) + (pys[n] - y) * (pys[n] - y);
            if (d < bestD) {
                bestD = d;
                best = n;
            }
            ++n;
        }
    float edge = 1e9f;
    for (int i = 0; i < n; ++i) {
        if (i == best) continue;
        float mx = 0.5f * (pxs[i] + pxs[best]), my = 0.5f * (pys[i] + pys[best]);
        float nx = pxs[i] - pxs[best], ny = pys[i] - pys[best];
        float len = std::sqrt(nx * nx + ny * ny);
        edge = std::min(edge, ((mx - x) * nx + (my - y) * ny) / len);
    }
    return {std::sqrt(bestD), edge, ids[best]};
}

// ---------------------------------------------------------------------------------------
// Images

struct Image {
    int w = 0, h = 0;
    std::vector<Col> px;
    Image(int w_, int h_) : w(w_), h(h_), px(static_cast<size_t>(w_) * h_) {}
    Col& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
    Col at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

// Calls paint for every pixel (ss*ss samples each, averaged so shape edges are smooth),
// spreading the rows over the machine's cores.
Image render(int w, int h, int ss, const std::function<Col(float, float)>& paint) {
    Image img(w, h);
    unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < workers; ++t)
        pool.emplace_back([&, t] {
            for (int y = static_cast<int>(t); y < h; y += static_cast<int>(workers))
                for (int x = 0; x < w; ++x) {
                    Col sum;
                    for (int sy = 0; sy < ss; ++sy)
                        for (int sx = 0; sx < ss; ++sx)
                            sum = sum + paint(x + (sx + 0.5f) / ss, y + (sy + 0.5f) / ss);
                    img.at(x, y) = sum * (1.0f / (ss * ss));
                }
        });
    for (auto& th : pool) th.join();
    return img;
}

// Three box blurs approximate a Gaussian: used for the glow around lights.
Image blur(const Image& src, int radius) {
    Image a = src, b = src;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < a.h; ++y) {
            Col sum;
            for (int x = -radius; x <= radius; ++x) sum = sum + a.at(std::clamp(x, 0, a.w - 1), y);
            for (int x = 0; x < a.w; ++x) {
                b.at(x, y) = sum * (1.0f / (2 * radius + 1));
                sum = sum + a.at(std::min(x + radius + 1, a.w - 1), y) - a.at(std::max(x - radius, 0), y);
            }
        }
        for (int x = 0; x < a.w; ++x) {
            Col sum;
            for (int y = -radius; y <= radius; ++y) sum = sum + b.at(x, std::clamp(y, 0, a.h - 1));
            for (int y = 0; y < a.h; ++y) {
                a.at(x, y) = sum * (1.0f / (2 * radius + 1));
                sum = sum + b.at(x, std::min(y + radius + 1, a.h - 1)) - b.at(x, std::max(y - radius, 0));
            }
        }
    }
    return a;
}

// Adds a blurred copy of whatever is brighter than threshold: lamps then seem to glow.
void bloom(Image& img, float threshold, int radius, float strength) {
    Image bright = img;
    for (auto& c : bright.px) {
        float l = luminance(c);
        c = l > threshold ? c * ((l - threshold) / l) : Col{};
    }
    Image glow = blur(bright, radius);
    for (size_t i = 0; i < img.px.size(); ++i) img.px[i] = img.px[i] + glow.px[i] * strength;
}

// levels > 0 rounds each channel to that many steps: PNGs of detailed pictures would
// otherwise outgrow the size the program's resources are kept under.
std::vector<unsigned char> bytes(const Image& img, int levels = 0) {
    std::vector<unsigned char> out(img.px.size() * 3);
    for (size_t i = 0; i < img.px.size(); ++i) {
        const float ch[3] = {img.px[i].r, img.px[i].g, img.px[i].b};
        for (int k = 0; k < 3; ++k) {
            float v = clamp01(ch[k]);
            if (levels > 0) v = std::round(v * (levels - 1)) / (levels - 1);
            out[i * 3 + k] = static_cast<unsigned char>(std::lround(v * 255));
        }
    }
    return out;
}

bool saveJpg(const std::string& path, const Image& img) {
    auto data = bytes(img);
    return stbi_write_jpg(path.c_str(), img.w, img.h, 3, data.data(), 85) != 0;
}

bool savePng(const std::string& path, const Image& img, int levels) {
    stbi_write_png_compression_level = 9;
    auto data = bytes(img, levels);
    return stbi_write_png(path.c_str(), img.w, img.h, 3, data.data(), img.w * 3) != 0;
}

// ---------------------------------------------------------------------------------------
// Shapes, as signed distances in pixels (negative inside).

float sdBox(float x, float y, float x0, float y0, float x1, float y1) {
    float dx = std::max(x0 - x, x - x1), dy = std::max(y0 - y, y - y1);
    if (dx <= 0 && dy <= 0) return std::max(dx, dy);
    return std::sqrt(std::max(dx, 0.0f) * std::max(dx, 0.0f) + std::max(dy, 0.0f) * std::max(dy, 0.0f));
}

float sdCircle(float x, float y, float cx, float cy, float r) { return std::hypot(x - cx, y - cy) - r; }

// A gothic pointed arch: straight jambs from the springing line down to the sill, and above
// it two arcs of radius r, each centred on the spring line on the opposite side.
float sdArch(float x, float y, float cx, float halfW, float springY, float bottom, float r) {
    if (y >= springY) return std::max(std::fabs(x - cx) - halfW, y - bottom);
    float c = r - halfW;
    float left = std::hypot(x - (cx + c), y - springY) - r;
    float right = std::hypot(x - (cx - c), y - springY) - r;
    return std::max(left, right);
}

// Coverage of a shape edge for a sample already supersampled: a one-pixel ramp.
float inside(float sd) { return clamp01(0.5f - sd); }

// ---------------------------------------------------------------------------------------
// Materials shared by several pictures

// Polished wood with grain running along x: dark late-wood streaks, fine pores, figure.
Col wood(float x, float y, uint32_t seed, Col light, Col dark) {
    float warp = fbm(x * 0.0025f, y * 0.008f, 4, seed);
    float rings = std::sin((y * 0.05f + warp * 5.0f) * kPi) * 0.5f + 0.5f;
    rings = std::pow(rings, 2.5f);
    float streaks = fbm(x * 0.004f, y * 0.35f, 3, seed + 5u);
    float figure = fbm(x * 0.002f, y * 0.006f, 3, seed + 9u);
    Col c = mix(light, dark, 0.4f * rings + 0.3f * streaks + 0.3f * figure);
    return c * (0.95f + 0.1f * fbm(x * 0.02f, y * 1.2f, 2, seed + 11u));
}

// Brass lit from above: t is the surface's facing (0 dark, 1 full highlight).
Col brass(float t) {
    return ramp({{0.0f, {0.22f, 0.14f, 0.04f}},
                 {0.45f, {0.62f, 0.45f, 0.16f}},
                 {0.8f, {0.88f, 0.72f, 0.36f}},
                 {1.0f, {1.0f, 0.95f, 0.75f}}},
                clamp01(t));
}

// ---------------------------------------------------------------------------------------
// Hand textures: 512x512 and seamless.

Image skin() {
    const int n = 512;
    return render(n, n, 1, [&](float x, float y) {
        float u = x / n, v = y / n;
        float tone = fbm(u * 4, v * 4, 4, 11, 4, 4);
        float fine = fbm(u * 40, v * 40, 3, 12, 40, 40);
        Col c = mix(Col{0.97f, 0.85f, 0.74f}, Col{0.94f, 0.77f, 0.67f}, smooth(0.25f, 0.75f, tone));
        c = c * (0.975f + 0.05f * fine);
        // The surface is crossed by a fine polygonal net of shallow furrows.
        float wx = fbm(u * 6, v * 6, 2, 13, 6, 6) - 0.5f, wy = fbm(u * 6, v * 6, 2, 14, 6, 6) - 0.5f;
        Cell net = cells(u * 32 + wx, v * 32 + wy, 15, 32, 1.0f);
        float furrow = std::exp(-net.edge * net.edge / 0.006f);
        float strength = smooth(0.3f, 0.7f, fbm(u * 8, v * 8, 2, 17, 8, 8));
        c = c * (1.0f - 0.045f * furrow * strength);
        // Pores: a small soft dimple in most cells of a finer grid.
        Cell p = cells(u * 64, v * 64, 16, 64, 0.8f);
        float size = 0.13f + 0.08f * ((p.id >> 8 & 255) / 255.0f);
        float depth = (p.id & 255) < 170 ? 0.07f + 0.07f * ((p.id >> 16 & 255) / 255.0f) : 0.0f;
        float pore = depth * std::exp(-(p.f1 * p.f1) / (size * size));
        c = c * Col{1.0f - 0.8f * pore, 1.0f - pore, 1.0f - 1.05f * pore};
        return c;
    });
}

Image rock() {
    const int n = 512;
    auto height = [&](float u, float v, float* crackOut) {
        float wx = fbm(u * 3, v * 3, 4, 21, 3, 3) - 0.5f;
        float wy = fbm(u * 3, v * 3, 4, 22, 3, 3) - 0.5f;
        float h = fbm(u * 4 + 0.8f * wx, v * 4 + 0.8f * wy, 7, 23, 4, 4);
        float layers = std::sin((v * 3 + 0.35f * wx) * 2 * kPi) * 0.5f + 0.5f;
        h = 0.8f * h + 0.2f * layers;
        // Big cracks wander in and out rather than closing into paving-like polygons.
        Cell big = cells(u * 4 + 0.6f * wx, v * 4 + 0.6f * wy, 24, 4);
        float width = 0.008f + 0.025f * fbm(u * 6, v * 6, 3, 25, 6, 6);
        float open = smooth(0.4f, 0.55f, fbm(u * 3, v * 3, 3, 31, 3, 3));
        float crack = open * smooth(width, 0.0f, big.edge);
        Cell fine = cells(u * 13 + wy, v * 13 + wx, 26, 13);
        float mask = smooth(0.52f, 0.64f, fbm(u * 5, v * 5, 3, 27, 5, 5));
        crack = std::max(crack, 0.7f * mask * smooth(0.03f, 0.0f, fine.edge));
        if (crackOut) *crackOut = crack;
        return h - 0.25f * crack;
    };
    return render(n, n, 1, [&](float x, float y) {
        float u = x / n, v = y / n, e = 1.0f / n;
        float crack = 0;
        float h = height(u, v, &crack);
        float hx = height(u + e, v, nullptr), hy = height(u, v + e, nullptr);
        // Light from the upper left picks out the relief.
        float shade = 1.0f + 14.0f * ((h - hx) + (h - hy));
        float brown = fbm(u * 3, v * 3, 4, 28, 3, 3);
        Col grey = {0.55f, 0.53f, 0.5f}, tan = {0.56f, 0.46f, 0.35f};
        Col c = mix(grey, tan, smooth(0.35f, 0.7f, brown));
        c = c * (0.6f + 0.75f * h);
        // Mineral grains: pale and dark specks.
        float speck = fbm(u * 96, v * 96, 2, 29, 96, 96);
        if (speck > 0.68f) c = mix(c, Col{0.8f, 0.78f, 0.72f}, smooth(0.68f, 0.78f, speck) * 0.6f);
        if (speck < 0.3f) c = mix(c, Col{0.2f, 0.18f, 0.16f}, smooth(0.3f, 0.2f, speck) * 0.6f);
        c = c * (0.85f + 0.3f * fbm(u * 48, v * 48, 3, 30, 48, 48));
        c = c * std::clamp(shade, 0.55f, 1.4f);
        c = mix(c, Col{0.1f, 0.08f, 0.07f}, 0.85f * crack);
        return c;
    });
}

Image flames() {
    const int n = 512;
    return render(n, n, 1, [&](float x, float y) {
        float u = x / n, v = y / n;
        // Two rows of flames per tile. Within a row s climbs from the flames' roots (0) to
        // above the tallest tips (1); a ragged warp hides where one row's roots meet the
        // tips of the row below.
        float warp = fbm(u * 4, v * 2, 4, 41, 4, 2) - 0.5f;
        float s = (1.0f - v) * 2 + 0.5f * warp;
        s -= std::floor(s);
        // Tongue heights: ridged noise makes sharp peaks; a finer set fills the gaps. The
        // x coordinate sways more the higher up the flame.
        float sway = 0.06f * s * (fbm(u * 3, v * 6, 3, 42, 3, 6) - 0.5f) * 2;
        float big = 1.0f - std::fabs(noise((u + sway) * 6, v * 2, 43, 6, 2));
        float small = 1.0f - std::fabs(noise((u + sway) * 14, v * 3, 44, 14, 3));
        float h = std::max(0.15f + 0.8f * big * big * big, 0.1f + 0.45f * small * small * small);
        float f = s / h;  // 0 at the root, 1 at the tip
        float flicker = turbulence(u * 8, v * 6, 4, 45, 8, 6);
        float heat = (1.0f - f) * 1.15f + 0.5f * (flicker - 0.3f) * f;
        heat *= smooth(0.0f, 0.14f, s);
        Col bg = Col{0.16f, 0.01f, 0.0f} * (0.3f + 0.9f * fbm(u * 5, v * 5, 3, 46, 5, 5)) * (1.0f - 0.6f * s);
        Col fire = ramp({{0.0f, {0.3f, 0.02f, 0.0f}},
                         {0.2f, {0.7f, 0.1f, 0.01f}},
                         {0.45f, {0.95f, 0.35f, 0.03f}},
                         {0.7f, {1.0f, 0.65f, 0.1f}},
                         {0.88f, {1.0f, 0.85f, 0.3f}},
                         {1.0f, {1.0f, 0.95f, 0.6f}}},
                        heat);
        return mix(bg, fire, smooth(0.0f, 0.12f, heat));
    });
}

// ---------------------------------------------------------------------------------------
// Backgrounds: 1024x768, behind a keyboard that sits in the lower middle.

constexpr int kW = 1024, kH = 768;

Image space() {
    Image img = render(kW, kH, 1, [&](float x, float y) {
        float u = x / kW, v = y / kH;
        Col c = mix(Col{0.01f, 0.01f, 0.035f}, Col{0.02f, 0.01f, 0.04f}, v);
        // The nebula lies along a diagonal band from upper left to right, away from the keys.
        float wx = fbm(u * 3, v * 3, 5, 51) - 0.5f, wy = fbm(u * 3, v * 3, 5, 52) - 0.5f;
        float d = (v - 0.15f - 0.45f * u + 0.1f * std::sin(u * 5.0f)) + 0.25f * wy;
        float band = std::exp(-d * d / 0.025f);
        float gas = fbm(u * 4 + 1.5f * wx, v * 4 + 1.5f * wy, 7, 53);
        float density = band * smooth(0.35f, 0.8f, gas);
        float hue = fbm(u * 3.5f + 2 * wx, v * 3.5f + 2 * wy, 4, 54);
        Col gasCol = ramp({{0.0f, {0.12f, 0.35f, 0.8f}},
                           {0.3f, {0.4f, 0.2f, 0.8f}},
                           {0.55f, {0.8f, 0.18f, 0.55f}},
                           {0.8f, {0.9f, 0.3f, 0.4f}},
                           {1.0f, {0.95f, 0.6f, 0.35f}}},
                          smooth(0.3f, 0.7f, hue));
        float dust = smooth(0.55f, 0.75f, fbm(u * 6 + wx, v * 6 + wy, 5, 55));
        float glow = density * (1.0f - 0.8f * dust);
        c = c + gasCol * (0.85f * glow) + Col{0.3f, 0.35f, 0.6f} * (0.12f * band * gas);
        float core = std::exp(-((u - 0.62f) * (u - 0.62f) + (v - 0.45f) * (v - 0.45f)) / 0.01f);
        c = c + Col{1.0f, 0.75f, 0.6f} * (0.45f * core * density);
        return c;
    });
    // Stars: many faint ones, fewer bright ones with a halo and spikes.
    auto addStar = [&](float sx, float sy, float bright, Col tint, bool spikes) {
        int r = spikes ? 40 : 3;
        for (int y = static_cast<int>(sy) - r; y <= static_cast<int>(sy) + r; ++y)
            for (int x = static_cast<int>(sx) - r; x <= static_cast<int>(sx) + r; ++x) {
                if (x < 0 || y < 0 || x >= kW || y >= kH) continue;
                float dx = x + 0.5f - sx, dy = y + 0.5f - sy, d2 = dx * dx + dy * dy;
                float v = bright * std::exp(-d2 / 0.7f);
                if (spikes) {
                    v += bright * 0.25f * std::exp(-d2 / 30.0f);
                    v += bright * 0.5f * (std::exp(-dy * dy / 0.5f) + std::exp(-dx * dx / 0.5f)) *
                         std::exp(-std::sqrt(d2) / 9.0f);
                }
                img.at(x, y) = img.at(x, y) + tint * v;
            }
    };
    uint32_t s = 60;
    auto rnd = [&] { return hashf(static_cast<int>(s++), 1, 61); };
    for (int i = 0; i < 2600; ++i) {
        float sx = rnd() * kW, sy = rnd() * kH;
        float b = 0.15f + 0.85f * std::pow(rnd(), 4.0f);
        float t = rnd();
        Col tint = t < 0.3f ? Col{0.75f, 0.85f, 1.0f} : t < 0.8f ? Col{1.0f, 1.0f, 1.0f} : Col{1.0f, 0.85f, 0.65f};
        addStar(sx, sy, b, tint, false);
    }
    for (int i = 0; i < 14; ++i) {
        float sx = rnd() * kW, sy = rnd() * kH;
        // Keep the brightest stars out of the lower middle where the keys are.
        if (sx > 250 && sx < 780 && sy > 420) sy -= 380;
        addStar(sx, sy, 0.9f + 0.6f * rnd(), rnd() < 0.5f ? Col{0.8f, 0.9f, 1.0f} : Col{1.0f, 0.92f, 0.8f}, true);
    }
    return img;
}

Image hall() {
    const float vx = 512, vy = 400;  // vanishing point
    const float fx0 = 150, fx1 = 874, fy0 = 80, fy1 = 590;  // front wall around the stage
    const float ox0 = 250, ox1 = 774, oy0 = 170, oy1 = 520;  // stage opening
    const float frame = 26;
    const Col velvet = {0.5f, 0.04f, 0.06f};

    // Perspective scale of a point on a side wall: 1 at the front wall, larger nearer us.
    auto sideScale = [&](float x) { return x < vx ? (vx - x) / (vx - fx0) : (x - vx) / (fx1 - vx); };

    auto curtainFolds = [&](float x, float freq, float seed) {
        float f = std::cos(x * freq + 1.3f * fbm(x * 0.01f, seed, 2, 71));
        return 0.35f + 0.65f * std::pow(0.5f + 0.5f * f, 1.5f);
    };

    Image img = render(kW, kH, 2, [&](float x, float y) -> Col {
        // Ceiling and side walls lie outside the front wall's rectangle.
        bool leftSide = x < fx0, rightSide = x > fx1;
        float s = sideScale(x);
        float ceilY = vy + (fy0 - vy) * s, floorY = vy + (fy1 - vy) * s;
        if (!leftSide && !rightSide) {
            ceilY = fy0;
            floorY = fy1;
        }
        if ((leftSide || rightSide) && y > ceilY && y < floorY) {
            // Side walls with two tiers of boxes whose rails run toward the stage.
            Col c = Col{0.28f, 0.06f, 0.05f} * (0.7f + 0.3f * fbm(x * 0.02f, y * 0.02f, 3, 72));
            float wallY = vy + (y - vy) / s;  // height on the front wall's scale
            for (float rail : {190.0f, 330.0f}) {
                float t = wallY - rail;
                if (t > -70 && t < 0) c = Col{0.06f, 0.02f, 0.02f};  // the dark box opening
                if (t >= 0 && t < 40) {
                    c = velvet * (0.75f + 0.25f * curtainFolds(x, 0.25f, 3));
                    if (t < 5 || (t > 33 && t < 37)) c = brass(0.9f - 0.1f * t / 5);
                }
                float boxes = std::fmod(s * 6.0f, 1.0f);
                if (t > -70 && t < 40 && boxes < 0.05f) c = brass(0.55f);
                // Warm sconces between the boxes.
                float lampS = std::floor(s * 6.0f) + 0.5f;
                float lx = x < vx ? vx - lampS / 6.0f * (vx - fx0) : vx + lampS / 6.0f * (fx1 - vx);
                float ly = vy + (rail - 40 - vy) * lampS / 6.0f;
                float d = std::hypot(x - lx, y - ly) / (lampS / 6.0f);
                c = c + Col{1.0f, 0.75f, 0.4f} * (1.5f * std::exp(-d * d / 12.0f) + 0.3f * std::exp(-d * d / 400.0f));
            }
            return c * (0.6f + 0.4f * std::min(1.0f, 1.3f / s));
        }
        if (y <= ceilY) {
            // Ceiling: coffered, dark, with rows of warm lamps.
            float cs = (vy - y) / (vy - fy0);
            float wx = (x - vx) / cs;
            Col c = Col{0.16f, 0.09f, 0.06f} * (0.7f + 0.3f * fbm(wx * 0.02f, cs * 3, 3, 73));
            float row = std::fmod(cs * 3.0f, 1.0f), colm = std::fmod(std::fabs(wx) / 120.0f, 1.0f);
            if (row < 0.04f || colm < 0.05f) c = brass(0.35f);
            for (float rs : {1.0f, 1.08f, 1.17f})
                for (float lx : {-300.0f, -180.0f, -60.0f, 60.0f, 180.0f, 300.0f}) {
                    float px = vx + lx * rs, py = vy + (fy0 - 12 - vy) * rs;
                    float d = std::hypot(x - px, y - py) / rs;
                    c = c + Col{1.0f, 0.8f, 0.5f} * (1.6f * std::exp(-d * d / 8.0f) + 0.12f * std::exp(-d * d / 300.0f));
                }
            return c;
        }
        if (y >= floorY) {
            // The house: rows of red seats, nearest row drawn first so it hides the ones behind.
            for (int row = 9; row >= 0; --row) {
                float rs = 1.12f * std::pow(1.13f, static_cast<float>(row));
                float top = vy + (fy1 - 42 - vy) * rs, bottom = vy + (fy1 - vy) * rs;
                float wx = (x - vx) / rs;
                if (std::fabs(wx) < 38) continue;  // centre aisle
                float seat = std::fmod(std::fabs(wx) - 38, 46.0f) / 46.0f;
                float curve = 8 * rs * (1 - std::sin(seat * kPi));
                if (y > top + curve && y < bottom) {
                    float t = (y - top - curve) / (bottom - top);
                    Col c = velvet * (0.35f + 0.4f * std::sin(seat * kPi)) * (1.0f - 0.6f * t);
                    if (t < 0.08f) c = c + Col{0.35f, 0.12f, 0.05f} * (1 - t / 0.08f);  // stage light on the top edge
                    return c * (0.9f - 0.05f * row);
                }
            }
            float wx = (x - vx) / ((y - vy) / (fy1 - vy));
            Col carpet = Col{0.18f, 0.04f, 0.04f} * (0.8f + 0.2f * fbm(wx * 0.05f, y * 0.05f, 2, 74));
            return carpet;
        }
        // Stage apron, in front of the opening, widening toward us.
        if (y >= oy1) {
            float ws = (y - vy) / (oy1 - vy);
            float wx = (x - vx) / ws;
            if (std::fabs(wx) < (ox1 - ox0) / 2 + frame + (y - oy1) * 1.1f) {
                // Boards run toward the stage, so the grain follows depth (which goes as 1/ws).
                Col c = wood(350.0f / ws, wx * 1.5f, 75, Col{0.62f, 0.38f, 0.18f}, Col{0.35f, 0.18f, 0.08f});
                if (std::fmod(std::fabs(wx), 48.0f) < 1.2f) c = c * 0.6f;
                float lip = y - (oy1 + 50);
                if (lip > 0) c = Col{0.12f, 0.03f, 0.02f} * (1.0f - lip / 40);  // apron front in shadow
                return c * (0.95f - 0.3f * (y - oy1) / 70);
            }
        }
        // Front wall and the gilded frame of the opening.
        float opening = sdBox(x, y, ox0, oy0, ox1, oy1 + 40);
        if (opening > 0) {
            if (opening < frame) {
                float t = opening / frame;
                float relief = std::sin(t * kPi) * 0.6f + 0.3f * std::sin(t * 3 * kPi);
                float orn = fbm(x * 0.08f, y * 0.08f, 3, 76);
                return brass(0.35f + 0.5f * relief + 0.3f * (orn - 0.5f));
            }
            Col c = Col{0.35f, 0.07f, 0.06f} * (0.75f + 0.25f * fbm(x * 0.03f, y * 0.03f, 4, 77));
            float panel = sdBox(x, y, fx0 + 20, fy0 + 25, fx1 - 20, fy1 - 20);
            if (std::fabs(panel) < 3) c = brass(0.6f);
            for (float lx : {fx0 + 48.0f, fx1 - 48.0f}) {
                float d = std::hypot(x - lx, y - 320);
                c = c + Col{1.0f, 0.78f, 0.45f} * (1.8f * std::exp(-d * d / 40.0f) + 0.25f * std::exp(-d * d / 3000.0f));
            }
            // Light spilling from the stage onto the wall around the opening.
            c = c + Col{0.5f, 0.25f, 0.1f} * (0.35f * std::exp(-opening / 60.0f));
            return c;
        }
        // Inside the opening.
        float stageBack = 470;
        Col c;
        if (y < stageBack) {
            c = velvet * 0.55f * curtainFolds(x, 0.11f, 5);
        } else {
            float ws = (y - vy) / (stageBack - vy);
            float wx = (x - vx) / ws;
            c = wood(350.0f / ws, wx * 1.5f, 78, Col{0.7f, 0.45f, 0.22f}, Col{0.4f, 0.22f, 0.1f});
            if (std::fmod(std::fabs(wx), 30.0f) < 1.0f) c = c * 0.6f;
            c = c * 0.8f;
        }
        // Pools of warm spot light on the back curtain and the boards.
        for (float lx : {380.0f, 512.0f, 644.0f}) {
            float dx = (x - lx) / 70, dyC = (y - 360) / 130, dyF = (y - 490) / 18;
            c = c * (1.0f + 1.4f * std::exp(-(dx * dx + dyC * dyC)) + 1.4f * std::exp(-(dx * dx * 0.6f + dyF * dyF)));
        }
        c = c + Col{0.25f, 0.16f, 0.08f} * 0.25f;
        // Faint beams from the lamps above the opening down to the pools.
        for (float lx : {380.0f, 512.0f, 644.0f}) {
            float t = (y - oy0) / (490 - oy0);
            if (t <= 0) continue;
            float across = std::fabs(x - (512 + (lx - 512) * t)) / (14 + 60 * t);
            c = c + Col{1.0f, 0.8f, 0.5f} * (0.07f * smooth(1.0f, 0.3f, across));
        }
        // Main curtains, gathered at a gold tie-back and spreading to the floor.
        float tieY = 385;
        float spread = std::fabs(y - tieY) / (y < tieY ? tieY - oy0 : oy1 + 40 - tieY);
        float width = 42 + 78 * std::pow(spread, 1.6f);
        float fromEdge = x < vx ? x - ox0 : ox1 - x;
        if (fromEdge < width) {
            float across = fromEdge / width;
            Col cur = velvet * (1.25f * curtainFolds(across * 60.0f, 0.35f, x < vx ? 6 : 7));
            cur = cur * (0.7f + 0.5f * across);
            if (std::fabs(y - tieY) < 7 && across < 0.95f) cur = brass(0.8f - std::fabs(y - tieY) / 10);
            c = mix(c, cur, inside(fromEdge - width));
        }
        // Scalloped valance with a gold fringe.
        float swag = oy0 + 38 + 20 * std::fabs(std::sin((x - ox0) * kPi / 131.0f));
        if (y < swag + 7) {
            Col v = velvet * (0.9f * curtainFolds(x, 0.3f, 8));
            v = v * (0.65f + 0.55f * (y - oy0) / (swag - oy0));
            if (y > swag) v = brass(0.7f + 0.3f * std::sin(x * 1.7f));
            c = v;
        }
        // Footlights along the front edge of the stage.
        for (float lx = ox0 + 26; lx < ox1; lx += 42) {
            float d = std::hypot(x - lx, y - (oy1 + 36));
            c = c + Col{1.0f, 0.8f, 0.5f} * (1.4f * std::exp(-d * d / 10.0f));
        }
        return c;
    });
    bloom(img, 0.7f, 10, 0.9f);
    return img;
}

Image church() {
    const float cx = 512, halfW = 170, springY = 330, sill = 610, r = 340;
    const float lanHalf = 70, lanSpring = 360, lanR = 140, lanOff = 82;
    const float roseX = 512, roseY = 150, roseR = 75;
    const float bar = 6;  // half width of the stone tracery

    auto glassColour = [&](int family, uint32_t id) {
        static const Col families[][3] = {
            {{0.1f, 0.2f, 0.75f}, {0.15f, 0.35f, 0.85f}, {0.05f, 0.12f, 0.55f}},  // blues
            {{0.8f, 0.08f, 0.08f}, {0.65f, 0.05f, 0.12f}, {0.9f, 0.2f, 0.1f}},    // rubies
            {{0.95f, 0.7f, 0.1f}, {0.9f, 0.55f, 0.08f}, {0.98f, 0.85f, 0.35f}},   // golds
            {{0.1f, 0.55f, 0.25f}, {0.2f, 0.65f, 0.2f}, {0.05f, 0.4f, 0.3f}},     // greens
            {{0.45f, 0.15f, 0.65f}, {0.55f, 0.2f, 0.7f}, {0.3f, 0.1f, 0.5f}},     // purples
        };
        return families[family][id % 3];
    };

    Image img = render(kW, kH, 2, [&](float x, float y) -> Col {
        float outer = sdArch(x, y, cx, halfW, springY, sill, r);
        if (outer > 0) {
            // Ashlar wall: courses of blocks in running bond with recessed mortar.
            const float bw = 170, bh = 62;
            float course = std::floor(y / bh);
            float shift = hashf(static_cast<int>(course), 0, 80) * bw;
            float bx = std::floor((x + shift) / bw);
            float mx = std::fmod(x + shift, bw), my = std::fmod(y, bh);
            float mortar = std::min({mx, bw - mx, my, bh - my});
            mortar += 2.5f * (fbm(x * 0.08f, y * 0.08f, 2, 79) - 0.5f);  // worn, uneven joints
            float tone = hashf(static_cast<int>(bx), static_cast<int>(course), 81);
            Col c = mix(Col{0.4f, 0.37f, 0.33f}, Col{0.5f, 0.46f, 0.4f}, tone);
            c = c * (0.88f + 0.24f * fbm(x * 0.02f + bx * 7, y * 0.02f, 3, 82));
            if (mortar < 1.6f) c = Col{0.22f, 0.2f, 0.18f};
            else if (my < 4) c = c * 1.06f;  // upper edge of each block catches the light
            // The moulded surround of the window.
            if (outer < 34) {
                float t = outer / 34;
                float relief = std::cos(t * 2.5f * kPi);
                c = Col{0.55f, 0.51f, 0.45f} * (0.75f + 0.2f * relief) * (0.9f + 0.2f * fbm(x * 0.05f, y * 0.05f, 2, 83));
            }
            // The sill juts out below the window.
            if (y > sill && y < sill + 26 && std::fabs(x - cx) < halfW + 60) {
                float t = (y - sill) / 26;
                c = t < 0.35f ? Col{0.66f, 0.62f, 0.55f} : Col{0.36f, 0.33f, 0.3f} * (1.2f - t * 0.5f);
            }
            if (y >= sill + 26 && y < sill + 60 && std::fabs(x - cx) < halfW + 60)
                c = c * (0.6f + 0.4f * (y - sill - 26) / 34);  // the sill's shadow
            // Coloured light from the window falls on the stone.
            float glowD = std::max(outer, 0.0f);
            Col tint = mix(Col{0.5f, 0.45f, 0.8f}, Col{0.9f, 0.6f, 0.4f}, clamp01((y - 100) / 500));
            c = c * (0.3f + 0.7f * std::exp(-glowD / 200.0f)) + tint * (0.14f * std::exp(-glowD / 90.0f));
            return c;
        }
        // Inside the window: stone tracery first, then glass between it.
        float lanL = sdArch(x, y, cx - lanOff, lanHalf, lanSpring, sill, lanR);
        float lanRt = sdArch(x, y, cx + lanOff, lanHalf, lanSpring, sill, lanR);
        float rose = sdCircle(x, y, roseX, roseY, roseR);
        float stone = std::min({std::fabs(lanL), std::fabs(lanRt), std::fabs(rose), std::fabs(outer)}) - bar;
        // A stone rebate lines the inside of the main arch.
        if (outer > -bar - 4) stone = std::min(stone, -(outer + bar + 4));
        Col glass;
        float lead = 1;  // 1 = clear glass, 0 = lead
        float lightness = 1.0f - 0.25f * clamp01((y - 60) / 550) + 0.15f * (fbm(x * 0.01f, y * 0.01f, 3, 84) - 0.5f);
        if (rose < 0) {
            float dx = x - roseX, dy = y - roseY, rho = std::hypot(dx, dy);
            float theta = std::atan2(dy, dx) + kPi;
            float seg = theta / (2 * kPi) * 12.0f, segF = seg - std::floor(seg);
            int si = static_cast<int>(seg);
            if (rho < 20) glass = Col{0.98f, 0.8f, 0.25f};
            else if (rho < 48) glass = glassColour(si % 2 ? 1 : 0, si);
            else glass = glassColour(si % 2 ? 2 : 3, si);
            // Petal tips are round: the outer ring cuts each petal in an arc.
            float petal = rho - (48 + 16 * std::sin(segF * kPi));
            if (rho > 48 && petal > 0) glass = glassColour(4, si + 1);
            float segLine = std::min(segF, 1 - segF) * 2 * kPi * rho / 12.0f;
            if (rho > 20 && segLine < 1.2f) lead = 0;
            if (std::fabs(rho - 20) < 1.2f || std::fabs(rho - 48) < 1.2f || std::fabs(petal) < 1.2f) lead = 0;
        } else if (lanL < 0 || lanRt < 0) {
            float lan = lanL < 0 ? lanL : lanRt;
            float lcx = lanL < 0 ? cx - lanOff : cx + lanOff;
            float medal = sdCircle(x, y, lcx, 470, 46);
            if (lan > -16) {
                // Border of alternating small panes.
                int k = static_cast<int>(std::floor((y + (x - lcx) * 0.3f) / 22.0f));
                glass = glassColour(k % 2 ? 2 : 1, static_cast<uint32_t>(k));
                if (std::fabs(lan + 16) < 1.2f || std::fmod(y + (x - lcx) * 0.3f + 2200, 22.0f) < 1.5f) lead = 0;
            } else if (medal < 0) {
                // A medallion: a golden cross on ruby.
                float cross = std::min(sdBox(x, y, lcx - 9, 434, lcx + 9, 506), sdBox(x, y, lcx - 28, 461, lcx + 28, 479));
                glass = cross < 0 ? Col{0.98f, 0.82f, 0.3f} : glassColour(1, 0);
                if (std::fabs(medal) < 1.3f || std::fabs(cross) < 1.2f) lead = 0;
            } else {
                Cell cl = cells(x / 26.0f, y / 26.0f, 85);
                int fam = (cl.id % 10) < 6 ? 0 : (cl.id % 10) < 8 ? 4 : (cl.id % 10) < 9 ? 3 : 2;
                glass = glassColour(fam, cl.id >> 4);
                if (cl.edge * 26 < 1.3f || std::fabs(medal) < 1.3f) lead = 0;
            }
            // Iron saddle bars across the lights.
            if (std::fmod(y, 78.0f) < 2.5f) lead = 0;
        } else {
            // Spandrels between the lights and the rose.
            Cell cl = cells(x / 18.0f, y / 18.0f, 86);
            static const int spandrel[] = {4, 0, 3, 4, 0, 2, 4, 3};
            glass = glassColour(spandrel[cl.id % 8], cl.id >> 4);
            if (cl.edge * 18 < 1.2f) lead = 0;
            // Beside and between the lights the tracery is solid stone down to the sill.
            if (y > lanSpring - 30) stone = std::min(stone, -bar);
        }
        Col c = glass * (1.15f * lightness) * (0.9f + 0.15f * fbm(x * 0.05f, y * 0.05f, 2, 87));
        c = mix(Col{0.04f, 0.035f, 0.03f}, c, lead);
        if (stone < 0) {
            float t = clamp01(-stone / bar);
            c = Col{0.48f, 0.45f, 0.4f} * (0.7f + 0.3f * t);
        }
        return c;
    });
    bloom(img, 0.55f, 14, 0.5f);
    return img;
}

Image musicBox() {
    // The open lid stands up behind; the box's inside, its front rim and front face follow.
    const float lidY0 = 20, lidY1 = 268, bodyX0 = 70, bodyX1 = 954;
    const float backRim = 292, frontRim = 580, faceBottom = 768;
    const float cylX0 = 210, cylX1 = 760, cylY = 362, cylR = 42;
    const Col walnutL = {0.55f, 0.3f, 0.14f}, walnutD = {0.22f, 0.1f, 0.04f};

    return render(kW, kH, 2, [&](float x, float y) -> Col {
        // Dark cloth the box stands on.
        Col c = Col{0.08f, 0.06f, 0.07f} * (0.8f + 0.4f * fbm(x * 0.02f, y * 0.02f, 3, 91));
        if (x < bodyX0 - 20 || x > bodyX1 + 20) return c;

        // Lid, open behind the box: a frame around an inlaid panel.
        if (y >= lidY0 && y < lidY1 && x > bodyX0 && x < bodyX1) {
            Col l = wood(x, y * 1.5f, 92, walnutL, walnutD);
            float panel = sdBox(x, y, bodyX0 + 40, lidY0 + 30, bodyX1 - 40, lidY1 - 24);
            if (panel < 0) {
                l = wood(x * 0.7f + 300, y * 1.2f, 93, Col{0.72f, 0.45f, 0.22f}, Col{0.42f, 0.22f, 0.1f});
                if (std::fabs(panel + 12) < 2.5f) l = Col{0.9f, 0.8f, 0.6f};  // light stringing
                // Marquetry: a flower in pale woods in an oval.
                float ex = (x - 512) / 150, ey = (y - 144) / 78;
                float oval = std::sqrt(ex * ex + ey * ey);
                if (oval < 1) {
                    l = Col{0.2f, 0.1f, 0.05f} * (0.9f + 0.2f * fbm(x * 0.05f, y * 0.2f, 2, 94));
                    float dx = (x - 512) / 1.6f, dy = y - 144, rho = std::hypot(dx, dy);
                    float theta = std::atan2(dy, dx);
                    float petal = 52 * std::fabs(std::cos(3 * theta));
                    if (rho < petal) l = mix(Col{0.92f, 0.78f, 0.55f}, Col{0.75f, 0.5f, 0.3f}, rho / 60);
                    if (rho < 12) l = Col{0.55f, 0.3f, 0.12f};
                    for (float side : {-1.0f, 1.0f}) {  // leaves
                        float lx = (x - 512 - side * 100) / 38, ly = (y - 150 - 0.4f * (x - 512 - side * 100)) / 12;
                        if (lx * lx + ly * ly < 1) l = Col{0.5f, 0.55f, 0.25f} * (0.8f + 0.2f * ly);
                    }
                }
                if (std::fabs(oval - 1) < 0.02f) l = Col{0.9f, 0.8f, 0.6f};
            } else {
                l = l * (0.85f + 0.3f * smooth(0, 40, -sdBox(x, y, bodyX0, lidY0, bodyX1, lidY1)));
            }
            // A broad soft reflection across the polished lid.
            float sheen = std::exp(-std::pow((x - 1.6f * y - 200) / 160, 2.0f));
            return l + Col{0.25f, 0.2f, 0.15f} * (0.5f * sheen);
        }
        if (y < backRim) {
            if (y < lidY1) return c;
            // The lid's hinge edge and the back wall's top.
            if (y < lidY1 + 8) return brass(0.5f + 0.5f * std::sin((y - lidY1) / 8 * kPi));
            Col rim = wood(x, y * 3, 95, walnutL, walnutD);
            return rim * (1.2f - 0.4f * (y - lidY1 - 8) / 16);
        }
        if (y < frontRim) {
            // The inside: velvet side walls, then the brass works on a bedplate.
            float side = std::min(x - bodyX0, bodyX1 - x);
            if (side < 28) {
                Col rim = wood(y * 3, x, 96, walnutL, walnutD);
                return rim * (0.9f + 0.3f * (side / 28));
            }
            Col in = Col{0.35f, 0.05f, 0.07f} * (0.6f + 0.25f * fbm(x * 0.05f, y * 0.05f, 3, 97));
            in = in * (0.6f + 0.4f * clamp01((y - backRim) / 40));
            float plate = sdBox(x, y, 160, 310, 864, 548);
            if (plate < 0) {
                in = Col{0.55f, 0.42f, 0.2f} * (0.75f + 0.3f * fbm(x * 0.3f, y * 0.01f, 2, 98));  // brushed
                if (plate > -4) in = brass(0.9f);
            } else if (plate < 6) {
                in = in * 0.5f;  // shadow under the plate's edge
            }
            // Comb: teeth from a slanted base up to the cylinder; the long bass teeth on the left.
            float teethTop = cylY + cylR - 4;
            float baseY = 488 - 40 * (x - cylX0) / (cylX1 - cylX0);
            if (x > cylX0 && x < cylX1 && y > teethTop && y < 530) {
                float tooth = std::fmod(x - cylX0, 9.0f);
                if (y > baseY) {
                    float t = (y - baseY) / (530 - baseY);
                    in = mix(Col{0.82f, 0.8f, 0.74f}, Col{0.45f, 0.43f, 0.4f}, t);  // steel comb base
                    in = in * (0.92f + 0.1f * fbm(x * 0.2f, y * 0.01f, 2, 102));
                    float screw = std::fmod(x - cylX0 + 45, 110.0f) - 55;
                    float sd = std::hypot(screw, y - (baseY + 22));
                    if (sd < 9) in = brass(0.95f - sd / 12 + (std::fabs(screw) < 1.2f ? -0.5f : 0.0f));
                } else if (tooth > 1.5f) {
                    float across = (tooth - 1.5f) / 7.5f;
                    in = Col{0.72f, 0.72f, 0.7f} * (0.65f + 0.5f * std::sin(across * kPi));
                } else {
                    in = in * 0.35f;  // gap between teeth
                }
            }
            // Cylinder: a brass drum, shaded by its curvature, studded with pins.
            float dy = (y - cylY) / cylR;
            if (x > cylX0 && x < cylX1 && std::fabs(dy) < 1) {
                float theta = std::asin(dy);
                float facing = std::cos(theta - 0.35f);
                in = brass(0.2f + 0.8f * facing);
                float stripe = std::exp(-std::pow((dy + 0.4f) / 0.12f, 2.0f));
                in = in + Col{0.3f, 0.28f, 0.2f} * stripe;
                // Pins on a grid in (x, angle) space, so they bunch up toward the drum's edges.
                float arc = theta * cylR * 1.4f;
                float gx = (x - cylX0) / 9.0f, ga = arc / 7.0f + 20;
                int ix = static_cast<int>(gx), ia = static_cast<int>(std::floor(ga));
                if (hashf(ix, ia, 99) < 0.16f) {
                    float px = (ix + 0.5f) * 9.0f + cylX0;
                    float py = cylY + cylR * std::sin(((ia + 0.5f) - 20) * 7.0f / (cylR * 1.4f));
                    float pd = std::hypot(x - px, (y - py) / std::max(0.3f, std::cos(theta)));
                    // Steel pins: lit on top, dark below, with a short shadow on the brass.
                    if (pd < 2.0f) in = mix(Col{0.95f, 0.95f, 0.9f}, Col{0.25f, 0.24f, 0.22f}, clamp01(0.5f + (y - py) / 2.5f));
                    else if (pd < 3.4f && y > py) in = in * 0.5f;
                }
            }
            // Bearings at the drum's ends and the governor's fan at the right.
            for (float ex : {cylX0 - 14, cylX1 + 14}) {
                float bd = sdBox(x, y, ex - 12, cylY - 30, ex + 12, cylY + 30);
                if (bd < 0) in = brass(0.8f - 0.5f * (x - ex + 12) / 24);
            }
            float gd = std::hypot(x - 820, y - 430);
            float ang = std::atan2(y - 430, x - 820);
            float teeth = 34 + 3 * (std::sin(ang * 24) > 0 ? 1 : -1);
            if (gd < teeth) {
                in = brass(0.75f - 0.4f * (y - 430) / 40);
                if (gd < 22 && gd > 8 && std::fmod(ang + kPi, kPi / 3) < 0.5f) in = in * 0.4f;
                if (gd < 5) in = Col{0.85f, 0.85f, 0.8f};
            }
            return in;
        }
        // Front rim (the top of the front wall) and the front face.
        if (y < frontRim + 22) {
            Col rim = wood(x, y * 3, 100, walnutL, walnutD);
            return rim * (1.25f - 0.5f * (y - frontRim) / 22) + Col{0.12f, 0.1f, 0.08f};
        }
        Col face = wood(x, y, 101, walnutL, walnutD);
        float down = (y - frontRim - 22) / (faceBottom - frontRim - 22);
        face = face * (1.0f - 0.35f * down);
        float sheen = std::exp(-std::pow((y - 640) / 30.0f, 2.0f)) * (0.6f + 0.4f * std::sin(x * 0.004f));
        face = face + Col{0.22f, 0.17f, 0.12f} * sheen;
        float edge = std::min(x - bodyX0, bodyX1 - x);
        face = face * (0.7f + 0.3f * clamp01(edge / 30));
        return face;
    });
}

Image glee() {
    const float vx = 512, vy = 260, floorY = 470;
    struct Beam {
        float sx, sy, tx, ty;
        Col c;
    };
    const Beam beams[] = {
        {150, 44, 330, 520, {1.0f, 0.2f, 0.75f}},
        {330, 44, 440, 410, {0.2f, 0.75f, 1.0f}},
        {512, 44, 512, 470, {1.0f, 0.72f, 0.25f}},
        {694, 44, 590, 410, {0.35f, 1.0f, 0.4f}},
        {874, 44, 700, 520, {0.45f, 0.35f, 1.0f}},
    };

    // How brightly the spot lights a surface at (x, y): an oval pool around each target.
    auto pools = [&](float x, float y) {
        Col sum;
        for (const Beam& b : beams) {
            float dx = (x - b.tx) / 120, dy = (y - b.ty) / 45;
            sum = sum + b.c * (1.3f * std::exp(-(dx * dx + dy * dy) * 1.5f));
        }
        return sum;
    };

    // The beams as seen through a light haze.
    auto beamLight = [&](float x, float y) {
        Col sum;
        float haze = 0.6f + 0.8f * fbm(x * 0.006f, y * 0.012f, 4, 114);
        for (const Beam& b : beams) {
            float ax = b.tx - b.sx, ay = b.ty - b.sy, len = std::hypot(ax, ay);
            ax /= len;
            ay /= len;
            float px = x - b.sx, py = y - b.sy;
            float t = (px * ax + py * ay) / len;
            if (t < 0 || t > 1) continue;
            float lateral = std::fabs(px * ay - py * ax);
            float radius = 8 + 100 * t;
            float cone = smooth(1.0f, 0.55f, lateral / radius);
            sum = sum + b.c * (0.32f * cone * haze * (1.0f - 0.5f * t) * smooth(1.0f, 0.8f, t));
        }
        return sum;
    };

    Image img = render(kW, kH, 2, [&](float x, float y) -> Col {
        Col albedo, c;
        bool surface = true;
        // Risers: three curved tiers, the back one highest; nearer tiers hide the ones behind.
        int tier = -1;
        float tierT = 0;
        bool tread = false;
        for (int k = 0; k < 3; ++k) {
            float half = 360 - 40 * k;
            float bend = 38 * std::pow((x - vx) / half, 2.0f);
            float bottom = floorY + 50 - 46 * k - bend, faceTop = bottom - 40, top = faceTop - 14;
            if (std::fabs(x - vx) < half && y > top && y < bottom) {
                tier = k;
                tread = y < faceTop;
                tierT = tread ? (y - top) / 14 : (y - faceTop) / 40;
            }
        }
        if (tier >= 0) {
            albedo = tread ? Col{0.55f, 0.53f, 0.56f} : Col{0.26f, 0.25f, 0.28f} * (1.0f - 0.45f * tierT);
            if (!tread && tierT < 0.08f) albedo = Col{0.8f, 0.8f, 0.82f};  // nosing strip
        } else if (y > floorY) {
            // Stage boards running toward the back, dark and glossy.
            float ws = (y - vy) / (floorY - vy);
            float wx = (x - vx) / ws;
            albedo = wood(300.0f / ws, wx * 1.5f, 111, Col{0.3f, 0.2f, 0.13f}, Col{0.14f, 0.09f, 0.06f});
            if (std::fmod(std::fabs(wx) + 1000, 36.0f) < 0.9f) albedo = albedo * 0.5f;
        } else {
            // Back curtain with soft folds and a scatter of tiny lights.
            surface = false;
            float folds = 0.5f + 0.5f * std::cos(x * 0.09f + 2 * fbm(x * 0.01f, 0, 2, 112));
            c = mix(Col{0.03f, 0.02f, 0.08f}, Col{0.12f, 0.05f, 0.2f}, folds) * (0.6f + 0.5f * y / floorY);
            Cell st = cells(x / 22.0f, y / 22.0f, 113);
            if ((st.id & 15) == 0) c = c + Col{0.9f, 0.85f, 1.0f} * std::exp(-std::pow(st.f1 * 22 / 1.3f, 2.0f));
        }
        if (surface) {
            Col light = Col{0.14f, 0.13f, 0.18f} + pools(x, y);
            c = albedo * light + pools(x, y) * 0.12f;
            // The glossy floor mirrors the beams faintly.
            if (y > floorY && tier < 0) c = c + beamLight(x, 2 * floorY - y) * (0.25f * std::exp(-(y - floorY) / 90));
        }
        c = c + beamLight(x, y);
        // Lighting truss across the top, with a lamp for every beam.
        if (y > 20 && y < 60) {
            bool chord = (y < 27) || (y > 53);
            float zig = std::fmod(x, 52.0f);
            float diag = std::fabs((y - 27) - (zig < 26 ? zig : 52 - zig));
            if (chord || diag < 1.8f) c = Col{0.35f, 0.35f, 0.38f} * (y < 40 ? 1.0f : 0.7f);
        }
        for (const Beam& b : beams) {
            float d = std::hypot(x - b.sx, y - b.sy);
            if (sdBox(x, y, b.sx - 13, b.sy - 20, b.sx + 13, b.sy + 4) < 0) c = Col{0.06f, 0.06f, 0.07f};
            c = c + (b.c * 0.6f + Col{0.6f, 0.6f, 0.6f}) * (1.8f * std::exp(-d * d / 60.0f)) +
                b.c * (0.25f * std::exp(-d * d / 2500.0f));
        }
        return c;
    });
    bloom(img, 0.75f, 8, 0.6f);
    return img;
}

// ---------------------------------------------------------------------------------------
// The desktop icon: 256x256, five keys of a keyboard under a warm spot light on a rounded
// wooden tile, with transparent corners.

constexpr float kIcon = 256;

// Signed distance to the tile: a square with rounded corners, inset from the icon's edge.
float iconTile(float x, float y) {
    const float radius = 44, inset = 8, half = kIcon / 2 - inset - radius;
    const float qx = std::fabs(x - kIcon / 2) - half, qy = std::fabs(y - kIcon / 2) - half;
    return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - radius;
}

Image icon() {
    return render(256, 256, 4, [](float x, float y) {
        const float spot = std::exp(-std::pow((x - 128) / 120, 2.0f) - std::pow((y - 30) / 130, 2.0f));
        Col c = wood(x * 3, y * 3, 501, {0.58f, 0.34f, 0.16f}, {0.24f, 0.11f, 0.04f}) * (0.45f + 0.7f * spot);
        const float left = 36, right = 220, top = 84, bottom = 206, width = (right - left) / 5;
        // The keyboard's shadow on the wood, then its keys.
        if (sdBox(x, y, left + 4, top + 6, right + 4, bottom + 8) < 0) c = c * 0.45f;
        if (x >= left && x < right && y >= top && y < bottom) {
            const float along = std::fmod(x - left, width);
            const float gap = std::min(along, width - along);
            const Col ivory = mix(Col{0.78f, 0.76f, 0.72f}, Col{1.0f, 0.99f, 0.95f}, smooth(top, top + 50, y));
            c = gap < 1.6f ? Col{0.18f, 0.16f, 0.15f} : ivory * (1 - 0.3f * smooth(bottom - 16, bottom, y));
            for (int b : {1, 2, 4}) {
                const float bx = left + b * width, blackBottom = top + 0.6f * (bottom - top);
                if (std::fabs(x - bx) < 0.3f * width && y < blackBottom) {
                    // Lit from above: a highlight along the top of the key's front.
                    const float sheen = smooth(blackBottom - 14, blackBottom - 4, y) * (1 - smooth(blackBottom - 4, blackBottom, y));
                    c = mix(Col{0.04f, 0.04f, 0.05f}, Col{0.42f, 0.42f, 0.46f}, sheen);
                }
            }
        }
        // A darker rim gives the tile an edge on light desktops.
        const float d = iconTile(x, y);
        return c * (d > -5 ? 0.55f : 1.0f);
    });
}

// Coverage of the tile, for the icon's alpha channel.
Image iconCoverage() {
    return render(256, 256, 4, [](float x, float y) {
        const float a = iconTile(x, y) < 0 ? 1.0f : 0.0f;
        return Col{a, a, a};
    });
}

bool savePngWithAlpha(const std::string& path, const Image& img, const Image& alpha) {
    const auto rgb = bytes(img);
    const auto a = bytes(alpha);
    std::vector<unsigned char> rgba(img.px.size() * 4);
    for (size_t i = 0; i < img.px.size(); ++i) {
        for (int k = 0; k < 3; ++k) rgba[i * 4 + k] = rgb[i * 3 + k];
        rgba[i * 4 + 3] = a[i * 3];
    }
    stbi_write_png_compression_level = 9;
    return stbi_write_png(path.c_str(), img.w, img.h, 4, rgba.data(), img.w * 4) != 0;
}

struct Picture {
    const char* name;
    const char* file;
    std::function<Image()> make;
    int pngLevels;  // for PNGs: channel steps kept (0 = all)
    std::function<Image()> alpha = nullptr;  // for PNGs: an alpha channel, when wanted
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [name...]\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::vector<Picture> pictures = {
        {"skin", "textures/skin.jpg", skin, 0},
        {"rock", "textures/rock.jpg", rock, 0},
        {"flames", "textures/flames.jpg", flames, 0},
        {"hall", "backgrounds/hall.jpg", hall, 0},
        {"space", "backgrounds/space.jpg", space, 0},
        {"church", "backgrounds/church.png", church, 64},
        {"music_box", "backgrounds/music_box.png", musicBox, 64},
        {"glee", "backgrounds/glee.jpg", glee, 0},
        {"icon", "../packaging/tinklewood.png", icon, 0, iconCoverage},
    };
    std::vector<std::string> wanted(argv + 2, argv + argc);
    int failures = 0;
    for (const Picture& p : pictures) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), p.name) == wanted.end()) continue;
        Image img = p.make();
        const std::string path = out + "/" + p.file;
        bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
        bool ok = p.alpha ? savePngWithAlpha(path, img, p.alpha())
                  : png   ? savePng(path, img, p.pngLevels)
                          : saveJpg(path, img);
        std::printf("%-10s %s %s\n", p.name, path.c_str(), ok ? "written" : "FAILED");
        failures += ok ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
