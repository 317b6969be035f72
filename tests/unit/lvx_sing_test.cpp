// lvx-sing: the melody it finds, the times it gives the notes, and the voice it writes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "midi-builder/midi_builder.h"
#include "tools/lvx-sing/sing.h"
#include "voice/pitch.h"

namespace {

using midi::File;
using midi::Track;

sing::Song read(const File& file) {
    return sing::readSong(file.bytes());
}

// Each note as {key, channel, start ms, end ms}, times to the microsecond.
std::vector<std::vector<double>> notesOf(const sing::Song& song) {
    std::vector<std::vector<double>> out;
    auto us = [](double ms) { return std::round(ms * 1000) / 1000; };
    for (const auto& n : song.notes) out.push_back({double(n.key), double(n.channel), us(n.startMs), us(n.endMs)});
    return out;
}

int peak(const std::vector<int16_t>& samples, size_t first, size_t last) {
    int p = 0;
    for (size_t i = first; i < last && i < samples.size(); ++i)
        p = std::max(p, std::abs(int{samples[i]}));
    return p;
}

TEST(LvxSing, TimesNotesByTheWholeTempoMap) {
    // Format 1, division 480: 120 bpm until the tempo track halves the pace at tick 1920 (2 s).
    Track tempo;
    tempo.name(0, "Tempo").tempo(1920, 1000000).end(1920);
    Track melody;
    melody.name(0, "Melody").noteOn(960, 0, 60, 100).noteOff(480, 0, 60);  // 1000..1500 ms
    melody.noteOn(960, 0, 62, 90).event(480, {0x90, 62, 0});               // 3000..4000 ms
    melody.noteOn(0, 0, 64, 90).end(480);                                  // still on at the end
    sing::Song song = read(File().header(1, 2, 480).track(tempo).track(melody));
    ASSERT_TRUE(song.ok) << song.error;
    // Velocity 0 ends the second note; the third lasts to its track's end.
    EXPECT_EQ(notesOf(song), (std::vector<std::vector<double>>{{60, 0, 1000, 1500}, {62, 0, 3000, 4000}, {64, 0, 4000, 5000}}));
    EXPECT_DOUBLE_EQ(song.lengthMs, 6000.0);        // the tempo track ends at tick 3840

    // A tempo at tick 0 governs from the start; a division of 96 has no effect on the pace.
    Track fast;
    fast.tempo(0, 250000).name(0, "melody").noteOn(96, 3, 70, 1).noteOff(96, 3, 70).end();
    EXPECT_EQ(notesOf(read(File().header(0, 1, 96).track(fast))), (std::vector<std::vector<double>>{{70, 3, 250, 500}}));

    // SMPTE: 25 frames of 40 ticks is a tick a millisecond, and tempo events change nothing.
    Track smpte;
    smpte.name(0, "Melody").tempo(0, 1000000).noteOn(1000, 0, 60, 64).noteOff(250, 0, 60).end();
    EXPECT_EQ(notesOf(read(File().header(0, 1, 0xE728).track(smpte))), (std::vector<std::vector<double>>{{60, 0, 1000, 1250}}));
}

TEST(LvxSing, FindsTheMelodyByTrackName) {
    EXPECT_EQ(sing::melodyNameKind("MELODY 1"), 1);
    EXPECT_EQ(sing::melodyNameKind("Vocals"), 2);
    EXPECT_EQ(sing::melodyNameKind("Lead Vocal"), 0);
    EXPECT_EQ(sing::melodyNameKind("Melody" + std::string(80, 'x')), 0);

    auto track = [](const std::string& name, uint8_t key) {
        Track t;
        t.noteOn(0, 0, 50, 64).noteOff(10, 0, 50);  // before the name: not melody
        t.name(0, name).noteOn(0, 0, key, 64).noteOff(10, 0, key).end();
        return t;
    };
    auto keys = [](const sing::Song& song) {
        std::vector<int> k;
        for (const auto& n : song.notes) k.push_back(n.key);
        return k;
    };
    // The first "vocal" track counts while no melody track came before it, a second does not;
    // every "melody" track counts.
    sing::Song song = read(File()
                               .header(1, 5, 480)
                               .track(track("Piano", 61))
                               .track(track("Vocal", 62))
                               .track(track("vocal 2", 63))
                               .track(track("Melody B", 64))
                               .track(track("Melody A", 65)));
    EXPECT_EQ(keys(song), (std::vector<int>{65, 64, 62}));  // together: highest first
    song = read(File().header(1, 2, 480).track(track("Melody", 70)).track(track("Vocals", 71)));
    EXPECT_EQ(keys(song), std::vector<int>{70});
    song = read(File().header(1, 1, 480).track(track("Strings", 72)));
    EXPECT_TRUE(song.ok);
    EXPECT_TRUE(song.notes.empty());

    // Refused files, and every cut of a good file reads without harm.
    EXPECT_FALSE(read(File().header(2, 1, 480).track(track("Melody", 60))).ok);
    EXPECT_FALSE(read(File().header(0, 1, 0).track(track("Melody", 60))).ok);
    EXPECT_FALSE(sing::readSong({'R', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).ok);
    midi::Bytes whole = File().header(1, 1, 480).track(track("Melody", 60)).bytes();
    for (size_t n = 0; n < whole.size(); ++n) {
        sing::Song cut =
            sing::readSong(midi::Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
        EXPECT_LE(cut.notes.size(), 1u);
    }
}

TEST(LvxSing, SingsEachNoteAtItsPitchWithSilenceBetween) {
    Track melody;
    melody.name(0, "Melody").noteOn(480, 0, 69, 100).noteOff(480, 0, 69);  // A4, 500..1000 ms
    melody.noteOn(480, 0, 60, 100).noteOff(480, 0, 60).end();              // C4, 1500..2000 ms
    sing::Song song = read(File().header(0, 1, 480).track(melody));
    sing::Voice voice;
    voice.leadMs = 250;
    // Every voice, sine or sung vowel, must be heard on its note by the program's own detector.
    auto heard = [](const std::vector<int16_t>& out, size_t first) { return EstimatePitchHz(&out[first], 8000, 0); };
    for (sing::Singer singer : {sing::Singer::Male, sing::Singer::Female, sing::Singer::Sine}) {
        SCOPED_TRACE(static_cast<int>(singer));
        voice.singer = singer;
        voice.transpose = 0;
        std::vector<int16_t> out = sing::render(song, voice);
        ASSERT_EQ(out.size(), 8000u * 2250 / 1000);
        // Silence before, between and after; the note starts on its sample.
        EXPECT_EQ(peak(out, 0, 6000), 0);
        EXPECT_GT(peak(out, 6000, 6080), 0);
        EXPECT_EQ(peak(out, 10000, 14000), 0);
        // About -12 dBFS and no louder.
        int loudest = peak(out, 6000, 10000);
        EXPECT_GT(loudest, 32767 / 5);
        EXPECT_LE(loudest, 32767 / 4 + 1);
        EXPECT_NEAR(heard(out, 7000), 440, 8);
        EXPECT_NEAR(heard(out, 14500), 262, 5);
        // An octave lower and a fifth higher.
        voice.transpose = -12;
        EXPECT_NEAR(heard(sing::render(song, voice), 7000), 220, 4);
        voice.transpose = 7;
        EXPECT_NEAR(heard(sing::render(song, voice), 14500), 392, 7);
    }

    // Silence mode keeps the song's length and holds nothing, or only the noise floor asked for.
    voice.silence = true;
    std::vector<int16_t> out = sing::render(song, voice);
    EXPECT_EQ(out.size(), 18000u);
    EXPECT_EQ(peak(out, 0, out.size()), 0);
    voice.noiseDbfs = -55;
    out = sing::render(song, voice);
    double power = 0;
    for (int16_t s : out) power += double(s) * s;
    EXPECT_NEAR(10 * std::log10(power / double(out.size()) / (32768.0 * 32768.0)), -55.0, 0.5);

    // A note that overlaps the next is cut where the next begins; one voice sings at a time.
    Track legato;
    legato.name(0, "Melody").noteOn(0, 0, 64, 90).noteOn(480, 0, 67, 90).noteOff(240, 0, 64);
    legato.noteOff(240, 0, 67).end();
    std::vector<sing::Sung> sung = sing::phrase(read(File().header(0, 1, 480).track(legato)), 0);
    ASSERT_EQ(sung.size(), 2u);
    EXPECT_DOUBLE_EQ(sung[0].endMs, 500.0);
    EXPECT_DOUBLE_EQ(sung[1].startMs, 500.0);
}

TEST(LvxSing, WritesA44ByteWavHeaderAndLittleEndianSamples) {
    std::vector<uint8_t> h = sing::wavHeader(8000, 1000);
    const std::vector<uint8_t> expected = {
        'R', 'I', 'F', 'F', 0x0C, 0x04, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
        ' ', 16,  0,   0,   0,    1,    0,   1,   0,   0x40, 0x1F, 0,    0,   0x80, 0x3E,
        0,   0,   2,   0,   16,   0,    'd', 'a', 't', 'a',  0xE8, 0x03, 0,   0};
    EXPECT_EQ(h, expected);
    EXPECT_EQ(sing::rawBytes({1, -2, 0x1234}),
              (std::vector<uint8_t>{1, 0, 0xFE, 0xFF, 0x34, 0x12}));
}

}  // namespace
