// loader-seeds DIR: writes a small set of generated songs into DIR, each one exercising a
// different part of the loader: a karaoke song with a melody track, a Words track, tempo
// changes and 130 lyric lines (more than the 125 the lyric table holds), format 0 and SMPTE
// songs, lyric events with carriage returns, "vocal" tracks, tracks before any header and
// unknown chunks; and the layouts of karaoke files from other programs (midi-builder/wild_songs.h).
// They serve as fuzz seeds and as samples for lvx-dump.

#include <cstdio>
#include <string>

#include "midi-builder/midi_builder.h"
#include "midi-builder/wild_songs.h"

namespace {

using midi::File;
using midi::Track;

File karaoke130() {
    Track tempo;
    tempo.name(0, "Tempo").tempo(0, 500000).event(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8});
    tempo.tempo(1920 * 8, 400000).tempo(1920 * 16, 600000).tempo(1920 * 8, 461538).end();

    Track words;
    words.name(0, "Words").text(0, "@KMIDI KARAOKE FILE").text(0, "@TLyrivox demo").text(0, "@LEN");
    Track melody;
    melody.name(0, "Melody").event(0, {0xC0, 52});
    uint8_t notes[] = {60, 62, 64, 65, 67, 65, 64, 62};
    for (int line = 1; line <= 130; ++line) {
        std::string first = "/Line " + std::to_string(line) + " ";
        words.text(line == 1 ? 480 : 240, first).text(240, "la ").text(240, "la");
        for (int syllable = 0; syllable < 3; ++syllable) {
            uint8_t note = notes[(line + syllable) % 8];
            melody.noteOn(syllable == 0 && line == 1 ? 480 : 0, 0, note, 96).event(220, {note, 0});
            melody.raw(midi::vlq(20));
            melody.raw({0xB0, 0x40, 0x00});  // a controller between notes keeps running status honest
        }
    }
    words.end();
    melody.end();

    Track piano;
    piano.name(0, "Piano").event(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}).event(0, {0xC1, 0});
    for (int bar = 0; bar < 98; ++bar) {
        piano.event(bar ? 0 : 480, {0x91, 48, 70}).event(0, {52, 70}).event(0, {55, 70});
        piano.event(1900, {48, 0}).event(0, {52, 0}).event(20, {55, 0});
    }
    piano.end();
    return File().header(1, 4, 480).track(tempo).track(words).track(melody).track(piano);
}

File formatZero() {
    Track track;
    track.name(0, "Song").tempo(0, 500000).lyric(0, "Hel").noteOn(0, 0, 60, 100).lyric(96, "lo\r")
        .noteOff(0, 0, 60).lyric(96, "\rworld").event(0, {0x90, 62, 90}).event(96, {62, 0})
        .event(0, {0xE0, 0x00, 0x40}).event(0, {0xD0, 0x20}).event(0, {0xA0, 62, 10}).end();
    return File().header(0, 1, 96).track(track);
}

File smpte() {
    Track track;
    track.name(0, "Vocals").tempo(0, 500000).event(0, {0xFF, 0x54, 0x05, 0x60, 0, 0, 0, 0})
        .noteOn(40, 0, 64, 100).noteOff(40, 0, 64).lyric(0, "/sing").end();
    return File().header(0, 1, 0xE728).track(track);
}

File vocalAndWords() {
    Track vocal;
    vocal.name(0, "Vocal lead").noteOn(0, 1, 67, 90).event(100, {67, 0}).end();
    Track melody;
    melody.name(0, "MELODY 2").noteOn(0, 2, 72, 90).event(100, {72, 0}).end();
    Track words;
    words.name(0, "words").text(0, "\\Ka").text(50, "ra").text(50, "o&&ke").text(50, "/@late").end();
    Track lyrics;
    lyrics.lyric(0, "ignored").end();
    return File().header(1, 4, 192).track(vocal).track(melody).track(words).track(lyrics);
}

File oddChunks() {
    Track track;
    track.noteOn(0, 0, 60, 100).tempo(10, 750000).noteOff(10, 0, 60).end();
    File file;
    file.chunk("XFIH", {1, 2, 3, 4, 5, 6, 7, 9}).track(track);  // a track before any header
    file.chunk("MThd", {0, 1, 0, 2, 0x01, 0xE0, 0, 0}).track(track);
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: loader-seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct Song {
        const char* name;
        File file;
    } songs[] = {
        {"karaoke-130-lines.kar", karaoke130()},
        {"format0.mid", formatZero()},
        {"smpte.mid", smpte()},
        {"vocal-words.kar", vocalAndWords()},
        {"odd-chunks.mid", oddChunks()},
    };
    std::vector<midi::WildSong> all;
    for (const Song& song : songs) all.push_back({song.name, song.file.bytes()});
    for (const midi::WildSong& song : midi::wildSongs()) all.push_back(song);
    for (const midi::WildSong& song : all) {
        std::string path = dir + "/" + song.name;
        if (!midi::writeFile(path, song.bytes)) {
            std::fprintf(stderr, "loader-seeds: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s (%zu bytes)\n", path.c_str(), song.bytes.size());
    }
    return 0;
}
