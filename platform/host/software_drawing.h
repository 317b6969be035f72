#pragma once
// The host's drawing side: surfaces and images kept as pixel arrays, with the GDI rules the
// stage relies on carried out exactly: a two-colour image combined onto a colour surface takes
// the target's text colour for its black pixels and its background colour for its white ones;
// SRCINVERT is XOR; stretching with COLORONCOLOR samples the nearest pixel and with
// BLACKONWHITE combines the pixels a shrink merges by AND. Text comes out as opaque character
// cells of a fixed-width stand-in font (cells fontHeight / 2 wide), with a block of ink inside
// each cell that is not a blank. Every object and surface made and released is counted, so
// tests can prove that nothing leaks, and any loading or creating call can be told to fail.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/draw.h"

namespace platform {

enum class DrawCall { createCompatibleBitmap, loadImageFromFile, loadBitmapResource, createFont, findFirst };

class SoftwareDrawing : public Drawing {
public:
    struct TextCall {
        Surface surface;
        int32_t x;
        int32_t y;
        std::string text;
        Colour ink;
        Colour paper;
        int32_t fontHeight;
    };

    SoftwareDrawing();
    ~SoftwareDrawing() override;

    Surface createDisplayDC() override;
    Surface createCompatibleDC(Surface reference) override;
    bool deleteDC(Surface surface) override;
    Object createCompatibleBitmap(Surface reference, int32_t width, int32_t height) override;
    Object loadImageFromFile(const char* path) override;
    Object loadBitmapResource(unsigned resourceId) override;
    bool getBitmapSize(Object image, int32_t* width, int32_t* height) override;
    Object createFont(int32_t height, int32_t weight) override;
    Object getStockObject(StockObject which) override;
    Object selectObject(Surface surface, Object object) override;
    bool deleteObject(Object object) override;
    void setStretchBltMode(Surface surface, StretchMode mode) override;
    void setTextColor(Surface surface, Colour colour) override;
    void setBkColor(Surface surface, Colour colour) override;
    void rectangle(Surface surface, int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    void ellipse(Surface surface, int32_t left, int32_t top, int32_t right, int32_t bottom) override;
    void extTextOut(Surface surface, int32_t x, int32_t y, const char* text, int32_t length) override;
    void bitBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height, Surface source,
                int32_t sourceX, int32_t sourceY, RasterOp op) override;
    void stretchBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                    Surface source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                    int32_t sourceHeight) override;
    void getClientRect(int32_t* width, int32_t* height) override;
    intptr_t findFirst(const char* pattern, char* name, uint32_t capacity) override;
    bool findNext(intptr_t search, char* name, uint32_t capacity) override;
    void findClose(intptr_t search) override;

    // --- for tests and tools ---

    // A surface standing for the window's paint context, with a colour image of its own.
    // releaseWindowSurface gives both back.
    Surface createWindowSurface(int32_t width, int32_t height);
    void releaseWindowSurface(Surface surface);

    // The program's bitmap resources: a picture given in pixels (two-colour pictures as black
    // and white) or read from a .bmp file when loaded. Unknown ids fail to load.
    void setResource(unsigned resourceId, int32_t width, int32_t height, bool twoColour,
                     std::vector<Colour> pixels);
    void setResourceFile(unsigned resourceId, const std::string& path);
    void clearResources();

    // The client area that getClientRect reports (640 x 480 at first; 0 x 0 stands for a
    // minimised window).
    void setClientSize(int32_t width, int32_t height);

    // Makes every later call of one kind fail (null, kNoSearch) until told otherwise.
    void setFailing(DrawCall call, bool failing);

