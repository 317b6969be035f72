// The painter's frames on the host's software surface: what lands in the back buffer and in
// the window, which bars are judged, hit, missed or left falling, and how the marker glides.
#include <atomic>
#include <cstring>
#include <thread>
#include <tuple>

#include "stage_fixture.h"

namespace stagetest {
namespace {

class PainterTest : public StageTest {
protected:
    void setLines(std::initializer_list<const char*> texts) {
        lineCount = 0;
        for (const char* text : texts) {
            LyricLine& line = lyricLines[lineCount++];
            std::memset(line.text, 0, sizeof line.text);
            std::memcpy(line.text, text, std::strlen(text));
            line.length = static_cast<uint8_t>(std::strlen(text));
        }
    }

    // Critique frames of a playing song, the clock and the marker in a known place.
    void startCritique(float marker, int32_t height = 480) {
        buildStage(kBlack, 640, height);
        settings.critique = 1;
        playback.playing = 1;
        playback.drawnLine = -1;
        clock_.set(5000);
        noteLane.restart(5000);
        markerX = marker;
        markerTargetX = static_cast<int32_t>(marker);
    }

    // A bar that enters from above and, after a frame of exactly one second, has its top at y.
    void pushArriving(float x, float y) { noteBars.push(x, -96.0f, 32, 64, 0.0f, y + 96.0f); }

    void frame(uint32_t ms) {
        clock_.advance(ms);
        paint();
    }

    // The text calls since the log was cleared: text, place and ink.
    using Text = std::tuple<std::string, int32_t, int32_t, Colour>;
    std::vector<Text> drawn() const {
        std::vector<Text> out;
        for (const auto& t : drawing_.texts()) out.emplace_back(t.text, t.x, t.y, t.ink);
        return out;
    }

    // Frames after ms and gives the top of the newest bar.
    float after(uint32_t ms) {
        frame(ms);
        return noteBars.head ? noteBars.head->y : -1e9f;
    }

    void placeMarker(int32_t x) {
        markerX = static_cast<float>(x);
        markerTargetX = x;
    }

    Colour frameAt(uint32_t ms, int32_t x, int32_t y) {
        frame(ms);
        return at(x, y);
    }

    // Bars still falling, hits and judged notes.
    using Lane = std::vector<int64_t>;
    Lane lane() const { return {bars(), tally.hits, tally.possible}; }

