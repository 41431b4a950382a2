// One frame of a scene: background, camera, lights, keys, hands and overlay, in that order.
#include "Renderer.h"

#include <GL/glu.h>

#include "HandDraw.h"
#include "Lighting.h"
#include "Overlay.h"
#include "interface.h"
#include "lights.h"

SceneRenderer::SceneRenderer(const ResourcePaths& resources) : pictures_(resources) {}

void SceneRenderer::initGl(const Scene& first) {
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 1.0f);
    glEnable(GL_DEPTH_TEST);
    glLineWidth(2.0f);
    pictures_.load(first.activeHandTexture, first.activeBackground);
}

void SceneRenderer::updateAspect(int w, int h) {
    if (w > 0 && h > 0) aspectRatio_ = static_cast<double>(w) / static_cast<double>(h);
}

void SceneRenderer::reshape(int w, int h) {
    width_ = w;
    height_ = h;
    updateAspect(w, h);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(CAMERA_FOVY, aspectRatio_, NEAR_CLIP, FAR_CLIP);
}

void SceneRenderer::draw(const Scene& scene) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    pictures_.drawBackground(scene.activeBackground, scene.lights.background_intensity, solids_.fast());
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    updateAspect(width_, height_);
    gluPerspective(CAMERA_FOVY, aspectRatio_, NEAR_CLIP, FAR_CLIP);

    pictures_.bindHandTexture(scene.activeHandTexture);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const CameraState& camera = scene.camera;
    glTranslatef(camera.position[0], camera.position[1], camera.position[2]);
    glRotatef(camera.rotation[0], 1, 0, 0);
    glRotatef(camera.rotation[1], 0, 1, 0);
    glRotatef(camera.rotation[2], 0, 0, 1);

    // After the camera, so the lights sit in scene coordinates and turn with the scene.
    if (scene.concertOn)
        setConcertLighting(scene.lights);
    else
        setLighting(scene.lights);

    keyboard_.draw(scene, solids_);
    drawHand(scene.leftHand, solids_);
    drawHand(scene.rightHand, solids_);
    drawOverlay(scene, font_);
}