    // Pixels of the image selected into a surface, or of an image; out of range gives
    // 0xFFFFFFFF.
    Colour pixel(Surface surface, int32_t x, int32_t y) const;
    Colour imagePixel(Object image, int32_t x, int32_t y) const;
    std::vector<Colour> pixels(Surface surface) const;  // row after row
    bool imageOf(Surface surface, int32_t* width, int32_t* height, bool* twoColour) const;
    Object selected(Surface surface, int kind) const;  // kind: 0 image, 1 font, 2 brush
    Colour textColour(Surface surface) const;
    Colour backgroundColour(Surface surface) const;
    StretchMode stretchMode(Surface surface) const;
    int32_t fontHeight(Object font) const;
    int32_t fontWeight(Object font) const;

    // Writes the image selected into a surface as a 24-bit .bmp or a binary .ppm.
    bool saveBmp(Surface surface, const std::string& path) const;
    bool savePpm(Surface surface, const std::string& path) const;

    // Books: objects (images, fonts, brushes; stock objects not counted) and surfaces made
    // and not yet released, enumerations open, and the text drawn since the last clearLog.
    int liveObjects() const;
    int liveSurfaces() const;
    int openSearches() const;
    int failedDeletes() const;  // deleteObject calls refused (object still selected, unknown)
    std::vector<TextCall> texts() const;
    int blits() const;  // bitBlt and stretchBlt calls since the last clearLog
    void clearLog();

private:
    struct Image {
        int32_t width = 0;
        int32_t height = 0;
        bool twoColour = false;
        std::vector<Colour> pixels;  // twoColour images hold only black and white
    };
    enum class Kind { image, font, brush };
    struct ObjectRecord {
        Kind kind = Kind::image;
        bool stock = false;
        int selections = 0;
        Image image;
        int32_t fontHeight = 0;
        int32_t fontWeight = 0;
        Colour brush = 0;
    };
    struct SurfaceRecord {
        bool display = false;
        uintptr_t image = 0;
        uintptr_t font = 0;
        uintptr_t brush = 0;
        Colour ink = 0x000000;
        Colour paper = 0xFFFFFF;
        StretchMode mode = StretchMode::blackOnWhite;
    };
    struct Search {
        std::vector<std::string> names;
        size_t next = 0;
    };

    uintptr_t addObject(ObjectRecord record);
    ObjectRecord* objectOf(Object object);
    const ObjectRecord* objectOf(Object object) const;
    SurfaceRecord* surfaceOf(Surface surface);
    const SurfaceRecord* surfaceOf(Surface surface) const;
    Image* imageIn(Surface surface);
    const Image* imageIn(Surface surface) const;
    void select(SurfaceRecord& surface, uintptr_t& slot, uintptr_t id);
    void fill(Image& image, int32_t left, int32_t top, int32_t right, int32_t bottom, Colour c);
    void blit(Surface target, int32_t x, int32_t y, int32_t width, int32_t height, Surface source,
              int32_t sourceX, int32_t sourceY, int32_t sourceWidth, int32_t sourceHeight,
              RasterOp op, StretchMode mode);
    bool failing(DrawCall call) const { return failing_.count(static_cast<int>(call)) != 0; }
    static bool loadBmp(const std::string& path, Image& image);
    static bool writeBmp(const Image& image, const std::string& path);

    mutable std::mutex mutex_;
    std::map<uintptr_t, ObjectRecord> objects_;
    std::map<uintptr_t, SurfaceRecord> surfaces_;
    std::map<intptr_t, Search> searches_;
    std::map<unsigned, Image> resources_;
    std::map<unsigned, std::string> resourceFiles_;
    std::set<int> failing_;
    std::set<uintptr_t> windowSurfaceImages_;
    uintptr_t nextId_ = 0x1000;
    intptr_t nextSearch_ = 1;
    uintptr_t stockWhite_ = 0, stockBlack_ = 0, stockFont_ = 0, stockImage_ = 0;
    int failedDeletes_ = 0;
    int32_t clientWidth_ = 640;
    int32_t clientHeight_ = 480;
    int blits_ = 0;
    std::vector<TextCall> texts_;
};

// The default drawing side of the host build, as SoftwareDrawing.
SoftwareDrawing& hostDrawing();

}  // namespace platform
