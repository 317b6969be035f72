#pragma once
// Karaoke files laid out the way other programs write them, byte for byte: the layouts the
// loader must read (no line breaks, CR/LF after syllables, Soft Karaoke words in differently
// named tracks, unknown chunks, bytes after the song, UTF-8 text) and those that must keep
// working. loader-seeds writes them; the loader's unit test reads them.

#include <vector>

#include "midi-builder/midi_builder.h"

namespace midi {

struct WildSong {
    const char* name;  // file name, which tells the layout
    Bytes bytes;
};

std::vector<WildSong> wildSongs();

}  // namespace midi
