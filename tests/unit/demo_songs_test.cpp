// The demo songs of media/karaoke/: they are what a fresh generation from their scores gives,
// and the program's own loader finds in them what each score says (melody track, lines and
// syllables at their notes, tempo records). How closely they keep time is the timing
// benchmark's measure.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gen_songs.h"
#include "platform/host/recording_window.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/song_model.h"
#include "midi-builder/midi_builder.h"
#include "support/unit_support.h"

namespace {

namespace fs = std::filesystem;

// Song time in seconds at a tick, from the score's tempo changes.
double secondsAt(const gensongs::Score& score, int32_t tick) {
    double seconds = 0.0, bpm = score.tempos.front().bpm;
    int32_t from = 0;
    for (const gensongs::Tempo& tempo : score.tempos) {
        if (tempo.tick >= tick) break;
        seconds += (tempo.tick - from) / static_cast<double>(score.division) * 60.0 / bpm;
        from = tempo.tick;
        bpm = tempo.bpm;
    }
    return seconds + (tick - from) / static_cast<double>(score.division) * 60.0 / bpm;
}

std::string lineText(int index) { return std::string(lyricLines[index].text, lyricLines[index].length); }

class DemoSongs : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::installWindow(&window);
        settings.critique = 0;
        dir = midi::makeTempDir("lyrivox-demo-songs-");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        platform::installWindow(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Loads bytes through a file of their own name in the scratch folder.
    int32_t load(const gensongs::Output& song) {
        const std::string path = (dir / song.fileName).string();
        EXPECT_TRUE(midi::writeFile(path, song.bytes));
        window.clear();
        return loadSong(path.c_str());
    }

    platform::RecordingWindowSide window{10};
    fs::path dir;
};

TEST_F(DemoSongs, CommittedSongsAreExactlyWhatTheirScoresMake) {
    std::vector<gensongs::Output> fresh;
    std::string error;
    ASSERT_TRUE(gensongs::buildScores(GEN_SONGS_SCORES_DIR, fresh, error)) << error;
    std::set<std::string> committed, generated;
    for (const auto& entry : fs::directory_iterator(GEN_SONGS_MEDIA_DIR)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".kar" || ext == ".mid") committed.insert(entry.path().filename().string());
    }
    for (const gensongs::Output& song : fresh) {
        generated.insert(song.fileName);
        EXPECT_EQ(unittest::readBytes((fs::path(GEN_SONGS_MEDIA_DIR) / song.fileName).string()), song.bytes)
            << song.fileName << " differs from a fresh generation: run gen-songs and commit the result";
    }
    EXPECT_EQ(committed, generated);
    EXPECT_GE(committed.size(), 5u);
}

