#include "stage/stage.h"

#include <initializer_list>

#include "platform/window.h"
#include "playback/playback_state.h"
#include "shell/app_strings.h"
#include "shell/message.h"
#include "shell/paths.h"
#include "shell/settings.h"
#include "stage/note_lane.h"
#include "stage/painter.h"

StageSurfaces stageSurfaces;

namespace {

constexpr const char* kImagesFolder = "media\\images\\";

// A picture that stands in for one that could not be loaded: plain black.
platform::Object blankPicture(int32_t width, int32_t height) {
    platform::Drawing& d = platform::draw();
    StageSurfaces& s = stageSurfaces;
    platform::Object picture = d.createCompatibleBitmap(s.displaySurface, width, height);
    platform::Object previous = d.selectObject(s.scratchSurface, picture);
    d.selectObject(s.scratchSurface, d.getStockObject(platform::StockObject::blackBrush));
    d.rectangle(s.scratchSurface, 0, 0, width, height);
    if (previous) d.selectObject(s.scratchSurface, previous);
    return picture;
}

// Puts a new image into a surface and only then releases the one it replaces: GDI refuses
// to delete an image that is still selected, and the old one would leak at every rebuild.
void replaceImage(platform::Surface surface, platform::Object& held, platform::Object image) {
    platform::Drawing& d = platform::draw();
    d.selectObject(surface, image);
    if (held && held != image) d.deleteObject(held);
    held = image;
}

void takeBackground(const char* name) {
    pathBesideExecutable(stageSurfaces.backgroundPath, name, kImagesFolder);
}

// The background picture, read from disk only when it was chosen since the last reading.
void readBackground(int32_t* width, int32_t* height) {
    platform::Drawing& d = platform::draw();
    StageSurfaces& s = stageSurfaces;
    if (!s.backgroundImage || !s.backgroundFresh) {
        platform::Object picture = d.loadImageFromFile(s.backgroundPath);
        if (!picture) {
            showMessage(appString(IDS_CANNOT_LOAD_GRAPHICS));
            picture = blankPicture(480, 360);
        }
        // The old one may still be selected: GDI deletes only an image that is not.
        d.selectObject(s.scratchSurface, picture);
        if (s.backgroundImage) d.deleteObject(s.backgroundImage);
        s.backgroundImage = picture;
        s.backgroundFresh = true;
    }
    if (!d.getBitmapSize(s.backgroundImage, width, height)) {
        *width = 480;
        *height = 360;
    }
    d.selectObject(s.scratchSurface, s.backgroundImage);
}

}  // namespace

void createStageSurfaces() {
    platform::Drawing& d = platform::draw();
    StageSurfaces& s = stageSurfaces;
    s.displaySurface = d.createDisplayDC();
    s.backBuffer = d.createCompatibleDC(s.displaySurface);
    s.scratchSurface = d.createCompatibleDC(s.displaySurface);
    s.noteSprite = d.createCompatibleDC(s.displaySurface);
    s.keyboardStrip = d.createCompatibleDC(s.displaySurface);
    s.markerSprite = d.createCompatibleDC(s.displaySurface);
    s.noteImage = d.loadBitmapResource(kNoteBitmap);
    if (s.noteImage) d.selectObject(s.noteSprite, s.noteImage);
    s.markerImage = d.loadBitmapResource(kMarkerBitmap);
    if (s.markerImage) d.selectObject(s.markerSprite, s.markerImage);
}

