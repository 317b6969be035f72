// The host's software surface and window side themselves: the pictures read, the GDI rules
// carried out and the lyric text measured, which the stage and painter tests take on trust.
#include <thread>

#include "stage_fixture.h"

namespace stagetest {
namespace {

class SoftwareSurface : public ::testing::Test {
protected:
    void write(const pictures::Bytes& bytes) { writeFile(path_, bytes); }
    void TearDown() override { std::remove(path_.c_str()); }

    std::string path_ = "/tmp/lyrivox-draw-" + std::to_string(getpid()) + ".bmp";
    platform::SoftwareDrawing d;
};

TEST_F(SoftwareSurface, ReadsTwoColourAndPalettePicturesEitherWayUp) {
    // 1 bit: a two-colour image whatever the palette's order.
    write(bmpFile(3, 2, 1, {rgb(255, 255, 255), rgb(0, 0, 0)}, {0, 1, 0, 1, 1, 0}));
    platform::Object mono = d.loadImageFromFile(path_.c_str());
    ASSERT_NE(mono, nullptr);
    platform::Surface surface = d.createCompatibleDC(nullptr);
    d.selectObject(surface, mono);
    bool twoColour = false;
    int32_t w = 0, h = 0;
    EXPECT_TRUE(d.imageOf(surface, &w, &h, &twoColour) && w == 3 && h == 2 && twoColour);
    expectPixels(d, surface, {{0, 0, kWhite}, {1, 0, kBlack}, {0, 1, kBlack}, {2, 1, kWhite}});

    // 4 bits, top-down: a colour image with the palette's colours.
    const Colour red = rgb(255, 0, 0), blue = rgb(0, 0, 255), yellow = rgb(255, 255, 0);
    write(bmpFile(2, 2, 4, {0, red, blue, yellow}, {1, 2, 3, 0}, true));
    platform::Object colour = d.loadImageFromFile(path_.c_str());
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ((std::vector<Colour>{d.imagePixel(colour, 0, 0), d.imagePixel(colour, 1, 0), d.imagePixel(colour, 0, 1)}),
              (std::vector<Colour>{red, blue, yellow}));

    // Every cut of a valid file is refused or read without going past its end.
    auto whole = bmpFile(5, 3, 4, {0, red, blue}, {1, 2, 1, 2, 1, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2});
    int read = 0;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        write(pictures::Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        if (platform::Object image = d.loadImageFromFile(path_.c_str())) {
            ++read;
            d.deleteObject(image);
        }
    }
    EXPECT_EQ(read, 0);
    d.selectObject(surface, d.createCompatibleBitmap(d.createDisplayDC(), 1, 1));
    EXPECT_TRUE(d.deleteObject(mono));
    EXPECT_FALSE(d.deleteObject(nullptr));
}

TEST_F(SoftwareSurface, StretchingAndCombiningFollowGdi) {
    platform::Surface display = d.createDisplayDC();
    platform::Surface target = d.createCompatibleDC(display);
    platform::Surface source = d.createCompatibleDC(display);
    // A fresh memory surface makes two-colour images; the display makes colour ones.
    platform::Object trap = d.createCompatibleBitmap(target, 4, 4);
    d.selectObject(source, trap);
    bool twoColour = false;
    d.imageOf(source, nullptr, nullptr, &twoColour);
    EXPECT_TRUE(twoColour);
    EXPECT_FALSE(d.deleteObject(trap));  // still selected
    d.selectObject(target, d.createCompatibleBitmap(display, 4, 2));
    d.setResource(7, 4, 4, true, blackWhere(4, 4, [](int32_t x, int32_t y) { return (x == 0 && y == 1) || (x == 2 && y == 2); }));
    platform::Object keys = d.loadBitmapResource(7);
    d.selectObject(source, keys);
    EXPECT_TRUE(d.deleteObject(trap));

    // Halving the height: BLACKONWHITE keeps a black pixel of either merged row, COLORONCOLOR
    // takes the first row of each pair only.
    const Colour ink = rgb(1, 2, 3), paper = rgb(200, 201, 202);
    d.setTextColor(target, ink);
    d.setBkColor(target, paper);
    d.stretchBlt(target, 0, 0, 4, 2, source, 0, 0, 4, 4);
    expectPixels(d, target, {{0, 0, ink}, {1, 0, paper}, {2, 1, ink}});
    d.setStretchBltMode(target, platform::StretchMode::colorOnColor);
    d.stretchBlt(target, 0, 0, 4, 2, source, 0, 0, 4, 4);
    expectPixels(d, target, {{0, 0, paper}, {2, 1, ink}});

    // XOR onto colour, clipped at the edges.
    d.bitBlt(target, -2, 1, 4, 4, source, 0, 0, platform::RasterOp::srcInvert);
    // Paper over paper (source (2, 0) is white); right of the copy, untouched.
    expectPixels(d, target, {{0, 1, 0}, {1, 1, 0}, {2, 1, ink}});
    d.bitBlt(target, 0, 0, 4, 2, source, 0, 1, platform::RasterOp::srcInvert);
    EXPECT_EQ(d.pixel(target, 0, 0), paper ^ ink);  // source (0, 1) is black -> ink

    // Rectangle and ellipse: filled with the brush, outlined in black, right/bottom excluded.
    platform::Surface canvas = d.createCompatibleDC(display);
    d.selectObject(canvas, d.createCompatibleBitmap(display, 12, 12));
    d.selectObject(canvas, d.getStockObject(platform::StockObject::whiteBrush));
    d.rectangle(canvas, 1, 1, 11, 11);
    expectPixels(d, canvas, {{1, 5, kBlack}, {10, 5, kBlack}, {5, 5, kWhite}, {11, 5, kBlack}});  // 11: outside
    d.selectObject(canvas, d.getStockObject(platform::StockObject::blackBrush));
    d.rectangle(canvas, 0, 0, 12, 12);
    d.selectObject(canvas, d.getStockObject(platform::StockObject::whiteBrush));
    d.ellipse(canvas, 0, 0, 10, 10);
    expectPixels(d, canvas, {{5, 5, kWhite}, {0, 0, kBlack}, {5, 0, kBlack}});  // (5, 0): the outline at the top
}

TEST(TextMeasure, AmpersandPrefixesLineBreaksAndLengthBounds) {
    const struct {
        const char* text;
        int32_t length;  // -1: up to the zero
        int32_t charWidth;
        int32_t width;
    } cases[] = {
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
    for (const auto& c : cases)
        EXPECT_EQ(platform::fixedWidthTextWidth(c.text, c.length, c.charWidth), c.width)
            << (c.text ? c.text : "(null)") << " length " << c.length;
}

TEST(TextMeasure, RecordingSideCountsContextsAndCallsAcrossThreads) {
    platform::RecordingWindowSide side(8);
    side.beginLyricMeasure();
    EXPECT_EQ(side.lyricTextWidth("&Open", 5), 32);
    side.setCharWidth(5);
    EXPECT_EQ(side.lyricTextWidth("ab", 2), 10);
    EXPECT_EQ(side.openMeasures(), 1);
    side.endLyricMeasure();
    EXPECT_EQ(side.openMeasures(), 0);

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
    EXPECT_EQ(side.measureCalls(), 2 + 800);
    EXPECT_EQ(side.openMeasures(), 0);
    EXPECT_EQ(side.boxes().size(), 800u);
    EXPECT_FALSE(side.isEnabled(32771));
}

}  // namespace
}  // namespace stagetest
