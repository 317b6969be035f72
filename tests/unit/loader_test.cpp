#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gen_songs.h"
#include "platform/host/recording_window.h"
#include "shell/command_ids.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/song_model.h"
#include "midi-builder/midi_builder.h"
#include "support/unit_support.h"
#include "midi-builder/wild_songs.h"

namespace {

using unittest::kMsgBufferLimits;
using midi::Track;

// {tick, message, melody flag}.
using Event = std::tuple<int32_t, uint32_t, uint32_t>;
using Events = std::vector<Event>;

Events eventsOf(const EventList& list) {
    Events out;
    for (const EventNode* node = list.head; node; node = node->next) out.push_back({node->tick, node->message, node->melody});
    return out;
}

std::string lineText(int index) { return std::string(lyricLines[index].text, lyricLines[index].length); }

// Each line as "startTick text", line 0 first.
std::vector<std::string> shownLines() {
    std::vector<std::string> lines;
    for (int i = 0; i < lineCount; ++i) lines.push_back(std::to_string(lyricLines[i].startTick) + " " + lineText(i));
    return lines;
}

// Each syllable as {tick, centre x, line, characters of the line sung with it}.
std::vector<std::array<int32_t, 4>> syllablesOf() {
    std::vector<std::array<int32_t, 4>> out;
    for (int i = 0; i < syllableCount; ++i)
        out.push_back({syllables[i].tick, syllables[i].centerX, syllables[i].line, syllables[i].endChar});
    return out;
}

constexpr uint32_t noteOn(uint32_t channel, uint32_t note, uint32_t velocity) { return 0x90u | channel | note << 8 | velocity << 16; }

// The search starts at the last insert (so one track's run keeps its order), or at the head
// for an earlier tick or when a run used the cursor up; it stops in front of the first later
// node, or the first of equal tick it passes.
TEST(EventList, KeepsTickOrderAndTheOrderOfEqualTicksWhereverTheSearchStarts) {
    EventList list;
    const std::pair<uint32_t, int32_t> inserts[] = {{1, 10}, {2, 20}, {3, 20}, {4, 30}, {5, 20},
                                                    {6, 5},  {7, 30}, {8, -3000}, {9, -100}};
    for (auto [message, tick] : inserts) EXPECT_TRUE(list.insert(message, tick, 0));
    auto messages = [&] { std::vector<uint32_t> m; for (const Event& e : eventsOf(list)) m.push_back(std::get<1>(e)); return m; };
    EXPECT_EQ(messages(), (std::vector<uint32_t>{8, 9, 6, 1, 5, 2, 3, 7, 4}));
    EXPECT_EQ((std::vector<uint32_t>{list.tail->message, list.cursor->message}), (std::vector<uint32_t>{4, 9}));
    list.cursor = nullptr;  // as the sequencer leaves it at the end of a song
    list.insert(10, 20, 0);
    EXPECT_EQ(messages(), (std::vector<uint32_t>{8, 9, 6, 1, 10, 5, 2, 3, 7, 4}));
    list.clear();
    EXPECT_TRUE(list.head == nullptr && list.tail == nullptr && list.cursor == nullptr);
}

// A period in 8.24, rounded down as the loader rounds.
constexpr uint32_t fixed(double value) { return static_cast<uint32_t>(value * kPeriodOne); }

class Loader : public ::testing::Test {
protected:
    void SetUp() override { platform::installWindow(&window); settings.critique = 0; }
    void TearDown() override {
        // Leave the song model as a fresh program has it, for whatever test runs next.
        songEvents.clear();
        melodyEvents.clear();
        lineCount = syllableCount = 0;
        widestLineWidth = melodyTrackFound = 0;
        ticksPerQuarter = 1.0f;
        ticksPerPeriod = 25 * kPeriodOne;
        platform::installWindow(nullptr);
        settings.critique = 0;
    }

    // Loads bytes through a file of the given name in the scratch folder.
    int32_t load(const midi::Bytes& bytes, const std::string& name = "song.mid") {
        EXPECT_TRUE(midi::writeFile(dir / name, bytes));
        return loadSong((dir / name).c_str());
    }
    int32_t load(const gensongs::Output& song) { window.clear(); return load(song.bytes, song.fileName); }
    int32_t load(const midi::File& file) { return load(file.bytes()); }
    // A format 0 file of one track at division 480.
    int32_t load(const Track& track, uint16_t division = 480) { return load(midi::File().header(0, 1, division).track(track)); }
    // The events a load that must succeed leaves in the song.
    template <typename... Song>
    Events loaded(const Song&... song) { EXPECT_EQ(load(song...), 1); return eventsOf(songEvents); }

