// bench-timing: how closely a song keeps time. For a set of generated five-minute songs
// (divisions 24 to 960, tempo changes, ritardando and accelerando, SMPTE divisions) it plays
// each one with the program's loader and sequencer on the simulated clock (as lvx-play does)
// and compares the send time of every message with the event's true time from the file's
// tempo map (120 beats per minute until the first tempo event; for an SMPTE division, frames
// per second times ticks per frame). It prints per song the number of messages, the mean, the
// least and the greatest lateness, and the drift: how far the song's own clock (the
// sequencer's position with its fraction) stands behind true time at the song's end. Every
// message should go out 0 to 25 ms after its true time, and the drift should stay near 0.
//
// Exit code 0 when every song kept within the bounds (no message early; a few milliseconds of
// slack past the period for the rounding of ticks per period), 1 otherwise.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "play_simulation.h"
#include "playback/sequencer.h"
#include "midi-builder/midi_builder.h"

namespace {

constexpr double kSongSeconds = 300.0;
// Ticks per period carry 24 fraction bits, rounded down, so a song's clock may only fall
// behind, by less than a 1/2^24 step per period: far under a millisecond over five minutes at
// any rate. No message may go out early at all.
constexpr double kSlackMs = 4.0;
constexpr double kEarlyMs = 1e-6;  // what double arithmetic of the true times may be off by

struct TempoChange {
    uint32_t tick;
    uint32_t microsPerQuarter;
};

struct Song {
    std::string name;
    uint16_t division;  // the header's two bytes; top bit set for SMPTE
    std::vector<TempoChange> tempos;
    uint32_t maxGap;  // greatest distance between notes, in ticks
};

// A small deterministic generator, so every run writes the same songs.
struct Random {
    uint32_t state;
    uint32_t next(uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    }
};

bool isSmpte(const Song& song) { return (song.division & 0x8000) != 0; }

// The true time of a tick in milliseconds, by the song's tempo map.
double trueMs(const Song& song, double tick) {
    if (isSmpte(song)) {
        const double framesPerSecond = 256 - (song.division >> 8);
        const double ticksPerFrame = song.division & 0xFF;
        return tick * 1000.0 / (framesPerSecond * ticksPerFrame);
    }
    // A division of 0 plays as division 480.
    const double division = song.division ? song.division : 480;
    double ms = 0.0;
    uint32_t at = 0;
    double micros = 500000.0;
    for (const TempoChange& change : song.tempos) {
        if (change.tick >= tick) break;
        ms += (change.tick - at) * micros / 1000.0 / division;
        at = change.tick;
        micros = change.microsPerQuarter;
    }
    return ms + (tick - at) * micros / 1000.0 / division;
}

// Writes the song as format 1: a tempo track and two note tracks with notes at irregular
// ticks, up to five minutes of true time. Returns the ticks of all channel events.
std::vector<uint32_t> writeSong(const Song& song, const std::string& path, uint32_t seed) {
    midi::Track tempoTrack;
    tempoTrack.name(0, "Tempo");
    uint32_t at = 0;
    for (const TempoChange& change : song.tempos) {
        tempoTrack.tempo(change.tick - at, change.microsPerQuarter);
        at = change.tick;
    }
    tempoTrack.end();

    std::vector<uint32_t> ticks;
    midi::File file;
    file.header(1, 3, song.division).track(tempoTrack);
    Random random{seed};
    for (int part = 0; part < 2; ++part) {
        midi::Track notes;
        notes.name(0, part == 0 ? "Melody" : "Piano");
        uint32_t tick = 0;
        uint32_t last = 0;
        while (true) {
            tick += random.next(song.maxGap) + 1;
            const uint32_t length = random.next(song.maxGap) + 1;
            if (trueMs(song, tick + length) > kSongSeconds * 1000.0) break;
            const auto note = static_cast<uint8_t>(48 + random.next(32));
            notes.noteOn(tick - last, static_cast<uint8_t>(part), note, 100);
            notes.noteOff(length, static_cast<uint8_t>(part), note);
            ticks.push_back(tick);
            ticks.push_back(tick + length);
            last = tick + length;
            tick = last;
        }
        notes.end();
        file.track(notes);
    }
    midi::writeFile(path, file.bytes());
    std::sort(ticks.begin(), ticks.end());
    return ticks;
}

// A tempo change every `every` ticks from `from` to `to` microseconds per quarter.
std::vector<TempoChange> ramp(uint32_t division, uint32_t every, uint32_t from, uint32_t to) {
    std::vector<TempoChange> changes;
    uint32_t micros = from;
    uint32_t tick = 0;
    double ms = 0.0;
    while (ms < kSongSeconds * 1000.0) {
        changes.push_back({tick, micros});
        ms += every * micros / 1000.0 / division;
        tick += every;
        micros = static_cast<uint32_t>(from + (static_cast<double>(to) - from) * std::min(1.0, ms / 240000.0));
    }
    return changes;
}

std::vector<Song> songs() {
    std::vector<Song> list;
    for (int value : {24, 96, 120, 192, 384, 480, 960}) {
        const auto division = static_cast<uint16_t>(value);
        list.push_back({"div " + std::to_string(division) + ", 120 bpm", division, {}, division});
    }
    list.push_back({"div 24, 60 bpm", 24, {{0, 1000000}}, 24});
    // Rates at which rounding ticks per period to the nearest step once sent events early.
    list.push_back({"div 24, 1,479,451 us a quarter", 24, {{0, 1479451}}, 24});
    list.push_back({"div 96, 1,234,567 us a quarter", 96, {{0, 1234567}}, 96});
    list.push_back({"div 0 (played as 480), 120 bpm", 0, {}, 480});
    list.push_back({"div 96, 7 tempo changes", 96,
                    {{0, 400000}, {1111, 600000}, {2345, 333333}, {5000, 750000}, {7001, 461538}, {9999, 250000}, {15000, 545454}}, 96});
    list.push_back({"div 120, 100 bpm", 120, {{0, 600000}}, 120});
    list.push_back({"div 192, tempo at odd ticks", 192,
                    {{37, 480000}, {1001, 520000}, {4003, 410000}, {9000, 1500000}, {12007, 300000}}, 192});
    list.push_back({"div 384, ritardando 160 to 50 bpm", 384, ramp(384, 48, 375000, 1200000), 384});
    list.push_back({"div 480, accelerando 60 to 200 bpm", 480, ramp(480, 60, 1000000, 300000), 480});
    list.push_back({"div 960, 140 bpm", 960, {{0, 428571}}, 960});
    list.push_back({"div 960, 30 bpm then 300 bpm", 960, {{0, 2000000}, {20000, 200000}}, 960});
    list.push_back({"SMPTE 25 fps x 40", 0xE728, {{0, 600000}}, 500});
    list.push_back({"SMPTE 30 fps x 80", 0xE250, {}, 1000});
    list.push_back({"SMPTE 29 fps x 40", 0xE328, {}, 500});
    list.push_back({"SMPTE 24 fps x 4", 0xE804, {}, 50});
    list.push_back({"SMPTE 24 fps x 1", 0xE801, {}, 12});
    return list;
}

struct Measure {
    size_t messages = 0;
    bool complete = false;  // ended, every message sent
    double mean = 0.0, least = 1e9, most = -1e9, drift = 0.0;
    bool within = false;
};

// Plays the song at `percent` of its tempo and compares every send with its true time, which
// the factor stretches or shrinks. Nothing may go out early; the slack past the period and for
// the drift stretches with the factor.
Measure measure(const Song& song, const std::string& path, const std::vector<uint32_t>& ticks, int32_t percent) {
    std::vector<uint32_t> sendMs;
    uint32_t endMs = 0;
    PlayOptions options;
    options.tempo = percent;
    const PlayResult result = simulatePlay(path.c_str(), options, [&](const PlayRecord& record) {
        if (record.kind == PlayRecord::Kind::Send) sendMs.push_back(record.ms);
        if (record.kind == PlayRecord::Kind::End) endMs = record.ms;
    });
    const double endPosition = static_cast<double>(songPositionFixed()) / kPeriodOne;
    Measure m;
    m.messages = sendMs.size();
    m.complete = result == PlayResult::Ended && sendMs.size() == ticks.size();
    if (!m.complete) return m;
    const double stretch = 100.0 / percent;
    double sum = 0.0;
    for (size_t i = 0; i < ticks.size(); ++i) {
        const double late = sendMs[i] - trueMs(song, ticks[i]) * stretch;
        sum += late;
        m.least = std::min(m.least, late);
        m.most = std::max(m.most, late);
    }
    m.mean = sum / static_cast<double>(ticks.size());
    m.drift = endMs - trueMs(song, endPosition) * stretch;
    const double slack = kSlackMs * stretch;
    m.within = m.least >= -kEarlyMs && m.most <= 25.0 + slack && std::fabs(m.drift) <= slack;
    return m;
}

}  // namespace

