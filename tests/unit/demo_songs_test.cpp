// The demo songs of media/karaoke/: they are what a fresh generation from their scores gives,
// and the program's own loader finds in them what each score says (melody track, lines and
// syllables at their notes, tempo records).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gen_songs.h"
#include "platform/host/recording_window.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/song_model.h"
#include "support/midi_builder.h"
#include "support/unit_support.h"

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    unittest::Bytes bytes = unittest::readBytes(path.string());
    return std::string(bytes.begin(), bytes.end());
}

// Song time in seconds at a tick, from the score's tempo changes.
double secondsAt(const gensongs::Score& score, int32_t tick) {
    double seconds = 0.0;
    int32_t from = 0;
    double bpm = score.tempos.front().bpm;
    for (const gensongs::Tempo& tempo : score.tempos) {
        if (tempo.tick >= tick) break;
        seconds += (tempo.tick - from) / static_cast<double>(score.division) * 60.0 / bpm;
        from = tempo.tick;
        bpm = tempo.bpm;
    }
    return seconds + (tick - from) / static_cast<double>(score.division) * 60.0 / bpm;
}

std::string lineText(int index) {
    return std::string(lyricLines[index].text, lyricLines[index].length);
}

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
        fs::path path = dir / song.fileName;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(song.bytes.data()),
                   static_cast<std::streamsize>(song.bytes.size()));
        window.clear();
        return loadSong(path.string().c_str());
    }

    platform::RecordingWindowSide window{10};
    fs::path dir;
};

TEST_F(DemoSongs, CommittedSongsAreExactlyWhatTheirScoresMake) {
    std::vector<gensongs::Output> fresh;
    std::string error;
    ASSERT_TRUE(gensongs::buildScores(GEN_SONGS_SCORES_DIR, fresh, error)) << error;

    std::set<std::string> committed;
    for (const auto& entry : fs::directory_iterator(GEN_SONGS_MEDIA_DIR)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".kar" || ext == ".mid") committed.insert(entry.path().filename().string());
    }
    std::set<std::string> generated;
    for (const gensongs::Output& song : fresh) {
        generated.insert(song.fileName);
        EXPECT_EQ(unittest::readBytes((fs::path(GEN_SONGS_MEDIA_DIR) / song.fileName).string()), song.bytes)
            << song.fileName
            << " differs from a fresh generation: run gen-songs and commit the result";
    }
    EXPECT_EQ(committed, generated);
    EXPECT_GE(committed.size(), 5u);
}

TEST_F(DemoSongs, TheLoaderFindsWhatEachScoreSays) {
    std::vector<fs::path> scores;
    for (const auto& entry : fs::directory_iterator(GEN_SONGS_SCORES_DIR))
        if (entry.path().extension() == ".txt") scores.push_back(entry.path());
    ASSERT_GE(scores.size(), 5u);

    int karaokeSongs = 0;
    int songsWithTempoChanges = 0;
    for (const fs::path& path : scores) {
        SCOPED_TRACE(path.filename().string());
        gensongs::Score score;
        std::string error;
        ASSERT_TRUE(gensongs::parseScore(readText(path), path.filename().string(), score, error))
            << error;
        gensongs::Output song{score.fileName, gensongs::writeSong(score)};
        ASSERT_EQ(load(song), 1);
        EXPECT_TRUE(window.messages().empty());

        // Songs of half a minute to a minute and a half, whose first melody note comes after
        // the four seconds a falling note needs to reach the keyboard.
        double length = secondsAt(score, score.end);
        EXPECT_GE(length, 25.0);
        EXPECT_LE(length, 95.0);
        ASSERT_FALSE(score.notes.empty());
        int32_t firstSung = score.end;
        for (const gensongs::Note& note : score.notes)
            if (note.pitch >= 0) firstSung = std::min(firstSung, note.start);
        if (score.lyrics != gensongs::LyricStyle::none) {
            EXPECT_GE(secondsAt(score, firstSung), 4.0);
        }

        // Tempo records: one per tempo change of the score, at its tick.
        std::vector<int32_t> tempoTicks;
        std::map<uint32_t, int> melodyMessages;
        std::map<std::pair<uint32_t, uint32_t>, int> sounding;  // (channel, note) -> open notes
        std::set<uint32_t> channels;
        for (const EventNode* node = songEvents.head; node; node = node->next) {
            if (isTempoRecord(*node)) {
                tempoTicks.push_back(node->tick);
                EXPECT_GT(node->periodTicks, 0u);
                continue;
            }
            uint32_t status = statusOf(node->message);
            uint32_t channel = status & 0x0F;
            channels.insert(channel);
            if (node->melody) {
                EXPECT_EQ(channel, 0u) << "the melody is on channel 1";
                ++melodyMessages[status & 0xF0];
            }
            auto key = std::make_pair(channel, data1Of(node->message));
            bool on = (status & 0xF0) == 0x90 && data2Of(node->message) > 0;
            bool off =
                (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && data2Of(node->message) == 0);
            if (on) {
                EXPECT_EQ(sounding[key]++, 0)
                    << "note " << key.second << " struck twice at " << node->tick;
            }
            if (off) {
                EXPECT_EQ(sounding[key]--, 1)
                    << "note " << key.second << " ended twice at " << node->tick;
            }
        }
        for (const auto& open : sounding)
            EXPECT_EQ(open.second, 0) << "note " << open.first.second << " left sounding";
        std::vector<int32_t> scoreTempoTicks;
        for (const gensongs::Tempo& tempo : score.tempos) scoreTempoTicks.push_back(tempo.tick);
        EXPECT_EQ(tempoTicks, scoreTempoTicks);
        if (score.tempos.size() > 1) ++songsWithTempoChanges;
        EXPECT_GE(channels.size(), 3u) << "a melody or theme with an accompaniment of its own";

        size_t sungNotes = 0;
        for (const gensongs::Note& note : score.notes)
            if (note.pitch >= 0) ++sungNotes;

        if (score.lyrics == gensongs::LyricStyle::none) {
            // The instrumental: no melody track, no lyrics.
            EXPECT_EQ(melodyTrackFound, 0);
            EXPECT_EQ(lineCount, 1);
            EXPECT_EQ(syllableCount, 0);
            EXPECT_TRUE(melodyMessages.empty());
            continue;
        }
        ++karaokeSongs;
        EXPECT_EQ(melodyTrackFound, 1);
        EXPECT_EQ(melodyMessages[0x90], static_cast<int>(sungNotes));
        EXPECT_EQ(melodyMessages[0x80], static_cast<int>(sungNotes));
        EXPECT_TRUE(channels.count(9)) << "drums on channel 10";

        // The banner stays in line 0 because the lyrics open with a separator; then the lines
        // of the score, each syllable at the tick of its note.
        std::vector<std::string> lines = gensongs::lyricLinesOf(score);
        ASSERT_EQ(lineCount, static_cast<int32_t>(lines.size()) + 1);
        EXPECT_EQ(lineText(0), "Tessaloon Music Software");
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lineText(static_cast<int>(i) + 1), lines[i]);
        std::vector<int32_t> syllableTicks;
        for (const gensongs::Note& note : score.notes)
            if (note.hasSyllable) syllableTicks.push_back(note.start);
        ASSERT_EQ(syllableCount, static_cast<int32_t>(syllableTicks.size()));
        for (size_t i = 0; i < syllableTicks.size(); ++i)
            EXPECT_EQ(syllables[i].tick, syllableTicks[i]) << "syllable " << i;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_GT(lyricLines[i + 1].startTick, 0);
            // Every word ends in a blank, so the ball's last stop of a line is inside the line.
            EXPECT_EQ(lines[i].back(), ' ');
        }
    }
    EXPECT_GE(karaokeSongs, 4);
    EXPECT_GE(songsWithTempoChanges, 1);
}

