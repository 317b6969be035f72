#include "midi-builder/wild_songs.h"

#include <string>

namespace midi {

namespace {

// One note per syllable on the first channel, the lyric event just before its note, as
// sequencers that write lyric events lay out a vocal track.
Track& sung(Track& track, const std::vector<std::string>& syllables, uint8_t type = 0x05) {
    uint8_t note = 60;
    for (const std::string& syllable : syllables) {
        track.meta(0, type, syllable).noteOn(0, 0, note, 90).noteOff(100, 0, note);
        note = note == 67 ? 60 : note + 1;
    }
    return track;
}

Track tempoTrack(const std::string& name) {
    Track track;
    track.name(0, name).event(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}).tempo(0, 500000).end();
    return track;
}

// Pattern 1: lyric events with no separator, CR or LF anywhere.
Bytes noBreaks() {
    const std::vector<std::string> verse = {
        "Row, ", "row, ", "row ", "your ", "boat ", "gent", "ly ", "down ", "the ", "stream. ",
        "Mer", "ri", "ly, ", "mer", "ri", "ly, ", "mer", "ri", "ly, ", "mer", "ri", "ly, ",
        "life ", "is ", "but ", "a ", "dream. "};
    Track vocal;
    vocal.name(0, "Melody").event(0, {0xC0, 73});
    sung(sung(vocal, verse), verse).end();
    return File().header(1, 2, 120).track(tempoTrack("Row the Boat")).track(vocal).bytes();
}

// Pattern 2: CR and LF after the syllable, on their own, doubled and before one.
Bytes trailingBreaks() {
    Track track;
    track.name(0, "Night and Day").tempo(0, 500000);
    sung(track, {"Night ", "and ", "day\r", "you ", "are ", "the ", "one\n", "\r", "On", "ly ",
                 "you\r\n", "be", "neath ", "the ", "moon\r", "\n", "\nand ", "un", "der ", "the ",
                 "sun", "\r"})
        .end();
    return File().header(0, 1, 120).track(track).bytes();
}

// Patterns 3a and the standard layout: Soft Karaoke texts (type 1).
const std::vector<std::string> kSoftKaraokeWords = {"\\A", "ma", "zing ", "tune", "/how ", "sweet", "/the ", "sound"};

Bytes softKaraokeOneTrack() {
    Track track;
    track.name(0, "amazing_tune").text(0, "@KMIDI KARAOKE FILE").text(0, "@V0100").text(0, "@LENGL")
        .text(0, "@TAmazing Tune").text(0, "@TTraditional").text(0, "@IMade with a karaoke editor")
        .tempo(0, 600000);
    sung(track, kSoftKaraokeWords, 0x01).end();
    return File().header(0, 1, 120).track(track).bytes();
}

// The standard layout (a "Soft Karaoke" track of headers, then the words track) with the words
// track under the given name.
Bytes softKaraoke(const char* wordsName) {
    Track info;
    info.name(0, "Soft Karaoke").text(0, "@KMIDI KARAOKE FILE").text(0, "@V0100")
        .text(0, "@IYour own karaoke").end();
    Track words;
    words.name(0, wordsName).text(0, "@LENGL").text(0, "@TAmazing Tune").text(0, "@TTraditional");
    for (const std::string& text : kSoftKaraokeWords) words.text(100, text);
    words.end();
    Track melody;
    melody.name(0, "Melody");
    sung(melody, {"a", "b", "c", "d"}, 0x07).end();  // cue points: neither lyrics nor texts
    return File().header(1, 4, 120).track(tempoTrack("Sequenced")).track(info).track(words).track(melody).bytes();
}

// Must keep working: texts that are not lyrics beside lyric events, and a later lyric track.
Bytes chordsBesideLyrics() {
    Track chords;
    chords.name(0, "Chords").text(0, "C  min_7th").meta(0, 0x02, "(c) 1999 Somebody").text(480, "G7")
        .text(0, "/F").end();
    Track melody;
    melody.name(0, "Melody").text(0, "Flute, soft");
    sung(melody, {"\\Sing ", "a ", "song", "/of ", "six", "pence"}).end();
    Track backing;
    backing.name(0, "Backing vocals");
    sung(backing, {"/ooh ", "aah"}).end();
    return File().header(1, 4, 120).track(tempoTrack("Sixpence")).track(chords).track(melody).track(backing).bytes();
}

Track shortSong() {
    Track track;
    track.name(0, "Melody").tempo(0, 500000);
    sung(track, {"\\Hel", "lo ", "/world"}).end();
    return track;
}

// Pattern 4: an unknown chunk of an odd length between the tracks.
Bytes unknownChunk(bool withChunk) {
    File file;
    file.header(1, 2, 96).track(tempoTrack("Junk Song"));
    if (withChunk) file.chunk("Junk", {'x', 'x', 'h', 'x', 'x', 'x', 'r', 'x', 1, 2, 3, 4, 5, 6, 7, 8, 9,
                                       10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
    return file.track(shortSong()).bytes();
}

void putLittleEndian(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A RIFF chunk with its little-endian length, padded to an even size as RIFF wants.
Bytes riffChunk(const char id[4], const Bytes& data) {
    Bytes bytes(id, id + 4);
    putLittleEndian(bytes, static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() % 2) bytes.push_back(0);
    return bytes;
}

Bytes text(const std::string& value) { return Bytes(value.begin(), value.end() + 1); }

// Pattern 5: an RMID file whose song is followed by a LIST/INFO chunk, the name in which has an
// 'h' in third place of a four-byte step ("Ashe").
Bytes rmidWithInfo() {
    Bytes song = File().header(0, 1, 120).track(shortSong()).bytes();
    if (song.size() % 2) song.push_back(0);  // keep the LIST chunk where a stepping reader meets it
    Bytes info = {'I', 'N', 'F', 'O'};
    for (const Bytes& chunk : {riffChunk("INAM", text("Ashes to Ashes")), riffChunk("ISFT", text("Sequencer 7"))})
        info.insert(info.end(), chunk.begin(), chunk.end());
    Bytes body = {'R', 'M', 'I', 'D'};
    for (const Bytes& chunk : {riffChunk("data", song), riffChunk("LIST", info)})
        body.insert(body.end(), chunk.begin(), chunk.end());
    return riffChunk("RIFF", body);
}

// Pattern 5: a second song's header after the last track (files joined end to end), which
// would re-time the first song at a division of 24.
Bytes songAfterSong() {
    Bytes bytes = File().header(0, 1, 120).track(shortSong()).bytes();
    Track other;
    other.noteOn(0, 0, 40, 100).end();
    Bytes tail = File().header(0, 1, 24).track(other).bytes();
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// Pattern 6: lyrics in UTF-8 beside one in 8-bit text.
Bytes utf8Lyrics() {
    Track track;
    track.name(0, "Caf\xC3\xA9 Song").tempo(0, 500000);
    sung(track, {"\\Ca", "f\xC3\xA9 ", "na", "\xC3\xAFve ", "\xE2\x82\xAC" "5 ", "\xE4\xB8\xAD", "/Caf\xE9"}).end();
    return File().header(0, 1, 120).track(track).bytes();
}

}  // namespace

std::vector<WildSong> wildSongs() {
    return {
        {"no-breaks.kar", noBreaks()},
        {"trailing-breaks.kar", trailingBreaks()},
        {"soft-karaoke-one-track.kar", softKaraokeOneTrack()},
        {"soft-karaoke-lyrics-track.kar", softKaraoke("Lyrics")},
        {"soft-karaoke-words-track.kar", softKaraoke("Words")},
        {"chords-beside-lyrics.kar", chordsBesideLyrics()},
        {"unknown-chunk.mid", unknownChunk(true)},
        {"without-unknown-chunk.mid", unknownChunk(false)},
        {"rmid-with-info.rmi", rmidWithInfo()},
        {"song-after-song.mid", songAfterSong()},
        {"utf8-lyrics.kar", utf8Lyrics()},
    };
}

}  // namespace midi
