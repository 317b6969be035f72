// The stage's surfaces, layout and background pictures on the host's software surface.
#include "stage_fixture.h"

#include "support/unit_support.h"

namespace stagetest {
namespace {

const std::string kGraphicsMessage = unittest::kMsgCannotLoadGraphics;

std::string chosenName() {
    std::string path = stageSurfaces.backgroundPath;
    return path.substr(path.find_last_of('\\') + 1);
}

TEST_F(StageTest, LayoutFollowsTheClientAreaAndTheFont) {
    // A 2 x 2 picture of four colours shows where each source pixel lands.
    const Colour tl = rgb(200, 0, 0), tr = rgb(0, 200, 0), bl = rgb(0, 0, 200), br = rgb(90, 90, 90);
    writeBmp(images_ + "/four.bmp", 2, 2, {tl, tr, bl, br});
    createStageSurfaces();
    chooseFirstBackground();
    playback.busy = 1;
    rebuildStage();

    // Window size, strip height (63.98 truncated), lyric band and font as laid out, then at
    // another size and font (66.65 truncated), then minimised: the client area reads 0 x 0, the
    // old size stays and the hold still ends.
    auto layout = [] {
        const Rect band = lyricBand.rect();
        return std::vector<int32_t>{settings.windowWidth, settings.windowHeight, stripHeight.load(), band.left,
                                    band.top, band.right, band.bottom, playback.busy.load()};
    };
    auto font = [&] {
        return std::vector<int32_t>{drawing_.fontHeight(stageSurfaces.lyricFont), drawing_.fontWeight(stageSurfaces.lyricFont)};
    };
    EXPECT_EQ(layout(), (std::vector<int32_t>{640, 480, 63, 0, 0, 640, 60, 0}));
    EXPECT_EQ(font(), (std::vector<int32_t>{20, 400}));
    EXPECT_EQ(platform::currentLyricFont(), static_cast<void*>(stageSurfaces.lyricFont));

    // The picture fills exactly W x H, whole pixels repeated (COLORONCOLOR). The keyboard is
    // squeezed from 64 to 63 rows in black and white, merged rows ANDed: the black last row
    // survives in the strip's last row.
    EXPECT_EQ(imageShape(stageSurfaces.backBuffer), (std::vector<int32_t>{640, 480, 0}));
    EXPECT_EQ(drawing_.stretchMode(stageSurfaces.backBuffer), platform::StretchMode::colorOnColor);
    expectPixels({{0, 0, tl}, {319, 239, tl}, {320, 0, tr}, {0, 240, bl}, {639, 479, br}});
    EXPECT_EQ(imageShape(stageSurfaces.keyboardStrip), (std::vector<int32_t>{640, 63, 0}));
    EXPECT_EQ(drawing_.stretchMode(stageSurfaces.keyboardStrip), platform::StretchMode::blackOnWhite);
    expectPixels({{100, 62, kBlack}, {100, 10, kBlack}, {100, 30, kWhite}, {64, 30, kBlack}}, stageSurfaces.keyboardStrip);
    EXPECT_TRUE(window_.messages().empty());

    drawing_.setClientSize(700, 500);
    settings.fontSize = 48;
    settings.fontWeight = 800;
    rebuildStage();
    EXPECT_EQ(layout(), (std::vector<int32_t>{700, 500, 66, 0, 0, 700, 116, 0}));
    EXPECT_EQ(font(), (std::vector<int32_t>{48, 800}));
    EXPECT_EQ(at(699, 499), br);
    drawing_.setClientSize(0, 0);
    playback.busy = 1;
    rebuildStage();
    EXPECT_EQ(layout(), (std::vector<int32_t>{700, 500, 66, 0, 0, 700, 116, 0}));
    EXPECT_EQ(imageShape(stageSurfaces.backBuffer)[0], 700);
}

TEST_F(StageTest, ASizeNoticeBeforeTheSurfacesExistOnlyEndsTheHold) {
    // CreateWindowExA sends WM_SIZE before start-up has made the surfaces or chosen a picture.
    addPicture("first.bmp", kWhite);
    playback.busy = 1;
    rebuildStage();
    EXPECT_EQ(playback.busy.load(), 0);
    EXPECT_TRUE(window_.messages().empty());
    createStageSurfaces();
    chooseFirstBackground();
    rebuildStage();
    EXPECT_TRUE(window_.messages().empty());
    EXPECT_EQ(at(5, 5), kWhite);
    EXPECT_EQ(drawing_.liveObjects(), 7);
}

TEST_F(StageTest, BackgroundsComeInEnumerationOrderAndStartOver) {
    for (const char* name : {"b.bmp", "A.BMP", "c.bmp"}) addPicture(name, kWhite);  // matched regardless of case
    std::ofstream(images_ + "/notes.txt") << "not a picture";

    chooseFirstBackground();
    EXPECT_EQ(std::string(stageSurfaces.backgroundPath), folder_ + "\\media\\images\\A.BMP");
    std::vector<std::string> order;
    for (int song = 0; song < 4; ++song) {
        chooseNextBackground();
        order.push_back(chosenName());
        EXPECT_LE(drawing_.openSearches(), 1);  // starting over ends the spent enumeration
    }
    EXPECT_EQ(order, (std::vector<std::string>{"b.bmp", "c.bmp", "A.BMP", "b.bmp"}));

    // With one picture every song gets it.
    for (const char* name : {"/A.BMP", "/c.bmp"}) std::filesystem::remove(images_ + name);
    chooseFirstBackground();
    for (int song = 0; song < 3; ++song) {
        chooseNextBackground();
        EXPECT_EQ(chosenName(), "b.bmp");
    }
    EXPECT_TRUE(window_.messages().empty());
}

TEST_F(StageTest, MissingPicturesShowMessage110AndFallBackToBlankOnes) {
    std::vector<int> busyWhileOpen;
    window_.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) {
        busyWhileOpen.push_back(playback.busy.load());
    });
    createStageSurfaces();