void rebuildStage(bool endHold) {
    platform::Drawing& d = platform::draw();
    StageSurfaces& s = stageSurfaces;

    // A rebuild ends the hold that minimising, moving or sizing began; the falling bars go on
    // from where they were held.
    const bool holdEnded = endHold && playback.busy.exchange(0) != 0;

    platform::Object font = d.createFont(settings.fontSize, settings.fontWeight);
    if (s.backBuffer) d.selectObject(s.backBuffer, font);
    if (s.lyricFont) d.deleteObject(s.lyricFont);
    s.lyricFont = font;
    platform::setLyricFont(font);

    int32_t width = 0, height = 0;
    d.getClientRect(&width, &height);
    if (width != 0) settings.windowWidth = width;
    if (height != 0) settings.windowHeight = height;
    const int32_t w = settings.windowWidth;
    const int32_t h = settings.windowHeight;
    const int32_t strip = stripHeightFor(h);
    stripHeight.store(strip);
    lyricBand.right.store(w);
    lyricBand.bottom.store(2 * settings.fontSize + 20);

    // The window is sized once while it is being created, before the surfaces and the first
    // picture exist; the rebuild at its showing does the rest.
    if (!s.displaySurface) return;

    replaceImage(s.backBuffer, s.backBufferImage, d.createCompatibleBitmap(s.displaySurface, w, h));
    noteLane.bufferRemade(holdEnded);  // the falling bars are drawn afresh by the next frame
    playback.drawnLine.store(-1);      // and so are the lyrics, also without the critique
    platform::window().redrawWindow(nullptr);

    int32_t pictureWidth = 480, pictureHeight = 360;
    readBackground(&pictureWidth, &pictureHeight);
    d.setStretchBltMode(s.backBuffer, platform::StretchMode::colorOnColor);
    d.stretchBlt(s.backBuffer, 0, 0, w, h, s.scratchSurface, 0, 0, pictureWidth, pictureHeight);

    replaceImage(s.keyboardStrip, s.keyboardStripImage,
                 d.createCompatibleBitmap(s.displaySurface, w, strip));

    int32_t keyboardWidth = 640, keyboardHeight = 64;
    platform::Object keyboard = d.loadBitmapResource(kKeyboardBitmap);
    if (keyboard) {
        d.getBitmapSize(keyboard, &keyboardWidth, &keyboardHeight);
    } else {
        showMessage(appString(IDS_CANNOT_LOAD_GRAPHICS));
        keyboard = blankPicture(keyboardWidth, keyboardHeight);
    }
    // The scratch surface held the background, which stays; only the last keyboard goes.
    d.selectObject(s.scratchSurface, keyboard);
    if (s.scratchPicture) d.deleteObject(s.scratchPicture);
    s.scratchPicture = keyboard;
    // The strip keeps a new surface's BLACKONWHITE mode: the squeeze ANDs the rows it merges,
    // so the keys' black lines survive.
    d.stretchBlt(s.keyboardStrip, 0, 0, w, strip, s.scratchSurface, 0, 0, keyboardWidth,
                 keyboardHeight);
}

void chooseFirstBackground() {
    platform::Drawing& d = platform::draw();
    StageSurfaces& s = stageSurfaces;
    s.backgroundFresh = false;  // a new choice, even a failed one, is read at the next rebuild
    // Starting over ends the enumeration that ran out, instead of leaving it open.
    if (s.backgroundSearch != platform::kNoSearch) d.findClose(s.backgroundSearch);
    char name[260];
    s.backgroundSearch = d.findFirst(backgroundPattern, name, sizeof name);
    if (s.backgroundSearch == platform::kNoSearch) {
        showMessage(appString(IDS_CANNOT_LOAD_GRAPHICS));
        return;
    }
    takeBackground(name);
}

void chooseNextBackground() {
    StageSurfaces& s = stageSurfaces;
    s.backgroundFresh = false;
    char name[260];
    if (s.backgroundSearch == platform::kNoSearch ||
        !platform::draw().findNext(s.backgroundSearch, name, sizeof name)) {
        chooseFirstBackground();
        return;
    }
    takeBackground(name);
}

void releaseStage() {
    platform::Drawing& d = platform::draw();
    StageSurfaces& s = stageSurfaces;
    // The surfaces go first: once they are gone nothing holds the images and the font, and
    // each of those can be deleted.
    for (platform::Surface* surface : {&s.backBuffer, &s.scratchSurface, &s.noteSprite,
                                       &s.keyboardStrip, &s.markerSprite, &s.displaySurface}) {
        if (*surface) d.deleteDC(*surface);
        *surface = nullptr;
    }
    platform::setLyricFont(nullptr);
    for (platform::Object* object : {&s.lyricFont, &s.scratchPicture, &s.backgroundImage,
                                     &s.backBufferImage, &s.noteImage, &s.keyboardStripImage,
                                     &s.markerImage}) {
        if (*object) d.deleteObject(*object);
        *object = nullptr;
    }
    if (s.backgroundSearch != platform::kNoSearch) d.findClose(s.backgroundSearch);
    s.backgroundSearch = platform::kNoSearch;
}
