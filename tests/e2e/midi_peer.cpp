// A MIDI keyboard and a MIDI synthesizer for the end-to-end suite, on the JACK server that
// JACK_DEFAULT_SERVER names: a client NAME (default "midi-peer") with an output port "out",
// which sends what it is told, and an input port "in", which reports what it receives.
// Times are CLOCK_MONOTONIC in seconds, the clock the suite reads.
//
// usage: midi_peer [NAME]; prints "ready", then reads commands on stdin, one a line:
//   send HEX...    sends one message ("send 90 3c 64"); prints "sent T"
//   listen PORT    connects "in" from the output port PORT ("Tinklewood out:Tinklewood");
//                  prints "listening" or "no PORT"
// and prints "recv T HEX..." for every message that reaches "in". Ends at the end of stdin.
#include <RtMidi.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {
std::mutex printing;

double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void say(const std::string& line) {
    std::lock_guard<std::mutex> hold(printing);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void received(double, std::vector<unsigned char>* message, void*) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "recv %.6f", now());
    std::string line = stamp;
    for (unsigned char byte : *message) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        line += hex;
    }
    say(line);
}
}  // namespace

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "midi-peer";
    try {
        RtMidiOut out(RtMidi::UNIX_JACK, name);
        out.openVirtualPort("out");
        RtMidiIn in(RtMidi::UNIX_JACK, name);
        in.setCallback(received);
        in.openVirtualPort("in");
        say("ready");
        std::string line;
        while (std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::string command;
            words >> command;
            if (command == "send") {
                std::vector<unsigned char> message;
                unsigned int byte;
                while (words >> std::hex >> byte) message.push_back(static_cast<unsigned char>(byte));
                const double at = now();
                out.sendMessage(&message);
                char stamp[32];
                std::snprintf(stamp, sizeof stamp, "sent %.6f", at);
                say(stamp);
            } else if (command == "listen") {
                std::string port;
                std::getline(words >> std::ws, port);
                bool found = false;
                for (unsigned int i = 0; i < in.getPortCount() && !found; ++i) {
                    if (in.getPortName(i) != port) continue;
                    in.openPort(i, "in");
                    found = true;
                }
                say(found ? "listening" : "no " + port);
            }
        }
    } catch (const RtMidiError& error) {
        std::fprintf(stderr, "midi_peer: %s\n", error.getMessage().c_str());
        return 1;
    }
    return 0;
}
