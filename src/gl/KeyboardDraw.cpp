// Drawing the keys: bodies lit in their material or the glow, outlines as lines on top.
// The fast path sends each body from a cached mesh that is made again only when what it
// depends on changes (the view, the lights, the key's press or its material); when only the
// view has changed, only the faces a highlight can reach are merged again.
#include "KeyboardDraw.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Draw.h"
#include "KeyboardMesh.h"
#include "Scene.h"

namespace {
const float BODY_RES = 0.02f;  // 50 x 50 quads a face: the finest grid the lighting is seen through

// Everything a key's cached body was made from; equal inputs give the same mesh.
struct KeyMesh {
    bool made = false;
    BoxSize size{};
    std::array<float, 3> centre{};
    SurfaceMaterial material;
    LightingState lighting;
    Matrix4 modelview{};
    float tolerance = 0;
    LitBoxMesh body;
    std::vector<MeshVertex> outline;
    BoxSize outlineSize{};
    unsigned outlineFaces = 0;  // the faces the outline was made of
};

// The light parameters GL holds now (positions and directions already in eye coordinates).
// Which lights are on is read per key: an outline pass may switch them off and on.
LightingState readLighting() {
    LightingState s;
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, s.sceneAmbient.data());
    GLint local = 0;
    glGetIntegerv(GL_LIGHT_MODEL_LOCAL_VIEWER, &local);
    s.localViewer = local != 0;
    for (int i = 0; i < 8; ++i) {
        LightSource& l = s.lights[i];
        const GLenum light = GL_LIGHT0 + i;
        glGetLightfv(light, GL_AMBIENT, l.ambient.data());
        glGetLightfv(light, GL_DIFFUSE, l.diffuse.data());
        glGetLightfv(light, GL_SPECULAR, l.specular.data());
        glGetLightfv(light, GL_POSITION, l.position.data());
        glGetLightfv(light, GL_SPOT_DIRECTION, l.spotDirection.data());
        glGetLightfv(light, GL_SPOT_EXPONENT, &l.spotExponent);
        glGetLightfv(light, GL_SPOT_CUTOFF, &l.spotCutoff);
        glGetLightfv(light, GL_CONSTANT_ATTENUATION, &l.constantAttenuation);
        glGetLightfv(light, GL_LINEAR_ATTENUATION, &l.linearAttenuation);
        glGetLightfv(light, GL_QUADRATIC_ATTENUATION, &l.quadraticAttenuation);
    }
    return s;
}

void readSwitches(LightingState& s) {
    s.lighting = glIsEnabled(GL_LIGHTING);
    for (int i = 0; i < 8; ++i) s.lights[i].enabled = glIsEnabled(GL_LIGHT0 + i);
    if (!s.lighting) {
        float c[4];
        glGetFloatv(GL_CURRENT_COLOR, c);
        s.currentColour = {c[0], c[1], c[2]};
    }
}

SurfaceMaterial readFrontMaterial() {
    SurfaceMaterial m;
    glGetMaterialfv(GL_FRONT, GL_EMISSION, m.emission.data());
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, m.ambient.data());
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, m.diffuse.data());
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, m.specular.data());
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &m.shininess);
    return m;
}

// Where drawKey puts the key's box, and how big it is, for its press now.
void placement(const PianoKey& key, BoxSize& size, std::array<float, 3>& centre) {
    centre = {key.posX, key.posY - key.height * 0.25f * key.pressFactor, key.posZ};
    size = {key.width, key.height * (1 - key.pressFactor * 0.5f), key.length};
}

void drawMesh(const std::vector<MeshVertex>& mesh, const std::array<float, 3>& centre) {
    if (mesh.empty()) return;
    glPushMatrix();
    glTranslatef(centre[0], centre[1], centre[2]);
    glInterleavedArrays(GL_T2F_N3F_V3F, sizeof(MeshVertex), mesh.data());
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(mesh.size()));
    glPopMatrix();
}

