// The song library and the captions: "6" steps through the shipped songs and the user's, "5"
// plays the chosen one, and a line over the scene says what was chosen or changed.
#include <algorithm>
#include <cstdio>

#include "Piano.h"
#include "SongLibrary.h"
#include "timer.h"

MidiSongImporter midiSongImporter = nullptr;

namespace {
double nowSeconds() { return static_cast<double>(clocksource::now()) / clocksource::TICKS_PER_SECOND; }

LibraryState& library = app.library;

std::string userSongsDir() {
    const std::string data = userDataDir();
    return data.empty() ? data : data + "/songs";
}

// A MIDI file becomes a song when it is chosen, so "5" plays it at once and a file that
// cannot be one is named then.
void importChosen() {
    library.imported = SongData();
    library.importError.clear();
    std::string report;
    if (midiSongImporter == nullptr) {
        library.importError = "Error: Failed to open MIDI file " + library.chosen.path;
    } else if (!midiSongImporter(library.chosen.path, library.imported, report, library.importError)) {
        library.imported = SongData();
    }
    if (!library.importError.empty()) {
        std::printf("%s\n", library.importError.c_str());
        std::fflush(stdout);
    }
}
}  // namespace

void chooseNextSong() {
    std::vector<std::string> problems;
    library.songs = listSongs(songsPath, songName, userSongsDir(), &problems);
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (library.songs.empty()) {
        showCaption("no songs found");
        return;
    }
    // The one after the chosen song; a list that changed meanwhile is stepped from where the
    // chosen file now stands, or from its start when it is gone.
    std::size_t next = 0;
    const std::string current = library.chosenAny ? library.chosen.path : songsPath + songName;
    const auto at = std::find_if(library.songs.begin(), library.songs.end(),
                                 [&](const SongEntry& s) { return s.path == current; });
    if (at != library.songs.end()) next = (static_cast<std::size_t>(at - library.songs.begin()) + 1) % library.songs.size();
    library.chosen = library.songs[next];
    library.chosenAny = true;
    if (library.chosen.midi) importChosen();
    showCaption(library.chosen.title + " - 5 to play");
}

void playChosenSong() {
    bool started = false;
    std::string title = songTitle(songName);
    if (!library.chosenAny) {
        started = playSongFile(songsPath + songName);
    } else if (library.chosen.midi) {
        title = library.chosen.title;
        if (!library.importError.empty()) {
            std::printf("%s\n", library.importError.c_str());
            std::fflush(stdout);
        } else {
            started = startSong(library.imported, library.chosen.path);
        }
    } else {
        title = library.chosen.title;
        started = playSongFile(library.chosen.path);
    }
    if (started) showCaption(title + " - playing");
}

void showCaption(const std::string& text) {
    app.caption.text = text;
    app.caption.until = nowSeconds() + CAPTION_SECONDS;
    if (shellHooks.requestRedisplay != nullptr) shellHooks.requestRedisplay();
}

bool captionEnded() {
    if (app.caption.text.empty() || nowSeconds() < app.caption.until) return false;
    app.caption.text.clear();
    return true;
}

std::string currentCaption() {
    if (app.caption.text.empty() || nowSeconds() >= app.caption.until) return "";
    return app.caption.text;
}
