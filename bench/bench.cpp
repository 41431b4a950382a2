// How fast the real scene draws on this machine: frame times of the fast drawing and of
// the immediate drawing in the same run, scene by scene, with their pictures compared; the
// processor time the frame loop takes while nothing moves, also in the program itself;
// start-up time, and memory after start-up and while a song plays.
// Run from a directory one level below the repository (build-bench/), as the program is,
// so ../res holds the pictures.
#include <GL/freeglut.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <GL/glx.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Draw.h"
#include "Instruments.h"
#include "KeyboardDraw.h"
#include "NotesAhead.h"
#include "OpenAlSound.h"
#include "Piano.h"
#include "Shell.h"
#include "Sound.h"
#include "animation.h"
#include "frame_compare.h"
#include "lights.h"

namespace {
using Clock = std::chrono::steady_clock;

// The shell and piano of this process, as main() makes them; and the scene the scenes draw.
Shell* shell = nullptr;
Piano* piano = nullptr;
::Scene shown;
// Whether the shell keeps frames here (GLX's glXCopySubBufferMESA with direct rendering).
bool keptFramesOffered = false;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct Options {
    int frames = 200;           // timed frames of each path, each scene
    double idleSeconds = 3.0;   // per idle-loop measurement
    bool startup = true, idle = true, scenes = true, program = true;
    std::string only;           // run only scenes whose name contains this
    std::string pictures;       // folder to write each scene's two pictures and their difference to
    double quietWait = 0;       // seconds to wait at most for the machine to fall quiet
    bool fastOnly = false;      // time the program's drawing alone, as a profiler would want it
};

double processCpuSeconds();
double childrenCpuSeconds();

// Processor time of the whole machine and of this process, for how much of the machine
// other programs took while something was measured.
struct CpuUse {
    double machineBusy = 0;  // seconds of all cores busy, from /proc/stat
    double self = 0;         // this process, all its threads, and its children that have ended
    Clock::time_point at = Clock::now();
};

CpuUse cpuNow() {
    CpuUse u;
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    u.machineBusy = (user + nice + system + irq + softirq + steal) / tick;
    u.self = processCpuSeconds() + childrenCpuSeconds();
    return u;
}

// The share of the machine (0..1 over all cores) other programs used between two readings.
double othersShare(const CpuUse& a, const CpuUse& b) {
    const double wall = msBetween(a.at, b.at) / 1000;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    if (wall <= 0 || cores <= 0) return 0;
    return std::max(0.0, ((b.machineBusy - a.machineBusy) - (b.self - a.self)) / (wall * static_cast<double>(cores)));
}

// Waits, up to `limit` seconds, for a second in which other programs leave the machine
// nearly idle; says how busy it was when the wait ended.
double waitForQuiet(double limit) {
    const Clock::time_point start = Clock::now();
    double share = 1;
    while (msBetween(start, Clock::now()) < limit * 1000) {
        const CpuUse a = cpuNow();
        usleep(1000000);
        share = othersShare(a, cpuNow());
        if (share < 0.05) break;
    }
    return share;
}

// ---- Scenes -------------------------------------------------------------------------
struct BenchScene {
    std::string name;
    std::function<void(::Scene&)> set;              // state of the scene, from the start-up state
    std::function<void(::Scene&, int frame)> change;  // what moves from frame to frame; null if nothing
};

// Concert mode as its key command leaves it (glow on, background dark), beams at phase s
// of the first sweep: -1 at its start, 1 at its end.
void concertAt(::Scene& s, float phase) {
    static const SteadyClock clock;
    static const Lights sweep(clock);  // where the first sweep goes from and to
    s.concertOn = true;
    s.glowOn = true;
    s.lights.background_intensity = 0.0f;
    const auto& from = sweep.sweepFrom();
    const auto& to = sweep.sweepTo();
    for (int i = 0; i < 3; ++i) s.lights.concertSpotDir[i] = ((to[i] + from[i]) + (to[i] - from[i]) * phase) * 0.5f;
}

// Forty bars of the notes coming (Return), half for each hand and spread over the keys and the
// seconds ahead, moving on a step a frame as while a song plays; a bar that sinks out of view
// comes back at the far end, so forty are always in view.
void notesComing(::Scene& s, int frame) {
    s.bars.clear();
    constexpr int BARS = 40;
    constexpr float LENGTH = 2 * static_cast<float>(BEAT_SECONDS);  // two beats
    const float span = static_cast<float>(NOTES_AHEAD_SECONDS);
    for (int i = 0; i < BARS; ++i) {
        const bool right = i % 2 == 0;
        const int key = right ? 7 + (i / 2) % 8 : (i / 2) % 7;
        float lead = std::fmod(span * static_cast<float>(i) / BARS - static_cast<float>(frame * STEP_SECONDS), span);
        if (lead < 0) lead += span;
        const float start = lead - LENGTH / 2;
        s.bars.push_back({key, right, start, start + LENGTH, false});
    }
}

// "5" at start: the first song as the piano plays it (its hands, keys and caption), one scene a
// step apart from its start to its end, made once on a driven clock of the benchmark's own.
const std::vector<::Scene>& songScenes() {
    static const std::vector<::Scene> steps = [] {
        DrivenClock songClock;
        PianoSetup songSetup;
        songSetup.clock = &songClock;
        Piano player(songSetup);
        player.keyDown('5');
        player.keyUp('5');
        std::vector<::Scene> made;
        while (made.empty() || player.song().playing()) {
            songClock.advance(STEP_SECONDS);
            player.stepFrame();
            made.push_back(player.scene());
        }
        return made;
    }();
    return steps;
}

std::vector<BenchScene> scenes() {
    std::vector<BenchScene> all;
    all.push_back({"at rest", [](::Scene&) {}, nullptr});
    all.push_back({"three keys down, glow on",
                   [](::Scene& s) {
                       s.glowOn = true;
                       for (int k : {7, 9, 11}) s.keys[static_cast<size_t>(k)].press(1);
                   },
                   nullptr});
    all.push_back({"spot 10 deg, swung left",
                   [](::Scene& s) {
                       s.lights.spotCutoff = 10.0f;
                       for (int i = 0; i < 3; ++i) s.lights.spotDir[0] -= SPOT_DIR_STEP;
                   },
                   nullptr});
    all.push_back({"concert, mid-sweep", [](::Scene& s) { concertAt(s, 0.0f); }, nullptr});
    all.push_back({"background picture", [](::Scene& s) { s.activeBackground = CHURCH; }, nullptr});
    // Scenes where the cached meshes must be made again every frame.
    all.push_back({"concert, beams sweeping", [](::Scene& s) { concertAt(s, -1.0f); },
                   [](::Scene& s, int frame) {
                       // One sweep lasts about 0.785 s: 47 frames at 60 a second.
                       concertAt(s, std::sin(-1.570795f + 3.14159f * static_cast<float>(frame % 47) / 46.0f));
                   }});
    all.push_back({"keys moving, glow on", [](::Scene& s) { s.glowOn = true; },
                   [](::Scene& s, int frame) {
                       // Three keys pressed and released over 24 frames, out of step.
                       for (int n = 0; n < 3; ++n) {
                           const int t = (frame + 8 * n) % 24;
                           s.keys[static_cast<size_t>(7 + 2 * n)].press(t < 12 ? t / 12.0f : (24 - t) / 12.0f);
                       }
                   }});
    all.push_back({"40 notes coming", [](::Scene& s) { notesComing(s, 0); }, notesComing});
    all.push_back({"camera turning", [](::Scene&) {},
                   [](::Scene& s, int frame) { s.camera.rotation[1] = 20.0f * std::sin(static_cast<float>(frame) * 0.05f); }});
    all.push_back({"song playing, camera still", [](::Scene& s) { s = songScenes().front(); },
                   [](::Scene& s, int frame) { s = songScenes()[static_cast<size_t>(frame) % songScenes().size()]; }});
    return all;
}

// The scene drawn and presented as the display callback does the piano's.
void display() {
    shell->renderer().draw(shown);
    shell->present();
}

// ---- Timing -------------------------------------------------------------------------
struct Times {
    std::vector<double> ms;
    double quantile(double q) const {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        if (s.empty()) return 0;
        const size_t i = std::min(s.size() - 1, static_cast<size_t>(q * static_cast<double>(s.size())));
        return s[i];
    }
};

// One frame as the display callback draws and presents it, finished.
double timeOneFrame() {
    const Clock::time_point start = Clock::now();
    display();
    glFinish();
    return msBetween(start, Clock::now());
}

// The three drawings timed side by side in one run: the program's, which draws only what
// changed over the frame before; the whole window every frame, as before that (the same
// meshes); and the immediate drawing, the first program's way.
enum class Way { Changed, Whole, Immediate };
constexpr Way WAYS[] = {Way::Changed, Way::Whole, Way::Immediate};

void setWay(Way way) {
    SceneRenderer& r = shell->renderer();
    r.solids().setPath(way == Way::Immediate ? DrawPath::Immediate : DrawPath::Fast);
    r.keepFrames(way == Way::Changed && keptFramesOffered);
}

FramePixels drawAndRead(Way way) {
    setWay(way);
    shell->renderer().draw(shown);
    FramePixels f = readBackBuffer(shell->renderer().width(), shell->renderer().height());
    shell->present();
    return f;
}

// A binary PPM, top row first.
void writePpm(const std::string& path, const FramePixels& f) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::printf("Cannot write %s\n", path.c_str());
        return;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", f.width, f.height);
    for (int y = f.height - 1; y >= 0; --y)
        std::fwrite(&f.rgb[static_cast<size_t>(y) * f.width * 3], 1, static_cast<size_t>(f.width) * 3, out);
    std::fclose(out);
}

