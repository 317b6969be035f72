#pragma once
// The Key & Tempo menu: six commands that move the transposition and the tempo factor within
// their limits, the marks and greying that show where they stand, and the caption that names
// them while they differ from the song's own.

#include <cstdint>
#include <string>

// A Key & Tempo command. Returns false for any other id.
bool handleKeyTempoCommand(unsigned commandId);

// The window's caption: "Lyrivox", " - <title>" when the song has one, and the key and tempo
// when they are not the song's own, e.g. "Lyrivox - Oh Susanna  [key +2, tempo 90 %]".
std::string keyTempoCaption(const char* title, int32_t key, int32_t tempo);
