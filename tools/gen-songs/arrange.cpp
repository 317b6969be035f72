// From a parsed score to a Standard MIDI File: the conductor track with the karaoke header
// texts, the lyrics, the melody on channel 1, and an accompaniment drawn from the chords
// (bass on channel 2, chords on 3, a sustained pad on 4, drums on 10).

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "gen_songs.h"

namespace gensongs {
namespace {

constexpr int kMelodyChannel = 0;
constexpr int kBassChannel = 1;
constexpr int kChordChannel = 2;
constexpr int kPadChannel = 3;
constexpr int kDrumChannel = 9;

// Events at one tick go out in this order: a note that ends makes room before one that starts,
// and a syllable comes just before the note it is sung on.
enum Rank { kMeta = 0, kTempo, kSetup, kNoteOff, kText, kNoteOn, kEnd };

struct Event {
    int32_t tick;
    int rank;
    int sequence;
    Bytes data;  // status byte and the rest; meta events from 0xFF on
};

class Track {
  public:
    explicit Track(std::string name) : name_(std::move(name)) {}

    void meta(int32_t tick, uint8_t type, const std::string& text, int rank = kMeta) {
        Bytes data = {0xFF, type};
        appendVlq(data, static_cast<uint32_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
        add(tick, rank, data);
    }
    void metaBytes(int32_t tick, uint8_t type, const Bytes& bytes, int rank) {
        Bytes data = {0xFF, type, static_cast<uint8_t>(bytes.size())};
        data.insert(data.end(), bytes.begin(), bytes.end());
        add(tick, rank, data);
    }
    void channel(int32_t tick, int rank, uint8_t status, uint8_t a, uint8_t b) {
        add(tick, rank, {status, a, b});
    }
    void program(int channelIndex, int gmProgram) {
        add(0, kSetup,
            {static_cast<uint8_t>(0xC0 | channelIndex), static_cast<uint8_t>(gmProgram - 1)});
    }
    void control(int channelIndex, uint8_t number, uint8_t value) {
        channel(0, kSetup, static_cast<uint8_t>(0xB0 | channelIndex), number, value);
    }
    // A note ended by a note-off (0x8n) or, when `zeroOff`, by a note-on of velocity 0 that
    // shares the running status of the note-ons around it.
    void note(int channelIndex, int32_t start, int32_t length, int pitch, int velocity,
              bool zeroOff) {
        if (length <= 0) return;
        uint8_t on = static_cast<uint8_t>(0x90 | channelIndex);
        channel(start, kNoteOn, on, static_cast<uint8_t>(pitch), static_cast<uint8_t>(velocity));
        if (zeroOff)
            channel(start + length, kNoteOff, on, static_cast<uint8_t>(pitch), 0);
        else
            channel(start + length, kNoteOff, static_cast<uint8_t>(0x80 | channelIndex),
                    static_cast<uint8_t>(pitch), 64);
    }

    void merge(const Track& other) {
        for (const Event& e : other.events_) add(e.tick, e.rank, e.data);
    }

    // The chunk: delta times, running status for repeated channel statuses, end of track.
    Bytes chunk(int32_t songEnd) const {
        std::vector<Event> events = events_;
        Event name{0, -1, -1, {0xFF, 0x03}};
        appendVlq(name.data, static_cast<uint32_t>(name_.size()));
        name.data.insert(name.data.end(), name_.begin(), name_.end());
        events.push_back(name);
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            if (a.tick != b.tick) return a.tick < b.tick;
            if (a.rank != b.rank) return a.rank < b.rank;
            return a.sequence < b.sequence;
        });
        Bytes body;
        int32_t now = 0;
        uint8_t running = 0;
        for (const Event& e : events) {
            appendVlq(body, static_cast<uint32_t>(e.tick - now));
            now = e.tick;
            uint8_t status = e.data[0];
            bool channelMessage = status < 0xF0;
            if (channelMessage && status == running)
                body.insert(body.end(), e.data.begin() + 1, e.data.end());
            else
                body.insert(body.end(), e.data.begin(), e.data.end());
            running = channelMessage ? status : 0;
        }
        appendVlq(body, static_cast<uint32_t>(std::max(songEnd, now) - now));
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        Bytes out = {'M', 'T', 'r', 'k'};
        appendBigEndian(out, static_cast<uint32_t>(body.size()), 4);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