// What a key's body is drawn from this frame: the GL state its drawing meets.
struct BodyInputs {
    BoxSize size{};
    std::array<float, 3> centre{};
    SurfaceMaterial material;
    LightingState lighting;
    Matrix4 modelview{};
};

const CuboidGrid BODY_GRID(BODY_RES);

bool meshFits(const KeyMesh& m, const BodyInputs& in, float tolerance) {
    return m.made && m.size.width == in.size.width && m.size.height == in.size.height &&
           m.size.length == in.size.length && m.centre == in.centre && m.material == in.material &&
           m.lighting == in.lighting && m.modelview == in.modelview && m.tolerance == tolerance;
}

// Returns the number of faces merged anew.
int makeMesh(KeyMesh& m, const BodyInputs& in, float tolerance) {
    const int merged = m.body.make(in.size, BODY_GRID, in.modelview, in.lighting, in.material, tolerance);
    m.made = true;
    m.size = in.size;
    m.centre = in.centre;
    m.material = in.material;
    m.lighting = in.lighting;
    m.modelview = in.modelview;
    m.tolerance = tolerance;
    return merged;
}

// One thread, kept from the first frame with meshes to share out to the end of the program,
// that makes meshes beside the drawing thread: the keys do not depend on one another, and
// starting a thread every frame would cost more than the work it takes over.
class MeshWorker {
public:
    ~MeshWorker() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

    // Calls job(k) for every k below count, on this thread and the worker, and returns once
    // all of them are done.
    void share(size_t count, const std::function<void(size_t)>& job) {
        if (count < 2) {
            for (size_t k = 0; k < count; ++k) job(k);
            return;
        }
        if (!thread_.joinable()) thread_ = std::thread([this] { serve(); });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            count_ = count;
            next_ = 0;
            working_ = true;
            ++round_;
        }
        wake_.notify_one();
        take();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return !working_; });
        job_ = nullptr;
    }

private:
    void take() {
        for (size_t k; (k = next_++) < count_;) (*job_)(k);
    }
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (unsigned served = 0;;) {
            wake_.wait(lock, [&] { return stopping_ || round_ != served; });
            if (stopping_) return;
            served = round_;
            lock.unlock();
            take();
            lock.lock();
            working_ = false;
            done_.notify_one();
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(size_t)>* job_ = nullptr;
    size_t count_ = 0;
    std::atomic<size_t> next_{0};
    unsigned round_ = 0;
    bool working_ = false, stopping_ = false;
};

// Lines along the edges of the faces turned towards the eye: every edge drawKey(1) draws
// that can be seen.
void drawCachedOutline(KeyMesh& m, const PianoKey& key, const Matrix4& camera) {
    BoxSize size;
    std::array<float, 3> centre;
    placement(key, size, centre);
    const std::array<float, 3> eye = eyeInModel(translated(camera, centre[0], centre[1], centre[2]));
    const unsigned faces = facesTowards(size, eye);
    if (m.outline.empty() || m.outlineSize.width != size.width || m.outlineSize.height != size.height ||
        m.outlineSize.length != size.length || m.outlineFaces != faces) {
        m.outline.clear();
        appendBoxOutline(m.outline, size, eye);
        m.outlineSize = size;
        m.outlineFaces = faces;
    }
    drawMesh(m.outline, centre);
}

