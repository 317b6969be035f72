#pragma once
// Reads a Standard MIDI or karaoke file into the song model.

#include <cstdint>

// Returns 1 when the file was read (also when it held nothing usable), 0 when it cannot be
// opened or its header chunk is rejected.
int32_t loadSong(const char* path);
