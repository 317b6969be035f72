// The stage and its painter on the host's software surface: built-in pictures given as pixels,
// background pictures written into a temporary "media\images\" beside a stand-in executable, a
// hand-driven clock and a recording window side. Also the software surface itself, which every
// pixel read here takes on trust.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/host/fake_clock.h"
#include "platform/host/recording_window.h"
#include "platform/host/software_drawing.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/note_lane.h"
#include "stage/painter.h"
#include "stage/stage.h"
#include "support/unit_support.h"
#include "tools/gen-pictures/pictures.h"

namespace {

using platform::Colour, platform::rgb, platform::StretchMode;

constexpr Colour kBlack = 0x000000, kWhite = 0xFFFFFF, kBlue = rgb(0, 0, 120);
constexpr Colour kInk = rgb(255, 128, 255), kCells = rgb(0, 32, 32), kSung = rgb(255, 224, 64);
constexpr Colour kMarkerColour = rgb(255, 0, 0);

// A .bmp of palette indices (rows top first) by the picture generator's encoder, whose output
// the pictures' own test checks byte for byte; top-down encodes the rows the other way up and
// gives a negative height, as some tools write them.
pictures::Bytes bmpFile(int width, int height, int bits, const std::vector<Colour>& palette,
                        const std::vector<unsigned>& indices, bool topDown = false) {
    pictures::Indexed pic(width, height, 0);
    for (int i = 0; i < int(indices.size()); ++i)
        pic.at(i % width, topDown ? height - 1 - i / width : i / width) = uint8_t(indices[size_t(i)]);
    std::vector<pictures::Rgb> rgbs;
    for (Colour c : palette) rgbs.push_back({uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    pictures::Bytes bytes = pictures::encodeBmpIndexed(pic, bits, rgbs);
    for (int i = 0; topDown && i < 4; ++i) bytes[22 + size_t(i)] = uint8_t(uint32_t(-height) >> (8 * i));
    return bytes;
}

void writeFile(const std::string& path, const pictures::Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Px { int32_t x, y; Colour colour; };
void expectPixels(const platform::SoftwareDrawing& d, platform::Surface surface, std::initializer_list<Px> want) {
    for (const Px& p : want) EXPECT_EQ(d.pixel(surface, p.x, p.y), p.colour) << p.x << "," << p.y;
}

// Black where the shape says, white elsewhere.
template <typename Shape>
std::vector<Colour> blackWhere(int32_t width, int32_t height, Shape black) {
    std::vector<Colour> pixels;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) pixels.push_back(black(x, y) ? kBlack : kWhite);
    return pixels;
}

class StageTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(images_);
        platform::setHostExecutablePath((folder_.path() + "\\lyrivox.exe").c_str());
        pathBesideExecutable(backgroundPattern, "*.bmp", "media\\images\\");
        platform::installDraw(&drawing_), platform::installWindow(&window_), platform::installClock(&clock_);
        // A keyboard-like strip: separators every 32 pixels, one black row at 10 and a black
        // last row. The note sprite: paper in the top half, ink in the bottom half, so the two
        // colours it takes over the buffer can both be seen.
        drawing_.setResource(kKeyboardBitmap, 640, 64, true,
                             blackWhere(640, 64, [](int32_t x, int32_t y) { return x % 32 < 2 || y == 10 || y == 63; }));
        drawing_.setResource(kNoteBitmap, 32, 64, true, blackWhere(32, 64, [](int32_t, int32_t y) { return y >= 32; }));
        drawing_.setResource(kMarkerBitmap, 32, 32, false, std::vector<Colour>(32 * 32, kMarkerColour));
        resetState();
    }

    void TearDown() override {
        releaseStage();
        stageSurfaces = StageSurfaces{};
        noteBars.clear();
        resetState();
        platform::installDraw(nullptr), platform::installWindow(nullptr), platform::installClock(nullptr);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        backgroundPattern[0] = '\0';
    }

    static void resetState() {
        unittest::resetSettings();
        for (std::atomic<int32_t>* value : {&playback.playing, &playback.busy, &playback.currentLine, &playback.currentSyllable,
                                            &playback.drawnLine, &lineCount, &syllableCount})
            *value = 0;
        tally = CritiqueTally{};
        noteLane = NoteLane{};
        markerX = 0.0f;
        markerTargetX = widestLineWidth = 0;
        stripHeight = 63;
    }

    // A picture of one colour, or of distinct colours one a pixel row after row (four-bit, so a
    // colour picture even of one colour).
    void addPicture(const std::string& name, Colour colour, int32_t width = 4, int32_t height = 3,
                    std::vector<Colour> colours = {}, bool topDown = false) {
        std::vector<unsigned> indices(size_t(width * height), 0);
        if (colours.empty()) colours = {colour};
        for (size_t i = 1; i < colours.size(); ++i) indices[i] = unsigned(i);
        colours.resize(4, kBlack);
        writeFile(images_ + "/" + name, bmpFile(width, height, 4, colours, indices, topDown));
    }

    // Surfaces made, a background of one colour chosen, the stage built at the client size.
    void buildStage(Colour background = kBlack, int32_t width = 640, int32_t height = 480) {
        addPicture("stage.bmp", background);
        drawing_.setClientSize(width, height);
        createStageSurfaces(), chooseFirstBackground(), rebuildStage(), window_.clear();
    }

    Colour at(int32_t x, int32_t y) const { return drawing_.pixel(stageSurfaces.backBuffer, x, y); }
    void expectPixels(std::initializer_list<Px> want, platform::Surface surface = nullptr) const {
        ::expectPixels(drawing_, surface ? surface : stageSurfaces.backBuffer, want);
    }
    void paint(Rect invalid = Rect{0, 0, 1, 1}) {
        if (!window_surface_) window_surface_ = drawing_.createWindowSurface(settings.windowWidth, settings.windowHeight);
        paintStage(PaintRequest{window_surface_, invalid});
    }

    void setLines(std::initializer_list<const char*> texts) {
        lineCount = 0;
        for (const char* text : texts) {
            LyricLine& line = lyricLines[lineCount++] = LyricLine{};
            std::memcpy(line.text, text, line.length = static_cast<uint8_t>(std::strlen(text)));
        }
    }
    // Critique frames of a playing song, the clock and the marker in a known place.
    void startCritique(float marker, int32_t height = 480) {
        buildStage(kBlack, 640, height);
        settings.critique = 1, playback.playing = 1;
        clock_.set(5000), noteLane.restart(5000), placeMarker(marker);
    }
    void rebuildHeld() { playback.busy = 1, rebuildStage(); }
    void placeMarker(float x) { markerX = x, markerTargetX = static_cast<int32_t>(x); }
    // A bar that enters from above and, after a frame of exactly one second, has its top at y.
    void pushArriving(float x, float y) { noteBars.push(x, -96.0f, 32, 64, 0.0f, y + 96.0f); }
    void frame(uint32_t ms) { clock_.advance(ms), paint(); }
    // A bar's image with its top at y: background above and left of it, paper in its upper
    // half, ink in its lower one; or no image at all.
    void expectBar(int32_t x, int32_t y) const {
        expectPixels({{x + 1, y - 1, kBlack}, {x + 1, y, kCells}, {x + 1, y + 40, kInk}, {x - 1, y + 40, kBlack}});
    }
    void expectNoBar(int32_t x, int32_t y) const { expectPixels({{x + 1, y, kBlack}, {x + 1, y + 40, kBlack}}); }
    // The text calls since the log was cleared: text, place and ink.
    using Text = std::tuple<std::string, int32_t, int32_t, Colour>;
    std::vector<Text> drawn() const {
        std::vector<Text> out;
        for (const auto& t : drawing_.texts()) out.emplace_back(t.text, t.x, t.y, t.ink);
        return out;
    }
    std::vector<Text> painted() { return drawing_.clearLog(), paint(), drawn(); }
    // Bars still falling, hits and judged notes.
    using Lane = std::vector<int64_t>;
    Lane lane() const {
        int64_t bars = 0;
        for (NoteBar* bar = noteBars.head; bar; bar = bar->next) ++bars;
        return {bars, tally.hits, tally.possible};
    }

    unittest::ScratchFolder folder_;
    std::string images_ = folder_ / "media/images";
    platform::SoftwareDrawing drawing_;
    platform::RecordingWindowSide window_;
    platform::FakeClock clock_;
    platform::Surface window_surface_ = nullptr;
};

std::string chosenName() { return std::strrchr(stageSurfaces.backgroundPath, '\\') + 1; }

TEST_F(StageTest, LayoutFollowsTheClientAreaAndTheFont) {
    // A 2 x 2 picture of four colours shows where each source pixel lands; it is stored top-down
    // (the pictures' test reads bottom-up files).
    const Colour tl = rgb(200, 0, 0), tr = rgb(0, 200, 0), bl = rgb(0, 0, 200), br = rgb(90, 90, 90);
    addPicture("four.bmp", 0, 2, 2, {tl, tr, bl, br}, true);
    // CreateWindowExA sends WM_SIZE before start-up has made the surfaces or chosen a picture:
    // that only ends the hold.
    rebuildHeld();
    EXPECT_EQ(playback.busy.load(), 0);
    createStageSurfaces(), chooseFirstBackground(), rebuildHeld();

    // Window size, strip height (63.98 truncated), lyric band, font and the hold as laid out,
    // then at another size and font (66.65 truncated), then minimised: the client area reads
    // 0 x 0, the old size stays and the hold still ends. Then the buffer's and the strip's
    // images: width, height, two-colour-ness and stretch mode.
    auto layout = [&] {
        const Rect band = lyricBand.rect();
        std::vector<int32_t> out{settings.windowWidth, settings.windowHeight, stripHeight.load(), band.left, band.top, band.right,
                                 band.bottom, playback.busy.load(), drawing_.fontHeight(stageSurfaces.lyricFont),
                                 drawing_.fontWeight(stageSurfaces.lyricFont)};
        for (platform::Surface s : {stageSurfaces.backBuffer, stageSurfaces.keyboardStrip}) {
            int32_t w = 0, h = 0;
            bool twoColour = true;
            drawing_.imageOf(s, &w, &h, &twoColour);
            out.insert(out.end(), {w, h, twoColour, static_cast<int32_t>(drawing_.stretchMode(s))});
        }
        return out;
    };
    const int32_t colorOnColor = int32_t(StretchMode::colorOnColor), blackOnWhite = int32_t(StretchMode::blackOnWhite);
    EXPECT_EQ(layout(), (std::vector<int32_t>{640, 480, 63, 0, 0, 640, 60, 0, 20, 400, 640, 480, 0, colorOnColor, 640,
                                              63, 0, blackOnWhite}));
    EXPECT_EQ(platform::currentLyricFont(), static_cast<void*>(stageSurfaces.lyricFont));
    // The picture fills exactly W x H, whole pixels repeated (COLORONCOLOR). The keyboard is
    // squeezed from 64 to 63 rows in black and white, merged rows ANDed: the black last row
    // survives in the strip's last row.
    expectPixels({{0, 0, tl}, {319, 239, tl}, {320, 0, tr}, {0, 240, bl}, {639, 479, br}});
    expectPixels({{100, 62, kBlack}, {100, 10, kBlack}, {100, 30, kWhite}, {64, 30, kBlack}}, stageSurfaces.keyboardStrip);

    drawing_.setClientSize(700, 500);
    settings.fontSize = 48;
    settings.fontWeight = 800;
    const std::vector<int32_t> resized{700, 500, 66, 0, 0, 700, 116, 0, 48, 800, 700, 500, 0, colorOnColor, 700, 66, 0, blackOnWhite};
    rebuildStage();
    EXPECT_EQ(layout(), resized);
    EXPECT_EQ(at(699, 499), br);
    EXPECT_EQ(painted(), (std::vector<Text>{{"Lyrivox", 206, 15, kInk}}));  // the title moves: 350 - 3 * 48
    EXPECT_EQ(drawing_.texts()[0].fontHeight, 48);
    drawing_.setClientSize(0, 0);
    rebuildHeld();
    EXPECT_EQ(layout(), resized);
}

TEST_F(StageTest, BackgroundsComeInEnumerationOrderAndStartOver) {
    for (const char* name : {"b.bmp", "A.BMP", "c.bmp"}) addPicture(name, kWhite);  // matched regardless of case
    std::ofstream(images_ + "/notes.txt") << "not a picture";
    chooseFirstBackground();
    EXPECT_EQ(std::string(stageSurfaces.backgroundPath), folder_.path() + "\\media\\images\\A.BMP");
    // (Starting over ends the spent enumeration: the leak test counts the open searches.)
    std::string order;
    for (int song = 0; song < 4; ++song) chooseNextBackground(), order += chosenName() + " ";
    // With one picture every song gets it.
    for (const char* name : {"/A.BMP", "/c.bmp"}) std::filesystem::remove(images_ + name);
    chooseFirstBackground();
    for (int song = 0; song < 2; ++song) chooseNextBackground(), order += chosenName() + " ";
    EXPECT_EQ(order, "b.bmp c.bmp A.BMP b.bmp b.bmp b.bmp ");
    EXPECT_TRUE(window_.messages().empty());
}

TEST_F(StageTest, MissingPicturesShowMessage110AndFallBackToBlankOnes) {
    std::vector<int> busyWhileOpen;
    window_.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) { busyWhileOpen.push_back(playback.busy.load()); });
    const std::vector<std::string> once{unittest::kMsgCannotLoadGraphics};
    createStageSurfaces();
    // No picture in the folder: once at start-up, once at the first rebuild, and twice for
    // every song opened (the enumeration starts over and fails again, then the rebuild); a
    // rebuild for the same choice (a drag step) reads nothing again.
    chooseFirstBackground();
    ASSERT_EQ(window_.messages(), once);
    rebuildStage();
    chooseNextBackground();
    rebuildStage();
    rebuildStage();
    EXPECT_EQ(busyWhileOpen, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(playback.busy.load(), 0);
    // The blank 480 x 360 picture stands in (black, as a fresh image already is); the keyboard
    // is still read.
    EXPECT_EQ(drawing_.pixel(stageSurfaces.keyboardStrip, 100, 30), kWhite);

    // A picture that cannot be read is as good as none.
    std::ofstream(images_ + "/broken.bmp") << "BM but not much else";
    window_.clear(), chooseNextBackground(), rebuildStage();
    EXPECT_EQ(window_.messages(), once);

    // A missing keyboard picture: the message, then a blank 640 x 64 strip.
    std::filesystem::remove(images_ + "/broken.bmp");
    addPicture("fine.bmp", kWhite);
    chooseFirstBackground();
    drawing_.clearResources(), window_.clear(), rebuildStage();
    EXPECT_EQ(window_.messages(), once);
    EXPECT_EQ(at(10, 10), kWhite);
    expectPixels({{100, 30, kBlack}, {639, 62, kBlack}}, stageSurfaces.keyboardStrip);
}

