// The committed pictures (resources/*.bmp, resources/lyrivox.ico, media/images/*.bmp) must be
// exactly what tools/gen-pictures draws, and must read back as the pictures the stage expects.
// The files are read here with a reader of their own, not the generator's writer, so a fault in
// the headers or the row order shows up as a wrong pixel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/unit_support.h"
#include "tools/gen-pictures/pictures.h"

namespace {

using unittest::Bytes;
const std::vector<pictures::Rgb> blackWhite = {{0, 0, 0}, {255, 255, 255}};

std::string sourceRoot() {
    std::string here = __FILE__;  // .../tests/unit/pictures_test.cpp
    for (int i = 0; i < 3; ++i) here = here.substr(0, here.find_last_of('/'));
    return here;
}

const auto readFile = unittest::readBytes;
uint32_t le16(const Bytes& b, size_t at) { return unittest::le(b, at, 2); }
uint32_t le32(const Bytes& b, size_t at) { return unittest::le(b, at, 4); }

// A device-independent bitmap as found in a .bmp file (after the file header) or an icon image.
struct Dib {
    int width = 0;
    int height = 0;  // of the colour part (an icon's header counts the mask rows too)
    int bits = 0;
    std::vector<pictures::Rgb> palette;
    size_t pixelsAt = 0;
    const Bytes* data = nullptr;

    uint32_t stride() const { return static_cast<uint32_t>(((width * bits + 31) / 32) * 4); }

