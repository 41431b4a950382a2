// Scenes compared member by member, and the boxes of the window a frame draws again.
#include "FrameChanges.h"

#include <algorithm>

#include "HandDraw.h"

namespace {
bool same(float a, float b) { return a == b; }
bool same(const Vector& a, const Vector& b) {
    if (a.getDim() != b.getDim()) return false;
    for (int i = 0; i < a.getDim(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}
template <typename T, std::size_t N>
bool same(const std::array<T, N>& a, const std::array<T, N>& b) {
    for (std::size_t i = 0; i < N; ++i)
        if (!same(a[i], b[i])) return false;
    return true;
}

// Each of these names every member of its type in a structured binding, so that a member added
// to the type stops it compiling until the member is compared here too: a change nobody sorted
// can never be left undrawn.
bool same(const CameraState& a, const CameraState& b) {
    const auto& [position, rotation] = a;
    return same(position, b.position) && same(rotation, b.rotation);
}

bool same(const LightState& a, const LightState& b) {
    const auto& [lightPos, spotDir, spotCutoff, ambient, diffuse, specular, background, concertDirections] = a;
    return same(lightPos, b.lightPos) && same(spotDir, b.spotDir) && same(spotCutoff, b.spotCutoff) &&
           same(ambient, b.ambient_intensity) && same(diffuse, b.diffuse_intensity) &&
           same(specular, b.specular_intensity) && same(background, b.background_intensity) &&
           same(concertDirections, b.concertSpotDir);
}

bool same(const PianoKey& a, const PianoKey& b) {
    const auto& [width, height, length, posX, posY, posZ, pressFactor] = a;
    return same(width, b.width) && same(height, b.height) && same(length, b.length) && same(posX, b.posX) &&
           same(posY, b.posY) && same(posZ, b.posZ) && same(pressFactor, b.pressFactor);
}

bool same(const NoteBar& a, const NoteBar& b) {
    const auto& [key, right, start, end, awaited] = a;
    return key == b.key && right == b.right && same(start, b.start) && same(end, b.end) && awaited == b.awaited;
}
bool contains(const std::vector<PlacedBar>& bars, const PlacedBar& placed) {
    return std::any_of(bars.begin(), bars.end(),
                       [&](const PlacedBar& p) { return p.box == placed.box && same(p.bar, placed.bar); });
}

bool contains(const std::vector<OverlayItem>& items, const OverlayItem& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}
}  // namespace

bool changesEverywhere(const Scene& before, const Scene& now) {
    // Every member of Scene by name, as above. A new one is compared below by default, as a
    // change of the whole window, until it is given a place on screen in FrameLayout.
    [[maybe_unused]] const auto& [keys, leftHand, rightHand, camera, lights, glowOn, concertOn, background,
                                  handTexture, bars, lettersOn, letterNames, mode, hintKey, hintChord,
                                  feedback, caption, recording] = before;
    // keys (with their hints and colours of right and wrong), the hands, the bars of the notes
    // coming, and the overlay's letters (with the mode's chord names and the layout's names of
    // the letters), caption and recording mark have their places on screen: changedBoxes
    // compares them.
    return !same(camera, now.camera) || !same(lights, now.lights) || glowOn != now.glowOn ||
           concertOn != now.concertOn || background != now.activeBackground || handTexture != now.activeHandTexture;
}

bool sameBackground(const Scene& before, const Scene& now) {
    return before.activeBackground == now.activeBackground &&
           same(before.lights.background_intensity, now.lights.background_intensity);
}

bool sameView(const Scene& before, const Scene& now) { return same(before.camera, now.camera); }

ScreenBox aroundAll(const FrameLayout& a, const FrameLayout& b, int w, int h) {
    ScreenBox all;
    for (const FrameLayout* layout : {&a, &b}) {
        for (const ScreenBox& key : layout->keys) all = all.joined(key);
        all = all.joined(layout->leftHand).joined(layout->rightHand);
        for (const PlacedBar& bar : layout->bars) all = all.joined(bar.box);
        for (const OverlayItem& item : layout->overlay) all = all.joined(item.box);
    }
    return all.within(w, h);
}

std::vector<ScreenBox> coveredBy(const FrameLayout& layout, int w, int h) {
    std::vector<ScreenBox> parts;
    auto add = [&](const ScreenBox& box) {
        const ScreenBox cut = box.within(w, h);
        if (!cut.empty()) parts.push_back(cut);
    };
    for (const ScreenBox& key : layout.keys) add(key);
    add(layout.leftHand);
    add(layout.rightHand);
    for (const PlacedBar& bar : layout.bars) add(bar.box);
    for (const OverlayItem& item : layout.overlay) add(item.box);

    // Band by band between the rows where a box starts or ends, the runs the boxes crossing the
    // band cover; a run that goes on unchanged from the band below grows that band's box.
    std::vector<int> rows;
    for (const ScreenBox& b : parts) {
        rows.push_back(b.y0);
        rows.push_back(b.y1);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<ScreenBox> covered;
    std::vector<std::size_t> below, here;  // the boxes reaching the top of the band below, and of this one
    for (std::size_t r = 0; r + 1 < rows.size(); ++r) {
        const int y0 = rows[r], y1 = rows[r + 1];
        std::vector<std::pair<int, int>> runs;
        for (const ScreenBox& b : parts)
            if (b.y0 <= y0 && y1 <= b.y1) runs.push_back({b.x0, b.x1});
        std::sort(runs.begin(), runs.end());
        std::vector<std::pair<int, int>> merged;
        for (const auto& run : runs) {
            if (!merged.empty() && run.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, run.second);
            else
                merged.push_back(run);
        }
        here.clear();
        for (const auto& [x0, x1] : merged) {
            const auto same = std::find_if(below.begin(), below.end(), [&](std::size_t i) {
                return covered[i].x0 == x0 && covered[i].x1 == x1 && covered[i].y1 == y0;
            });
            if (same != below.end()) {
                covered[*same].y1 = y1;
                here.push_back(*same);
            } else {
                here.push_back(covered.size());
                covered.push_back({x0, y0, x1, y1});
            }
        }
        std::swap(below, here);
    }
    return covered;
}

std::vector<ScreenBox> changedBoxes(const Scene& before, const FrameLayout& was, const Scene& now,
                                    const FrameLayout& is, Parts parts) {
    std::vector<ScreenBox> boxes;
    auto moved = [&](const ScreenBox& from, const ScreenBox& to) {
        boxes.push_back(from);
        boxes.push_back(to);
    };
    const bool standing = parts != Parts::Over, over = parts != Parts::Standing;
    // The keys a player playing along is to press next shine, and those just played show right
    // or wrong: a key whose shine or colour changed is drawn again as one that moved.
    for (int i = 0; standing && i < NUM_KEYS; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        const bool hinted = keyHinted(before, i) != keyHinted(now, i);
        if (hinted || !sameFeedback(before.feedback[k], now.feedback[k]) || !same(before.keys[k], now.keys[k]))
            moved(was.keys[k], is.keys[k]);
    }
    if (standing && !samePose(before.leftHand, now.leftHand)) moved(was.leftHand, is.leftHand);
    if (standing && !samePose(before.rightHand, now.rightHand)) moved(was.rightHand, is.rightHand);
    if (!over) return boxes;
    // A bar, or an item drawn over the scene, that went, where it was; one that came, where it
    // is. One that moved or changed is both: bars travel a little every frame, and a bar is
    // known by what it is and where it stands, not by its place in the list.
    for (const PlacedBar& bar : was.bars)
        if (!contains(is.bars, bar)) boxes.push_back(bar.box);
    for (const PlacedBar& bar : is.bars)
        if (!contains(was.bars, bar)) boxes.push_back(bar.box);
    for (const OverlayItem& item : was.overlay)
        if (!contains(is.overlay, item)) boxes.push_back(item.box);
    for (const OverlayItem& item : is.overlay)
        if (!contains(was.overlay, item)) boxes.push_back(item.box);
    return boxes;
}

std::vector<ScreenBox> joinBoxes(std::vector<ScreenBox> boxes, int w, int h, long passPixels) {
    std::vector<ScreenBox> joined;
    for (const ScreenBox& box : boxes) {
        const ScreenBox cut = box.within(w, h);
        if (!cut.empty()) joined.push_back(cut);
    }
    // Join the pair that gains most until no pair gains: a few dozen boxes at most.
    for (;;) {
        long bestGain = -1;
        std::size_t bestI = 0, bestJ = 0;
        for (std::size_t i = 0; i < joined.size(); ++i) {
            for (std::size_t j = i + 1; j < joined.size(); ++j) {
                const long gain =
                    joined[i].area() + joined[j].area() + passPixels - joined[i].joined(joined[j]).area();
                if (gain > bestGain) {
                    bestGain = gain;
                    bestI = i;
                    bestJ = j;
                }
            }
        }
        if (bestGain < 0) return joined;
        joined[bestI] = joined[bestI].joined(joined[bestJ]);
        joined.erase(joined.begin() + static_cast<std::ptrdiff_t>(bestJ));
    }
}
