#pragma once
// The drawing side of the platform: off-screen surfaces and the images, fonts and brushes put
// into them, the few drawing operations the stage uses, and the enumeration of picture files.
// The Windows program implements it on GDI (platform/win32); the host build has a software
// surface that does the same on pixel arrays (platform/host/software_drawing.h), so what the
// painter draws can be checked pixel by pixel.

#include <cstdint>

namespace platform {

// A drawing surface (an HDC on Windows) and an object that can be put into one: an image, a
// font or a brush (an HGDIOBJ). Both are opaque; null means none.
struct SurfaceTag;
struct ObjectTag;
using Surface = SurfaceTag*;
using Object = ObjectTag*;

// A colour as COLORREF: 0x00BBGGRR.
using Colour = uint32_t;
constexpr Colour rgb(uint32_t red, uint32_t green, uint32_t blue) {
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}

// GetStockObject indexes the stage uses.
enum class StockObject : int { whiteBrush = 0, blackBrush = 4 };

// SetStretchBltMode modes. blackOnWhite is a new surface's default: when shrinking, the pixels
// that merge are combined by AND, so thin black lines survive. colorOnColor drops or repeats
// whole pixels.
enum class StretchMode : int { blackOnWhite = 1, colorOnColor = 3 };

// BitBlt raster operations.
enum class RasterOp : uint32_t { srcCopy = 0x00CC0020, srcInvert = 0x00660046 };

// What an enumeration handle is when it could not be started.
constexpr intptr_t kNoSearch = -1;

class Drawing {
public:
    virtual ~Drawing() = default;

    // CreateDCA("DISPLAY"): the reference surface every image is made compatible with.
    virtual Surface createDisplayDC() = 0;
    // CreateCompatibleDC: a memory surface holding a 1 x 1 two-colour image until another is
    // put into it.
    virtual Surface createCompatibleDC(Surface reference) = 0;
    virtual bool deleteDC(Surface surface) = 0;

    // CreateCompatibleBitmap: an image of the size in the pixel format of the reference
    // surface (of its current image for a memory surface); contents not set.
    virtual Object createCompatibleBitmap(Surface reference, int32_t width, int32_t height) = 0;
    // LoadImageA(IMAGE_BITMAP, LR_LOADFROMFILE) at the picture's own size; null on failure.
    virtual Object loadImageFromFile(const char* path) = 0;
    // LoadImageA of one of the program's bitmap resources at its own size; null on failure.
    // A two-colour picture stays a two-colour image.
    virtual Object loadBitmapResource(unsigned resourceId) = 0;
    // GetObjectA on an image: its width and height.
    virtual bool getBitmapSize(Object image, int32_t* width, int32_t* height) = 0;
    // CreateFontA with this height and weight; every other parameter the default (no italic,
    // underline or strike-out, character set 0, default precision, quality, pitch, family,
    // the platform's default face).
    virtual Object createFont(int32_t height, int32_t weight) = 0;
    virtual Object getStockObject(StockObject which) = 0;
    // SelectObject: returns the object of the same kind that was selected before.
    virtual Object selectObject(Surface surface, Object object) = 0;
    // DeleteObject. Fails for an object still selected into a surface; stock objects are
    // left alone.
    virtual bool deleteObject(Object object) = 0;

    virtual void setStretchBltMode(Surface surface, StretchMode mode) = 0;
    // The text colour is the ink of text and of a two-colour image combined onto a colour
    // surface; the background colour is the text cells' fill and that image's paper.
    virtual void setTextColor(Surface surface, Colour colour) = 0;
    virtual void setBkColor(Surface surface, Colour colour) = 0;

    // Rectangle / Ellipse: the box from (left, top) to (right, bottom), right and bottom
    // excluded, filled with the selected brush and outlined with the default 1-pixel black pen.
    virtual void rectangle(Surface surface, int32_t left, int32_t top, int32_t right,
                           int32_t bottom) = 0;
    virtual void ellipse(Surface surface, int32_t left, int32_t top, int32_t right,
                         int32_t bottom) = 0;
    // ExtTextOutA with ETO_OPAQUE and no clipping rectangle: `length` characters in the
    // selected font, top-left corner at (x, y), each cell filled with the background colour.
    virtual void extTextOut(Surface surface, int32_t x, int32_t y, const char* text,
                            int32_t length) = 0;
    // BitBlt of width x height from (sourceX, sourceY) of `source` to (x, y) of `target`.
    virtual void bitBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                        Surface source, int32_t sourceX, int32_t sourceY, RasterOp op) = 0;
    // StretchBlt with SRCCOPY, in the target's stretching mode.
    virtual void stretchBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                            Surface source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                            int32_t sourceHeight) = 0;

    // GetClientRect of the main window: the client area's width and height, both 0 while the
    // window is minimised (or before it exists).
    virtual void getClientRect(int32_t* width, int32_t* height) = 0;

    // _findfirst / _findnext / _findclose over a wildcard pattern ("...\*.bmp"): the name
    // (without folder) of the first or next match, cut to capacity - 1 and terminated.
    // findFirst gives kNoSearch when nothing matches or the folder is missing; findNext false
    // when the matches are exhausted or the handle is not valid.
    virtual intptr_t findFirst(const char* pattern, char* name, uint32_t capacity) = 0;
    virtual bool findNext(intptr_t search, char* name, uint32_t capacity) = 0;
    virtual void findClose(intptr_t search) = 0;
};

// The drawing side in force. Tests install their own; nullptr puts the default back.
Drawing& draw();
void installDraw(Drawing* drawing);

// The default implementation, one per build (platform/win32 or platform/host).
Drawing& defaultDrawing();

}  // namespace platform