TEST_F(StageTest, RepeatedRebuildsAndSongsLeakNothing) {
    addPicture("one.bmp", rgb(10, 20, 30), 33, 17);
    addPicture("two.bmp", rgb(40, 50, 60), 8, 8);
    buildStage();
    // Objects (the font, the two sprites, the back buffer's and the strip's images, the
    // background and keyboard pictures), surfaces (six, and the test's window surface), failed
    // deletes, open searches (the enumeration runs on until the release).
    auto live = [&] {
        return std::vector<int>{drawing_.liveObjects(), drawing_.liveSurfaces(), drawing_.failedDeletes(), drawing_.openSearches()};
    };
    for (int round = 0; round < 60; ++round) {
        settings.fontSize = 20 + 14 * (round % 3);
        drawing_.setClientSize(400 + round, 300 + 2 * round);
        if (round % 4 == 0) chooseNextBackground();
        rebuildStage();
        // A paint between rebuilds selects the font and draws; nothing it does is kept.
        playback.playing = round % 2, settings.critique = round % 3 == 0;
        paint(Rect{0, 0, 50, 50});
    }
    EXPECT_EQ(live(), (std::vector<int>{7, 6 + 1, 0, 1}));
    EXPECT_TRUE(window_.messages().empty());
    releaseStage();
    releaseStage();  // a second release finds nothing left to do
    EXPECT_EQ(live(), (std::vector<int>{0, 1, 0, 0}));
    EXPECT_EQ(platform::currentLyricFont(), nullptr);
}