struct SceneResult {
    double others = 0;  // share of the machine other programs took meanwhile
    Times changed, whole, immediate;
    FrameAgreement agreement;  // the whole window drawn fast against the immediate drawing
    FrameAgreement worstKept;  // the frame drawn in part that agreed least with the same frame drawn whole
    int framesCompared = 0;
    double drawnShare = 0;     // of the window, by the program's drawing, on average over its frames
    double bodyQuads = 0, keysRebuilt = 0, facesMerged = 0;

    Times& of(Way way) { return way == Way::Changed ? changed : way == Way::Whole ? whole : immediate; }
};

// Every frame of the scene drawn the program's way, over the frame before, held to the same
// frame drawn whole. The frame drawn whole is then the one the next is drawn over, which is
// the one drawn in part as far as they agree.
void compareKeptFrames(const BenchScene& scene, const Options& options, SceneResult& r) {
    SceneRenderer& renderer = shell->renderer();
    setWay(Way::Changed);
    renderer.forgetFrame();
    drawAndRead(Way::Changed);
    r.worstKept = FrameAgreement{};
    r.worstKept.withinTolerance = 1;
    for (int frame = 1; frame <= options.frames && scene.change; ++frame) {
        scene.change(shown, frame);
        const FramePixels inPart = drawAndRead(Way::Changed);
        renderer.forgetFrame();
        const FramePixels whole = drawAndRead(Way::Changed);
        const FrameAgreement a = compareFrames(inPart, whole, 2);
        if (a.withinTolerance < r.worstKept.withinTolerance ||
            (a.withinTolerance == r.worstKept.withinTolerance && a.largestDifference > r.worstKept.largestDifference))
            r.worstKept = a;
        ++r.framesCompared;
    }
}