TEST_F(DemoSongs, TheLoaderFindsWhatEachScoreSays) {
    int scores = 0, karaokeSongs = 0, songsWithTempoChanges = 0;
    for (const auto& entry : fs::directory_iterator(GEN_SONGS_SCORES_DIR)) {
        if (entry.path().extension() != ".txt") continue;
        ++scores;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const unittest::Bytes text = unittest::readBytes(entry.path().string());
        gensongs::Score score;
        std::string error;
        ASSERT_TRUE(gensongs::parseScore(std::string(text.begin(), text.end()), name, score, error)) << error;
        ASSERT_EQ(load({score.fileName, gensongs::writeSong(score)}), 1);
        EXPECT_TRUE(window.messages().empty());
        const bool karaoke = score.lyrics != gensongs::LyricStyle::none;
        karaokeSongs += karaoke;
        songsWithTempoChanges += score.tempos.size() > 1;

        // Songs of half a minute to a minute and a half, whose first melody note comes after
        // the four seconds a falling note needs to reach the keyboard.
        EXPECT_GE(secondsAt(score, score.end), 25.0);
        EXPECT_LE(secondsAt(score, score.end), 95.0);
        int32_t firstSung = score.end;
        int sungNotes = 0;
        std::vector<int32_t> syllableTicks, scoreTempoTicks, tempoTicks, ticks;
        for (const gensongs::Note& note : score.notes) {
            if (note.pitch >= 0) {
                firstSung = std::min(firstSung, note.start);
                ++sungNotes;
            }
            if (note.hasSyllable) syllableTicks.push_back(note.start);
        }
        if (karaoke) { EXPECT_GE(secondsAt(score, firstSung), 4.0); }
        for (const gensongs::Tempo& tempo : score.tempos) scoreTempoTicks.push_back(tempo.tick);

        // One tempo record per tempo change at its tick; the melody on channel 1; no note struck
        // twice, ended twice or left sounding.
        std::map<uint32_t, int> melodyMessages;
        std::map<uint32_t, int> sounding;  // channel * 128 + note -> open notes
        std::set<uint32_t> channels;
        for (const EventNode* node = songEvents.head; node; node = node->next) {
            if (isTempoRecord(*node)) {
                tempoTicks.push_back(node->tick);
                continue;
            }
            const uint32_t kind = statusOf(node->message) & 0xF0, channel = statusOf(node->message) & 0x0F;
            channels.insert(channel);
            if (node->melody) {
                EXPECT_EQ(channel, 0u) << "the melody is on channel 1";
                ++melodyMessages[kind];
            }
            int& open = sounding[channel * 128 + data1Of(node->message)];
            if (kind == 0x90 && data2Of(node->message) > 0) {
                EXPECT_EQ(open++, 0) << "struck twice at " << node->tick;
            } else if (kind == 0x80 || kind == 0x90) {
                EXPECT_EQ(open--, 1) << "ended twice at " << node->tick;
            }
        }
        for (const auto& open : sounding) EXPECT_EQ(open.second, 0) << "left sounding: " << open.first;
        EXPECT_EQ(tempoTicks, scoreTempoTicks);
        EXPECT_GE(channels.size(), 3u) << "a melody or theme with an accompaniment of its own";
        if (karaoke) { EXPECT_TRUE(channels.count(9)) << "drums on channel 10"; }
        EXPECT_EQ(melodyTrackFound, karaoke ? 1 : 0);
        EXPECT_EQ(melodyMessages[0x90], karaoke ? sungNotes : 0);
        EXPECT_EQ(melodyMessages[0x80], karaoke ? sungNotes : 0);

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
    EXPECT_GE(scores, 5);
    EXPECT_GE(karaokeSongs, 4);
    EXPECT_GE(songsWithTempoChanges, 1);
}

// The songs the system tests play: two lines, more lines than the table holds (lines 125 to 130
// wrap over 0 to 5, with the limits message) and no events at all.
TEST_F(DemoSongs, TestSongsCoverTwoLinesTooManyLinesAndNoEvents) {
    struct Case {
        const char* name;
        int32_t melody, lines, syllables;
        int line;
        const char* text;
        size_t messages;
    };
    const Case cases[] = {{"two-lines.kar", 1, 3, 6, 2, "with me now! ", 0},
                          {"many-lines.kar", 1, 6, 130, 5, "line130 ", 1},
                          {"no-events.mid", 0, 1, 0, 0, "Tessaloon Music Software", 0}};
    std::map<std::string, gensongs::Output> songs;
    for (const gensongs::Output& song : gensongs::testSongs()) songs[song.fileName] = song;
    ASSERT_EQ(songs.size(), 3u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(load(songs.at(c.name)), 1);
        EXPECT_EQ((std::vector<int32_t>{melodyTrackFound, lineCount, syllableCount}),
                  (std::vector<int32_t>{c.melody, c.lines, c.syllables}));
        EXPECT_EQ(lineText(c.line), c.text);
        EXPECT_EQ(window.messages(), std::vector<std::string>(c.messages, unittest::kMsgBufferLimits));
        if (c.messages) { EXPECT_EQ(lineText(6), "line6 "); }
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
    ASSERT_TRUE(gensongs::parseScore(header + "pickup q\n| G4:q \\Up |\n|: [C/E] C4:h~ go, C4:q "
                                              "tempo=80 D4:q /on :|\n| [G7] C4:h. |\n",
                                     "t.txt", score, error))
        << error;
    EXPECT_EQ(score.bars.size(), 4u);
    EXPECT_EQ(score.end, 480 * (1 + 4 + 4 + 3));
    EXPECT_EQ(score.tempos.size(), 3u);
    EXPECT_EQ(gensongs::lyricLinesOf(score), (std::vector<std::string>{"Up go, ", "on go, ", "on "}));
}

}  // namespace