// The report box for each tally: the score in tenths, truncated, in an unowned plain box; no
// judged notes give the microphone message in the program's own box. The program is held
// while the box is open, released after, and the counters are left as they were.
TEST_F(StageTest, CritiqueReportForEachTally) {
    int busyWhileOpen = -1;
    window_.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) { busyWhileOpen = playback.busy.load(); });
    const std::string microphone = "Not enough samples were taken to critique.  Check microphone setup.";
    const std::tuple<uint32_t, uint32_t, std::string> cases[] = {
        {7, 9, "You hit 7 notes out of a total 9 possible. For a score of 7 out of 10."},
        {2, 3, "You hit 2 notes out of a total 3 possible. For a score of 6 out of 10."},
        {9, 9, "You hit 9 notes out of a total 9 possible. For a score of 10 out of 10."},
        // Hits kept from an earlier song can outnumber this run's notes.
        {12, 5, "You hit 12 notes out of a total 5 possible. For a score of 24 out of 10."},
        {3, 0, microphone}, {3, 0x80000000u, microphone}, {3, 0xFFFFFFFFu, microphone},
    };
    for (const auto& [hits, possible, text] : cases) {
        window_.clear();
        tally = CritiqueTally{hits, possible};
        showCritique();
        ASSERT_EQ(window_.boxes().size(), 1u) << text;
        const auto box = window_.boxes()[0];
        const bool scored = text != microphone;
        EXPECT_EQ(std::make_tuple(box.text, box.caption, box.style, box.owned, busyWhileOpen, playback.busy.load(), tally.hits,
                                  tally.possible),
                  std::make_tuple(text, std::string(scored ? "Karaoke Critique!" : "Lyrivox!"), scored ? 0u : 0x30u, !scored, 1,
                                  0, hits, possible));
    }
}

