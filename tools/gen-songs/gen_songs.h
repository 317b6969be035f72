#pragma once
// Turns the compact scores in tools/gen-songs/scores/ into the demo songs of media/karaoke/:
// Standard MIDI Files whose melody, lyrics and accompaniment come from one readable text per
// song. Everything here is deterministic, so a fresh generation equals the committed files byte
// for byte.

#include <cstdint>
#include <string>
#include <vector>

namespace gensongs {

using Bytes = std::vector<uint8_t>;

// One melody note (or rest) as the score gives it, in ticks from the start of the song.
struct Note {
    int32_t start = 0;
    int32_t length = 0;
    int pitch = -1;     // MIDI note number, -1 for a rest
    bool tied = false;  // held into the next note of the same pitch
    bool hasSyllable = false;
    std::string syllable;  // the lyric text as it goes into the file, separators included
    int line = 0;          // score line, for error messages
};

struct Chord {
    int32_t tick = 0;
    bool silent = true;  // "[-]": no accompaniment from here
    int root = 0;        // pitch class
    int bass = 0;        // pitch class of the bass (differs from root for slash chords)
    std::vector<int> intervals;
};

struct Tempo {
    int32_t tick = 0;
    double bpm = 0.0;
};

struct Bar {
    int32_t start = 0;
    int32_t length = 0;
};

enum class LyricStyle { words, lyric, none };

struct Score {
    std::string title;
    std::string credit;
    std::string fileName;
    int format = 1;
    int division = 480;
    int beatsPerBar = 4;
    int beatUnit = 4;
    int keySharps = 0;
    bool minorKey = false;
    LyricStyle lyrics = LyricStyle::words;
    std::string melodyName = "Melody";
    int melodyProgram = 1;  // General MIDI program numbers, 1 to 128
    int bassProgram = 33;
    int chordsProgram = 1;
    std::string comp = "block";
    int padProgram = 0;  // 0: no pad
    std::string drums = "none";
    int32_t pickup = 0;
    std::vector<Note> notes;
    std::vector<Chord> chords;
    std::vector<Tempo> tempos;
    std::vector<Bar> bars;
    int32_t end = 0;  // song length in ticks

    int32_t beatTicks() const { return division * 4 / beatUnit; }
    int32_t barTicks() const { return beatTicks() * beatsPerBar; }
};

struct Output {
    std::string fileName;
    Bytes bytes;
};

// Reads a score text. On failure returns false and sets `error` to "name:line: what".
bool parseScore(const std::string& text, const std::string& name, Score& score, std::string& error);

// Writes the Standard MIDI File of a parsed score.
Bytes writeSong(const Score& score);

// Parses and writes every "*.txt" of a folder, in name order.
bool buildScores(const std::string& folder, std::vector<Output>& out, std::string& error);

// Short songs for the system tests: two lyric lines with a melody, lyrics of more than 125
// lines, and a file without a single event. They do not belong in the shipped media.
std::vector<Output> testSongs();

// The text of every line of lyrics as the program shows them, from a score's syllables:
// a separator opens a new line.
std::vector<std::string> lyricLinesOf(const Score& score);

}  // namespace gensongs
