// The drawing side on GDI: memory device contexts, bitmaps, the lyric font and the stock
// brushes, and the runtime's _findfirst enumeration for the background pictures.
#include <windows.h>

#include <io.h>

#include <cstring>

#include "platform/draw.h"
#include "platform/window.h"

namespace platform {
namespace {

HDC dcOf(Surface surface) { return reinterpret_cast<HDC>(surface); }
HGDIOBJ objectOf(Object object) { return reinterpret_cast<HGDIOBJ>(object); }
Object asObject(HGDIOBJ object) { return reinterpret_cast<Object>(object); }

void copyName(const char* source, char* name, uint32_t capacity) {
    if (!name || capacity == 0) return;
    size_t count = std::strlen(source);
    if (count > capacity - 1) count = capacity - 1;
    std::memcpy(name, source, count);
    name[count] = '\0';
}

class GdiDrawing : public Drawing {
public:
    Surface createDisplayDC() override {
        return reinterpret_cast<Surface>(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    }

    Surface createCompatibleDC(Surface reference) override {
        return reinterpret_cast<Surface>(CreateCompatibleDC(dcOf(reference)));
    }

    bool deleteDC(Surface surface) override { return DeleteDC(dcOf(surface)) != 0; }

    Object createCompatibleBitmap(Surface reference, int32_t width, int32_t height) override {
        return asObject(CreateCompatibleBitmap(dcOf(reference), width, height));
    }

    Object loadImageFromFile(const char* path) override {
        return asObject(LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    }

    Object loadBitmapResource(unsigned resourceId) override {
        return asObject(LoadImageA(GetModuleHandleA(nullptr),
                                   MAKEINTRESOURCEA(static_cast<WORD>(resourceId)), IMAGE_BITMAP, 0,
                                   0, LR_DEFAULTCOLOR));
    }

    bool getBitmapSize(Object image, int32_t* width, int32_t* height) override {
        BITMAP info;
        if (GetObjectA(objectOf(image), sizeof info, &info) == 0) return false;
        if (width) *width = info.bmWidth;
        if (height) *height = info.bmHeight;
        return true;
    }

    Object createFont(int32_t height, int32_t weight) override {
        return asObject(CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, 0,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, nullptr));
    }

    Object getStockObject(StockObject which) override {
        return asObject(GetStockObject(static_cast<int>(which)));
    }

    Object selectObject(Surface surface, Object object) override {
        return asObject(SelectObject(dcOf(surface), objectOf(object)));
    }

    bool deleteObject(Object object) override { return DeleteObject(objectOf(object)) != 0; }

    void setStretchBltMode(Surface surface, StretchMode mode) override {
        SetStretchBltMode(dcOf(surface), static_cast<int>(mode));
    }

    void setTextColor(Surface surface, Colour colour) override {
        SetTextColor(dcOf(surface), colour);
    }

    void setBkColor(Surface surface, Colour colour) override { SetBkColor(dcOf(surface), colour); }

    void rectangle(Surface surface, int32_t left, int32_t top, int32_t right,
                   int32_t bottom) override {
        Rectangle(dcOf(surface), left, top, right, bottom);
    }

    void ellipse(Surface surface, int32_t left, int32_t top, int32_t right,
                 int32_t bottom) override {
        Ellipse(dcOf(surface), left, top, right, bottom);
    }

    void extTextOut(Surface surface, int32_t x, int32_t y, const char* text,
                    int32_t length) override {
        if (length < 0) return;
        ExtTextOutA(dcOf(surface), x, y, ETO_OPAQUE, nullptr, text, static_cast<UINT>(length),
                    nullptr);
    }

    void bitBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                Surface source, int32_t sourceX, int32_t sourceY, RasterOp op) override {
        BitBlt(dcOf(target), x, y, width, height, dcOf(source), sourceX, sourceY,
               static_cast<DWORD>(op));
    }

    void stretchBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                    Surface source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                    int32_t sourceHeight) override {
        StretchBlt(dcOf(target), x, y, width, height, dcOf(source), sourceX, sourceY, sourceWidth,
                   sourceHeight, SRCCOPY);
    }

    void getClientRect(int32_t* width, int32_t* height) override {
        RECT area{0, 0, 0, 0};
        HWND window = static_cast<HWND>(mainWindow());
        if (!window || !GetClientRect(window, &area)) area = RECT{0, 0, 0, 0};
        if (width) *width = area.right - area.left;
        if (height) *height = area.bottom - area.top;
    }

    intptr_t findFirst(const char* pattern, char* name, uint32_t capacity) override {
        _finddata_t found;
        intptr_t search = _findfirst(pattern, &found);
        if (search == -1) return kNoSearch;
        copyName(found.name, name, capacity);
        return search;
    }

    bool findNext(intptr_t search, char* name, uint32_t capacity) override {
        if (search == kNoSearch) return false;
        _finddata_t found;
        if (_findnext(search, &found) != 0) return false;
        copyName(found.name, name, capacity);
        return true;
    }

    void findClose(intptr_t search) override {
        if (search != kNoSearch) _findclose(search);
    }
};

}  // namespace

Drawing& defaultDrawing() {
    static GdiDrawing drawing;
    return drawing;
}

}  // namespace platform
