// RtMidi behind MidiPorts.h. The output is used on the program's thread only, the inputs on
// the looking thread only (after the first look, made before it starts); onMessage runs on
// RtMidi's own threads (the JACK process thread, or an ALSA reading thread per input) and
// only queues.
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

struct Ports {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::unique_ptr<RtMidiOut> out;
    std::unique_ptr<RtMidiIn> in;  // the input port; on JACK, connected to every source
    // On the ALSA sequencer RtMidi connects an input to a single source: each source gets an
    // input of its own, all of them named "Tinklewood".
    std::map<std::string, std::unique_ptr<RtMidiIn>> ownInputs;
    std::set<std::string> present;  // the sources at the last look
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

void sendMessage(const unsigned char* message, std::size_t size) { ports->out->sendMessage(message, size); }

void quiet(const char*) {}

bool jackServerRunning() {
    // libjack has its own say on stderr when no server answers; the program has nothing to
    // say then, having no MIDI to offer is not a fault.
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status;
    jack_client_t* probe = jack_client_open("Tinklewood probe", JackNoStartServer, &status);
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
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

const auto LOOK_INTERVAL = std::chrono::seconds(1);

void lookForSources() {
    std::unique_lock<std::mutex> hold(ports->lock);
    while (!ports->stop.wait_for(hold, LOOK_INTERVAL, [] { return ports->stopping; })) connectNewSources();
}

void closeMidiPorts() {
    {
        std::lock_guard<std::mutex> hold(ports->lock);
        ports->stopping = true;
    }
    ports->stop.notify_one();
    ports->looking.join();
    ports->piano->stopMidiOutput();
    // The inputs go first, so nothing comes in while the output drains what was sent.
    delete ports;
    ports = nullptr;
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
    try {
        ports->in = makeInput();
        ports->in->openVirtualPort(PORT_NAME);
        ports->out = std::make_unique<RtMidiOut>(api, OUT_CLIENT);
        ports->out->setErrorCallback(onError);
        ports->out->openVirtualPort(PORT_NAME);
    } catch (const RtMidiError& error) {
        reportOnce(error.getMessage());
        delete ports;
        ports = nullptr;
        return false;
    }
    if (log != nullptr) log->log("midi-open", RtMidi::getApiName(api));
    connectNewSources();
    piano.startMidiOutput(sendMessage);
    ports->looking = std::thread(lookForSources);
    std::atexit(closeMidiPorts);
    return true;
}