SceneResult runScene(const BenchScene& scene, const Options& options) {
    SceneResult r;
    glutSetWindow(shell->mainWindow());
    shown = ::Scene();
    scene.set(shown);
    if (scene.change) scene.change(shown, 0);
    for (Way way : WAYS) drawAndRead(way);  // warm: meshes made, shaders compiled

    // The ways in alternating runs of ten frames, so a change in the machine's load falls on
    // all alike. Each run starts with two frames that are not timed: the first frame after
    // another way's finds caches and llvmpipe's buffers set for that one (and the program's
    // way a frame to draw over), which the program, drawing one way only, never does. The two
    // show two states, the second the one before the first timed frame's, so that the
    // program's way has also made its layer of the keys and hands without the notes coming, as
    // the program keeps it from frame to frame.
    int done[3] = {0, 0, 0};
    auto wanted = [&](Way way) { return !options.fastOnly || way == Way::Changed; };
    auto unfinished = [&] {
        for (Way way : WAYS)
            if (wanted(way) && done[static_cast<int>(way)] < options.frames) return true;
        return false;
    };
    long quads = 0, rebuilt = 0, merged = 0;
    double drawn = 0;
    const CpuUse before = cpuNow();
    while (unfinished()) {
        for (Way way : WAYS) {
            int& frames = done[static_cast<int>(way)];
            if (!wanted(way) || frames >= options.frames) continue;
            setWay(way);
            for (int i = 0; i < 2; ++i) {
                if (scene.change) scene.change(shown, frames + 1 - i);
                display();
                glFinish();
            }
            for (int i = 0; i < 10 && frames < options.frames; ++i) {
                if (scene.change) scene.change(shown, frames + 1);
                r.of(way).ms.push_back(timeOneFrame());
                ++frames;
                if (way != Way::Changed) continue;
                const KeyboardDrawStats stats = shell->renderer().keyboard().lastStats();
                quads += stats.bodyQuads;
                rebuilt += stats.keysRebuilt;
                merged += stats.facesMerged;
                drawn += shell->renderer().lastFrame().drawnShare;
            }
        }
    }
    r.others = othersShare(before, cpuNow());
    r.bodyQuads = static_cast<double>(quads) / options.frames;
    r.keysRebuilt = static_cast<double>(rebuilt) / options.frames;
    r.facesMerged = static_cast<double>(merged) / options.frames;
    r.drawnShare = drawn / options.frames;

    // The pictures of one and the same state.
    if (scene.change) scene.change(shown, options.frames / 2);
    const FramePixels immediate = drawAndRead(Way::Immediate);
    const FramePixels fast = drawAndRead(Way::Whole);
    r.agreement = compareFrames(fast, immediate, 2);
    if (keptFramesOffered) compareKeptFrames(scene, options, r);
    setWay(Way::Changed);
    if (!options.pictures.empty()) {
        std::string stem = options.pictures + "/";
        for (char c : scene.name) stem += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        writePpm(stem + ".fast.ppm", fast);
        writePpm(stem + ".immediate.ppm", immediate);
        FramePixels diff = fast;
        for (size_t i = 0; i < diff.rgb.size(); i += 3) {
            int worst = 0;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(fast.rgb[i + c] - immediate.rgb[i + c]));
            // Off pixels white, small differences grey, agreeing pixels black.
            const unsigned char v = worst > 2 ? 255 : static_cast<unsigned char>(worst * 60);
            diff.rgb[i] = diff.rgb[i + 1] = diff.rgb[i + 2] = v;
        }
        writePpm(stem + ".difference.ppm", diff);
    }
    return r;
}

