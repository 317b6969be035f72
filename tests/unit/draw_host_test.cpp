// The host's software surface itself: the pictures it reads and the GDI rules it carries out,
// which the stage and painter tests take on trust.
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
    ASSERT_TRUE(d.imageOf(surface, &w, &h, &twoColour));
    EXPECT_EQ(std::make_tuple(w, h, twoColour), std::make_tuple(3, 2, true));
    EXPECT_EQ((std::vector<Colour>{d.pixel(surface, 0, 0), d.pixel(surface, 1, 0), d.pixel(surface, 0, 1), d.pixel(surface, 2, 1)}),
              (std::vector<Colour>{kWhite, kBlack, kBlack, kWhite}));

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
    d.setResource(7, 4, 4, true,
                  {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,  //
                   0x000000, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,  //
                   0xFFFFFF, 0xFFFFFF, 0x000000, 0xFFFFFF,  //
                   0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
    platform::Object keys = d.loadBitmapResource(7);
    d.selectObject(source, keys);
    EXPECT_TRUE(d.deleteObject(trap));

    // Halving the height: BLACKONWHITE keeps a black pixel of either merged row, COLORONCOLOR
    // takes the first row of each pair only.
    const Colour ink = rgb(1, 2, 3), paper = rgb(200, 201, 202);
    d.setTextColor(target, ink);
    d.setBkColor(target, paper);
    d.stretchBlt(target, 0, 0, 4, 2, source, 0, 0, 4, 4);
    EXPECT_EQ(d.pixel(target, 0, 0), ink);
    EXPECT_EQ(d.pixel(target, 1, 0), paper);
    EXPECT_EQ(d.pixel(target, 2, 1), ink);
    d.setStretchBltMode(target, platform::StretchMode::colorOnColor);
    d.stretchBlt(target, 0, 0, 4, 2, source, 0, 0, 4, 4);
    EXPECT_EQ(d.pixel(target, 0, 0), paper);
    EXPECT_EQ(d.pixel(target, 2, 1), ink);

    // XOR onto colour, clipped at the edges.
    d.bitBlt(target, -2, 1, 4, 4, source, 0, 0, platform::RasterOp::srcInvert);
    EXPECT_EQ(d.pixel(target, 0, 1), 0u);  // paper over paper: source (2, 0) is white
    EXPECT_EQ(d.pixel(target, 1, 1), 0u);
    EXPECT_EQ(d.pixel(target, 2, 1), ink);  // right of the copy, untouched
    d.bitBlt(target, 0, 0, 4, 2, source, 0, 1, platform::RasterOp::srcInvert);
    EXPECT_EQ(d.pixel(target, 0, 0), paper ^ ink);  // source (0, 1) is black -> ink

    // Rectangle and ellipse: filled with the brush, outlined in black, right/bottom excluded.
    platform::Surface canvas = d.createCompatibleDC(display);
    d.selectObject(canvas, d.createCompatibleBitmap(display, 12, 12));
    d.selectObject(canvas, d.getStockObject(platform::StockObject::whiteBrush));
    d.rectangle(canvas, 1, 1, 11, 11);
    EXPECT_EQ(d.pixel(canvas, 1, 5), 0x000000u);
    EXPECT_EQ(d.pixel(canvas, 10, 5), 0x000000u);
    EXPECT_EQ(d.pixel(canvas, 5, 5), 0xFFFFFFu);
    EXPECT_EQ(d.pixel(canvas, 11, 5), 0x000000u);  // outside, untouched
    d.selectObject(canvas, d.getStockObject(platform::StockObject::blackBrush));
    d.rectangle(canvas, 0, 0, 12, 12);
    d.selectObject(canvas, d.getStockObject(platform::StockObject::whiteBrush));
    d.ellipse(canvas, 0, 0, 10, 10);
    EXPECT_EQ(d.pixel(canvas, 5, 5), 0xFFFFFFu);
    EXPECT_EQ(d.pixel(canvas, 0, 0), 0x000000u);
    EXPECT_EQ(d.pixel(canvas, 5, 0), 0x000000u);  // the outline at the top
}

}  // namespace
}  // namespace stagetest