// A key just played along takes on its colour, right or wrong, and fades back to its own
// material over FEEDBACK_SECONDS: its surface takes the colour where the light falls (a white
// key lit would only turn whiter with a glow added) and glows with half of it in the dark.
// False, with nothing set, when it shows none.
bool setFeedbackMaterial(const KeyFeedback& feedback, bool black) {
    if (feedback.kind == KeyFeedback::NONE || feedback.age >= FEEDBACK_SECONDS) return false;
    const RGBA& colour = feedback.kind == KeyFeedback::RIGHT ? RIGHT_COLOUR : WRONG_COLOUR;
    const float strength = 1 - std::max(feedback.age, 0.0f) / FEEDBACK_SECONDS;
    Material& own = black ? BLACK_KEY_COLOUR : WHITE_KEY_COLOUR;
    setMaterial(own);
    RGBA ambient{}, diffuse{}, specular{}, emission{};
    for (int c = 0; c < 3; ++c) {
        ambient[c] = own[0][c] * (1 - strength);
        diffuse[c] = own[1][c] * (1 - strength) + colour[c] * strength;
        specular[c] = own[2][c] * (1 - strength);
        emission[c] = colour[c] * strength * 0.5f;
    }
    ambient[3] = diffuse[3] = specular[3] = emission[3] = 1;
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient.data());
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse.data());
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular.data());
    glMaterialfv(GL_FRONT, GL_EMISSION, emission.data());
    return true;
}

// The state changes around one key, in the order the keyboard's drawing makes them, with
// the body and the outline drawn by the two callbacks.
template <typename Body, typename Outline>
void keyInState(const Scene& scene, int i, Body body, Outline outline) {
    const PianoKey* key = &scene.keys[static_cast<std::size_t>(i)];
    const bool glowOn = scene.glowOn, concertOn = scene.concertOn;
    const bool black = i >= NUM_WHITE_KEYS;

    // Bodies are pushed back in depth so the outline along their edges stays visible.
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1, 2.05f);

    // The key a player playing along is to press next shines in a colour of its own; one just
    // played shows right or wrong, over the glow.
    const bool shown = setFeedbackMaterial(scene.feedback[static_cast<std::size_t>(i)], black);
    const bool hint = !shown && keyHinted(scene, i) && key->pressFactor == 0;
    if (!shown && glowOn && key->pressFactor > 0) {
        glMaterialfv(GL_FRONT, GL_EMISSION, GLOW_COLOUR.data());
        glMaterialfv(GL_FRONT, GL_AMBIENT, ZERO_COLOUR.data());
        glMaterialfv(GL_FRONT, GL_DIFFUSE, GLOW_COLOUR.data());
        // No highlight, whatever was drawn before: every key but the first met the outline's
        // black specular anyway, and a key's look must not depend on what came before it.
        glMaterialfv(GL_FRONT, GL_SPECULAR, ZERO_COLOUR.data());
    } else if (!shown) {
        setMaterial(black ? BLACK_KEY_COLOUR : WHITE_KEY_COLOUR);
        if (hint) glMaterialfv(GL_FRONT, GL_EMISSION, HINT_COLOUR.data());
    }
    body(i, *key);
    if ((black && glowOn) || hint || shown) glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());

    glDisable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(0, 0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    setMaterial(WHITE_KEY_OUTLINE_COLOUR);

    if (glowOn) {
        glMaterialfv(GL_FRONT, GL_EMISSION, GLOW_COLOUR.data());
    } else if (!concertOn) {
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
        glColor4f(0, 0, 0, 1);
    }
    outline(i, *key);
    if (glowOn) {
        glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());
    } else if (!concertOn) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
    }
}

}  // namespace

struct KeyboardDrawer::Cache {
    KeyMesh meshes[NUM_KEYS];
    MeshWorker worker;
};

KeyboardDrawer::KeyboardDrawer() : cache_(std::make_unique<Cache>()) {}

KeyboardDrawer::~KeyboardDrawer() = default;

void drawKey(const PianoKey& key, float res) {
    glPushMatrix();
    // The bottom face stays put; the top sinks by half the key's height when fully down.
    glTranslatef(key.posX, key.posY - key.height * 0.25f * key.pressFactor, key.posZ);
    drawCuboid(key.width, key.height * (1 - key.pressFactor * 0.5f), key.length, res);
    glPopMatrix();
}