// Also the regression where a rebuild (a resize, a restore, a font) left the lyric band blank
// until the next syllable.
TEST_F(StageTest, TitleThenLyricsDrawnOnlyWhenDueAndHowTheyReachTheWindow) {
    buildStage(kBlue);
    paint(Rect{0, 0, 320, 240});
    platform::Surface screen = window_surface_;
    // The title at 320 - 3 * 20 (read with the frames below); the band 2 * 20 + 20 high, the
    // whole width; a character cell's corner and its ink.
    expectPixels({{600, 59, kBlack}, {600, 60, kBlue}, {260, 15, kCells}, {265, 25, kInk}});
    // Critique off: only the invalid rectangle is copied (the paints below ask for one pixel).
    expectPixels({{10, 100, kBlue}, {400, 300, kBlack}}, screen);

    // A song: a fresh band for it.
    rebuildStage();
    setLines({"first line", "second", "third"});
    widestLineWidth = 200;  // lyricLeft = 220
    syllables[0] = Syllable{10, 0, 0, 5};  // "first"
    syllables[1] = Syllable{60, 0, 0, 10};  // " line"
    playback.playing = 1;  // the rebuild has marked the lines as not drawn

    // The two lines, and over the first its sung part in the second colour.
    EXPECT_EQ(painted(), (std::vector<Text>{{"first line", 220, 15, kInk}, {"second", 220, 35, kInk}, {"first", 220, 15, kSung}}));
    // The band from lyricLeft - 5 to lyricLeft + widest + 5 (excluded), the ball over
    // syllable 0, the sung and unsung ink.
    expectPixels({{215, 59, kBlack}, {214, 40, kBlue}, {424, 59, kBlack}, {425, 40, kBlue},
                  {230, 5, kWhite}, {222, 20, kSung}, {222, 40, kInk}});

    // Next syllable: the sung part grows; the same syllable again draws no text.
    playback.currentSyllable = 1;
    EXPECT_EQ(std::get<0>(painted().at(2)), "first line");
    expectPixels({{230, 5, kBlack}, {280, 5, kWhite}});
    EXPECT_TRUE(painted().empty());
    EXPECT_EQ(at(222, 20), kSung);

    // A rebuild wipes the band and the lyrics come again.
    rebuildStage();
    EXPECT_EQ(at(222, 20), kBlue);
    EXPECT_EQ(painted().size(), 3u);

    // The last line comes alone.
    playback.currentLine = 2;
    EXPECT_EQ(painted(), (std::vector<Text>{{"third", 220, 15, kInk}}));
    EXPECT_EQ(at(222, 40), kBlack);

    // Critique on: the text at every frame and the whole frame copied; the next frame is asked
    // for at the display's pace while a song plays, more slowly while it is held, and not at
    // all without a song, and nothing asks for a paint at once.
    settings.critique = 1;
    drawing_.clearLog(), window_.clear();  // the rebuild's own request
    paint();
    EXPECT_EQ(drawing_.pixel(screen, 400, 300), kBlue);
    playback.busy = 1, paint();
    playback.playing = 0, paint();
    EXPECT_EQ(drawn(), (std::vector<Text>{{"third", 220, 15, kInk}, {"third", 220, 15, kInk}, {"Lyrivox", 260, 15, kInk}}));
    EXPECT_EQ(window_.laterRedraws(), (std::vector<uint32_t>{kFramePeriodMs, kHeldFramePeriodMs}));
    EXPECT_TRUE(window_.redraws().empty());
    // A slower display sets its own pace; a faster one still gets about 60 frames a second.
    for (auto [hz, ms] : {std::pair<uint32_t, uint32_t>{0, 16}, {30, 33}, {50, 20}, {60, 16}, {144, 16}})
        EXPECT_EQ(framePeriodFor(hz), ms) << hz;
}

