// RtMidi behind MidiPorts.h. The output is sent to on the program's thread, under a lock since
// the looking thread takes it away and puts it back when a JACK server goes and comes back; the
// inputs are used on the looking thread only (after the first look, made before it starts);
// onMessage runs on RtMidi's own threads (the JACK process thread, or an ALSA reading thread
// per input) and only queues.
#include "MidiPorts.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Piano.h"
#include "Printable.h"

namespace {
const char* const PORT_NAME = "Tinklewood";
// Two clients, since an RtMidi object has one port: JACK would otherwise rename the second
// "Tinklewood-01", differently from one start to the next.
const char* const IN_CLIENT = "Tinklewood";
const char* const OUT_CLIENT = "Tinklewood out";
// A JACK client of no ports, there only to be told when the server goes away: RtMidi's own
// clients are never told, and go on as if nothing had happened.
const char* const WATCH_CLIENT = "Tinklewood watch";

struct Ports {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::mutex outLock;  // guards `out`: sent to on the program's thread, replaced on the looking one
    std::unique_ptr<RtMidiOut> out;
    std::unique_ptr<RtMidiIn> in;  // the input port; on JACK, connected to every source
    // On the ALSA sequencer RtMidi connects an input to a single source: each source gets an
    // input of its own, all of them named "Tinklewood".
    std::map<std::string, std::unique_ptr<RtMidiIn>> ownInputs;
    std::set<std::string> present;  // the sources at the last look
    jack_client_t* watch = nullptr;
    std::atomic<bool> serverGone{false};  // set on libjack's thread
    bool lost = false;  // the JACK server went away: the ports are closed until it is back
    std::thread looking;
    std::mutex lock;
    std::condition_variable stop;
    bool stopping = false;
    EventLog* log = nullptr;  // written from the looking thread too: one line a call
    Piano* piano = nullptr;  // what comes in is queued in its inbox, what it sounds goes out
};
Ports* ports = nullptr;

// From any thread: RtMidi's errors come on whichever thread met them.
void reportOnce(const std::string& what) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) std::fprintf(stderr, "tinklewood: MIDI: %s\n", printable(what).c_str());
}

// RtMidi prints to stderr, and throws, unless given this. Its warnings (a port gone, a JACK
// server that stopped) are the ordinary course of things.
void onError(RtMidiError::Type type, const std::string& text, void*) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) reportOnce(text);
}

void onMessage(double, std::vector<unsigned char>* message, void* inbox) {
    static_cast<MidiInbox*>(inbox)->queue(message->data(), message->size());
}

// With no output (the JACK server gone) what the piano sounds goes nowhere.
void sendMessage(const unsigned char* message, std::size_t size) {
    std::lock_guard<std::mutex> hold(ports->outLock);
    if (ports->out) ports->out->sendMessage(message, size);
}

void quiet(const char*) {}

// A client of the JACK server that is running, or null. libjack has its own say on stderr when
// no server answers; the program has nothing to say then, having no MIDI is not a fault.
jack_client_t* openJackClient(const char* name) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status;
    return jack_client_open(name, JackNoStartServer, &status);
}

bool jackServerRunning() {
    jack_client_t* probe = openJackClient("Tinklewood probe");
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
}

// On libjack's thread, when the server has gone: no JACK call may be made here.
void onServerGone(void* context) {
    Ports* gone = static_cast<Ports*>(context);
    gone->serverGone = true;
    gone->stop.notify_one();  // the looking thread sees to it at once
}

bool alsaSequencerPresent() { return access("/dev/snd/seq", R_OK | W_OK) == 0; }

// Not sources to play from: the program's own ports, or another Tinklewood's, and ALSA's
// through port, which would bring the output straight back in.
bool playableSource(const std::string& name) {
    return name.find("Tinklewood") == std::string::npos && name.find("Midi Through") == std::string::npos;
}

std::unique_ptr<RtMidiIn> makeInput() {
    auto in = std::make_unique<RtMidiIn>(ports->api, IN_CLIENT);
    in->setErrorCallback(onError);
    in->setCallback(onMessage, &ports->piano->midiInbox());
    return in;
}

// The input and output ports, and on JACK the client that watches the server; false, after
// one line, when they cannot be opened.
bool openPorts() {
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    try {
        in = makeInput();
        in->openVirtualPort(PORT_NAME);
        out = std::make_unique<RtMidiOut>(ports->api, OUT_CLIENT);
        out->setErrorCallback(onError);
        out->openVirtualPort(PORT_NAME);
    } catch (const RtMidiError& error) {
        reportOnce(error.getMessage());
        return false;
    }
    ports->in = std::move(in);
    {
        std::lock_guard<std::mutex> hold(ports->outLock);
        ports->out = std::move(out);
    }
    if (ports->api == RtMidi::UNIX_JACK) {
        ports->serverGone = false;
        ports->watch = openJackClient(WATCH_CLIENT);
        if (ports->watch != nullptr) {
            jack_on_shutdown(ports->watch, onServerGone, ports);
            jack_activate(ports->watch);
        } else {
            ports->serverGone = true;  // gone again already: the next look waits for it once more
        }
    }
    if (ports->log != nullptr) ports->log->log("midi-open", RtMidi::getApiName(ports->api));
    return true;
}

