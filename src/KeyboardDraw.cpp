// Drawing the keys: bodies lit in their material or the glow, outlines as lines on top.
// The fast path sends each body from a cached mesh that is made again only when what it
// depends on changes (the view, the lights, the key's press or its material).
#include "KeyboardDraw.h"

#include <GL/gl.h>

#include "Draw.h"
#include "KeyboardMesh.h"
#include "Piano.h"

float keyShadeTolerance = 0.45f / 255.0f;

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
    std::vector<MeshVertex> body;
    std::vector<MeshVertex> outline;
    BoxSize outlineSize{};
    unsigned outlineFaces = 0;  // the faces the outline was made of
};

KeyMesh meshes[NUM_KEYS];
KeyboardDrawStats stats;

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

// The body with the material and lights GL holds now, from the cache when nothing it
// depends on has changed since it was made.
void drawCachedBody(int index, const PianoKey& key, const Matrix4& camera, const LightingState& lights) {
    KeyMesh& m = meshes[index];
    BoxSize size;
    std::array<float, 3> centre;
    placement(key, size, centre);
    LightingState lighting = lights;
    readSwitches(lighting);
    const SurfaceMaterial material = readFrontMaterial();
    const Matrix4 modelview = translated(camera, centre[0], centre[1], centre[2]);
    const bool same = m.made && m.size.width == size.width && m.size.height == size.height &&
                      m.size.length == size.length && m.centre == centre && m.material == material &&
                      m.lighting == lighting && m.modelview == modelview && m.tolerance == keyShadeTolerance;
    if (!same) {
        static const CuboidGrid grid(BODY_RES);
        m.body.clear();
        appendLitBox(m.body, size, grid, modelview, lighting, material, keyShadeTolerance);
        m.made = true;
        m.size = size;
        m.centre = centre;
        m.material = material;
        m.lighting = lighting;
        m.modelview = modelview;
        m.tolerance = keyShadeTolerance;
        ++stats.keysRebuilt;
    }
    stats.bodyQuads += static_cast<int>(m.body.size() / 4);
    drawMesh(m.body, centre);
}

// Lines along the edges of the faces turned towards the eye: every edge drawKey(1) draws
// that can be seen.
void drawCachedOutline(int index, const PianoKey& key, const Matrix4& camera) {
    KeyMesh& m = meshes[index];
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
}  // namespace

KeyboardDrawStats lastKeyboardDrawStats() { return stats; }

void PianoKey::drawKey(float res) {
    glPushMatrix();
    // The bottom face stays put; the top sinks by half the key's height when fully down.
    glTranslatef(posX, posY - height * 0.25f * pressFactor, posZ);
    drawCuboid(width, height * (1 - pressFactor * 0.5f), length, res);
    glPopMatrix();
}

void drawKeyboard() {
    const bool immediate = drawPath == DrawPath::Immediate;
    stats = {};
    Matrix4 camera{};
    LightingState lights;
    if (!immediate) {
        glGetFloatv(GL_MODELVIEW_MATRIX, camera.data());
        lights = readLighting();
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    }

    for (int i = 0; i < NUM_KEYS; ++i) {
        PianoKey* key = keys[i];
        const bool black = i >= NUM_WHITE_KEYS;

        // Bodies are pushed back in depth so the outline along their edges stays visible.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1, 2.05f);

        if (glowOn && key->pressFactor > 0) {
            glMaterialfv(GL_FRONT, GL_EMISSION, GLOW_COLOUR.data());
            glMaterialfv(GL_FRONT, GL_AMBIENT, ZERO_COLOUR.data());
            glMaterialfv(GL_FRONT, GL_DIFFUSE, GLOW_COLOUR.data());
        } else {
            setMaterial(black ? BLACK_KEY_COLOUR : WHITE_KEY_COLOUR);
        }
        if (immediate)
            key->drawKey(BODY_RES);
        else
            drawCachedBody(i, *key, camera, lights);
        if (black && glowOn) glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());

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
        if (immediate)
            key->drawKey(1);
        else
            drawCachedOutline(i, *key, camera);
        if (glowOn) {
            glMaterialfv(GL_FRONT, GL_EMISSION, ZERO_COLOUR.data());
        } else if (!concertOn) {
            glEnable(GL_LIGHTING);
            glEnable(GL_LIGHT0);
        }
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_POLYGON_OFFSET_FILL);
    if (!immediate) glPopClientAttrib();
}