    int bars() const {
        int count = 0;
        for (NoteBar* bar = noteBars.head; bar; bar = bar->next) ++count;
        return count;
    }
};

TEST_F(PainterTest, TitleFrameAndHowItReachesTheWindow) {
    const Colour blue = rgb(0, 0, 120);
    buildStage(blue);
    platform::Surface screen = windowSurface();

    paint(Rect{0, 0, 320, 240});
    EXPECT_EQ(drawn(), (std::vector<Text>{{"Lyrivox", 260, 15, kInk}}));  // 320 - 3 * 20
    EXPECT_EQ(std::make_pair(drawing_.texts().at(0).paper, drawing_.texts()[0].fontHeight), std::make_pair(kCells, 20));
    // The band 2 * 20 + 20 high, the whole width; a character cell's corner and its ink.
    expectPixels({{600, 59, kBlack}, {600, 60, blue}, {260, 15, kCells}, {265, 25, kInk}});
    // Critique off: only the invalid rectangle is copied, and nothing asks for more paints.
    expectPixels({{10, 100, blue}, {400, 300, kBlack}}, screen);
    EXPECT_TRUE(window_.redraws().empty());

    // Critique on: the whole frame; the next is asked for at the display's pace while a song
    // plays, more slowly while it is held, and not at all without a song.
    settings.critique = 1;
    paint(Rect{0, 0, 1, 1});
    EXPECT_EQ(drawing_.pixel(screen, 400, 300), blue);
    playback.playing = 1;
    paint();
    playback.busy = 1;
    paint();
    EXPECT_EQ(window_.laterRedraws(), (std::vector<uint32_t>{kFramePeriodMs, kHeldFramePeriodMs}));
    // A slower display sets its own pace; a faster one still gets about 60 frames a second.
    for (auto [hz, ms] : {std::pair<uint32_t, uint32_t>{0, 16}, {30, 33}, {50, 20}, {60, 16}, {144, 16}})
        EXPECT_EQ(framePeriodFor(hz), ms) << hz;
    EXPECT_TRUE(window_.redraws().empty());
    playback.playing = 0;
    playback.busy = 0;

    // Another size and font move the title: 350 - 3 * 32.
    settings.fontSize = 32;
    drawing_.setClientSize(700, 480);
    rebuildStage();
    drawing_.clearLog();
    paint();
    EXPECT_EQ(drawn(), (std::vector<Text>{{"Lyrivox", 254, 15, kInk}}));
    EXPECT_EQ(drawing_.texts()[0].fontHeight, 32);
}

TEST_F(PainterTest, LyricTextIsDrawnOnlyWhenDue) {
    const Colour blue = rgb(0, 0, 120);
    buildStage(blue);
    setLines({"first line", "second", "third"});
    widestLineWidth = 200;  // lyricLeft = 220
    syllables[0] = Syllable{10, 0, 0, 5};  // "first"
    syllables[1] = Syllable{60, 0, 0, 10};  // " line"
    playback.playing = 1;
    playback.drawnLine = -1;

    // The two lines, and over the first its sung part in the second colour.
    paint();
    EXPECT_EQ(drawn(), (std::vector<Text>{{"first line", 220, 15, kInk}, {"second", 220, 35, kInk}, {"first", 220, 15, kSung}}));
    EXPECT_EQ(playback.drawnLine.load(), 0);
    // The band from lyricLeft - 5 to lyricLeft + widest + 5 (excluded), the ball over
    // syllable 0, the sung and unsung ink.
    expectPixels({{215, 59, kBlack}, {214, 40, blue}, {424, 59, kBlack}, {425, 40, blue},
                  {230, 5, kWhite}, {222, 20, kSung}, {222, 40, kInk}});

    // Next syllable: the sung part grows; the same syllable again draws no text.
    drawing_.clearLog();
    playback.currentSyllable = 1;
    paint();
    EXPECT_EQ(std::get<0>(drawn().at(2)), "first line");
    expectPixels({{230, 5, kBlack}, {280, 5, kWhite}});
    drawing_.clearLog();
    paint();
    EXPECT_TRUE(drawing_.texts().empty());
    EXPECT_EQ(at(222, 20), kSung);

    // A rebuild (a resize, a restore, a font) wipes the band and draws the lyrics again.
    rebuildStage();
    EXPECT_EQ(at(222, 20), blue);
    paint();
    EXPECT_EQ(drawing_.texts().size(), 3u);
    expectPixels({{280, 5, kWhite}, {222, 20, kSung}});
    drawing_.clearLog();

    // The last line comes alone.
    playback.currentLine = 2;
    paint();
    EXPECT_EQ(drawn(), (std::vector<Text>{{"third", 220, 15, kInk}}));
    EXPECT_EQ(at(222, 40), kBlack);

    // With the critique on the text is drawn at every frame.
    drawing_.clearLog();
    settings.critique = 1;
    paint();
    paint();
    EXPECT_EQ(drawing_.texts().size(), 2u);
}

TEST_F(PainterTest, BarsFallByElapsedTimeAndMoveTheirImage) {
    startCritique(600.0f);
    noteBars.push(96.0f, -96.0f, 32, 64, 0.0f, 104.0f);
    EXPECT_FLOAT_EQ(after(500), -44.0f);
    EXPECT_FLOAT_EQ(after(1500), 112.0f);
    expectPixels({{97, 113, kCells}, {97, 150, kInk}, {95, 150, kBlack}});  // paper and ink halves
    EXPECT_FLOAT_EQ(after(1000), 216.0f);
    expectPixels({{97, 113, kBlack}, {97, 217, kCells}});  // the old image is gone
    // The clock wraps at 2^32 without a jump.
    clock_.set(0xFFFFFFFFu - 99);
    noteLane.restart(0xFFFFFFFFu - 99);
    EXPECT_FLOAT_EQ(after(250), 242.0f);
    EXPECT_EQ(lane(), (Lane{1, 0, 0}));
}

TEST_F(PainterTest, JudgingZoneEdgesAndHitDistance) {
    startCritique(200.0f);  // hit line 480 - 63 - 64 = 353

    // Top exactly on the hit line: still falling, drawn, not judged although over the marker.
    pushArriving(200.0f, 353.0f);
    EXPECT_FLOAT_EQ(after(1000), 353.0f);
    expectPixels({{201, 360, kCells}, {201, 400, kInk}});
    EXPECT_EQ(lane(), (Lane{1, 0, 0}));
    noteBars.clear();

    // Top exactly at H: judged. Far from the marker it stays; under it, a hit.
    placeMarker(500);
    pushArriving(200.0f, 480.0f);
    frame(1000);
    EXPECT_EQ(lane(), (Lane{1, 0, 0}));
    placeMarker(200);
    frame(0);
    EXPECT_EQ(lane(), (Lane{0, 1, 1}));

    // Past H: missed without being judged, even right under the marker.
    pushArriving(200.0f, 480.5f);
    frame(1000);
    EXPECT_EQ(lane(), (Lane{0, 1, 2}));

    // Both comparisons strict: 16 pixels off is no hit, 15.9 is, on either side.
    const struct {
        float x;
        bool hit;
    } cases[] = {{216.0f, false}, {215.9f, true}, {184.0f, false}, {184.1f, true}};
    for (const auto& c : cases) {
        noteBars.clear();
        tally = CritiqueTally{};
        pushArriving(c.x, 400.0f);
        frame(1000);
        EXPECT_EQ(lane(), (Lane{!c.hit, c.hit, c.hit})) << c.x;
    }

    // A bar that crosses the whole zone beside the marker counts once, when it leaves.
    noteBars.clear();
    tally = CritiqueTally{};
    noteBars.push(400.0f, -96.0f, 32, 64, 0.0f, 104.0f);
    int framesInZone = 0;
    for (int i = 0; i < 80 && bars() == 1; ++i) {
        frame(100);
        if (bars() == 1 && noteBars.head->y > 353.0f) ++framesInZone;
    }
    EXPECT_GT(framesInZone, 10);
    EXPECT_EQ(lane(), (Lane{0, 0, 1}));
    // Nothing of the bar is left in the window above the strip.
    for (int y = 300; y < 417; y += 4) EXPECT_EQ(at(410, y), kBlack) << y;
}

TEST_F(PainterTest, AShortWindowLeavesNoTrail) {
    startCritique(0.0f, 200);  // a strip of 26, lower than the marker
    // A bar falls through the lyric band, beside the marker, past a lit syllable and out.
    setLines({"lyrics lit"});
    widestLineWidth = 400;
    syllables[0] = Syllable{20, 0, 0, 6};
    noteBars.push(200.0f, -96.0f, 32, 64, 0.0f, 100.0f);
    for (int i = 1; i <= 15; ++i) {
        frame(100);
        for (int32_t y = 0; y < 60; y += 2) {  // the bar passes under the band
            const Colour c = at(210, y);
            ASSERT_TRUE(c == kBlack || c == kCells || c == kInk || c == kSung) << i << " " << y;
        }
    }
    expectPixels({{201, 62, kCells}, {201, 104, kInk}});  // in the lane at y = 54, in the lyric colours
    for (int32_t target : {100, 300, 500, 20}) {
        markerTargetX = target;
        for (int i = 0; i < 10; ++i) frame(100);
    }
    ASSERT_EQ(bars(), 0);
    for (int32_t y = 60; y < 200 - 26; y += 2)
        for (int32_t x = 0; x < 640; x += 2) ASSERT_EQ(at(x, y), kBlack) << x << "," << y;
    EXPECT_EQ(at(23, 180), kWhite ^ kMarkerColour);  // the marker's top, on the strip
}

TEST_F(PainterTest, BarsAtOnePositionRetireTogetherAndCountOnce) {
    startCritique(500.0f);
    // Two bars that share a position when they are judged: both held on a frame in which no
    // time passes, first out of the marker's reach, then under it.
    for (float x : {200.0f, 200.0f, 300.0f}) noteBars.push(x, x > 200.0f ? 380.0f : 400.0f, 32, 64, 0.0f, 104.0f);
    const auto before = drawing_.pixels(stageSurfaces.backBuffer);
    frame(0);
    EXPECT_EQ(lane(), (Lane{3, 0, 0}));
    placeMarker(200);
    frame(0);
    EXPECT_EQ(lane(), (Lane{1, 1, 1}));
    // The retired pair left no image behind.
    for (int y = 360; y < 417; y += 3) EXPECT_EQ(at(210, y), before[static_cast<size_t>(y * 640 + 210)]) << y;

    // The same for a missed pair.
    noteBars.clear();
    tally = CritiqueTally{};
    for (int twice = 0; twice < 2; ++twice) noteBars.push(200.0f, 480.5f, 32, 64, 0.0f, 104.0f);
    frame(0);
    EXPECT_EQ(lane(), (Lane{0, 0, 1}));
}

TEST_F(PainterTest, BusyFreezesBarsAndKeepsTheMarkerGliding) {
    startCritique(0.0f);
    pushArriving(200.0f, 200.0f);
    ASSERT_FLOAT_EQ(after(1000), 200.0f);
    EXPECT_EQ(at(201, 205), kCells);

    playback.busy = 1;
    markerTargetX = 100;
    window_.clear();
    EXPECT_FLOAT_EQ(after(50), 200.0f);
    EXPECT_EQ(at(201, 205), kCells);  // a held bar stays shown where it is
    // The marker glides by time: a quarter of the rest per 1/60 s, 1 - 0.75^3 of it in 50 ms.
    EXPECT_FLOAT_EQ(markerX, 57.8125f);
    EXPECT_FLOAT_EQ(after(3000), 200.0f);
    EXPECT_EQ(at(201, 205), kCells);
    EXPECT_FLOAT_EQ(markerX, 100.0f);
    EXPECT_TRUE(window_.redraws().empty());
    EXPECT_EQ(lane(), (Lane{1, 0, 0}));

    // Released: the first frame starts the lane's clock afresh (the pause does not count),
    // the next moves by its own time.
    playback.busy = 0;
    markerTargetX = 57;
    EXPECT_FLOAT_EQ(after(500), 200.0f);
    EXPECT_EQ(window_.laterRedraws().back(), kFramePeriodMs);
    // The marker sits on the strip at (int)markerX, H - 32, combined with the strip's colours.
    expectPixels({{60, 470, kWhite ^ kMarkerColour}, {56, 470, kWhite}, {60, 447, kWhite}});
    EXPECT_FLOAT_EQ(after(500), 348.0f);
    expectPixels({{201, 205, kBlack}, {201, 353, kCells}});  // nothing left where it was held

    // A minimise paints nothing while it lasts; the rebuild of the restore ends it, and the
    // bars go on from where they were.
    playback.busy = 1;
    clock_.advance(5000);
    rebuildStage();
    EXPECT_FLOAT_EQ(after(100), 348.0f);
    EXPECT_NEAR(after(100), 377.6f, 0.01f);
    EXPECT_EQ(lane(), (Lane{1, 0, 0}));
}

TEST_F(PainterTest, RebuildDuringCritiqueLeavesNoImageBehind) {
    // A restore, a resize or a font command remakes the buffer while bars fall: every bar must
    // show once at its place afterwards, and no image may stay where a bar was.
    startCritique(0.0f);
    pushArriving(200.0f, 100.0f);
    pushArriving(300.0f, 150.0f);
    ASSERT_EQ(frameAt(1000, 201, 105), kCells);
    rebuildStage();
    EXPECT_EQ(at(201, 105), kBlack);  // a fresh buffer: the background only
    frame(0);
    expectPixels({{201, 105, kCells}, {301, 155, kCells}});  // drawn again where it is, not taken off
    // Moved on (100 + 0.5 s x 196 px/s, 150 + 0.5 s x 246 px/s), nothing left behind.
    frame(500);
    expectPixels({{201, 105, kBlack}, {301, 155, kBlack}, {201, 199, kCells}, {301, 274, kCells}});

    // Held, rebuilt and released (a minimise and restore): the same.
    playback.busy = 1;
    frame(200);
    rebuildStage();
    playback.busy = 1;
    EXPECT_EQ(frameAt(200, 201, 199), kCells);
    EXPECT_EQ(frameAt(200, 201, 199), kCells);
    playback.busy = 0;
    EXPECT_EQ(frameAt(500, 201, 199), kCells);  // the first frame after the hold starts the clock afresh
    frame(500);
    expectPixels({{201, 199, kBlack}, {201, 297, kCells}});
    EXPECT_EQ(tally.possible, 0u);
}

TEST_F(PainterTest, PushesDuringPaintsAreNeitherLostNorCountedTwice) {
    startCritique(0.0f);
    constexpr int kBars = 300;
    std::atomic<bool> done{false};
    // The sequencer's side: bars pushed from another thread while the window thread paints.
    std::thread sequencer([&] {
        for (int i = 0; i < kBars; ++i) {
            noteBars.push(static_cast<float>(i % 40 * 16), -96.0f - static_cast<float>(i) * 0.25f,
                          32, 64, 0.0f, 104.0f);
            if (i % 10 == 0) std::this_thread::yield();
        }
        done = true;
    });
    while (!done) frame(40);
    sequencer.join();
    for (int i = 0; i < 1000 && bars() > 0; ++i) frame(100);
    EXPECT_EQ(std::make_pair(lane()[0], lane()[2]), std::make_pair(int64_t{0}, int64_t{kBars}));  // left, judged
    EXPECT_GT(tally.hits, 0u);
}

}  // namespace
}  // namespace stagetest
