#pragma once
// A stage on the host's software surface: built-in pictures given as pixels, background
// pictures written into a temporary "media\images\" beside a stand-in executable, a hand-driven
// clock and a recording window side. Shared by the stage and painter tests.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/unit_support.h"
#include "tools/gen-pictures/pictures.h"
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

namespace stagetest {

using platform::Colour;
using platform::rgb;

constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kInk = rgb(255, 128, 255);
constexpr Colour kCells = rgb(0, 32, 32);
constexpr Colour kSung = rgb(255, 224, 64);
constexpr Colour kMarkerColour = rgb(255, 0, 0);

// A .bmp of palette indices (rows top first) by the picture generator's encoder, which the
// committed pictures' own test checks byte for byte; top-down stores the rows the other way up
// with a negative height, as some tools write them.
inline pictures::Bytes bmpFile(int width, int height, int bits, const std::vector<Colour>& palette,
                               const std::vector<unsigned>& indices, bool topDown = false) {
    pictures::Indexed pic(width, height, 0);
    std::copy(indices.begin(), indices.end(), pic.index.begin());
    std::vector<pictures::Rgb> rgbs;
    for (Colour c : palette) rgbs.push_back({uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    pictures::Bytes bytes = pictures::encodeBmpIndexed(pic, bits, rgbs);
    if (topDown) {
        const size_t stride = pictures::rowStride(width, bits), first = 54 + 4 * palette.size();
        for (int row = 0; row < height / 2; ++row)
            std::swap_ranges(bytes.begin() + long(first + stride * size_t(row)), bytes.begin() + long(first + stride * size_t(row + 1)),
                             bytes.begin() + long(first + stride * size_t(height - 1 - row)));
        for (int i = 0; i < 4; ++i) bytes[22 + size_t(i)] = uint8_t(uint32_t(-height) >> (8 * i));
    }
    return bytes;
}

inline void writeFile(const std::string& path, const pictures::Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A picture of 2 to 4 colours, row after row.
inline void writeBmp(const std::string& path, int width, int height, const std::vector<Colour>& colours) {
    std::vector<Colour> palette;
    std::vector<unsigned> indices;
    for (Colour c : colours) {
        if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
        indices.push_back(unsigned(std::find(palette.begin(), palette.end(), c) - palette.begin()));
    }
    palette.resize(4, kBlack);  // four bits: a colour picture even of one colour
    writeFile(path, bmpFile(width, height, 4, palette, indices));
}

struct Px {
    int32_t x, y;
    Colour colour;
};
// Each listed pixel of the surface has its colour.
inline void expectPixels(const platform::SoftwareDrawing& d, platform::Surface surface, std::initializer_list<Px> want) {
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
        char pattern[] = "/tmp/lyrivox-stage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        images_ = folder_ + "/media/images";
        std::filesystem::create_directories(images_);
        platform::setHostExecutablePath((folder_ + "\\lyrivox.exe").c_str());
        pathBesideExecutable(backgroundPattern, "*.bmp", "media\\images\\");

        platform::installDraw(&drawing_);
        platform::installWindow(&window_);
        platform::installClock(&clock_);
        // A keyboard-like strip: separators every 32 pixels, one black row at 10 and a black
        // last row. The note sprite: paper in the top half, ink in the bottom half, so the two
        // colours it takes over the buffer can both be seen.
        drawing_.setResource(kKeyboardBitmap, 640, 64, true,
                             blackWhere(640, 64, [](int32_t x, int32_t y) { return x % 32 < 2 || y == 10 || y == 63; }));
        drawing_.setResource(kNoteBitmap, 32, 64, true, blackWhere(32, 64, [](int32_t, int32_t y) { return y >= 32; }));
        drawing_.setResource(kMarkerBitmap, 32, 32, false,
                             std::vector<Colour>(32 * 32, kMarkerColour));
        resetState();
    }

    void TearDown() override {
        releaseStage();
        stageSurfaces = StageSurfaces{};
        if (window_surface_) drawing_.releaseWindowSurface(window_surface_);
        noteBars.clear();
        resetState();
        platform::installDraw(nullptr);
        platform::installWindow(nullptr);
        platform::installClock(nullptr);
        platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
        backgroundPattern[0] = '\0';
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
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

    void addPicture(const std::string& name, Colour colour, int32_t width = 4, int32_t height = 3) {
        writeBmp(images_ + "/" + name, width, height,
                 std::vector<Colour>(static_cast<size_t>(width * height), colour));
    }

    // Surfaces made, a background of one colour chosen, the stage built at the client size.
    void buildStage(Colour background = kBlack, int32_t width = 640, int32_t height = 480) {
        addPicture("stage.bmp", background);
        drawing_.setClientSize(width, height);
        createStageSurfaces();
        chooseFirstBackground();
        rebuildStage();
        window_.clear();
    }

    Colour at(int32_t x, int32_t y) const { return drawing_.pixel(stageSurfaces.backBuffer, x, y); }

    void expectPixels(std::initializer_list<Px> want, platform::Surface surface = nullptr) const {
        stagetest::expectPixels(drawing_, surface ? surface : stageSurfaces.backBuffer, want);
    }

    // Width, height and two-colour-ness of the image selected into a surface.
    std::vector<int32_t> imageShape(platform::Surface surface) const {
        int32_t w = 0, h = 0;
        bool twoColour = true;
        EXPECT_TRUE(drawing_.imageOf(surface, &w, &h, &twoColour));
        return {w, h, twoColour};
    }

    platform::Surface windowSurface() {
        if (!window_surface_) window_surface_ = drawing_.createWindowSurface(settings.windowWidth, settings.windowHeight);
        return window_surface_;
    }

    void paint(Rect invalid = Rect{0, 0, 640, 480}) { paintStage(PaintRequest{windowSurface(), invalid}); }

    std::string folder_;
    std::string images_;
    platform::SoftwareDrawing drawing_;
    platform::RecordingWindowSide window_;
    platform::FakeClock clock_;
    platform::Surface window_surface_ = nullptr;
};

}  // namespace stagetest