TEST_F(StageTest, JudgingZoneEdgesAndHitDistance) {
    // Each bar alone with the marker at 200 (hit line 480 - 63 - 64 = 353), after one second.
    // Marker, bar, lane after the frame.
    const std::tuple<float, float, float, Lane> cases[] = {
        // Top exactly on the hit line: still falling, not judged. Top exactly at H: judged, far
        // from the marker it stays, under it a hit. Past H: missed without being judged, even under it.
        {200, 200, 353, {1, 0, 0}}, {500, 200, 480, {1, 0, 0}}, {200, 200, 480, {0, 1, 1}}, {200, 200, 480.5, {0, 0, 1}},
        // Both comparisons strict: 16 pixels off is no hit, 15.9 is, on either side.
        {200, 216, 400, {1, 0, 0}}, {200, 215.9f, 400, {0, 1, 1}},
        {200, 184, 400, {1, 0, 0}}, {200, 184.1f, 400, {0, 1, 1}},
    };
    startCritique(200.0f);
    for (const auto& [marker, x, y, want] : cases) {
        noteBars.clear();
        tally = CritiqueTally{};
        placeMarker(marker), pushArriving(x, y), frame(1000);
        EXPECT_EQ(lane(), want) << marker << " " << x << " " << y;
    }
    // (A bar judged and not hit is judged again: see the bars at one position. A bar that
    // stays in the zone beside the marker until it leaves, counted once: the short window.)
}