    platform::RecordingWindowSide window{10};
    unittest::ScratchFolder dir;
};

TEST_F(Loader, ChunksAreKnownByTheirThirdByteAndHeadersByTheirRules) {
    // An unknown chunk is not skipped by its length: its length and data are read as ids.
    // Its 8 data bytes hold no 'h' or 'r' in third place, so they are stepped over.
    EXPECT_EQ(loaded(midi::File().header(0, 1, 480).chunk("JUNK", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'i'})
                         .chunk("xxrx", Track().noteOn(5, 0, 60, 100).end().bytes())), (Events{{5, noteOn(0, 60, 100), 0}}));
    EXPECT_EQ(songEvents.cursor, songEvents.head);

    const Track track = Track().noteOn(0, 0, 60, 100).end();
    // A rejected header leaves the lists cleared but counts and menu as they were. The format's
    // low byte alone counts; a header shorter than six bytes is rejected (cut off by the file's
    // end: see the prefixes); "AAhA" is a header too, known by its third byte.
    ASSERT_EQ(load(Track().lyric(0, "one").lyric(0, "/two")), 1);
    window.clear();
    for (const midi::File& file :
         {midi::File().header(2, 1, 480).track(track), midi::File().header(0x0102, 1, 480).track(track),
          midi::File().header(3, 1, 480).track(track), midi::File().chunk("MThd", {0, 0, 0, 1, 1}, 5).track(track),
          midi::File().chunk("AAhA", {0, 2, 0, 1, 1, 0xE0})}) {
        EXPECT_EQ(load(file), 0);
        EXPECT_TRUE(songEvents.empty());
        EXPECT_EQ((std::vector<int32_t>{lineCount, syllableCount, window.openMeasures()}), (std::vector<int32_t>{2, 2, 0}));
        EXPECT_TRUE(window.isEnabled(kCmdOpen));
    }
    EXPECT_EQ(loaded(midi::File().header(0x0100, 1, 480).track(track)).size(), 1u);
    // Longer headers are read and the rest stepped over; only the low three length bytes
    // count. The number of tracks is ignored. A later header overrides an earlier one.
    EXPECT_EQ(loaded(midi::File().chunk("MThd", {0, 1, 0, 9, 0x00, 0x60, 'M', 'T', 'r', 'k'}, 0x7F00000A)
                         .track(track).track(track)).size(), 2u);
    EXPECT_EQ(ticksPerQuarter, 96.0f);
    ASSERT_EQ(load(midi::File().header(1, 1, 96).header(0, 1, 480).track(track)), 1);
    EXPECT_EQ(ticksPerQuarter, 480.0f);

    // Song time runs on across tracks in format 0 and starts again with each track in format 1.
    const Track first = Track().noteOn(10, 0, 60, 100).noteOn(10, 0, 62, 100).end();
    const Track second = Track().noteOn(15, 1, 64, 100).end();
    EXPECT_EQ(loaded(midi::File().header(1, 2, 480).track(first).track(second)),
              (Events{{10, noteOn(0, 60, 100), 0}, {15, noteOn(1, 64, 100), 0}, {20, noteOn(0, 62, 100), 0}}));
    const Events formatZero{{10, noteOn(0, 60, 100), 0}, {20, noteOn(0, 62, 100), 0}, {35, noteOn(1, 64, 100), 0}};
    EXPECT_EQ(loaded(midi::File().header(0, 2, 480).track(first).track(second)), formatZero);
    // Tracks before any header are read as format 0.
    EXPECT_EQ(loaded(midi::File().track(first).track(second)), formatZero);
}

TEST_F(Loader, ChannelEventsRunningStatusAndSkippedSystemData) {
    // A note-on with velocity 0 stays a note-on; running status; a program change has one data
    // byte, also under running status; channel pressure; system exclusive is skipped; a marker is
    // neither stored nor a lyric; controller, pitch bend, key pressure, note-off.
    const Track track = Track().event(0, {0x92, 0x40, 0x00}).event(0, {0x90, 0x3C, 0x64}).event(0, {0x3E, 0x64})
        .event(1, {0xC3, 0x05}).event(0, {0x07}).event(1, {0xD4, 0x33}).event(1, {0xF0, 0x03, 0x7E, 0x7F, 0xF7})
        .event(1, {0xB0, 0x07, 0x64}).event(1, {0xFF, 0x06, 0x02, 'h', 'i'}).event(1, {0xE0, 0x00, 0x40})
        .event(1, {0xA1, 0x3C, 0x10}).event(1, {0x81, 0x3C, 0x40}).end();
    EXPECT_EQ(loaded(track), (Events{
        {0, 0x00004092, 0}, {0, 0x00643C90, 0}, {0, 0x00643E90, 0}, {1, 0x000005C3, 0}, {1, 0x000007C3, 0},
        {2, 0x000033D4, 0}, {4, 0x006407B0, 0}, {6, 0x004000E0, 0}, {7, 0x00103CA1, 0}, {8, 0x00403C81, 0}}));
    EXPECT_TRUE(melodyEvents.empty());

    // Running status does not carry into the next track: a data byte before the track's
    // first status is read again as a delta time.
    EXPECT_EQ(loaded(midi::File().header(1, 2, 480).track(Track().event(0, {0x90, 0x3C, 0x64}).end())
                         .track(Track().raw({0x00, 0x05, 0x90, 0x3D, 0x64}).end())),
              (Events{{0, 0x00643C90, 0}, {5, 0x00643D90, 0}}));
    // Nothing after the end of track is read.
    EXPECT_EQ(loaded(Track().event(0, {0x90, 0x3C, 0x64}).end().event(0, {0x90, 0x3D, 0x64})).size(), 1u);
}