int main() {
    const std::string folder = midi::makeTempDir("bench-timing");
    const int32_t tempos[] = {50, 80, 125, 150};
    std::string byTempo;
    std::printf("| song | messages | mean late ms | least late ms | most late ms | drift at end ms |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    bool allWithin = true;
    uint32_t seed = 1;
    for (const Song& song : songs()) {
        const std::string path = folder + "/song" + std::to_string(seed) + ".mid";
        const std::vector<uint32_t> ticks = writeSong(song, path, seed++);

        const Measure m = measure(song, path, ticks, 100);
        allWithin = allWithin && m.complete && m.within;
        if (!m.complete)
            std::printf("| %s | %zu of %zu sent | | | | |\n", song.name.c_str(), m.messages, ticks.size());
        else
            std::printf("| %s | %zu | %.2f | %.3f | %.3f | %+.3f |%s\n", song.name.c_str(), ticks.size(), m.mean,
                        m.least, m.most, m.drift, m.within ? "" : " OUT OF BOUNDS");

        // At each tempo factor: least and most late, and the drift, in milliseconds.
        byTempo += "| " + song.name + " |";
        for (int32_t percent : tempos) {
            const Measure t = measure(song, path, ticks, percent);
            allWithin = allWithin && t.complete && t.within;
            char cell[96];
            if (!t.complete)
                std::snprintf(cell, sizeof cell, " %zu of %zu sent |", t.messages, ticks.size());
            else
                std::snprintf(cell, sizeof cell, " %.3f to %.3f, %+.3f%s |", t.least, t.most, t.drift,
                              t.within ? "" : " OUT OF BOUNDS");
            byTempo += cell;
        }
        byTempo += "\n";
        std::remove(path.c_str());
    }
    std::printf("\n| song (late ms least to most, drift ms) | 50 %% | 80 %% | 125 %% | 150 %% |\n");
    std::printf("|---|---|---|---|---|\n%s", byTempo.c_str());
    std::remove(folder.c_str());
    return allWithin ? 0 : 1;
}