// Also the regression where a bar passing under the lyric band left an inverted copy there.
TEST_F(StageTest, AShortWindowLeavesNoTrail) {
    startCritique(0.0f, 200);  // a strip of 26, lower than the marker
    // A bar falls through the lyric band, beside the marker, past a lit syllable and out.
    setLines({"lyrics lit"});
    widestLineWidth = 400, syllables[0] = Syllable{20, 0, 0, 6};
    noteBars.push(200.0f, -96.0f, 32, 64, 0.0f, 100.0f);
    for (int i = 1; i <= 15; ++i) {
        frame(100);
        for (int32_t y = 0; y < 60; y += 2) {  // the bar passes under the band
            const Colour c = at(210, y);
            ASSERT_TRUE(c == kBlack || c == kCells || c == kInk || c == kSung) << i << " " << y;
        }
    }
    expectPixels({{201, 62, kCells}, {201, 104, kInk}});  // in the lane at y = 54, in the lyric colours
    for (int32_t target : {100, 300, 500, 20})
        for (int i = 0; i < 10; ++i) markerTargetX = target, frame(100);
    ASSERT_EQ(lane(), (Lane{0, 0, 1}));  // judged at every frame in the zone, counted once
    for (int32_t y = 60; y < 200 - 26; y += 2)
        for (int32_t x = 0; x < 640; x += 2) ASSERT_EQ(at(x, y), kBlack) << x << "," << y;
    EXPECT_EQ(at(23, 180), kWhite ^ kMarkerColour);  // the marker's top, on the strip
}

TEST_F(StageTest, BarsAtOnePositionRetireTogetherAndCountOnce) {
    startCritique(500.0f);
    // Two bars that share a position when they are judged, held on frames in which no time
    // passes, first out of the marker's reach, then under it; then a missed pair.
    for (float x : {200.0f, 200.0f, 300.0f}) noteBars.push(x, x > 200.0f ? 380.0f : 400.0f, 32, 64, 0.0f, 104.0f);
    const auto before = drawing_.pixels(stageSurfaces.backBuffer);
    frame(0);
    EXPECT_EQ(lane(), (Lane{3, 0, 0}));
    placeMarker(200), frame(0);
    EXPECT_EQ(lane(), (Lane{1, 1, 1}));
    // The retired pair left no image behind.
    for (int y = 360; y < 417; y += 3) EXPECT_EQ(at(210, y), before[static_cast<size_t>(y * 640 + 210)]) << y;
    noteBars.clear();
    for (int twice = 0; twice < 2; ++twice) noteBars.push(200.0f, 480.5f, 32, 64, 0.0f, 104.0f);
    frame(0);
    EXPECT_EQ(lane(), (Lane{0, 1, 2}));
}

