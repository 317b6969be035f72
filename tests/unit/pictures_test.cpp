// The committed pictures (resources/*.bmp, resources/lyrivox.ico, media/images/*.bmp) must be
// exactly what tools/gen-pictures draws, and must read back as the pictures the stage expects.
// They are read with the host surface's own .bmp reader, not the generator's writer, and their
// headers field by field, so a fault in the headers or the row order shows up.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/host/software_drawing.h"
#include "support/unit_support.h"
#include "tools/gen-pictures/pictures.h"

namespace {

using unittest::Bytes;
using unittest::le;
using platform::Colour;

std::string sourceRoot() {
    std::string here = __FILE__;  // .../tests/unit/pictures_test.cpp
    for (int i = 0; i < 3; ++i) here = here.substr(0, here.find_last_of('/'));
    return here;
}

// A .bmp file as the picture the host surface reads from it.
struct Picture {
    explicit Picture(const std::string& path) : image(d.loadImageFromFile(path.c_str())) { EXPECT_NE(image, nullptr) << path; }
    Colour at(int x, int y) const { return d.imagePixel(image, x, y); }
    bool black(int x, int y) const { return at(x, y) == 0; }
    platform::SoftwareDrawing d;
    platform::Object image = nullptr;
};

// Signature, file size, pixel offset right after the palette, header size, width, height,
// planes, bits, no compression.
std::vector<uint32_t> bmpHeader(const Bytes& b) {
    return {le(b, 0, 2), le(b, 2), le(b, 10), le(b, 14), le(b, 18), le(b, 22), le(b, 26, 2), le(b, 28, 2), le(b, 30)};
}
std::vector<uint32_t> header(uint32_t size, uint32_t colours, uint32_t width, uint32_t height, uint32_t bits) {
    return {0x4D42, size, 54 + 4 * colours, 40, width, height, 1, bits, 0};
}

std::string resource(const std::string& name) { return sourceRoot() + "/resources/" + name; }

// Each .bmp has the header of its kind: the keyboard and the note black and white, the marker in
// sixteen colours, the backgrounds full colour at the window's size.
TEST(Pictures, CommittedFilesAreExactlyWhatTheGeneratorDraws) {
    const std::map<std::string, std::vector<uint32_t>> headers = {{"keyboard.bmp", header(62 + 80 * 64, 2, 640, 64, 1)},
        {"note.bmp", header(62 + 4 * 64, 2, 32, 64, 1)}, {"marker.bmp", header(118 + 16 * 32, 16, 32, 32, 4)}};
    const std::vector<pictures::OutputFile> files = pictures::allPictures();
    ASSERT_EQ(files.size(), 7u);
    int backgrounds = 0;
    for (const pictures::OutputFile& file : files) {
        const bool background = file.folder == "images";
        const std::string path = background ? sourceRoot() + "/media/images/" + file.name : resource(file.name);
        SCOPED_TRACE(path);
        const Bytes committed = unittest::readBytes(path);
        EXPECT_TRUE(committed == file.bytes) << "missing or different: rerun gen-pictures and commit the result";
        if (headers.count(file.name)) { EXPECT_EQ(bmpHeader(committed), headers.at(file.name)); }
        if (file.name == "keyboard.bmp" || file.name == "note.bmp") {  // black, then white
            EXPECT_EQ(Bytes(committed.begin() + 54, committed.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
        }
        if (!background) continue;
        ++backgrounds;
        EXPECT_EQ(bmpHeader(committed), header(54 + 640 * 3 * 480, 0, 640, 480, 24));
        // Not a flat fill: the picture has light and dark parts.
        const Picture pic(path);
        int darkest = 255 * 3, brightest = 0;
        for (int y = 0; y < 480; y += 7)
            for (int x = 0; x < 640; x += 7) {
                const Colour c = pic.at(x, y);
                const int sum = int((c & 0xFF) + (c >> 8 & 0xFF) + (c >> 16 & 0xFF));
                darkest = std::min(darkest, sum), brightest = std::max(brightest, sum);
            }
        EXPECT_GT(brightest - darkest, 200);
    }
    EXPECT_EQ(backgrounds, 3);
}

TEST(Pictures, KeyboardHasItsKeysWhereTheLanePutsTheNotes) {
    const Picture kb(resource("keyboard.bmp"));
    // Twenty white keys from C with separators two pixels wide at every 32nd column. A falling
    // bar (32 wide, 16 pixels a lane slot, note 48 at the left edge) sits over its own key: a
    // sharp's over a black key 18 wide and 36 tall, centred on a separator, the last one cut
    // by the right edge; a natural's over white keyboard.
    const int slotOf[12] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
    const bool sharp[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
    std::vector<bool> upper(640);
    for (int x = 0; x < 640; ++x) upper[size_t(x)] = x % 32 < 2;
    for (int note = 48; note < 84; ++note) {
        const int centre = ((note - 48) / 12 * 14 + slotOf[note % 12]) * 16 + 16;
        if (centre < 640 && !sharp[note % 12]) { EXPECT_FALSE(kb.black(centre, 10) || kb.black(centre, 50)) << note; }
        for (int x = centre - 8; sharp[note % 12] && x < centre + 10 && x < 640; ++x) upper[size_t(x)] = true;
    }
    for (int x = 0; x < 640; ++x)
        for (int y : {0, 10, 35, 36, 50, 63}) EXPECT_EQ(kb.black(x, y), y < 36 ? bool(upper[size_t(x)]) : x % 32 < 2) << x << "," << y;
}

TEST(Pictures, NoteAndMarkerSpritesHaveTheirSizesColoursAndShapes) {
    const Picture note(resource("note.bmp"));
    // The head: the widest run of ink, in the lower third, about 27 pixels; the stem: about 4
    // pixels wide, at the top right.
    const auto ink = [&](const Picture& p, int y, Colour paper) {
        int n = 0, leftmost = 32;
        for (int x = 0; x < 32; ++x) if (p.at(x, y) != paper) ++n, leftmost = std::min(leftmost, x);
        return std::make_pair(n, leftmost);
    };
    int widest = 0, widestRow = 0;
    for (int y = 0; y < 64; ++y) if (ink(note, y, 0xFFFFFF).first > widest) widest = ink(note, y, 0xFFFFFF).first, widestRow = y;
    EXPECT_TRUE(widest >= 24 && widest <= 29 && widestRow >= 43) << widest << " at " << widestRow;
    const auto [topInk, topLeftmost] = ink(note, 0, 0xFFFFFF);
    EXPECT_TRUE(topInk >= 3 && topInk <= 5 && topLeftmost >= 26) << topInk << " from " << topLeftmost;

    const Picture marker(resource("marker.bmp"));
    // On black; handles reach the top corners; the body is 32 wide at the rim, narrower below.
    EXPECT_TRUE(marker.black(15, 2) && !marker.black(0, 0) && !marker.black(31, 0));
    EXPECT_EQ(std::make_pair(ink(marker, 14, 0).first, ink(marker, 31, 0).first), std::make_pair(32, 16));
    for (int y = 15; y < 32; ++y) EXPECT_LE(ink(marker, y, 0).first, ink(marker, y - 1, 0).first) << y;
}

TEST(Pictures, IconHoldsTheWindowPictureAtEverySizeAndDepth) {
    const Bytes ico = unittest::readBytes(resource("lyrivox.ico"));
    unittest::ScratchFolder dir;
    ASSERT_EQ((std::vector<uint32_t>{le(ico, 0, 2), le(ico, 2, 2), le(ico, 4, 2)}), (std::vector<uint32_t>{0, 1, 8}));
    const uint32_t sizes[8] = {32, 16, 48, 32, 16, 48, 32, 16}, depths[8] = {4, 4, 8, 8, 8, 32, 32, 32};
    for (size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const size_t entry = 6 + 16 * i;
        const uint32_t size = sizes[i], bits = depths[i], bytes = le(ico, entry + 8), offset = le(ico, entry + 12);
        EXPECT_EQ((std::vector<uint32_t>{ico.at(entry), ico.at(entry + 1), le(ico, entry + 6, 2)}),
                  (std::vector<uint32_t>{size, size, bits}));
        ASSERT_LE(size_t{offset} + bytes, ico.size());
        // The image is a bitmap's header (twice the height: the mask's rows count too), palette,
        // colour rows and the mask's rows; given a file header it reads as a .bmp.
        const uint32_t colours = bits <= 8 ? 1u << bits : 0, stride = (size * bits + 31) / 32 * 4,
                       maskStride = (size + 31) / 32 * 4, pixels = 54 + 4 * colours + stride * size;
        Bytes file = {'B', 'M'};
        for (uint32_t value : {pixels + maskStride * size, 0u, 54 + 4 * colours})
            for (int b = 0; b < 4; ++b) file.push_back(uint8_t(value >> (8 * b)));
        file.insert(file.end(), ico.begin() + offset, ico.begin() + offset + bytes);
        EXPECT_EQ(bmpHeader(file), header(uint32_t(file.size()), colours, size, 2 * size, bits));
        for (int b = 0; b < 4; ++b) file[22 + size_t(b)] = uint8_t(size >> (8 * b));
        std::ofstream(dir / "icon.bmp", std::ios::binary) << std::string(file.begin(), file.end());
        const Picture pic(dir / "icon.bmp");
        // Title bar dark blue at the left, client area white in the middle of the lower half,
        // the top-left corner transparent (mask bit set).
        const Colour title = pic.at(int(size / 4), int(size / 4));
        EXPECT_TRUE((title & 0xFF) < 40 && (title >> 8 & 0xFF) < 40 && (title >> 16) >= 120) << title;
        EXPECT_EQ(pic.at(int(size / 2), int(size * 2 / 3)), 0xFFFFFFu);
        EXPECT_TRUE(file.at(pixels + maskStride * (size - 1)) & 0x80);
    }
}

}  // namespace