// Closes what openPorts opened: the output is taken from the program's thread first, the
// inputs then close, so nothing comes in while the output drains what was sent to it.
void closePorts() {
    std::unique_ptr<RtMidiOut> out;
    {
        std::lock_guard<std::mutex> hold(ports->outLock);
        out.swap(ports->out);
    }
    ports->ownInputs.clear();
    ports->in.reset();
    out.reset();
    if (ports->watch != nullptr) jack_client_close(ports->watch);
    ports->watch = nullptr;
    ports->present.clear();
}

int sourceIndex(RtMidiIn& in, const std::string& name) {
    const unsigned int count = in.getPortCount();
    for (unsigned int i = 0; i < count; ++i)
        if (in.getPortName(i) == name) return static_cast<int>(i);
    return -1;
}

void connect(const std::string& source) {
    if (ports->api == RtMidi::UNIX_JACK) {
        const int index = sourceIndex(*ports->in, source);
        if (index < 0) return;
        ports->in->openPort(static_cast<unsigned int>(index), PORT_NAME);
    } else {
        std::unique_ptr<RtMidiIn> in = makeInput();
        const int index = sourceIndex(*in, source);
        if (index < 0) return;
        in->openPort(static_cast<unsigned int>(index), PORT_NAME);
        ports->ownInputs[source] = std::move(in);
    }
    if (ports->log != nullptr) ports->log->log("midi-connect", source);
}

void connectNewSources() {
    try {
        std::set<std::string> now;
        const unsigned int count = ports->in->getPortCount();
        for (unsigned int i = 0; i < count; ++i) {
            const std::string name = ports->in->getPortName(i);
            if (playableSource(name)) now.insert(name);
        }
        for (const std::string& name : now)
            if (ports->present.count(name) == 0) connect(name);
        // A source gone takes its connection with it; one that comes back is new again.
        for (auto it = ports->ownInputs.begin(); it != ports->ownInputs.end();)
            it = now.count(it->first) == 0 ? ports->ownInputs.erase(it) : std::next(it);
        ports->present = now;
    } catch (const RtMidiError& error) {
        reportOnce(error.getMessage());
    }
}

// The JACK server went away. Notes held then would never get their note-offs: the piano lets
// go of them. RtMidi's clients of a server that is gone are closed here, on the looking
// thread: that takes about a second (the output waits for its queue to empty).
void loseServer() {
    std::fprintf(stderr, "tinklewood: MIDI: the JACK server has gone; looking for it again every second\n");
    if (ports->log != nullptr) ports->log->log("midi-lost", "");
    ports->piano->midiInbox().connectionLost();
    closePorts();
    ports->lost = true;
}

// Once a JACK server runs again, the ports open on it as at start and the sources there are
// connected by the look that follows.
void findServerAgain() {
    if (!jackServerRunning() || !openPorts()) return;
    ports->lost = false;
    std::fprintf(stderr, "tinklewood: MIDI: a JACK server is back; its MIDI sources are connected again\n");
}

const auto LOOK_INTERVAL = std::chrono::seconds(1);

void lookForSources() {
    std::unique_lock<std::mutex> hold(ports->lock);
    for (;;) {
        ports->stop.wait_for(hold, LOOK_INTERVAL,
                             [] { return ports->stopping || (ports->serverGone && !ports->lost); });
        if (ports->stopping) return;
        if (ports->serverGone && !ports->lost) loseServer();
        if (ports->lost) findServerAgain();
        if (!ports->lost) connectNewSources();
    }
}

// The system to use, or UNSPECIFIED for none.
RtMidi::Api chooseApi() {
    const char* asked = std::getenv("TINKLEWOOD_MIDI");
    const std::string choice = asked != nullptr ? asked : "";
    if (choice == "off") return RtMidi::UNSPECIFIED;
    if (choice == "alsa") {
        if (alsaSequencerPresent()) return RtMidi::LINUX_ALSA;
        reportOnce("TINKLEWOOD_MIDI asks for the ALSA sequencer, and /dev/snd/seq cannot be opened");
        return RtMidi::UNSPECIFIED;
    }
    if (choice == "jack") {
        if (jackServerRunning()) return RtMidi::UNIX_JACK;
        reportOnce("TINKLEWOOD_MIDI asks for JACK, and no JACK server is running");
        return RtMidi::UNSPECIFIED;
    }
    if (!choice.empty()) reportOnce("TINKLEWOOD_MIDI is alsa, jack or off, not \"" + choice + "\"");
    if (alsaSequencerPresent()) return RtMidi::LINUX_ALSA;
    if (jackServerRunning()) return RtMidi::UNIX_JACK;
    return RtMidi::UNSPECIFIED;
}
}  // namespace

bool openMidiPorts(Piano& piano, EventLog* log) {
    const RtMidi::Api api = chooseApi();
    if (api == RtMidi::UNSPECIFIED) return false;
    ports = new Ports;
    ports->api = api;
    ports->piano = &piano;
    ports->log = log;
    if (!openPorts()) {
        closePorts();
        delete ports;
        ports = nullptr;
        return false;
    }
    connectNewSources();
    piano.startMidiOutput(sendMessage);
    ports->looking = std::thread(lookForSources);
    return true;
}

void closeMidiPorts() {
    if (ports == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(ports->lock);
        ports->stopping = true;
    }
    ports->stop.notify_one();
    ports->looking.join();
    ports->piano->stopMidiOutput();  // note-offs for what still sounds
    closePorts();
    delete ports;
    ports = nullptr;
}