// A restore, a resize or a font command remakes the buffer while bars fall, and a held program
// (a menu, a box, a drag) freezes them: every bar must show once at its place, and no image may
// stay where a bar was. Bars fall by elapsed time, also when the clock wraps at 2^32.
// Also the regression where a bar took the last text colour (the sung ink) and so could not
// be taken off again: a lit line is drawn at every frame, and the bars' ink halves are checked.
TEST_F(StageTest, HoldsAndRebuildsShowEachBarOnceAndLeaveNoImageBehind) {
    startCritique(0.0f);
    setLines({"lit"});
    syllables[0] = Syllable{0, 0, 0, 3};
    clock_.set(0xFFFFFFFFu - 499), noteLane.restart(0xFFFFFFFFu - 499);
    pushArriving(200.0f, 100.0f), pushArriving(300.0f, 150.0f);
    frame(1000), expectBar(200, 100);
    rebuildStage();
    expectNoBar(200, 100);  // a fresh buffer: the background only
    frame(0);
    expectBar(200, 100), expectBar(300, 150);  // drawn again where it is, not taken off
    // Moved on (100 + 0.5 s x 196 px/s, 150 + 0.5 s x 246 px/s), nothing left behind.
    frame(500);
    expectNoBar(200, 100), expectNoBar(300, 150), expectBar(200, 198), expectBar(300, 273);

    // Held: the bars stay shown; the marker glides by time, a quarter of the rest per 1/60 s,
    // 1 - 0.75^3 of it in 50 ms (no paint is asked for: the title test's held frame). A rebuild
    // during the hold ends it, and the held frames after it show each bar once.
    playback.busy = 1, markerTargetX = 100;
    frame(50);
    EXPECT_FLOAT_EQ(markerX, 57.8125f);
    rebuildStage(), playback.busy = 1;
    for (int held = 0; held < 2; ++held) frame(3000), expectBar(200, 198);
    EXPECT_FLOAT_EQ(markerX, 100.0f);
    // Released: the first frame starts the lane's clock afresh (the pause does not count),
    // the next moves by its own time.
    playback.busy = 0, markerTargetX = 57;
    frame(500), expectBar(200, 198);
    // The marker sits on the strip at (int)markerX, H - 32, combined with the strip's colours.
    expectPixels({{60, 470, kWhite ^ kMarkerColour}, {56, 470, kWhite}, {60, 447, kWhite}});
    frame(500), expectNoBar(200, 198), expectBar(200, 296);

    // A minimise paints nothing while it lasts; the rebuild of the restore ends it, and the
    // bars go on from where they were.
    clock_.advance(5000);
    rebuildHeld();
    frame(100), expectBar(200, 296);
    frame(100), expectPixels({{201, 297, kBlack}, {201, 317, kCells}});
    EXPECT_EQ(lane(), (Lane{2, 0, 0}));
}

TEST_F(StageTest, PushesDuringPaintsAreNeitherLostNorCountedTwice) {
    startCritique(0.0f);
    constexpr int kBars = 300;
    std::atomic<bool> done{false};
    // The sequencer's side: bars pushed from another thread while the window thread paints.
    std::thread sequencer([&] {
        for (int i = 0; i < kBars; ++i) {
            noteBars.push(static_cast<float>(i % 40 * 16), -96.0f - static_cast<float>(i) * 0.25f, 32, 64, 0.0f, 104.0f);
            if (i % 10 == 0) std::this_thread::yield();
        }
        done = true;
    });
    while (!done) frame(40);
    sequencer.join();
    for (int i = 0; i < 1000 && lane()[0] > 0; ++i) frame(100);
    EXPECT_EQ(std::make_pair(lane()[0], lane()[2]), std::make_pair(int64_t{0}, int64_t{kBars}));  // left, judged
    EXPECT_GT(tally.hits, 0u);
}