ScreenBox keyBox(const PianoKey& key, const WindowProjection& camera) {
    BoxSize size;
    std::array<float, 3> c;
    placement(key, size, c);
    const float w = size.width / 2, h = size.height / 2, l = size.length / 2;
    const float corners[8][3] = {{c[0] - w, c[1] - h, c[2] - l}, {c[0] + w, c[1] - h, c[2] - l},
                                 {c[0] - w, c[1] + h, c[2] - l}, {c[0] + w, c[1] + h, c[2] - l},
                                 {c[0] - w, c[1] - h, c[2] + l}, {c[0] + w, c[1] - h, c[2] + l},
                                 {c[0] - w, c[1] + h, c[2] + l}, {c[0] + w, c[1] + h, c[2] + l}};
    // The outline's lines are two pixels wide, reaching one past the edges; one more for rounding.
    return camera.around(&corners[0][0], 8, 3, 2);
}

void KeyboardDrawer::drawImmediately(const Scene& scene, const KeySet& keys) {
    for (int i = 0; i < NUM_KEYS; ++i) {
        if (!keys[static_cast<std::size_t>(i)]) continue;
        keyInState(
            scene, i, [](int, const PianoKey& key) { drawKey(key, BODY_RES); },
            [](int, const PianoKey& key) { drawKey(key, 1); });
    }
}

void KeyboardDrawer::drawCached(const Scene& scene, const KeySet& keys) {
    KeyMesh* meshes = cache_->meshes;
    Matrix4 camera{};
    glGetFloatv(GL_MODELVIEW_MATRIX, camera.data());
    const LightingState lights = readLighting();

    // First the state changes alone, to learn the material and lights each body meets;
    // the state is put back as it was for the drawing that follows.
    BodyInputs inputs[NUM_KEYS];
    glPushAttrib(GL_LIGHTING_BIT | GL_ENABLE_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT);
    for (int i = 0; i < NUM_KEYS; ++i) {
        if (!keys[static_cast<std::size_t>(i)]) continue;
        keyInState(
            scene, i,
            [&](int k, const PianoKey& key) {
                BodyInputs& in = inputs[k];
                placement(key, in.size, in.centre);
                in.lighting = lights;
                readSwitches(in.lighting);
                in.material = readFrontMaterial();
                in.modelview = translated(camera, in.centre[0], in.centre[1], in.centre[2]);
            },
            [](int, const PianoKey&) {});
    }
    glPopAttrib();

    std::vector<int> stale;
    for (int i = 0; i < NUM_KEYS; ++i)
        if (keys[static_cast<std::size_t>(i)] && !meshFits(meshes[i], inputs[i], tolerance)) stale.push_back(i);
    int merged[NUM_KEYS] = {};
    const float shadeTolerance = tolerance;
    cache_->worker.share(stale.size(), [&](size_t k) {
        merged[k] = makeMesh(meshes[stale[k]], inputs[stale[k]], shadeTolerance);
    });
    stats_.keysRebuilt = static_cast<int>(stale.size());
    for (size_t k = 0; k < stale.size(); ++k) stats_.facesMerged += merged[k];

    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    for (int i = 0; i < NUM_KEYS; ++i) {
        if (!keys[static_cast<std::size_t>(i)]) continue;
        keyInState(
            scene, i,
            [&](int k, const PianoKey&) {
                stats_.bodyQuads += meshes[k].body.quads();
                drawMesh(meshes[k].body.vertices(), inputs[k].centre);
            },
            [&](int k, const PianoKey& key) { drawCachedOutline(meshes[k], key, camera); });
    }
    glPopClientAttrib();
}

void KeyboardDrawer::draw(const Scene& scene, const Solids& solids, const KeySet* only) {
    stats_ = {};
    const KeySet keys = only != nullptr ? *only : KeySet().set();
    if (solids.fast()) {
        drawCached(scene, keys);
        // llvmpipe rasterizes what it has been sent only when told to, on its own threads:
        // sent now, the keys are drawn while this thread works out what follows them.
        glFlush();
    } else {
        drawImmediately(scene, keys);
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_POLYGON_OFFSET_FILL);
}
