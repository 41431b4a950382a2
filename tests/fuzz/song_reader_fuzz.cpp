// libFuzzer target for the song reader: any text must be either refused with a message or
// read into entries that the player can use safely, and written out it must read back the same.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "SongFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SongData song;
    std::string error;
    if (!parseSong(text, 13, 5, song, error)) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    // What the player relies on: end beats strictly rising whole numbers, indices inside
    // their letter tables, and no more entries than the text could hold.
    for (const auto* hand : {&song.right, &song.left}) {
        const int letters = hand == &song.right ? 13 : 5;
        float previous = 0;
        for (const auto& entry : *hand) {
            if (!(entry[0] > previous) || entry[0] != std::floor(entry[0])) std::abort();
            if (!(entry[1] >= 0) || static_cast<int>(entry[1]) >= letters) std::abort();
            previous = entry[0];
        }
    }
    if ((song.right.size() + song.left.size()) * 4 > size + 4) std::abort();
    // Mode changes name left entries in rising order.
    for (std::size_t i = 0; i < song.modeChanges.size(); ++i) {
        if (song.modeChanges[i].first >= song.left.size()) std::abort();
        if (i > 0 && song.modeChanges[i].first <= song.modeChanges[i - 1].first) std::abort();
    }
    SongData back;
    if (!parseSong(formatSong(song), 13, 5, back, error)) std::abort();
    if (back.right != song.right || back.left != song.left || back.startMode != song.startMode ||
        back.modeChanges != song.modeChanges)
        std::abort();
    return 0;
}