// ---- The frame loop's processor time --------------------------------------------------
double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}
double processCpuSeconds() { return cpuSeconds(RUSAGE_SELF); }
double childrenCpuSeconds() { return cpuSeconds(RUSAGE_CHILDREN); }

std::atomic<int> framesShown{0};
void countingDisplay() {
    shell->display();
    ++framesShown;
}
void emptyDisplay() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
    shell->renderer().forgetFrame();
    ++framesShown;
}
// The loop as it was: the idle callback polls the frame timer and returns at once.
void spinningIdle() { piano->stepFrame(); }
// The loop now: it sleeps until the next frame is due.
void sleepingIdle() { shell->idle(); }

struct LoopUse {
    double cpuPerSecond = 0;  // processor seconds (all threads) per second of wall time
    double framesPerSecond = 0;
};

// GLUT's own main loop never returns without tearing the windows down, so this runs its
// body: handle the window events, then the idle callback.
LoopUse measureLoop(void (*idle)(), void (*show)(), double seconds) {
    glutSetWindow(shell->mainWindow());
    glutDisplayFunc(show);
    framesShown = 0;
    const double cpu0 = processCpuSeconds();
    const Clock::time_point start = Clock::now();
    while (msBetween(start, Clock::now()) < seconds * 1000) {
        glutMainLoopEvent();
        idle();
    }
    const double wall = msBetween(start, Clock::now()) / 1000;
    glutSetWindow(shell->mainWindow());
    LoopUse use;
    use.cpuPerSecond = (processCpuSeconds() - cpu0) / wall;
    use.framesPerSecond = framesShown / wall;
    glutDisplayFunc([] { shell->display(); });
    return use;
}

// ---- Start-up -----------------------------------------------------------------------
long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// The piano of a child process, as main() makes it, for the process's life, in the shell.
void startPiano(const ResourcePaths& resources, SoundEngine* engine) {
    static SteadyClock clock;
    PianoSetup setup;
    setup.clock = &clock;
    setup.sound = engine;
    setup.host = shell;
    setup.resources = resources;
    static Piano thePiano(setup);
    piano = &thePiano;
    shell->attach(piano);
}

bool firstFrameDrawn = false;
Clock::time_point firstFrameAsked;  // when GLUT called the display callback the first time
void firstFrameDisplay() {
    firstFrameAsked = Clock::now();
    shell->display();
    glFinish();
    firstFrameDrawn = true;
}

// The program's start-up, in main's order, up to its first frame on screen; reports on
// `fd` how long each step took (ms from entering this function) and the memory then.
int startupChild(int argc, char** argv, int fd) {
    const Clock::time_point t0 = Clock::now();
    glutInit(&argc, argv);
    const ResourcePaths resources;
    static Shell windows(resources, nullptr);
    shell = &windows;
    const Clock::time_point t1 = Clock::now();
    shell->loadPictures(::Scene());
    const Clock::time_point t2 = Clock::now();
    SoundEngine* engine = createSoundEngine(instrumentSamplePaths(resources));
    const Clock::time_point t3 = Clock::now();
    startPiano(resources, engine);
    glutSetWindow(shell->mainWindow());
    glutDisplayFunc(firstFrameDisplay);
    while (!firstFrameDrawn) glutMainLoopEvent();
    const Clock::time_point t4 = Clock::now();
    char line[256];
    const int len = std::snprintf(line, sizeof line, "%.1f %.1f %.1f %.1f %.1f %ld %ld\n", msBetween(t0, t1),
                                  msBetween(t1, t2), msBetween(t2, t3), msBetween(t3, firstFrameAsked),
                                  msBetween(firstFrameAsked, t4), statusKb("VmRSS:"), statusKb("VmHWM:"));
    if (write(fd, line, static_cast<size_t>(len)) != len) return 1;
    close(fd);
    std::_Exit(0);  // at once: the measurement ends with the first frame
}

