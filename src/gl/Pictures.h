// The hands' pictures and the background pictures: read and checked at start-up, decoded and
// uploaded to their two texture objects when the choice changes.
#pragma once

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "Resources.h"
#include "Scene.h"
#include "ScreenBox.h"
#include "ShellOnly.h"

inline constexpr std::array<std::string_view, numTextures> HAND_TEXTURE_FILES = {"skin.jpg", "rock.jpg",
                                                                                  "flames.jpg"};
inline constexpr std::array<std::string_view, numBackgrounds> BACKGROUND_FILES = {
    "hall.jpg", "space.jpg", "church.png", "music_box.png", "glee.jpg"};

struct CopyKey;

class Pictures {
public:
    explicit Pictures(const ResourcePaths& resources);
    ~Pictures();
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // Reads every picture (those that cannot be read are named on one line of stderr and shown
    // plain), makes the two texture objects and uploads the chosen hand picture.
    void load(int handTexture, int background);
    // Binds the hands' texture object, uploading the picture first when the choice changed.
    void bindHandTexture(int handTexture);
    // The background over the whole viewport at a brightness; fast draws it from a copy of the
    // window while nothing about it changes. Within the scissor box when the scissor test is on
    // (the copy is then neither taken nor let go). With `within`, only that part of the window
    // is drawn from the copy, for a caller whose window shows this background everywhere else
    // already; the whole of it while there is no copy, or when it is black. Leaves the depth
    // test, lighting and depth writes off, as the scene's drawing expects after it. Returns
    // whether it drew within `within` alone.
    bool drawBackground(int background, float intensity, bool fast, const ScreenBox* within = nullptr);
    // Whether there is a copy of the window showing this background at this brightness, for
    // drawCopyBehind, in the current viewport.
    bool hasCopyOf(int background, float intensity) const;
    // The copy within the boxes, behind what is drawn there already: only where the depth is
    // still the cleared one. Leaves the state as drawBackground does.
    void drawCopyBehind(const std::vector<ScreenBox>& boxes);

    // Whether drawing goes into the window, or elsewhere (a layer drawn upside down): a copy
    // of the window is taken only from the window.
    void drawIntoWindow(bool intoWindow) { intoWindow_ = intoWindow; }

    // How many times load has run: what a kept frame showed may have changed since.
    unsigned int loads() const { return loads_; }
    unsigned int handTexture() const { return handTex_; }
    unsigned int backgroundTexture() const { return backgroundTex_; }

private:
    struct Decoded;
    struct WindowCopy;

    void useHandTexture(int handTexture);
    void holdBackground(int background);
    void takeWindowCopy(const int vp[4], float intensity);
    void drawWindowCopy(const int vp[4], const std::vector<ScreenBox>& boxes);
    CopyKey copyKey(const int vp[4], float intensity) const;

    ResourcePaths resources_;
    std::vector<Decoded> hands_;
    std::vector<Decoded> backgrounds_;
    unsigned int handTex_ = 0;
    unsigned int backgroundTex_ = 0;
    int uploadedHandTexture_ = -1;
    // The background picture now in the background texture; -1 before the first upload.
    int uploadedBackground_ = -1;
    // Whether the background texture holds the picture's pixels. While a copy of the window
    // stands for the picture they are let go (3 MB), and decoded and uploaded again when the
    // copy goes stale.
    bool backgroundHeld_ = false;
    // Counts uploads into the background texture, so a copy of the window knows when it is stale.
    unsigned int backgroundUploads_ = 0;
    std::unique_ptr<WindowCopy> copy_;
    unsigned int loads_ = 0;
    bool intoWindow_ = true;
};