    // Palette index (1, 4, 8 bits) of the pixel at (x, y), y counted from the top.
    unsigned index(int x, int y) const {
        const size_t row = pixelsAt + stride() * static_cast<size_t>(height - 1 - y);
        const unsigned byte = data->at(row + static_cast<size_t>(x * bits / 8));
        const int perByte = 8 / bits;
        const int shift = 8 - bits * (x % perByte + 1);
        return (byte >> shift) & ((1u << bits) - 1u);
    }
    pictures::Rgb colour(int x, int y) const {
        if (bits <= 8) return palette.at(index(x, y));
        const size_t at = pixelsAt + stride() * static_cast<size_t>(height - 1 - y) + static_cast<size_t>(x * bits / 8);
        return {data->at(at + 2), data->at(at + 1), data->at(at)};
    }
    std::vector<int> shape() const { return {width, height, bits, static_cast<int>(palette.size())}; }
    bool black(int x, int y) const { return colour(x, y) == pictures::Rgb{0, 0, 0}; }
};

Dib readDib(const Bytes& file, size_t headerAt, bool icon) {
    Dib dib;
    dib.data = &file;
    // Header size, planes, compression (none).
    EXPECT_EQ((std::vector<uint32_t>{le32(file, headerAt), le16(file, headerAt + 12), le32(file, headerAt + 16)}),
              (std::vector<uint32_t>{40, 1, 0}));
    dib.width = static_cast<int>(le32(file, headerAt + 4));
    dib.height = static_cast<int>(le32(file, headerAt + 8)) / (icon ? 2 : 1);
    dib.bits = static_cast<int>(le16(file, headerAt + 14));
    size_t colours = le32(file, headerAt + 32);
    if (colours == 0 && dib.bits <= 8) colours = size_t{1} << dib.bits;
    for (size_t i = 0; i < colours; ++i) {
        const size_t at = headerAt + 40 + 4 * i;
        dib.palette.push_back({file.at(at + 2), file.at(at + 1), file.at(at)});
    }
    dib.pixelsAt = headerAt + 40 + 4 * colours;
    return dib;
}

Dib readBmp(const Bytes& file) {
    EXPECT_TRUE(file.size() >= 54u && file.at(0) == 'B' && file.at(1) == 'M' && le32(file, 2) == file.size());
    Dib dib = readDib(file, 14, false);
    EXPECT_EQ(le32(file, 10), dib.pixelsAt) << "pixel offset right after the palette";
    EXPECT_EQ(file.size(), dib.pixelsAt + dib.stride() * static_cast<size_t>(dib.height));
    return dib;
}

TEST(Pictures, CommittedFilesAreExactlyWhatTheGeneratorDraws) {
    const std::vector<pictures::OutputFile> files = pictures::allPictures();
    ASSERT_EQ(files.size(), 7u);
    for (const pictures::OutputFile& file : files) {
        const std::string path =
            sourceRoot() + (file.folder == "resources" ? "/resources/" : "/media/images/") + file.name;
        const Bytes committed = readFile(path);
        EXPECT_FALSE(committed.empty()) << path << " is missing";
        EXPECT_TRUE(committed == file.bytes) << path << " differs: rerun gen-pictures and commit the result";
    }
}

TEST(Pictures, KeyboardHasTwentyWhiteKeysFromCWithSeparatorsAndBlackKeys) {
    const Bytes file = readFile(sourceRoot() + "/resources/keyboard.bmp");
    const Dib kb = readBmp(file);
    ASSERT_EQ(kb.shape(), (std::vector<int>{640, 64, 1, 2}));
    EXPECT_TRUE(kb.palette == blackWhite);

    // Separators two pixels wide at every 32nd column, the full height, the left edge included.
    for (int key = 0; key < 20; ++key)
        for (int y : {0, 20, 40, 63}) EXPECT_TRUE(kb.black(32 * key, y) && kb.black(32 * key + 1, y)) << key << "," << y;
    // Below the black keys every white key is white from its separator to the next.
    for (int x = 0; x < 640; ++x) EXPECT_EQ(kb.black(x, 50), x % 32 < 2) << x;

    // Black keys 18 wide and 36 tall, centred on the separators after C, D, F, G and A; none
    // after E or B; the last one (after the third A) cut by the right edge.
    const int withBlackKey[] = {0, 1, 3, 4, 5, 7, 8, 10, 11, 12, 14, 15, 17, 18, 19};
    int blackKeys = 0;
    for (int key = 0; key < 20; ++key) {
        const int sep = 32 * (key + 1);
        bool expected = false;
        for (int k : withBlackKey) expected = expected || k == key;
        EXPECT_FALSE(kb.black(sep - 9, 10)) << "left of the black key after white key " << key;
        if (!expected) {
            EXPECT_FALSE(kb.black(sep - 4, 10)) << "no black key after white key " << key;
            continue;
        }
        ++blackKeys;
        for (int x = sep - 8; x < sep + 10 && x < 640; ++x)
            EXPECT_TRUE(kb.black(x, 0) && kb.black(x, 35) && (x % 32 < 2 || !kb.black(x, 36))) << x;
        EXPECT_TRUE(sep + 10 >= 640 || !kb.black(sep + 10, 10)) << "right of the black key after white key " << key;
    }
    EXPECT_EQ(blackKeys, 15);

    // A falling bar (32 wide, 16 pixels per lane slot, note 48 at the left edge) sits over its own
    // key: a natural's centre over white keyboard, a sharp's centre over a black key.
    const int slotOf[12] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
    const bool sharp[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
    for (int note = 48; note < 84; ++note) {
        const int centre = ((note - 48) / 12 * 14 + slotOf[note % 12]) * 16 + 16;
        if (centre >= 640) continue;
        EXPECT_EQ(kb.black(centre, 10), sharp[note % 12]) << "note " << note;
        EXPECT_FALSE(!sharp[note % 12] && kb.black(centre, 50)) << "note " << note;
    }
}

TEST(Pictures, NoteAndMarkerSpritesHaveTheirSizesColoursAndShapes) {
    const Bytes noteFile = readFile(sourceRoot() + "/resources/note.bmp");
    const Dib note = readBmp(noteFile);
    ASSERT_EQ(note.shape(), (std::vector<int>{32, 64, 1, 2}));
    EXPECT_TRUE(note.palette == blackWhite);
    // The head: the widest run of ink, in the lower third, about 27 pixels.
    int widest = 0, widestRow = 0;
    for (int y = 0; y < 64; ++y) {
        int ink = 0;
        for (int x = 0; x < 32; ++x) ink += note.black(x, y);
        if (ink > widest) widest = ink, widestRow = y;
    }
    EXPECT_TRUE(widest >= 24 && widest <= 29 && widestRow >= 43) << widest << " at " << widestRow;
    // The stem: about 4 pixels wide, at the top right.
    int topInk = 0, topLeftmost = 32;
    for (int x = 0; x < 32; ++x)
        if (note.black(x, 0)) ++topInk, topLeftmost = std::min(topLeftmost, x);
    EXPECT_TRUE(topInk >= 3 && topInk <= 5 && topLeftmost >= 26) << topInk << " from " << topLeftmost;

    const Bytes markerFile = readFile(sourceRoot() + "/resources/marker.bmp");
    const Dib marker = readBmp(markerFile);
    ASSERT_EQ(marker.shape(), (std::vector<int>{32, 32, 4, 16}));
    EXPECT_TRUE(marker.palette == pictures::standardPalette16());
    // On black; handles reach the top corners; the body is 32 wide at the rim, narrower below.
    EXPECT_TRUE(marker.index(15, 2) == pictures::Black && marker.index(0, 0) != pictures::Black &&
                marker.index(31, 0) != pictures::Black);
    const auto width = [&](int y) {
        int n = 0;
        for (int x = 0; x < 32; ++x) n += marker.index(x, y) != pictures::Black;
        return n;
    };
    EXPECT_EQ(std::make_pair(width(14), width(31)), std::make_pair(32, 16));
    for (int y = 15; y < 32; ++y) EXPECT_LE(width(y), width(y - 1)) << y;
}

TEST(Pictures, IconHoldsTheWindowPictureAtEverySizeAndDepth) {
    const Bytes ico = readFile(sourceRoot() + "/resources/lyrivox.ico");
    ASSERT_GE(ico.size(), 6u);
    ASSERT_EQ((std::vector<uint32_t>{le16(ico, 0), le16(ico, 2), le16(ico, 4)}), (std::vector<uint32_t>{0, 1, 8}));
    const int expectedSize[8] = {32, 16, 48, 32, 16, 48, 32, 16};
    const int expectedBits[8] = {4, 4, 8, 8, 8, 32, 32, 32};
    for (size_t i = 0; i < 8; ++i) {
        const size_t entry = 6 + 16 * i;
        const int size = ico.at(entry);
        EXPECT_EQ((std::vector<int>{size, ico.at(entry + 1), static_cast<int>(le16(ico, entry + 6))}),
                  (std::vector<int>{expectedSize[i], expectedSize[i], expectedBits[i]})) << i;
        const uint32_t bytes = le32(ico, entry + 8), offset = le32(ico, entry + 12);
        ASSERT_LE(static_cast<size_t>(offset) + bytes, ico.size());
        const Dib dib = readDib(ico, offset, true);
        EXPECT_EQ((std::vector<int>{dib.width, dib.height, dib.bits}), (std::vector<int>{size, size, expectedBits[i]}));
        const size_t maskStride = static_cast<size_t>(((size + 31) / 32) * 4);
        EXPECT_EQ(bytes, dib.pixelsAt - offset + dib.stride() * static_cast<size_t>(size) + maskStride * size);
        // Title bar dark blue at the left, client area white in the middle of the lower half,
        // the top-left corner transparent (mask bit set).
        const pictures::Rgb title = dib.colour(size / 4, size / 4);
        EXPECT_TRUE(title.r < 40 && title.g < 40 && title.b >= 120) << i;
        EXPECT_TRUE(dib.colour(size / 2, size * 2 / 3) == (pictures::Rgb{255, 255, 255})) << i;
        const size_t maskTopRow = dib.pixelsAt + dib.stride() * static_cast<size_t>(size) + maskStride * (size - 1);
        EXPECT_TRUE(ico.at(maskTopRow) & 0x80) << i;
    }
}

TEST(Pictures, BackgroundsAreFullColourPicturesOfTheWindowSize) {
    int found = 0;
    for (const pictures::OutputFile& file : pictures::allPictures()) {
        if (file.folder != "images") continue;
        ++found;
        const Bytes bytes = readFile(sourceRoot() + "/media/images/" + file.name);
        const Dib pic = readBmp(bytes);
        EXPECT_EQ(pic.shape(), (std::vector<int>{640, 480, 24, 0}));
        // Not a flat fill: the picture has light and dark parts.
        int darkest = 255 * 3, brightest = 0;
        for (int y = 0; y < 480; y += 7)
            for (int x = 0; x < 640; x += 7) {
                const pictures::Rgb c = pic.colour(x, y);
                darkest = std::min(darkest, c.r + c.g + c.b);
                brightest = std::max(brightest, c.r + c.g + c.b);
            }
        EXPECT_GT(brightest - darkest, 200) << file.name;
    }
    EXPECT_TRUE(found >= 3 && found <= 4) << found;
}

}  // namespace