TEST_F(DemoSongs, TestSongsCoverTwoLinesTooManyLinesAndNoEvents) {
    std::map<std::string, gensongs::Output> songs;
    for (const gensongs::Output& song : gensongs::testSongs()) songs[song.fileName] = song;
    ASSERT_EQ(songs.size(), 3u);

    ASSERT_EQ(load(songs["two-lines.kar"]), 1);
    EXPECT_EQ(melodyTrackFound, 1);
    EXPECT_EQ(lineCount, 3);
    EXPECT_EQ(lineText(1), "Sing along, ");
    EXPECT_EQ(lineText(2), "with me now! ");
    EXPECT_TRUE(window.messages().empty());

    ASSERT_EQ(load(songs["many-lines.kar"]), 1);
    EXPECT_EQ(window.messages(), std::vector<std::string>{unittest::kMsgBufferLimits});
    EXPECT_EQ(syllableCount, 130);
    // 130 lines after the banner: the table wrapped and lines 125 to 130 overwrote 0 to 5.
    EXPECT_EQ(lineText(5), "line130 ");
    EXPECT_EQ(lineText(6), "line6 ");

    ASSERT_EQ(load(songs["no-events.mid"]), 1);
    EXPECT_TRUE(songEvents.empty());
    EXPECT_EQ(syllableCount, 0);
    EXPECT_EQ(melodyTrackFound, 0);
}

TEST_F(DemoSongs, ScoreMistakesAreReportedWithTheirLine) {
    const std::string header = "title T\nfile t.kar\ntempo 100\ntime 4/4\n";
    struct Case {
        std::string body;
        std::string error;
    };
    const Case cases[] = {
        {"| C4:q \\a D4:q b |\n| C4:w |\n", "t.txt:5: bar 1 has the wrong length"},
        {"| C4:w |\n| r:q word r:h. |\n", "t.txt:6: syllable \"word\" is sung on a rest"},
        {"| C4:h~ D4:h |\n", "t.txt:5: a tie joins notes of one pitch"},
        {"| C4:h~ C4:h tied |\n", "t.txt:5: syllable \"tied\" has no note of its own"},
        {"| C4:w a b |\n", "t.txt:5: a second syllable \"b\" on one note"},
        {"| C2:w |\n", "t.txt:5: C2:w lies outside the note lane and the singing range (G3 to G5)"},
        {"| [Hm] C4:w |\n", "t.txt:5: unknown chord [Hm]"},
        {"| C4:x |\n", "t.txt:5: bad duration in C4:x"},
    };
    for (const Case& c : cases) {
        gensongs::Score score;
        std::string error;
        EXPECT_FALSE(gensongs::parseScore(header + c.body, "t.txt", score, error)) << c.body;
        EXPECT_EQ(error, c.error);
    }

    // A pickup, a short last bar, ties, repeats, slash chords and tempo changes are fine.
    gensongs::Score score;
    std::string error;
    ASSERT_TRUE(gensongs::parseScore(header + "pickup q\n| G4:q \\Up |\n|: [C/E] C4:h~ go, C4:q "
                                              "tempo=80 D4:q /on :|\n| [G7] C4:h. |\n",
                                     "t.txt", score, error))
        << error;
    EXPECT_EQ(score.bars.size(), 4u);
    EXPECT_EQ(score.end, 480 * (1 + 4 + 4 + 3));
    EXPECT_EQ(score.tempos.size(), 3u);
    EXPECT_EQ(gensongs::lyricLinesOf(score),
              (std::vector<std::string>{"Up go, ", "on go, ", "on "}));
}

}  // namespace