// The host's software surface and window side themselves: the pictures read, the GDI rules
// carried out and the lyric text measured. (XOR, clipping at the edges, rectangles with their
// right and bottom edges excluded and the BLACKONWHITE squeeze are read through the stage's own
// pixels above: every bar taken off, the lyric band's edges, the keyboard strip's last row.)
TEST(SoftwareSurface, ReadsPicturesAndFollowsGdi) {
    const std::string path = "/tmp/lyrivox-draw-" + std::to_string(getpid()) + ".bmp";
    platform::SoftwareDrawing d;
    auto load = [&](const pictures::Bytes& bytes) {
        writeFile(path, bytes);
        return d.loadImageFromFile(path.c_str());
    };
    // 1 bit: a two-colour image whatever the palette's order.
    platform::Object mono = load(bmpFile(3, 2, 1, {kWhite, kBlack}, {0, 1, 0, 1, 1, 0}));
    platform::Surface display = d.createDisplayDC(), surface = d.createCompatibleDC(nullptr);
    d.selectObject(surface, mono);
    bool twoColour = false;
    int32_t w = 0, h = 0;
    EXPECT_TRUE(d.imageOf(surface, &w, &h, &twoColour) && w == 3 && h == 2 && twoColour);
    expectPixels(d, surface, {{0, 0, kWhite}, {1, 0, kBlack}, {0, 1, kBlack}, {2, 1, kWhite}});
    // (4 bits, top-down: the layout test's picture.) Every cut of a valid file is refused.
    auto whole = bmpFile(5, 3, 4, {0, kBlue, kWhite}, {1, 2, 1, 2, 1, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2});
    for (size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_EQ(load(pictures::Bytes(whole.begin(), whole.begin() + long(cut))), nullptr) << cut;
    std::remove(path.c_str());
    EXPECT_FALSE(d.deleteObject(nullptr));

    platform::Surface target = d.createCompatibleDC(display), source = d.createCompatibleDC(display);
    // A fresh memory surface makes two-colour images; the display makes colour ones.
    platform::Object trap = d.createCompatibleBitmap(target, 4, 4);
    d.selectObject(source, trap);
    d.imageOf(source, nullptr, nullptr, &twoColour);
    EXPECT_FALSE(d.deleteObject(trap) || !twoColour);  // still selected
    d.selectObject(target, d.createCompatibleBitmap(display, 4, 2));
    d.setResource(7, 4, 4, true, blackWhere(4, 4, [](int32_t x, int32_t y) { return (x == 0 && y == 1) || (x == 2 && y == 2); }));
    d.selectObject(source, d.loadBitmapResource(7));
    EXPECT_TRUE(d.deleteObject(trap));
    // Halving the height, COLORONCOLOR takes the first row of each pair only, the two-colour
    // source in the target's text colours.
    const Colour ink = rgb(1, 2, 3), paper = rgb(200, 201, 202);
    d.setTextColor(target, ink), d.setBkColor(target, paper), d.setStretchBltMode(target, StretchMode::colorOnColor);
    d.stretchBlt(target, 0, 0, 4, 2, source, 0, 0, 4, 4);
    expectPixels(d, target, {{0, 0, paper}, {2, 1, ink}});
}

TEST(TextMeasure, AmpersandPrefixesLineBreaksAndLengthBounds) {
    // Text, length (-1: up to the zero), character width, width.
    const std::tuple<const char*, int32_t, int32_t, int32_t> cases[] = {
        // A '&' marks the next character and takes no room; "&&" shows one '&'; a last '&'
        // has nothing to mark and shows.
        {"", -1, 10, 0}, {"love", -1, 10, 40}, {"&love", -1, 10, 40}, {"rock && roll", -1, 10, 110},
        {"&&&x", -1, 10, 20}, {"a&", -1, 10, 20}, {"&&&", -1, 10, 20}, {"x", -1, 7, 7},
        // The widest line counts; a prefix before a break shows nothing, the break still breaks.
        {"ab\ncdef\rg", -1, 10, 40}, {"abc\r\nde", -1, 10, 30}, {"\r\n\r\n", -1, 10, 0},
        {"ab&\ncde", -1, 10, 30}, {"abcd&\r\nx", -1, 10, 40},
        // The length bounds the text: a '&' cut off from its pair shows, and bytes past the
        // length are not looked at to pair it.
        {"hello&&there", 5, 10, 50}, {"hello&&there", 6, 10, 60}, {"a&\n", 2, 10, 20}, {nullptr, 3, 10, 0},
    };
    for (auto [text, length, charWidth, width] : cases)
        EXPECT_EQ(platform::fixedWidthTextWidth(text, length, charWidth), width) << (text ? text : "(null)") << " length " << length;
}

TEST(TextMeasure, RecordingSideCountsContextsAndCallsAcrossThreads) {
    platform::RecordingWindowSide side(8);
    side.beginLyricMeasure();
    EXPECT_EQ(side.lyricTextWidth("&Open", 5), 32);
    side.setCharWidth(5);
    EXPECT_EQ(side.lyricTextWidth("ab", 2), 10);
    EXPECT_EQ(side.openMeasures(), 1);
    side.endLyricMeasure();
    // Boxes, menu changes and measures may come from several threads at once.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&side, t] {
            for (int i = 0; i < 200; ++i) {
                side.beginLyricMeasure();
                side.lyricTextWidth("word", 4);
                side.endLyricMeasure();
                side.enableMenuItem(static_cast<unsigned>(32771 + t), i % 2 == 0);
                side.messageBox("text", "Lyrivox!", 0x30, true);
                if (t == 0) side.setCharWidth(i % 7 + 1);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::make_tuple(side.measureCalls(), side.openMeasures(), side.boxes().size(), side.isEnabled(32771)),
              std::make_tuple(2 + 800, 0, size_t{800}, false));
}

}  // namespace
