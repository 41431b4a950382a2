// The notes coming ("Return"): the bars the scene shows of the entries a song is about to play,
// worked out from where the song stands, so they follow whatever its clock does.
#pragma once

#include <optional>
#include <vector>

#include "ChordInfo.h"
#include "Scene.h"

class SongPlayer;

// How far ahead the bars reach, in seconds of the song's written time: the drawing lays them
// out from the keys' front edges back to the far edge of the view over this long.
constexpr double NOTES_AHEAD_SECONDS = 3.0;

// A passage the song plays again and again: from the beat `first` up to the beat `end`, where
// it goes back to `first`.
struct RepeatedPassage {
    float first = 0;
    float end = 0;
};

// Adds the bar of one key of an entry that starts `start` and ends `end` seconds of written
// time from now, when some of it is still to come within NOTES_AHEAD_SECONDS. A song adds its
// entries through songBars; a player with a schedule of its own (a MIDI file played as written)
// adds its notes through this.
void addBar(std::vector<NoteBar>& bars, int key, bool right, double start, double end, bool awaited = false);

// Adds the bars of a song's entries from where it stands: each right-hand entry on its key,
// each chord on its three keys in the mode it will be played in (`mode`, the piano's mode now,
// until a mode the song names). An entry playing along waits for stands at its key once due.
// With a passage on repeat, what comes after its end is its start again.
void songBars(const SongPlayer& song, Mode mode, std::vector<NoteBar>& bars,
              const std::optional<RepeatedPassage>& passage = std::nullopt);