// ---- The program itself, at rest and playing a song ----------------------------------
// The steps of the program's start-up and run after which the child notes its resident
// memory, for where the memory goes.
const char* const MEMORY_STEPS[] = {"process started",
                                    "GLUT and its two windows",
                                    "GL state and timers",
                                    "pictures read and checked",
                                    "sound engine (OpenAL context)",
                                    "first frames drawn, samples decoded",
                                    "at rest",
                                    "a song playing"};
const int NUM_MEMORY_STEPS = sizeof MEMORY_STEPS / sizeof MEMORY_STEPS[0];

struct ProgramChild {
    int fd = -1;
    double restSeconds = 5, playSeconds = 8;
    double cpu0 = 0;
    Clock::time_point wall0;
    int frames0 = 0;
    double restCpuPerSecond = 0, restFramesPerSecond = 0;
    long stepKb[NUM_MEMORY_STEPS] = {}, stepFileKb[NUM_MEMORY_STEPS] = {};
    int steps = 0;
    long sampleKb = 0;  // what OpenAL holds for the samples
    void note() {
        if (steps == NUM_MEMORY_STEPS) return;
        stepKb[steps] = statusKb("VmRSS:");
        stepFileKb[steps++] = statusKb("RssFile:");
    }
};
ProgramChild program;

void programPlayed() {
    program.note();
    std::string line = std::to_string(program.restCpuPerSecond) + " " + std::to_string(program.restFramesPerSecond) +
                       " " + std::to_string(statusKb("VmHWM:")) + " " + std::to_string(program.sampleKb);
    for (int i = 0; i < program.steps; ++i)
        line += " " + std::to_string(program.stepKb[i]) + " " + std::to_string(program.stepFileKb[i]);
    line += "\n";
    if (write(program.fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::_Exit(1);
    close(program.fd);
    std::_Exit(0);
}

// Presses and lets go of `key` in the main window as the X server would, over a connection of
// its own: the program's loop sleeps at rest and wakes for the window system alone.
void typeKey(Window window, char key) {
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) return;
    XKeyEvent event{};
    event.display = x;
    event.window = window;
    event.root = DefaultRootWindow(x);
    event.same_screen = True;
    const char name[2] = {key, 0};
    event.keycode = XKeysymToKeycode(x, XStringToKeysym(name));
    event.type = KeyPress;
    XSendEvent(x, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&event));
    XFlush(x);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.type = KeyRelease;
    XSendEvent(x, window, True, KeyReleaseMask, reinterpret_cast<XEvent*>(&event));
    XCloseDisplay(x);
}

// Beside the program's loop: waits for it to settle, measures the processor time of the whole
// process while nothing moves, then types "5" and reports the resident memory while the song plays.
void measureBesideProgram(Window mainWindow, SoundEngine* engine) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // The samples are decoded on a worker at start-up; at rest means after that.
    if (auto* sound = dynamic_cast<OpenAlSoundEngine*>(engine)) {
        sound->waitForPreload();
        program.sampleKb = static_cast<long>(sound->heldSampleBytes() / 1024);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the last frames of start-up
    program.note();
    program.cpu0 = processCpuSeconds();
    program.wall0 = Clock::now();
    program.frames0 = framesShown;
    std::this_thread::sleep_for(std::chrono::duration<double>(program.restSeconds));
    program.note();
    const double wall = msBetween(program.wall0, Clock::now()) / 1000;
    program.restCpuPerSecond = (processCpuSeconds() - program.cpu0) / wall;
    program.restFramesPerSecond = (framesShown - program.frames0) / wall;
    typeKey(mainWindow, '5');
    std::this_thread::sleep_for(std::chrono::duration<double>(program.playSeconds));
    programPlayed();
}