    static void appendVlq(Bytes& out, uint32_t value) {
        uint8_t groups[5];
        int count = 0;
        do {
            groups[count++] = static_cast<uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
        out.push_back(groups[0]);
    }
    static void appendBigEndian(Bytes& out, uint32_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }

  private:
    void add(int32_t tick, int rank, const Bytes& data) {
        events_.push_back({tick, rank, static_cast<int>(events_.size()), data});
    }

    std::string name_;
    std::vector<Event> events_;
};

// The chord that sounds at a tick, or none.
const Chord* chordAt(const Score& score, int32_t tick) {
    const Chord* found = nullptr;
    for (const Chord& chord : score.chords) {
        if (chord.tick > tick) break;
        found = &chord;
    }
    return (found && !found->silent) ? found : nullptr;
}

// The next tick at which the harmony changes or a bar begins, after `tick`.
int32_t nextChange(const Score& score, int32_t tick) {
    int32_t next = score.end;
    for (const Chord& chord : score.chords)
        if (chord.tick > tick) next = std::min(next, chord.tick);
    for (const Bar& bar : score.bars)
        if (bar.start > tick) next = std::min(next, bar.start);
    return next;
}

// Chord tones in a fixed band below the tune, F3 up to E4: with a fixed band each chord moves
// to the next by small steps.
std::vector<int> voicing(const Chord& chord) {
    std::vector<int> notes;
    for (int interval : chord.intervals) {
        int pc = (chord.root + interval) % 12;
        int note = 53 + ((pc - 53 % 12) + 12) % 12;
        notes.push_back(note);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

int bassNote(int pitchClass) {
    return 40 + ((pitchClass - 40 % 12) + 12) % 12;
}  // E2 to D#3

void arrangeBass(const Score& score, const Bar& bar, bool finalBar, Track& track, bool& lastWasRoot,
                 const Chord*& lastChord) {
    const int32_t beat = score.beatTicks();
    std::vector<int32_t> hits;
    for (int32_t t = bar.start; t < bar.start + bar.length; t += beat) {
        int index = static_cast<int>((t - bar.start) / beat);
        bool strong = index == 0 || (score.beatsPerBar == 4 && index == 2) ||
                      (score.beatsPerBar == 2 && index == 1);
        const Chord* chord = chordAt(score, t);
        bool changed = chord && t > bar.start && chordAt(score, t - 1) != chord;
        if (chord && (strong || changed)) hits.push_back(t);
        if (finalBar) break;
    }
    for (size_t i = 0; i < hits.size(); ++i) {
        int32_t t = hits[i];
        int32_t until = i + 1 < hits.size() ? hits[i + 1] : bar.start + bar.length;
        const Chord* chord = chordAt(score, t);
        bool root = chord != lastChord || !lastWasRoot || finalBar;
        int note = bassNote(chord->bass);
        if (!root) {
            note = bassNote(chord->root) + 7;
            if (note > 52) note -= 12;
        }
        int32_t length = finalBar ? until - t : until - t - beat / 8;
        track.note(kBassChannel, t, length, note, t == bar.start ? 92 : 84, true);
        lastWasRoot = root;
        lastChord = chord;
    }
}

void arrangeChords(const Score& score, const Bar& bar, bool finalBar, Track& track) {
    const int32_t beat = score.beatTicks();
    const std::string& comp = finalBar ? std::string("sustain") : score.comp;
    const int32_t barEnd = bar.start + bar.length;
    if (comp == "sustain") {
        for (int32_t t = bar.start; t < barEnd;) {
            int32_t until = std::min(nextChange(score, t), barEnd);
            if (const Chord* chord = chordAt(score, t))
                for (int note : voicing(*chord))
                    track.note(kChordChannel, t, until - t - (finalBar ? 0 : 8), note, 60, true);
            t = until;
        }
        return;
    }
    if (comp == "arpeggio") {
        for (int32_t t = bar.start; t < barEnd; t += beat / 2) {
            const Chord* chord = chordAt(score, t);
            if (!chord) continue;
            std::vector<int> tones = voicing(*chord);
            tones.push_back(tones.front() + 12);
            static const int kOrder[8] = {0, 1, 2, 3, 2, 1, 2, 3};
            int step = static_cast<int>((t - bar.start) / (beat / 2)) % 8;
            int note = tones[std::min<size_t>(static_cast<size_t>(kOrder[step]), tones.size() - 1)];
            track.note(kChordChannel, t, beat / 2 - 6, note, step == 0 ? 66 : 54, true);
        }
        return;
    }
    for (int32_t t = bar.start; t < barEnd; t += beat) {
        int index = static_cast<int>((t - bar.start) / beat);
        int32_t at = t;
        int32_t length = beat - beat / 8;
        if (comp == "oompah") {
            // The chord answers the bass: on the beats the bass leaves free, or in two time,
            // where the bass takes every beat, on the half beat after it.
            bool bassBeat = index == 0 || (score.beatsPerBar == 4 && index == 2);
            if (score.beatsPerBar == 2)
                at = t + beat / 2;
            else if (bassBeat)
                continue;
            length = beat / 3;
        }
        const Chord* chord = chordAt(score, at);
        if (!chord) continue;
        for (int note : voicing(*chord))
            track.note(kChordChannel, at, length, note, index == 0 ? 68 : 58, true);
    }
}

void arrangePad(const Score& score, const Bar& bar, Track& track) {
    const int32_t barEnd = bar.start + bar.length;
    for (int32_t t = bar.start; t < barEnd;) {
        int32_t until = std::min(nextChange(score, t), barEnd);
        if (const Chord* chord = chordAt(score, t)) {
            std::vector<int> tones = voicing(*chord);
            // Root and fifth an octave up, soft, to keep the chords warm under the voice.
            track.note(kPadChannel, t, until - t, tones.front() + 12, 44, true);
            track.note(kPadChannel, t, until - t, tones.back() + 12, 40, true);
        }
        t = until;
    }
}

void arrangeDrums(const Score& score, const Bar& bar, bool finalBar, Track& track) {
    if (!chordAt(score, bar.start)) return;
    const int32_t beat = score.beatTicks();
    auto hit = [&](int32_t t, int note, int velocity) {
        track.note(kDrumChannel, t, beat / 8, note, velocity, true);
    };
    const bool kit = score.drums == "kit";
    if (finalBar) {
        hit(bar.start, kit ? 49 : 51, kit ? 96 : 60);  // a crash, or the ride for a gentle song
        hit(bar.start, 36, kit ? 96 : 64);
        return;
    }
    for (int32_t t = bar.start; t < bar.start + bar.length; t += beat) {
        int index = static_cast<int>((t - bar.start) / beat);
        bool backbeat = score.beatsPerBar % 2 == 0 && index % 2 == 1;
        if (index == 0 || (score.beatsPerBar == 4 && index == 2)) hit(t, 36, kit ? 92 : 64);
        if (backbeat) hit(t, kit ? 38 : 37, kit ? 78 : 46);
        if (kit) {
            if (score.beatsPerBar == 3) {
                if (index > 0) hit(t, 42, 62);
            } else {
                hit(t, 42, 64);
                hit(t + beat / 2, 42, 46);
            }
        } else {
            hit(t, 51, index == 0 ? 56 : 44);  // ride, played softly with brushes in mind
        }
    }
}

}  // namespace

Bytes writeSong(const Score& score) {
    const bool karaoke = score.lyrics != LyricStyle::none;
    std::vector<Track> tracks;

    Track conductor(score.title.empty() ? score.fileName : score.title);
    if (karaoke) {
        conductor.meta(0, 0x01, "@KMIDI KARAOKE FILE");
        conductor.meta(0, 0x01, "@V0100");
        conductor.meta(0, 0x01, "@I" + score.credit);
    }
    conductor.meta(0, 0x02, "Public domain. Arranged for Lyrivox.");
    conductor.metaBytes(0, 0x58, {static_cast<uint8_t>(score.beatsPerBar), 2, 24, 8}, kMeta);
    conductor.metaBytes(
        0, 0x59,
        {static_cast<uint8_t>(score.keySharps), static_cast<uint8_t>(score.minorKey ? 1 : 0)},
        kMeta);
    for (const Tempo& tempo : score.tempos) {
        uint32_t micros = static_cast<uint32_t>(std::lround(60000000.0 / tempo.bpm));
        conductor.metaBytes(tempo.tick, 0x51,
                            {static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
                             static_cast<uint8_t>(micros)},
                            kTempo);
    }
    tracks.push_back(conductor);

    if (score.lyrics == LyricStyle::words) {
        Track words("Words");
        words.meta(0, 0x01, "@LENGL");
        words.meta(0, 0x01, "@T" + score.title);
        words.meta(0, 0x01, "@T" + score.credit);
        for (const Note& note : score.notes)
            if (note.hasSyllable) words.meta(note.start, 0x01, note.syllable, kText);
        tracks.push_back(words);
    }

    Track melody(score.melodyName);
    melody.program(kMelodyChannel, score.melodyProgram);
    melody.control(kMelodyChannel, 7, 110);
    melody.control(kMelodyChannel, 10, 64);
    melody.control(kMelodyChannel, 91, 40);
    for (const Note& note : score.notes) {
        if (note.pitch < 0) continue;
        bool barStart = std::any_of(score.bars.begin(), score.bars.end(),
                                    [&](const Bar& b) { return b.start == note.start; });
        int32_t gap = std::min(note.length / 8, score.division / 8);
        melody.note(kMelodyChannel, note.start, note.length - gap, note.pitch, barStart ? 104 : 96,
                    false);
        if (score.lyrics == LyricStyle::lyric && note.hasSyllable)
            melody.meta(note.start, 0x05, note.syllable, kText);
    }
    tracks.push_back(melody);

    Track bass("Bass");
    Track chords("Chords");
    Track pad("Strings");
    Track drums("Drums");
    bass.program(kBassChannel, score.bassProgram);
    bass.control(kBassChannel, 7, 96);
    bass.control(kBassChannel, 10, 58);
    chords.program(kChordChannel, score.chordsProgram);
    chords.control(kChordChannel, 7, 84);
    chords.control(kChordChannel, 10, 40);
    chords.control(kChordChannel, 91, 50);
    if (score.padProgram > 0) {
        pad.program(kPadChannel, score.padProgram);
        pad.control(kPadChannel, 7, 70);
        pad.control(kPadChannel, 10, 88);
        pad.control(kPadChannel, 91, 70);
    }
    drums.control(kDrumChannel, 7, score.drums == "kit" ? 90 : 76);
    bool lastWasRoot = false;
    const Chord* lastChord = nullptr;
    for (size_t i = 0; i < score.bars.size(); ++i) {
        const Bar& bar = score.bars[i];
        bool finalBar = i + 1 == score.bars.size();
        arrangeBass(score, bar, finalBar, bass, lastWasRoot, lastChord);
        arrangeChords(score, bar, finalBar, chords);
        if (score.padProgram > 0) arrangePad(score, bar, pad);
        if (score.drums != "none") arrangeDrums(score, bar, finalBar, drums);
    }
    tracks.push_back(bass);
    tracks.push_back(chords);
    if (score.padProgram > 0) tracks.push_back(pad);
    if (score.drums != "none") tracks.push_back(drums);

    if (score.format == 0) {
        Track single(score.title.empty() ? score.fileName : score.title);
        for (const Track& track : tracks) single.merge(track);
        tracks.assign(1, single);
    }

    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    Track::appendBigEndian(file, static_cast<uint32_t>(score.format), 2);
    Track::appendBigEndian(file, static_cast<uint32_t>(tracks.size()), 2);
    Track::appendBigEndian(file, static_cast<uint32_t>(score.division), 2);
    for (const Track& track : tracks) {
        Bytes chunk = track.chunk(score.end);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

bool buildScores(const std::string& folder, std::vector<Output>& out, std::string& error) {
    namespace fs = std::filesystem;
    std::vector<fs::path> paths;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == ".txt") paths.push_back(entry.path());
    if (ec) {
        error = folder + ": " + ec.message();
        return false;
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Score score;
        if (!parseScore(text, path.filename().string(), score, error)) return false;
        out.push_back({score.fileName, writeSong(score)});
    }
    return true;
}

std::vector<Output> testSongs() {
    std::vector<Output> out;
    Score score;
    std::string error;

    // Two lines of lyrics on a melody track, about eight seconds.
    const char* twoLines =
        "title Two Lines\n"
        "credit Lyrivox test song\n"
        "file two-lines.kar\n"
        "tempo 120\n"
        "time 4/4\n"
        "lyrics words\n"
        "melody 72\n"
        "chords 1 block\n"
        "drums kit\n"
        "| [C] r:w | C4:q \\Sing E4:q a- G4:q long, r:q | [G7] G4:q /with F4:q me D4:q now! r:q | "
        "[C] C4:w |\n";
    if (parseScore(twoLines, "two-lines", score, error))
        out.push_back({score.fileName, writeSong(score)});

    // 130 lines of one syllable each, sixteenth notes at 240: about nine seconds.
    std::string many =
        "title Many Lines\ncredit Lyrivox test song\nfile many-lines.kar\ntempo 240\ntime 4/4\n"
        "lyrics lyric\nmelody 72\nchords 1 sustain\n";
    static const char* kPitches[8] = {"C4", "D4", "E4", "F4", "G4", "F4", "E4", "D4"};
    for (int i = 0; i < 144; ++i) {
        if (i % 16 == 0) many += i == 0 ? "| [C] " : " |\n| ";
        many += std::string(kPitches[i % 8]) + ":s";
        if (i < 130)
            many += " " + std::string(i == 0 ? "\\" : "/") + "line" + std::to_string(i + 1);
        many += " ";
    }
    many += "|\n| C4:w |\n";
    if (parseScore(many, "many-lines", score, error))
        out.push_back({score.fileName, writeSong(score)});

    // A header and one track that holds nothing but its end.
    out.push_back(
        {"no-events.mid", {'M',  'T', 'h', 'd', 0,   0, 0, 6, 0, 0,    0,    1,    0x01,
                           0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00}});
    return out;
}

}  // namespace gensongs
