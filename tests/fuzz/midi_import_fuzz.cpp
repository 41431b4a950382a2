// libFuzzer target for the MIDI import: any bytes must be either refused with a message or
// made into a song the player can use and the song reader takes back. libsmf itself is not
// built with the sanitizers, so what the check lets through is also handed to libsmf in a
// buffer that ends at an unreadable page: a read past the end faults at once.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <smf.h>

#include "MidiFile.h"

namespace {
void quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// libsmf on bytes the check passed: it must read them within bounds and find every track.
void loadAtPageEnd(const std::string& bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t pages = (bytes.size() + page - 1) / page + 1;
    void* region = mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) std::abort();
    char* guard = static_cast<char*>(region) + (pages - 1) * page;
    mprotect(guard, page, PROT_NONE);
    char* start = guard - bytes.size();
    std::memcpy(start, bytes.data(), bytes.size());
    smf_t* smf = smf_load_from_memory(start, static_cast<int>(bytes.size()));
    const int declared = (static_cast<unsigned char>(bytes[10]) << 8) | static_cast<unsigned char>(bytes[11]);
    if (smf == nullptr || smf->number_of_tracks != declared) std::abort();
    smf_delete(smf);
    munmap(region, pages * page);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = [] {
        g_log_set_handler("libsmf", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK), quiet, nullptr);
        return true;
    }();
    (void)silenced;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string problem;
    if (checkMidiBytes(bytes, problem)) loadAtPageEnd(bytes);

    MidiScore score;
    SongData song;
    MidiImportReport report;
    if (!readMidiBytes(bytes, score, problem) || !songFromMidi(score, song, report, problem)) {
        if (problem.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    // What the player relies on: both hands ending together, entries of at least two whole
    // beats, indices inside their letter tables; and the song's text reads back the same.
    for (const auto* hand : {&song.right, &song.left}) {
        const int letters = hand == &song.right ? 13 : 5;
        float previous = 0;
        for (const auto& entry : *hand) {
            if (!(entry[0] >= previous + SHORTEST_ENTRY_BEATS) || entry[0] != std::floor(entry[0])) std::abort();
            if (!(entry[1] >= 0) || static_cast<int>(entry[1]) >= letters) std::abort();
            previous = entry[0];
        }
    }
    if (song.right.empty() || !song.startMode) std::abort();
    if (!song.left.empty() && song.left.back()[0] != song.right.back()[0]) std::abort();
    if (report.kept + report.folded != static_cast<int>(song.right.size())) std::abort();
    SongData back;
    if (!parseSong(formatSong(song), 13, 5, back, problem) || back.right != song.right || back.left != song.left)
        std::abort();
    return 0;
}