    // No picture in the folder: once at start-up, once at the first rebuild, and twice for
    // every song opened (the enumeration starts over and fails again, then the rebuild); a
    // rebuild for the same choice (a drag step) reads nothing again.
    chooseFirstBackground();
    EXPECT_EQ(std::string(stageSurfaces.backgroundPath), "");
    ASSERT_EQ(window_.messages(), std::vector<std::string>{kGraphicsMessage});
    rebuildStage();
    EXPECT_EQ(window_.messages().size(), 2u);
    chooseNextBackground();
    rebuildStage();
    rebuildStage();
    EXPECT_EQ(window_.messages().size(), 4u);
    EXPECT_EQ(busyWhileOpen, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(playback.busy.load(), 0);
    // The blank 480 x 360 picture, stretched over the whole buffer, still gives a full frame.
    expectPixels({{0, 0, kBlack}, {639, 479, kBlack}});
    EXPECT_EQ(drawing_.pixel(stageSurfaces.keyboardStrip, 100, 30), kWhite);

    // A picture that cannot be read is as good as none.
    std::ofstream(images_ + "/broken.bmp") << "BM but not much else";
    window_.clear();
    chooseNextBackground();
    EXPECT_EQ(chosenName(), "broken.bmp");
    rebuildStage();
    EXPECT_EQ(window_.messages(), std::vector<std::string>{kGraphicsMessage});

    // A missing keyboard picture: the message, then a blank 640 x 64 strip.
    std::filesystem::remove(images_ + "/broken.bmp");
    addPicture("fine.bmp", kWhite);
    chooseFirstBackground();
    drawing_.clearResources();
    window_.clear();
    rebuildStage();
    EXPECT_EQ(window_.messages(), std::vector<std::string>{kGraphicsMessage});
    EXPECT_EQ(at(10, 10), kWhite);
    expectPixels({{100, 30, kBlack}, {639, 62, kBlack}}, stageSurfaces.keyboardStrip);
}

TEST_F(StageTest, RepeatedRebuildsAndSongsLeakNothing) {
    addPicture("one.bmp", rgb(10, 20, 30), 33, 17);
    addPicture("two.bmp", rgb(40, 50, 60), 8, 8);
    drawing_.setClientSize(640, 480);
    createStageSurfaces();
    chooseFirstBackground();
    rebuildStage();
    // The font, the two sprites, the back buffer's and the strip's images, the background and
    // keyboard pictures.
    const int afterFirst = drawing_.liveObjects();
    EXPECT_EQ((std::vector<int>{afterFirst, drawing_.liveSurfaces()}), (std::vector<int>{7, 6}));

    const int32_t sizes[] = {20, 32, 48};
    for (int round = 0; round < 60; ++round) {
        settings.fontSize = sizes[round % 3];
        drawing_.setClientSize(400 + round, 300 + 2 * round);
        if (round % 4 == 0) chooseNextBackground();
        rebuildStage();
        // A paint between rebuilds selects the font and draws; nothing it does is kept.
        playback.playing = round % 2;
        settings.critique = round % 3 == 0;
        paint(Rect{0, 0, 50, 50});
    }
    // Objects, surfaces (and the test's window surface), failed deletes, open searches.
    auto live = [&] {
        return std::vector<int>{drawing_.liveObjects(), drawing_.liveSurfaces(), drawing_.failedDeletes(), drawing_.openSearches()};
    };
    EXPECT_EQ(live(), (std::vector<int>{afterFirst, 6 + 1, 0, std::min(drawing_.openSearches(), 1)}));
    EXPECT_TRUE(window_.messages().empty());
    releaseStage();
    EXPECT_EQ(live(), (std::vector<int>{0, 1, 0, 0}));
    EXPECT_EQ(platform::currentLyricFont(), nullptr);
    releaseStage();  // a second release finds nothing left to do
    EXPECT_EQ(drawing_.failedDeletes(), 0);
}

// The report box for each tally: the score in tenths, truncated, in an unowned plain box; no
// judged notes give the microphone message in the program's own box. The program is held
// while the box is open, released after, and the counters are left as they were.
TEST_F(StageTest, CritiqueReportForEachTally) {
    int busyWhileOpen = -1;
    window_.setOnMessageBox([&](const platform::RecordingWindowSide::Box&) { busyWhileOpen = playback.busy.load(); });
    const std::string plain = "Karaoke Critique!", microphone =
        "Not enough samples were taken to critique.  Check microphone setup.";
    const struct {
        uint32_t hits, possible;
        std::string text;
    } cases[] = {
        {7, 9, "You hit 7 notes out of a total 9 possible. For a score of 7 out of 10."},
        {2, 3, "You hit 2 notes out of a total 3 possible. For a score of 6 out of 10."},
        {9, 9, "You hit 9 notes out of a total 9 possible. For a score of 10 out of 10."},
        // Hits kept from an earlier song can outnumber this run's notes.
        {12, 5, "You hit 12 notes out of a total 5 possible. For a score of 24 out of 10."},
        {3, 0, microphone}, {3, 0x80000000u, microphone}, {3, 0xFFFFFFFFu, microphone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        window_.clear();
        busyWhileOpen = -1;
        tally.hits = c.hits;
        tally.possible = c.possible;
        showCritique();
        ASSERT_EQ(window_.boxes().size(), 1u);
        const auto box = window_.boxes()[0];
        const bool scored = c.text != microphone;
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, scored ? plain : "Lyrivox!");
        EXPECT_EQ(box.style, scored ? 0u : 0x30u);
        EXPECT_EQ(box.owned, !scored);
        EXPECT_EQ(busyWhileOpen, 1);
        EXPECT_EQ(playback.busy.load(), 0);
        EXPECT_EQ(tally.hits, c.hits);
        EXPECT_EQ(tally.possible, c.possible);
    }
}

}  // namespace
}  // namespace stagetest
