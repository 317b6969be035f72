#pragma once
// A stage on the host's software surface: built-in pictures given as pixels, background
// pictures written into a temporary "media\images\" beside a stand-in executable, a hand-driven
// clock and a recording window side. Shared by the stage and painter tests.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/unit_support.h"
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

// Writes a 24-bit bottom-up .bmp of the given pixels (row after row, top row first).
inline void writeBmp(const std::string& path, int32_t width, int32_t height,
                     const std::vector<Colour>& pixels) {
    auto put = [](std::vector<unsigned char>& out, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<unsigned char> bytes{'B', 'M'};
    put(bytes, static_cast<uint32_t>(54 + stride * static_cast<size_t>(height)), 4);
    put(bytes, 0, 4);
    put(bytes, 54, 4);
    put(bytes, 40, 4);
    put(bytes, static_cast<uint32_t>(width), 4);
    put(bytes, static_cast<uint32_t>(height), 4);
    put(bytes, 1, 2);
    put(bytes, 24, 2);
    for (int i = 0; i < 6; ++i) put(bytes, 0, 4);
    for (int32_t row = height - 1; row >= 0; --row) {
        size_t start = bytes.size();
        for (int32_t x = 0; x < width; ++x) {
            Colour c = pixels[static_cast<size_t>(row * width + x)];
            bytes.push_back(static_cast<unsigned char>(c >> 16));
            bytes.push_back(static_cast<unsigned char>(c >> 8));
            bytes.push_back(static_cast<unsigned char>(c));
        }
        while (bytes.size() - start < stride) bytes.push_back(0);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The note sprite used here: paper in the top half, ink in the bottom half, so the two colours
// it takes over the buffer can both be seen.
inline std::vector<Colour> notePicture() {
    std::vector<Colour> pixels(32 * 64, kWhite);
    for (int y = 32; y < 64; ++y)
        for (int x = 0; x < 32; ++x) pixels[static_cast<size_t>(y * 32 + x)] = kBlack;
    return pixels;
}

// A keyboard-like strip: white with black separators every 32 pixels, one black row at 10
// and a black last row.
inline std::vector<Colour> keyboardPicture() {
    std::vector<Colour> pixels(640 * 64, kWhite);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 640; ++x)
            if (x % 32 < 2 || y == 10 || y == 63) pixels[static_cast<size_t>(y * 640 + x)] = kBlack;
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
        drawing_.setResource(kKeyboardBitmap, 640, 64, true, keyboardPicture());
        drawing_.setResource(kNoteBitmap, 32, 64, true, notePicture());
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
        playback.playing = 0;
        playback.busy = 0;
        playback.currentLine = 0;
        playback.currentSyllable = 0;
        playback.drawnLine = 0;
        tally.hits = 0;
        tally.possible = 0;
        noteLane = NoteLane{};
        markerX = 0.0f;
        markerTargetX = 0;
        lineCount = 0;
        syllableCount = 0;
        widestLineWidth = 0;
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