// The program as main() starts it, running its own frame loop with its own callbacks (the
// display callback counts the frames it draws) while a thread beside it measures.
int programChild(int argc, char** argv, int fd) {
    program.fd = fd;
    program.note();
    glutInit(&argc, argv);
    const ResourcePaths resources = findResources();
    static Shell windows(resources, nullptr);
    shell = &windows;
    program.note();
    program.note();  // the shell makes the GL state with its windows
    shell->loadPictures(::Scene());
    program.note();
    SoundEngine* engine = createSoundEngine(instrumentSamplePaths(resources), mixerConfigFile(resources));
    program.note();
    startPiano(resources, engine);
    glutSetWindow(shell->mainWindow());
    glutDisplayFunc(countingDisplay);
    std::thread(measureBesideProgram, static_cast<Window>(glXGetCurrentDrawable()), engine).detach();
    shell->run();
    return 1;
}

struct ProgramUse {
    bool ok = false;
    double restCpuPerSecond = 0, restFramesPerSecond = 0;
    long peakKb = 0, sampleKb = 0;
    std::vector<long> stepKb, stepFileKb;  // resident memory after each of MEMORY_STEPS, and its mapped files
    long rssKb() const { return stepKb.empty() ? 0 : stepKb.back(); }
};

// Starts this benchmark again as `self flag FD` with the environment variable `name` set to
// `value` (when given), and returns the one line the child writes on FD; `read` is when the
// line had come, before the child's exit is waited for.
std::string runChild(const char* self, const char* flag, const char* name, const std::string& value,
                     Clock::time_point& read) {
    int fds[2];
    if (pipe(fds) != 0) {
        read = Clock::now();
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (!value.empty()) setenv(name, value.c_str(), 1);
        const std::string fd = std::to_string(fds[1]);
        execl(self, self, flag, fd.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    close(fds[1]);
    char line[512] = {};
    size_t got = 0;
    for (ssize_t n; got < sizeof line - 1 && (n = ::read(fds[0], line + got, sizeof line - 1 - got)) > 0;)
        got += static_cast<size_t>(n);
    read = Clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return line;
}

// Runs programChild in a process of its own, playing into OpenAL Soft's null device: what the
// program holds while it plays, with no sound card needed.
ProgramUse measureProgram(const char* self) {
    ProgramUse u;
    Clock::time_point read;
    std::istringstream in(runChild(self, "--program-child", "ALSOFT_DRIVERS", "null", read));
    in >> u.restCpuPerSecond >> u.restFramesPerSecond >> u.peakKb >> u.sampleKb;
    for (long kb, fileKb; in >> kb >> fileKb;) {
        u.stepKb.push_back(kb);
        u.stepFileKb.push_back(fileKb);
    }
    u.ok = static_cast<int>(u.stepKb.size()) == NUM_MEMORY_STEPS;
    return u;
}

struct Startup {
    bool ok = false;
    double totalMs = 0, windowsMs = 0, picturesMs = 0, soundMs = 0, waitMs = 0, firstFrameMs = 0;
    long rssKb = 0, peakKb = 0;
};

// With `shaderCache` set, the child keeps Mesa's compiled shaders there instead of in the
// user's cache: an empty folder gives the first start on a machine.
Startup measureStartup(const char* self, const std::string& shaderCache = "") {
    Startup s;
    const Clock::time_point start = Clock::now();
    Clock::time_point read;
    const std::string line = runChild(self, "--startup-child", "MESA_SHADER_CACHE_DIR", shaderCache, read);
    s.totalMs = msBetween(start, read);
    s.ok = std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %ld %ld", &s.windowsMs, &s.picturesMs, &s.soundMs, &s.waitMs,
                       &s.firstFrameMs, &s.rssKb, &s.peakKb) == 7;
    return s;
}

double loadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

void usage() {
    std::printf(
        "usage: tinklewood_bench [--frames N] [--idle-seconds S] [--only TEXT] [--pictures DIR] [--wait-quiet S]\n"
        "                        [--no-startup] [--no-idle] [--no-scenes] [--no-program] [--fast-only]\n"
        "--wait-quiet S: before each scene wait up to S seconds for the machine to be idle, and\n"
        "measure a scene again (up to three times) when other programs took over 10%% of it\n"
        "--fast-only: time the program's drawing alone (the other columns stay empty), for a profiler\n"
        "--no-program: leave out the program itself at rest and playing a song (its processor time\n"
        "and resident memory, in a process of its own with sound on OpenAL Soft's null device)\n");
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--startup-child") == 0) {
        int one = 1;
        return startupChild(one, argv, std::atoi(argv[2]));
    }
    if (argc == 3 && std::strcmp(argv[1], "--program-child") == 0) {
        int one = 1;
        return programChild(one, argv, std::atoi(argv[2]));
    }
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc) options.frames = std::max(1, std::atoi(argv[++i]));
        else if (a == "--idle-seconds" && i + 1 < argc) options.idleSeconds = std::atof(argv[++i]);
        else if (a == "--only" && i + 1 < argc) options.only = argv[++i];
        else if (a == "--pictures" && i + 1 < argc) options.pictures = argv[++i];
        else if (a == "--wait-quiet" && i + 1 < argc) options.quietWait = std::atof(argv[++i]);
        else if (a == "--no-startup") options.startup = false;
        else if (a == "--no-idle") options.idle = false;
        else if (a == "--no-scenes") options.scenes = false;
        else if (a == "--no-program") options.program = false;
        else if (a == "--fast-only") options.fastOnly = true;
        else {
            usage();
            return 2;
        }
    }

    if (options.quietWait > 0)
        std::printf("Other programs used %.0f%% of the machine when the wait for quiet ended\n",
                    100 * waitForQuiet(options.quietWait));
    else
        std::printf("(No wait for quiet: figures taken while other programs are busy measure them too.)\n");

    // Start-up first, while this process has no window of its own yet: once with no
    // compiled shaders kept from before, then as every later start finds them.
    Startup startup, coldStartup;
    if (options.startup) {
        char folder[] = "/tmp/tinklewood-shaders-XXXXXX";
        if (mkdtemp(folder) != nullptr) {
            coldStartup = measureStartup("/proc/self/exe", folder);
            const std::string remove = std::string("rm -rf ") + folder;
            if (std::system(remove.c_str()) != 0) std::printf("Could not remove %s\n", folder);
        }
        measureStartup("/proc/self/exe");  // leaves the shaders in the user's cache
        startup = measureStartup("/proc/self/exe");
    }

    glutInit(&argc, argv);
    const ResourcePaths resources;
    Shell windows(resources, nullptr);
    shell = &windows;
    shell->loadPictures(::Scene());
    SteadyClock clock;
    PianoSetup setup;
    setup.clock = &clock;
    setup.host = shell;
    Piano thePiano(setup);
    piano = &thePiano;
    shell->attach(piano);
    keptFramesOffered = shell->renderer().keepsFrames();
    for (int i = 0; i < 10; ++i) glutMainLoopEvent();  // let the windows map
    // Handling events runs the help window's callbacks, which leave it current.
    glutSetWindow(shell->mainWindow());
    shell->reshape(shell->renderer().width(), shell->renderer().height());

    std::printf("Renderer: %s; window %d x %d; load average at start %.2f\n",
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)), shell->renderer().width(),
                shell->renderer().height(), loadAverage());

    if (options.startup) {
        if (startup.ok) {
            std::printf("\nStart-up to the first frame on screen: %.0f ms (windows and GL %.0f, pictures %.0f, sound %.0f, "
                        "keys and waiting for the window %.0f, first frame %.0f; the rest is loading the process)\n",
                        startup.totalMs, startup.windowsMs, startup.picturesMs, startup.soundMs, startup.waitMs,
                        startup.firstFrameMs);
            std::printf("Resident memory after the first frame: %.1f MB (peak %.1f MB)\n", startup.rssKb / 1024.0,
                        startup.peakKb / 1024.0);
            if (coldStartup.ok)
                std::printf("The very first start, with no shaders compiled before: %.0f ms (first frame %.0f)\n",
                            coldStartup.totalMs, coldStartup.firstFrameMs);
        } else {
            std::printf("\nStart-up: the measuring child did not report\n");
        }
    }

    if (options.scenes) {
        std::printf("\nFrame times, ms, display() + glFinish, %d frames of each way per scene: the program's drawing "
                    "(only what changed, over the frame before%s), the whole window every frame, and the immediate "
                    "drawing\n",
                    options.frames, keptFramesOffered ? "" : "; NOT OFFERED HERE, so drawn whole");
        std::printf("%-26s %8s %8s %7s %8s %8s %9s %9s %7s %6s %10s %6s %8s %8s %7s\n", "scene", "median", "p90",
                    "drawn", "whole", "whole90", "imm.med", "imm.p90", "ratio", "gain", "kept<=2", "max", "agree<=2",
                    "rebuilt", "others");
        for (const BenchScene& scene : scenes()) {
            if (!options.only.empty() && scene.name.find(options.only) == std::string::npos) continue;
            // On a shared machine a scene is measured again, after a wait for quiet, when
            // other programs took more than a tenth of it meanwhile; the quietest run counts.
            SceneResult r;
            for (int attempt = 0; attempt < (options.quietWait > 0 ? 3 : 1); ++attempt) {
                if (options.quietWait > 0) waitForQuiet(options.quietWait);
                SceneResult run = runScene(scene, options);
                if (attempt == 0 || run.others < r.others) r = run;
                if (r.others < 0.1) break;
            }
            const double median = r.changed.quantile(0.5);
            std::printf("%-26s %8.2f %8.2f %6.0f%% %8.2f %8.2f %9.2f %9.2f %6.1fx %5.1fx %9.3f%% %6d %7.3f%% %8.1f "
                        "%6.0f%%\n",
                        scene.name.c_str(), median, r.changed.quantile(0.9), 100 * r.drawnShare,
                        r.whole.quantile(0.5), r.whole.quantile(0.9), r.immediate.quantile(0.5),
                        r.immediate.quantile(0.9), r.immediate.quantile(0.5) / median,
                        r.whole.quantile(0.5) / median, 100 * r.worstKept.withinTolerance,
                        r.worstKept.largestDifference, 100 * r.agreement.withinTolerance, r.keysRebuilt,
                        100 * r.others);
            std::fflush(stdout);
        }
        std::printf("(drawn: share of the window the program's drawing drew, on average; ratio: immediate median over "
                    "the program's; gain: whole-window median over the program's; kept<=2 and max: the frame drawn "
                    "over the one before that agreed least with the same frame drawn whole, pixels within 2/255 on "
                    "every channel and the largest difference, over every frame of the scene; agree<=2: the whole "
                    "window drawn fast against the immediate drawing; rebuilt: key meshes made a frame; others: share "
                    "of the machine other programs used meanwhile)\n");
    }

    if (options.idle) {
        std::printf("\nProcessor time of the frame loop with nothing moving, %.0f s each\n", options.idleSeconds);
        std::printf("%-44s %12s %10s\n", "loop", "cpu s/s", "frames/s");
        const LoopUse spinEmpty = measureLoop(spinningIdle, emptyDisplay, options.idleSeconds);
        const LoopUse sleepEmpty = measureLoop(sleepingIdle, emptyDisplay, options.idleSeconds);
        const LoopUse spinScene = measureLoop(spinningIdle, countingDisplay, options.idleSeconds);
        const LoopUse sleepScene = measureLoop(sleepingIdle, countingDisplay, options.idleSeconds);
        std::printf("%-44s %12.3f %10.1f\n", "polling, empty frames (before)", spinEmpty.cpuPerSecond,
                    spinEmpty.framesPerSecond);
        std::printf("%-44s %12.3f %10.1f\n", "sleeping animate(), empty frames (after)", sleepEmpty.cpuPerSecond,
                    sleepEmpty.framesPerSecond);
        std::printf("%-44s %12.3f %10.1f\n", "polling, scene drawn (before)", spinScene.cpuPerSecond,
                    spinScene.framesPerSecond);
        std::printf("%-44s %12.3f %10.1f\n", "sleeping animate(), scene drawn (after)", sleepScene.cpuPerSecond,
                    sleepScene.framesPerSecond);
        std::printf("(cpu s/s: processor seconds over all threads per second of wall time)\n");
    }

    if (options.program) {
        // Last, and in a process of its own: GLUT's own loop never hands control back.
        if (options.quietWait > 0) waitForQuiet(options.quietWait);
        const CpuUse before = cpuNow();
        const ProgramUse use = measureProgram("/proc/self/exe");
        const double others = othersShare(before, cpuNow());
        if (use.ok) {
            std::printf("\nThe program itself (its own frame loop and callbacks, sound on the null device):\n");
            std::printf("at rest, the whole scene and nothing moving: %.3f cpu s/s, %.1f frames/s\n",
                        use.restCpuPerSecond, use.restFramesPerSecond);
            std::printf("resident memory while a song plays: %.1f MB (peak %.1f MB); others took %.0f%% meanwhile\n",
                        use.rssKb() / 1024.0, use.peakKb / 1024.0, 100 * others);
            std::printf("resident memory, MB, after each step: %-9s %7s %7s %13s\n", "", "all", "added",
                        "added, files");
            for (int i = 0; i < NUM_MEMORY_STEPS; ++i)
                std::printf("  %-46s %7.1f %+7.1f %+13.1f\n", MEMORY_STEPS[i], use.stepKb[i] / 1024.0,
                            (use.stepKb[i] - (i > 0 ? use.stepKb[i - 1] : 0)) / 1024.0,
                            (use.stepFileKb[i] - (i > 0 ? use.stepFileKb[i - 1] : 0)) / 1024.0);
            std::printf("  (files: pages of mapped files, the libraries' code above all; shared with other\n"
                        "  programs using them, but counted here)\n");
            std::printf("  (of which OpenAL holds %.1f MB of samples)\n", use.sampleKb / 1024.0);
        } else {
            std::printf("\nThe program itself: the measuring child did not report\n");
        }
    }
    std::printf("\nLoad average at the end %.2f\n", loadAverage());
    return 0;
}
