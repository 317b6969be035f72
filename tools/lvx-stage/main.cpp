// lvx-stage: the stage's three kinds of frame drawn on the host's software surface, with the
// program's own pictures, written as .bmp files:
//   title.bmp     no song playing
//   lyrics.bmp    a song playing, two lyric lines and the ball
//   critique.bmp  the same with Critique on: keyboard strip, falling notes, the pitch marker
// The text is the software surface's stand-in font (character cells with a block of ink), so
// compare layout and colours, not letters.
//
//   lvx-stage [--root DIR] [--out DIR] [--size W H] [--font N]
//
// --root is the folder that holds media/images and resources (default: the current folder).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/host/fake_clock.h"
#include "platform/host/recording_window.h"
#include "platform/host/software_drawing.h"
#include "platform/window.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "song/song_model.h"
#include "stage/painter.h"
#include "stage/stage.h"

namespace {

void setLine(int index, const char* text) {
    size_t length = std::strlen(text);
    std::memcpy(lyricLines[index].text, text, length);
    lyricLines[index].length = static_cast<uint8_t>(length);
}

int usage() {
    std::fprintf(stderr, "usage: lvx-stage [--root DIR] [--out DIR] [--size W H] [--font N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = ".", out = ".";
    int32_t width = 640, height = 480, font = 20;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (arg == "--size" && i + 2 < argc) {
            width = std::atoi(argv[++i]);
            height = std::atoi(argv[++i]);
        } else if (arg == "--font" && i + 1 < argc) {
            font = std::atoi(argv[++i]);
        } else {
            return usage();
        }
    }
    if (width < 100 || height < 100 || font <= 0) return usage();

    platform::SoftwareDrawing& drawing = platform::hostDrawing();
    drawing.setResourceFile(kKeyboardBitmap, root + "/resources/keyboard.bmp");
    drawing.setResourceFile(kNoteBitmap, root + "/resources/note.bmp");
    drawing.setResourceFile(kMarkerBitmap, root + "/resources/marker.bmp");
    drawing.setClientSize(width, height);
    platform::setHostExecutablePath((root + "\\lyrivox.exe").c_str());
    pathBesideExecutable(backgroundPattern, "*.bmp", "media\\images\\");
    platform::FakeClock clock;
    platform::installClock(&clock);
    settings.fontSize = font;

    createStageSurfaces();
    chooseFirstBackground();
    rebuildStage();
    platform::Surface screen = drawing.createWindowSurface(width, height);
    const PaintRequest whole{screen, Rect{0, 0, width, height}};
    auto save = [&](const char* name) {
        std::string path = out + "/" + name;
        if (!drawing.saveBmp(screen, path)) {
            std::fprintf(stderr, "lvx-stage: cannot write %s\n", path.c_str());
            std::exit(1);
        }
        std::printf("%s\n", path.c_str());
    };

    paintStage(whole);
    save("title.bmp");

    // Lines measured as the window side measures them: fixed cells half the font's height.
    setLine(0, "Twinkle, twinkle, little star,");
    setLine(1, "How I wonder what you are.");
    lineCount = 2;
    widestLineWidth = 30 * (font / 2);
    syllables[0] = Syllable{4 * (font / 2), 0, 0, 8};  // "Twinkle," sung, in the second colour
    playback.playing = 1;
    playback.drawnLine = -1;
    paintStage(whole);
    save("lyrics.bmp");

    // Critique: a rising melody pushed a quarter second apart, two seconds into its fall, and
    // the marker resting on the lane of middle C, over the key its bar falls to.
    settings.critique = 1;
    const float speed = static_cast<float>((height - stripHeight.load()) / 4);
    const uint8_t melody[] = {60, 62, 64, 65, 67, 69, 71, 72};
    for (uint8_t note : melody) {
        noteBars.push(static_cast<float>(noteLaneX(note)), -96.0f, 32, 64, 0.0f, speed);
        clock.advance(250);
        paintStage(whole);
    }
    markerTargetX = laneSlotX(14, width);
    for (int frame = 0; frame < 30; ++frame) {
        clock.advance(40);
        paintStage(whole);
    }
    save("critique.bmp");

    noteBars.clear();
    drawing.releaseWindowSurface(screen);
    releaseStage();
    platform::installClock(nullptr);
    return 0;
}
