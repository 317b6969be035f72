#pragma once
// The stage's drawing surfaces and the background picture. rebuildStage remakes, for the
// present client size and font settings, the lyric font, the back buffer filled with the
// background picture stretched to the whole client area, and the keyboard strip squeezed to
// the window's width. The pictures come from "media\images\" beside the executable, one at
// start-up and the next in the folder at every song opened, starting over after the last.

#include <cstdint>

#include "platform/draw.h"
#include "resources/resource_ids.h"
#include "stage/layout.h"

constexpr unsigned kKeyboardBitmap = IDB_KEYBOARD;  // 640 x 64, two colours
constexpr unsigned kNoteBitmap = IDB_NOTE;          // 32 x 64, two colours
constexpr unsigned kMarkerBitmap = IDB_MARKER;      // 32 x 32, sixteen colours

struct StageSurfaces {
    platform::Surface displaySurface = nullptr;  // reference for every image made
    platform::Surface backBuffer = nullptr;      // the frame every paint draws into
    platform::Surface scratchSurface = nullptr;  // a picture while it is scaled
    platform::Surface keyboardStrip = nullptr;   // the keyboard scaled to W x stripHeight
    platform::Surface noteSprite = nullptr;      // bitmap 130
    platform::Surface markerSprite = nullptr;    // bitmap 131
    platform::Object lyricFont = nullptr;
    // The images the surfaces hold, kept so each can be released once nothing holds it.
    platform::Object backBufferImage = nullptr;
    platform::Object scratchPicture = nullptr;
    platform::Object keyboardStripImage = nullptr;
    platform::Object noteImage = nullptr;
    platform::Object markerImage = nullptr;
    char backgroundPath[260] = "";  // the chosen picture; empty until one is found
    // The chosen picture as read from disk, kept so a drag step only scales it again; read
    // anew when a song or the choice changes it.
    platform::Object backgroundImage = nullptr;
    bool backgroundFresh = false;
    intptr_t backgroundSearch = platform::kNoSearch;
};

extern StageSurfaces stageSurfaces;

// "<folder of the executable>\media\images\*.bmp": one of the fixed paths that start-up builds
// (buildFixedPaths, which defines it with the others).
extern char backgroundPattern[260];

// Start-up, once the main window exists: the display surface, the five surfaces made
// compatible with it, and the note and marker sprites loaded into theirs.
void createStageSurfaces();

// Remakes the font, the back buffer with the background and the keyboard strip for the
// window's present client size, and invalidates the window so the lyrics and the critique
// frames come back at once. Ends the hold (clears `busy`) unless `endHold` is false, as while
// the user still drags a border. Window thread.
void rebuildStage(bool endHold = true);

// Starts the enumeration of background pictures and takes the first; message 110 when there
// is none.
void chooseFirstBackground();
// Takes the next picture, starting over after the last.
void chooseNextBackground();

// Shutdown: releases the surfaces, then every image and the font they held, and ends the
// enumeration. Safe to call twice.
void releaseStage();