TEST_F(Loader, MelodyTracksAreFoundByTheirNames) {
    auto melodyFlags = [&](std::vector<std::string> names) {
        midi::File file;
        file.header(1, static_cast<uint16_t>(names.size()), 480);
        for (size_t i = 0; i < names.size(); ++i) file.track(Track().name(0, names[i]).noteOn(uint32_t(i), 0, 60, 100).end());
        std::vector<uint32_t> flags;
        for (const Event& e : loaded(file)) flags.push_back(std::get<2>(e));
        return flags;
    };
    EXPECT_EQ(melodyFlags({"Melody", "MELODY 1", "melodyline", "Lead Vocal", "Mel"}), (std::vector<uint32_t>{1, 1, 1, 0, 0}));
    EXPECT_EQ(melodyFlags({"Vocals", "VOCAL 2", "Melody"}), (std::vector<uint32_t>{1, 0, 1}));
    EXPECT_EQ(melodyFlags({"Melody", "Vocals"}), (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(melodyFlags({"Vocal"}), (std::vector<uint32_t>{1}));
    // Names under five or over 79 characters are not looked at.
    EXPECT_EQ(melodyFlags({"Melod", "melody" + std::string(74, 'x')}), (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(melodyTrackFound, 0);
    EXPECT_FALSE(window.isEnabled(kCmdSilenceMelody));  // nothing to silence
    EXPECT_EQ(melodyFlags({"melody" + std::string(73, 'x')}), (std::vector<uint32_t>{1}));

    // Events before the name are not melody events; with Critique on the melody's events go
    // to melodyEvents and the tempo records to both lists.
    const Track melody = Track().noteOn(0, 0, 50, 90).name(0, "Melody").noteOn(5, 0, 60, 100).tempo(5, 500000).end();
    settings.critique = 1;
    EXPECT_EQ(loaded(melody), (Events{{0, noteOn(0, 50, 90), 0}, {10, 0x001851FF, 0}}));
    EXPECT_EQ(eventsOf(melodyEvents), (Events{{5, noteOn(0, 60, 100), 1}, {10, 0x001851FF, 0}}));
    EXPECT_TRUE(window.isEnabled(kCmdSilenceMelody, false));
    // The load greys what cannot change during playback; Stop it leaves alone.
    for (unsigned id : {kCmdOpen, kCmdRecord, kCmdQualityAm, kCmdQualityFm, kCmdQualityCd, kCmdCritique})
        EXPECT_FALSE(window.isEnabled(id)) << id;
    EXPECT_TRUE(window.isEnabled(kCmdStop, true));
    settings.critique = 0;
    EXPECT_EQ(loaded(melody), (Events{{0, noteOn(0, 50, 90), 0}, {5, noteOn(0, 60, 100), 1}, {10, 0x001851FF, 0}}));
    EXPECT_EQ(eventsOf(melodyEvents), (Events{{10, 0x001851FF, 0}}));
}

TEST_F(Loader, LyricsComeFromTheFirstLyricTrackAndAreCutIntoLinesAndSyllables) {
    const Track words =
        Track().name(0, "Words").text(0, "@KMIDI KARAOKE FILE").text(10, "\\Hel").text(10, "lo ").text(10, "/world").end();
    ASSERT_EQ(load(midi::File().header(1, 3, 480).track(Track().text(0, "\\not words").end()).track(words)
                       .track(Track().lyric(5, "\\ignored").end())), 1);
    EXPECT_EQ(shownLines(), (std::vector<std::string>{"0 Tessaloon Music Software", "10 Hello ", "30 world"}));
    // "Hel", "Hello ", "world": the second centred halfway between "Hel" (30) and "Hello " (60).
    EXPECT_EQ(syllablesOf(), (std::vector<std::array<int32_t, 4>>{{10, 15, 1, 3}, {20, 45, 1, 6}, {30, 25, 2, 5}}));
    EXPECT_GE(widestLineWidth, 60);

    // The first text replaces the banner; '@' texts, '/@' and carriage returns record
    // nothing; a separator alone records an empty syllable; long texts stop at 79.
    ASSERT_EQ(load(Track().lyric(0, "Hi").lyric(0, "@T title").lyric(7, "/@L").lyric(1, "/").lyric(2, "\r")
                       .lyric(3, "word").lyric(1, std::string(100, 'x')).lyric(4, "\r").end()), 1);
    // Line 1 is opened by "/@L", which records nothing (its text is not looked at, and the last
    // song's line 1 does not show through); the carriage return's line starts at "word"; the
    // long text is too long for that line: a line of its own. The trailing carriage return opens
    // no line.
    EXPECT_EQ(shownLines(), (std::vector<std::string>{"0 Hi", "7 ", "8 ", "13 word", "14 " + std::string(79, 'x')}));
    EXPECT_EQ(syllablesOf(), (std::vector<std::array<int32_t, 4>>{{0, 10, 0, 2}, {8, 0, 2, 0}, {13, 20, 3, 4}, {14, 395, 4, 79}}));
    EXPECT_GE(widestLineWidth, 790);

    // Measuring follows the text as drawn, mnemonic prefixes included.
    ASSERT_EQ(load(Track().lyric(0, "R&B").lyric(0, " &&").end()), 1);
    EXPECT_EQ((std::vector<int32_t>{syllables[0].centerX, syllables[1].centerX}), (std::vector<int32_t>{10, 30}));

    // A file without any known chunk is an empty song; without lyrics it shows the banner alone.
    EXPECT_TRUE(loaded(midi::Bytes{'R', 'I', 'F', 'F', 1, 2, 3}).empty());
    EXPECT_EQ(shownLines(), std::vector<std::string>{"0 Tessaloon Music Software"});
    EXPECT_EQ((std::vector<int32_t>{syllableCount, window.openMeasures()}), (std::vector<int32_t>{0, 0}));
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(Loader, TablesWrapToTheStartWithTheLimitsMessage) {
    Track lines;
    for (int i = 1; i <= 126; ++i) lines.lyric(1, "/line " + std::to_string(i));
    ASSERT_EQ(load(lines.end()), 1);
    EXPECT_EQ(window.messages(), std::vector<std::string>{kMsgBufferLimits});
    // The 125th separator wraps to line 0, which takes that line's text and start tick.
    EXPECT_EQ((std::vector<std::string>{lineText(0), lineText(1), lineText(124)}),
              (std::vector<std::string>{"line 125", "line 126", "line 124"}));
    EXPECT_EQ((std::vector<int32_t>{lyricLines[0].startTick, lineCount, syllableCount}), (std::vector<int32_t>{125, 2, 126}));

    window.clear();
    Track many;
    for (int i = 0; i < 2001; ++i) many.lyric(1, i % 10 == 0 ? "/a" : "b");
    ASSERT_EQ(load(many.end()), 1);
    // Two syllable wraps and one line wrap, each with its message.
    EXPECT_EQ(window.messages(), (std::vector<std::string>(3, kMsgBufferLimits)));
    EXPECT_EQ((std::vector<int32_t>{syllableCount, syllables[0].tick, lineCount}), (std::vector<int32_t>{1, 2001, 201 - 125 + 1}));
}

// Karaoke files as other programs lay them out: every lyric character shows, in lines that fit
// the 640-pixel band at 10 pixels a character, and the title is found.
TEST_F(Loader, KaraokeFilesFromOtherProgramsShowAllTheirWords) {
    const std::string banner = "0 Tessaloon Music Software";
    const std::vector<std::string> amazingLater = {banner, "100 Amazing tune", "500 how sweet", "700 the sound"};
    const std::vector<std::string> hello = {banner, "0 Hello ", "200 world"};
    // {file, title, lines as "startTick text", line 0 first}.
    const std::tuple<const char*, const char*, std::vector<std::string>> table[] = {
        {"no-breaks.kar", "Row the Boat",
         {"0 Row, row, row your boat gently down the stream. Merrily, merri",
          "1500 ly, merrily, merrily, life is but a dream. Row, row, row your ",
          "3100 boat gently down the stream. Merrily, merrily, merrily, merri", "4800 ly, life is but a dream. "}},
        {"trailing-breaks.kar", "Night and Day",
         {"0 Night and day", "300 you are the one", "800 Only you", "1100 beneath the moon", "1600 and under the sun"}},
        {"soft-karaoke-one-track.kar", "Amazing Tune", {banner, "0 Amazing tune", "400 how sweet", "600 the sound"}},
        {"soft-karaoke-lyrics-track.kar", "Amazing Tune", amazingLater},
        {"soft-karaoke-words-track.kar", "Amazing Tune", amazingLater},
        {"chords-beside-lyrics.kar", "Sixpence", {banner, "0 Sing a song", "300 of sixpence"}},
        {"unknown-chunk.mid", "Junk Song", hello}, {"without-unknown-chunk.mid", "Junk Song", hello},
        {"rmid-with-info.rmi", "Melody", hello}, {"song-after-song.mid", "Melody", hello},
        {"utf8-lyrics.kar", "Caf\xE9 Song", {banner, "0 Caf\xE9 na\xEFve \x80" "5 ?", "600 Caf\xE9"}},
    };
    std::map<std::string, midi::Bytes> files;
    for (const midi::WildSong& wild : midi::wildSongs()) files[wild.name] = wild.bytes;
    std::map<std::string, Events> events;
    for (const auto& [name, title, lines] : table) {
        SCOPED_TRACE(name);
        events[name] = loaded(files.at(name));
        EXPECT_EQ(std::string(songTitle), title);
        for (int i = 0; i < lineCount; ++i)
            EXPECT_LE(platform::fixedWidthTextWidth(lyricLines[i].text, lyricLines[i].length, 10), 640);
        EXPECT_EQ(shownLines(), lines);
        EXPECT_EQ(window.openMeasures(), 0);
    }
    EXPECT_TRUE(window.messages().empty());
    // The unknown chunk changes nothing; bytes after a song neither add to it nor re-time it.
    EXPECT_EQ(events["unknown-chunk.mid"], events["without-unknown-chunk.mid"]);
    EXPECT_EQ(events["song-after-song.mid"], events["rmid-with-info.rmi"]);
    EXPECT_EQ(ticksPerPeriod, fixed(6));
    // Without a track name or an @T header the title is the file's name.
    ASSERT_EQ(load(Track().noteOn(0, 0, 60, 100).end()), 1);
    EXPECT_EQ(std::string(songTitle), "song");
}

TEST_F(Loader, StartValueAndTempoRecordsKeepTheFractionOfTheFilesTempo) {
    const Track empty = Track().end();
    // {division, ticks a period}; 0xE700 is a division of no ticks, played as 480.
    const std::pair<uint16_t, uint32_t> starts[] = {{480, 24 * kPeriodOne}, {96, fixed(4.8)}, {0xE728, 25 * kPeriodOne},
        {0xE804, fixed(2.4)}, {0xE328, 29 * kPeriodOne}, {0x7FFF, kPeriodMax}, {0, 24 * kPeriodOne}, {0xE700, 24 * kPeriodOne}};
    for (auto [division, expected] : starts) {
        ASSERT_EQ(load(empty, division), 1);
        EXPECT_EQ(ticksPerPeriod, expected) << std::hex << division;
    }

    // {division, microseconds a quarter, ticks a period}.
    for (auto [division, micros, period] : std::vector<std::tuple<uint16_t, uint32_t, uint32_t>>{
             {480, 500000, 24 * kPeriodOne}, {96, 500000, fixed(4.8)}, {24, 1000000, fixed(0.6)}, {1, 0xFFFFFF, 25000},
             {24, 1479451, fixed(600000.0 / 1479451)}, {0x7FFF, 1, kPeriodMax}, {480, 700000, fixed(12000000.0 / 700000)}}) {
        SCOPED_TRACE(testing::Message() << division << " " << micros);
        EXPECT_EQ(loaded(Track().tempo(3, micros).end(), division),
                  (Events{{3, 0xFFu | 0x51u << 8 | (period >> 24) << 16 | ((period >> 16) & 0xFF) << 24, 0}}));
        EXPECT_EQ(eventsOf(melodyEvents), eventsOf(songEvents));
        ASSERT_FALSE(melodyEvents.empty());
        EXPECT_EQ((std::vector<uint32_t>{songEvents.head->periodTicks, melodyEvents.head->periodTicks}),
                  (std::vector<uint32_t>(2, period)));
    }

    // A tempo of zero, or any tempo in an SMPTE song, makes no record.
    EXPECT_TRUE(loaded(Track().tempo(0, 0).end()).empty());
    const Track smpte = Track().tempo(0, 500000).end();
    EXPECT_TRUE(loaded(smpte, uint16_t{0xE728}).empty());
    // Tracks before any header play at 120 beats per minute of division 480, whatever the
    // last song's division was.
    ASSERT_EQ(load(empty, 96), 1);
    ASSERT_EQ(load(midi::File().track(smpte)), 1);
    ASSERT_FALSE(songEvents.empty());
    EXPECT_EQ((std::vector<uint32_t>{songEvents.head->periodTicks, ticksPerPeriod}), (std::vector<uint32_t>(2, 24 * kPeriodOne)));
}

TEST_F(Loader, AReadOnlySongLoadsAndAMissingOneChangesNothing) {
    const Track track = Track().name(0, "Melody").noteOn(0, 0, 60, 100).lyric(0, "la").lyric(0, "/la").end();
    const std::string path = dir / "song.mid";
    ASSERT_TRUE(midi::writeFile(path, midi::File().header(0, 1, 480).track(track).bytes()));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(loadSong(path.c_str()), 1);
    window.clear();
    EXPECT_EQ(loadSong((dir / "missing.mid").c_str()), 0);
    // The read-only song's note is still there.
    EXPECT_EQ(eventsOf(songEvents), (Events{{0, noteOn(0, 60, 100), 1}}));
    EXPECT_EQ((std::vector<int32_t>{lineCount, syllableCount, melodyTrackFound, window.openMeasures()}),
              (std::vector<int32_t>{2, 2, 0, 0}));
    EXPECT_EQ(lineText(0), "Tessaloon Music Software");
    EXPECT_TRUE(window.isEnabled(kCmdOpen));
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(Loader, NothingIsReadPastAChunk) {
    // A track cut short by its chunk: the text's stated length runs past the chunk's end.
    // That track ends there, the next one is read as usual.
    EXPECT_EQ(loaded(midi::File().header(1, 2, 480).track(Track().noteOn(0, 0, 60, 100).event(0, {0xFF, 0x05, 0x20, 'a', 'b'}))
                         .track(Track().noteOn(1, 0, 61, 100).end())),
              (Events{{0, noteOn(0, 60, 100), 0}, {1, noteOn(0, 61, 100), 0}}));
    EXPECT_EQ(syllableCount, 0);
    // A delta time of more than four bytes ends the track.
    EXPECT_EQ(loaded(Track().noteOn(0, 0, 60, 100).raw({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 0x3C, 0x64}).end()).size(), 1u);
    // Song time stops at the largest tick instead of wrapping into negative ticks.
    Track late;
    for (int i = 0; i < 9; ++i) late.noteOn(0x0FFFFFFF, 0, 60, 100);
    const Events lateEvents = loaded(late.end());
    EXPECT_EQ(std::get<0>(lateEvents.back()), INT32_MAX);
    EXPECT_GT(std::get<0>(lateEvents.front()), 0);

    // Every prefix of a good file loads without reading past what it holds; what it gives
    // is the start of what the whole file gives.
    const Track words = Track().name(0, "Words").text(0, "@Ksong").text(0, "\\Hel").text(10, "lo").tempo(0, 600000).end();
    const Track melody = Track().name(0, "Melody").noteOn(0, 0, 60, 100).event(10, {0x3E, 0x64}).event(0, {0xF0, 0x01, 0xF7})
        .event(0, {0xC0, 0x05}).raw(midi::vlq(200)).raw({0x80, 0x3C, 0x00}).end();
    const midi::Bytes whole = midi::File().header(1, 2, 96).track(words).track(melody).bytes();
    const Events full = loaded(whole);
    ASSERT_EQ(full.size(), 5u);
    for (size_t size = 0; size < whole.size(); ++size) {
        int32_t result = load(midi::Bytes(whole.begin(), whole.begin() + static_cast<long>(size)));
        // Fewer than four bytes hold no chunk id; a header cut short is rejected.
        EXPECT_EQ(result, size < 4 || size >= 14 ? 1 : 0) << size;
        if (!result) continue;
        const Events got = eventsOf(songEvents);
        EXPECT_LE(got.size(), full.size()) << size;
        for (const Event& e : got) EXPECT_NE(std::find(full.begin(), full.end(), e), full.end()) << size;
        EXPECT_LE(syllableCount, 2) << size;
        EXPECT_EQ(window.openMeasures(), 0) << size;
    }
}


// The demo songs of media/karaoke/: they are what a fresh generation from their scores gives,
// and the program's own loader finds in them what each score says (melody track, lines and
// syllables at their notes, tempo records). How closely they keep time is the timing
// benchmark's measure.
using DemoSongs = Loader;
namespace fs = std::filesystem;

// Song time in seconds at a tick, from the score's tempo changes (the first is at tick 0).
double secondsAt(const gensongs::Score& score, int32_t tick) {
    double seconds = 0.0;
    for (size_t i = 0; i < score.tempos.size() && score.tempos[i].tick < tick; ++i) {
        const int32_t to = i + 1 < score.tempos.size() ? std::min(score.tempos[i + 1].tick, tick) : tick;
        seconds += (to - score.tempos[i].tick) * 60.0 / score.division / score.tempos[i].bpm;
    }
    return seconds;
}

TEST_F(DemoSongs, AreWhatTheirScoresMakeAndTheLoaderFindsWhatEachScoreSays) {
    std::vector<gensongs::Output> fresh;
    std::string error;
    ASSERT_TRUE(gensongs::buildScores(GEN_SONGS_SCORES_DIR, fresh, error)) << error;
    std::set<std::string> committed, generated;
    for (const auto& entry : fs::directory_iterator(GEN_SONGS_MEDIA_DIR))
        if (entry.path().extension() == ".kar" || entry.path().extension() == ".mid")
            committed.insert(entry.path().filename().string());
    for (const gensongs::Output& song : fresh) {
        generated.insert(song.fileName);
        EXPECT_EQ(unittest::readBytes((fs::path(GEN_SONGS_MEDIA_DIR) / song.fileName).string()), song.bytes)
            << song.fileName << " differs from a fresh generation: run gen-songs and commit the result";
    }
    EXPECT_EQ(committed, generated);
    EXPECT_GE(committed.size(), 5u);

    int karaokeSongs = 0, songsWithTempoChanges = 0;
    for (const auto& entry : fs::directory_iterator(GEN_SONGS_SCORES_DIR)) {
        if (entry.path().extension() != ".txt") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const unittest::Bytes text = unittest::readBytes(entry.path().string());
        gensongs::Score score;
        ASSERT_TRUE(
            gensongs::parseScore(std::string(text.begin(), text.end()), entry.path().filename().string(), score, error))
            << error;
        ASSERT_EQ(load({score.fileName, gensongs::writeSong(score)}), 1);
        EXPECT_TRUE(window.messages().empty());
        const bool karaoke = score.lyrics != gensongs::LyricStyle::none;
        karaokeSongs += karaoke;
        songsWithTempoChanges += score.tempos.size() > 1;

        // Songs of half a minute to a minute and a half, whose first melody note comes after
        // the four seconds a falling note needs to reach the keyboard.
        EXPECT_NEAR(secondsAt(score, score.end), 60.0, 35.0);
        int32_t firstSung = score.end, sungNotes = 0;
        std::vector<int32_t> syllableTicks, scoreTempoTicks, tempoTicks, ticks;
        for (const gensongs::Note& note : score.notes) {
            if (note.pitch >= 0) firstSung = std::min(firstSung, note.start), ++sungNotes;
            if (note.hasSyllable) syllableTicks.push_back(note.start);
        }
        if (karaoke) { EXPECT_GE(secondsAt(score, firstSung), 4.0); }
        for (const gensongs::Tempo& tempo : score.tempos) scoreTempoTicks.push_back(tempo.tick);

        // One tempo record per tempo change at its tick; the melody on channel 1; no note struck
        // twice, ended twice or left sounding.
        std::map<uint32_t, int> melodyMessages, sounding;  // sounding: channel * 128 + note -> open notes
        std::set<uint32_t> channels;
        for (const EventNode* node = songEvents.head; node; node = node->next) {
            if (isTempoRecord(*node)) { tempoTicks.push_back(node->tick); continue; }
            const uint32_t kind = statusOf(node->message) & 0xF0, channel = statusOf(node->message) & 0x0F;
            channels.insert(channel);
            melodyMessages[kind] += int(node->melody);
            if (node->melody) { EXPECT_EQ(channel, 0u) << "the melody is on channel 1"; }
            int& open = sounding[channel * 128 + data1Of(node->message)];
            if (kind == 0x90 && data2Of(node->message) > 0) { EXPECT_EQ(open++, 0) << "struck twice at " << node->tick; }
            else if (kind == 0x80 || kind == 0x90) { EXPECT_EQ(open--, 1) << "ended twice at " << node->tick; }
        }
        for (const auto& open : sounding) EXPECT_EQ(open.second, 0) << "left sounding: " << open.first;
        EXPECT_EQ(tempoTicks, scoreTempoTicks);
        EXPECT_GE(channels.size(), 3u) << "a melody or theme with an accompaniment of its own";
        if (karaoke) { EXPECT_TRUE(channels.count(9)) << "drums on channel 10"; }
        EXPECT_EQ((std::vector<int>{melodyTrackFound, melodyMessages[0x90], melodyMessages[0x80]}),
                  (std::vector<int>{karaoke, karaoke * sungNotes, karaoke * sungNotes}));

        // The banner stays in line 0 because the lyrics open with a separator; then the lines
        // of the score (none for the instrumental), each syllable at the tick of its note.
        // Every word ends in a blank, so the ball's last stop of a line is inside the line.
        std::vector<std::string> shown, expected = karaoke ? gensongs::lyricLinesOf(score) : std::vector<std::string>{};
        expected.insert(expected.begin(), "Tessaloon Music Software");
        for (int i = 0; i < lineCount; ++i) {
            shown.push_back(lineText(i));
            if (i) { EXPECT_GT(lyricLines[i].startTick, 0); }
            EXPECT_EQ(shown.back().back(), i ? ' ' : 'e');
        }
        EXPECT_EQ(shown, expected);
        for (int i = 0; i < syllableCount; ++i) ticks.push_back(syllables[i].tick);
        EXPECT_EQ(ticks, karaoke ? syllableTicks : std::vector<int32_t>{});
    }
    EXPECT_GE(karaokeSongs, 4);
    EXPECT_GE(songsWithTempoChanges, 1);
}

// The songs the system tests play: two lines, more lines than the table holds (lines 125 to 130
// wrap over 0 to 5, with the limits message) and no events at all.
TEST_F(DemoSongs, TestSongsCoverTwoLinesTooManyLinesAndNoEvents) {
    // {file, melody track found, lines, syllables, a line and its text, limits messages}.
    const std::tuple<const char*, int32_t, int32_t, int32_t, int, const char*, size_t> cases[] = {
        {"two-lines.kar", 1, 3, 6, 2, "with me now! ", 0}, {"many-lines.kar", 1, 6, 130, 5, "line130 ", 1},
        {"no-events.mid", 0, 1, 0, 0, "Tessaloon Music Software", 0}};
    std::map<std::string, gensongs::Output> songs;
    for (const gensongs::Output& song : gensongs::testSongs()) songs[song.fileName] = song;
    ASSERT_EQ(songs.size(), 3u);
    for (const auto& [name, melody, lines, sung, line, text, messages] : cases) {
        SCOPED_TRACE(name);
        ASSERT_EQ(load(songs.at(name)), 1);
        EXPECT_EQ((std::vector<int32_t>{melodyTrackFound, lineCount, syllableCount}), (std::vector<int32_t>{melody, lines, sung}));
        EXPECT_EQ(lineText(line), text);
        EXPECT_EQ(window.messages(), std::vector<std::string>(messages, unittest::kMsgBufferLimits));
        if (messages) { EXPECT_EQ(lineText(6), "line6 "); }
    }
}

TEST_F(DemoSongs, ScoreMistakesAreReportedWithTheirLine) {
    const std::string header = "title T\nfile t.kar\ntempo 100\ntime 4/4\n";
    const std::pair<std::string, std::string> cases[] = {
        {"| C4:q \\a D4:q b |\n| C4:w |\n", "t.txt:5: bar 1 has the wrong length"},
        {"| C4:w |\n| r:q word r:h. |\n", "t.txt:6: syllable \"word\" is sung on a rest"},
        {"| C4:h~ D4:h |\n", "t.txt:5: a tie joins notes of one pitch"},
        {"| C4:h~ C4:h tied |\n", "t.txt:5: syllable \"tied\" has no note of its own"},
        {"| C4:w a b |\n", "t.txt:5: a second syllable \"b\" on one note"},
        {"| C2:w |\n", "t.txt:5: C2:w lies outside the note lane and the singing range (G3 to G5)"},
        {"| [Hm] C4:w |\n", "t.txt:5: unknown chord [Hm]"},
        {"| C4:x |\n", "t.txt:5: bad duration in C4:x"},
    };
    std::string error;
    for (const auto& [body, message] : cases) {
        gensongs::Score score;
        EXPECT_FALSE(gensongs::parseScore(header + body, "t.txt", score, error)) << body;
        EXPECT_EQ(error, message);
    }

    // A pickup, a short last bar, ties, repeats, slash chords and tempo changes are fine.
    gensongs::Score score;
    ASSERT_TRUE(gensongs::parseScore(header + "pickup q\n| G4:q \\Up |\n|: [C/E] C4:h~ go, C4:q tempo=80 D4:q /on :|\n"
                                     "| [G7] C4:h. |\n", "t.txt", score, error)) << error;
    EXPECT_EQ((std::vector<size_t>{score.bars.size(), size_t(score.end), score.tempos.size()}),
              (std::vector<size_t>{4, 480 * (1 + 4 + 4 + 3), 3}));
    EXPECT_EQ(gensongs::lyricLinesOf(score), (std::vector<std::string>{"Up go, ", "on go, ", "on "}));
}

}  // namespace
