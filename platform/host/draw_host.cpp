#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/host/software_drawing.h"

namespace platform {

namespace {

constexpr Colour kBlack = 0x000000;
constexpr Colour kWhite = 0xFFFFFF;
constexpr int32_t kSystemFontHeight = 16;

template <typename Handle>
uintptr_t idOf(Handle handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

// Windows paths of the program become host paths: backslashes are folder separators.
std::string hostPath(const char* path) {
    std::string converted = path ? path : "";
    std::replace(converted.begin(), converted.end(), '\\', '/');
    return converted;
}

// Wildcard match as the platform does it for file names: '*' any run, '?' one character,
// letters without regard to case.
bool matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (matches(pattern + 1, rest)) return true;
            if (*rest == '\0') return false;
        }
    }
    if (*name == '\0') return false;
    if (*pattern != '?' &&
        std::tolower(static_cast<unsigned char>(*pattern)) != std::tolower(static_cast<unsigned char>(*name)))
        return false;
    return matches(pattern + 1, name + 1);
}

void copyName(const std::string& source, char* name, uint32_t capacity) {
    if (!name || capacity == 0) return;
    size_t count = std::min<size_t>(source.size(), capacity - 1);
    std::memcpy(name, source.data(), count);
    name[count] = '\0';
}

uint32_t readLe(const std::vector<unsigned char>& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        size_t index = at + static_cast<size_t>(i);
        value = value << 8 | (index < bytes.size() ? bytes[index] : 0u);
    }
    return value;
}

void putLe(std::vector<unsigned char>& bytes, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

int brightness(Colour c) { return static_cast<int>((c & 0xFF) + (c >> 8 & 0xFF) + (c >> 16 & 0xFF)) / 3; }

}  // namespace

SoftwareDrawing::SoftwareDrawing() {
    ObjectRecord white;
    white.kind = Kind::brush;
    white.stock = true;
    white.brush = kWhite;
    stockWhite_ = addObject(white);
    ObjectRecord black = white;
    black.brush = kBlack;
    stockBlack_ = addObject(black);
    ObjectRecord font;
    font.kind = Kind::font;
    font.stock = true;
    font.fontHeight = kSystemFontHeight;
    font.fontWeight = 700;
    stockFont_ = addObject(font);
    ObjectRecord image;  // what a new memory surface holds: one black two-colour pixel
    image.stock = true;
    image.image.width = 1;
    image.image.height = 1;
    image.image.twoColour = true;
    image.image.pixels.assign(1, kBlack);
    stockImage_ = addObject(image);
}

SoftwareDrawing::~SoftwareDrawing() = default;

uintptr_t SoftwareDrawing::addObject(ObjectRecord record) {
    uintptr_t id = nextId_;
    nextId_ += 0x10;
    objects_.emplace(id, std::move(record));
    return id;
}

SoftwareDrawing::ObjectRecord* SoftwareDrawing::objectOf(Object object) {
    auto found = objects_.find(idOf(object));
    return found == objects_.end() ? nullptr : &found->second;
}

const SoftwareDrawing::ObjectRecord* SoftwareDrawing::objectOf(Object object) const {
    auto found = objects_.find(idOf(object));
    return found == objects_.end() ? nullptr : &found->second;
}

SoftwareDrawing::SurfaceRecord* SoftwareDrawing::surfaceOf(Surface surface) {
    auto found = surfaces_.find(idOf(surface));
    return found == surfaces_.end() ? nullptr : &found->second;
}

const SoftwareDrawing::SurfaceRecord* SoftwareDrawing::surfaceOf(Surface surface) const {
    auto found = surfaces_.find(idOf(surface));
    return found == surfaces_.end() ? nullptr : &found->second;
}

SoftwareDrawing::Image* SoftwareDrawing::imageIn(Surface surface) {
    SurfaceRecord* record = surfaceOf(surface);
    if (!record || record->display) return nullptr;
    auto found = objects_.find(record->image);
    return found == objects_.end() ? nullptr : &found->second.image;
}

const SoftwareDrawing::Image* SoftwareDrawing::imageIn(Surface surface) const {
    const SurfaceRecord* record = surfaceOf(surface);
    if (!record || record->display) return nullptr;
    auto found = objects_.find(record->image);
    return found == objects_.end() ? nullptr : &found->second.image;
}

Surface SoftwareDrawing::createDisplayDC() {
    std::lock_guard<std::mutex> guard(mutex_);
    SurfaceRecord record;
    record.display = true;
    record.font = stockFont_;
    record.brush = stockWhite_;
    uintptr_t id = nextId_;
    nextId_ += 0x10;
    surfaces_.emplace(id, record);
    return reinterpret_cast<Surface>(id);
}

Surface SoftwareDrawing::createCompatibleDC(Surface) {
    std::lock_guard<std::mutex> guard(mutex_);
    SurfaceRecord record;
    record.image = stockImage_;
    record.font = stockFont_;
    record.brush = stockWhite_;
    for (uintptr_t id : {stockImage_, stockFont_, stockWhite_}) ++objects_[id].selections;
    uintptr_t id = nextId_;
    nextId_ += 0x10;
    surfaces_.emplace(id, record);
    return reinterpret_cast<Surface>(id);
}

bool SoftwareDrawing::deleteDC(Surface surface) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = surfaces_.find(idOf(surface));
    if (found == surfaces_.end()) return false;
    for (uintptr_t id : {found->second.image, found->second.font, found->second.brush}) {
        auto object = objects_.find(id);
        if (object != objects_.end()) --object->second.selections;
    }
    surfaces_.erase(found);
    return true;
}

Object SoftwareDrawing::createCompatibleBitmap(Surface reference, int32_t width, int32_t height) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (failing(DrawCall::createCompatibleBitmap) || width < 0 || height < 0) return nullptr;
    const SurfaceRecord* surface = surfaceOf(reference);
    if (!surface) return nullptr;
    // A memory surface's format is that of its present image: a fresh one makes two-colour
    // images, the classic trap that the stage avoids by asking the display surface.
    bool twoColour = false;
    if (!surface->display) {
        const Image* present = imageIn(reference);
        twoColour = present && present->twoColour;
    }
    ObjectRecord record;
    record.image.width = width;
    record.image.height = height;
    record.image.twoColour = twoColour;
    record.image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kBlack);
    return reinterpret_cast<Object>(addObject(std::move(record)));
}

Object SoftwareDrawing::loadImageFromFile(const char* path) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (failing(DrawCall::loadImageFromFile) || !path) return nullptr;
    ObjectRecord record;
    if (!loadBmp(hostPath(path), record.image)) return nullptr;
    return reinterpret_cast<Object>(addObject(std::move(record)));
}

Object SoftwareDrawing::loadBitmapResource(unsigned resourceId) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (failing(DrawCall::loadBitmapResource)) return nullptr;
    ObjectRecord record;
    auto given = resources_.find(resourceId);
    if (given != resources_.end()) {
        record.image = given->second;
    } else {
        auto file = resourceFiles_.find(resourceId);
        if (file == resourceFiles_.end() || !loadBmp(file->second, record.image)) return nullptr;
    }
    return reinterpret_cast<Object>(addObject(std::move(record)));
}

bool SoftwareDrawing::getBitmapSize(Object image, int32_t* width, int32_t* height) {
    std::lock_guard<std::mutex> guard(mutex_);
    const ObjectRecord* record = objectOf(image);
    if (!record || record->kind != Kind::image) return false;
    if (width) *width = record->image.width;
    if (height) *height = record->image.height;
    return true;
}

Object SoftwareDrawing::createFont(int32_t height, int32_t weight) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (failing(DrawCall::createFont)) return nullptr;
    ObjectRecord record;
    record.kind = Kind::font;
    record.fontHeight = height;
    record.fontWeight = weight;
    return reinterpret_cast<Object>(addObject(std::move(record)));
}

Object SoftwareDrawing::getStockObject(StockObject which) {
    std::lock_guard<std::mutex> guard(mutex_);
    return reinterpret_cast<Object>(which == StockObject::blackBrush ? stockBlack_ : stockWhite_);
}

void SoftwareDrawing::select(SurfaceRecord&, uintptr_t& slot, uintptr_t id) {
    auto old = objects_.find(slot);
    if (old != objects_.end()) --old->second.selections;
    ++objects_[id].selections;
    slot = id;
}

Object SoftwareDrawing::selectObject(Surface surface, Object object) {
    std::lock_guard<std::mutex> guard(mutex_);
    SurfaceRecord* target = surfaceOf(surface);
    ObjectRecord* record = objectOf(object);
    if (!target || !record) return nullptr;
    uintptr_t* slot = record->kind == Kind::image  ? &target->image
                      : record->kind == Kind::font ? &target->font
                                                   : &target->brush;
    if (record->kind == Kind::image) {
        // An image goes into one memory surface at a time, and never into the display.
        if (target->display || (record->selections > 0 && *slot != idOf(object))) return nullptr;
    }
    uintptr_t previous = *slot;
    select(*target, *slot, idOf(object));
    return reinterpret_cast<Object>(previous);
}

bool SoftwareDrawing::deleteObject(Object object) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = objects_.find(idOf(object));
    if (found == objects_.end()) {
        ++failedDeletes_;
        return false;
    }
    if (found->second.stock) return true;
    if (found->second.selections > 0) {
        ++failedDeletes_;
        return false;
    }
    objects_.erase(found);
    return true;
}

void SoftwareDrawing::setStretchBltMode(Surface surface, StretchMode mode) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (SurfaceRecord* record = surfaceOf(surface)) record->mode = mode;
}

void SoftwareDrawing::setTextColor(Surface surface, Colour colour) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (SurfaceRecord* record = surfaceOf(surface)) record->ink = colour & 0xFFFFFF;
}

void SoftwareDrawing::setBkColor(Surface surface, Colour colour) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (SurfaceRecord* record = surfaceOf(surface)) record->paper = colour & 0xFFFFFF;
}

void SoftwareDrawing::fill(Image& image, int32_t left, int32_t top, int32_t right, int32_t bottom,
                           Colour c) {
    if (image.twoColour) c = brightness(c) >= 128 ? kWhite : kBlack;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width);
    bottom = std::min(bottom, image.height);
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x)
            image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)] = c;
}

void SoftwareDrawing::rectangle(Surface surface, int32_t left, int32_t top, int32_t right,
                                int32_t bottom) {
    std::lock_guard<std::mutex> guard(mutex_);
    Image* image = imageIn(surface);
    if (!image) return;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return;
    fill(*image, left, top, right, bottom, objects_[surfaceOf(surface)->brush].brush);
    fill(*image, left, top, right, top + 1, kBlack);
    fill(*image, left, bottom - 1, right, bottom, kBlack);
    fill(*image, left, top, left + 1, bottom, kBlack);
    fill(*image, right - 1, top, right, bottom, kBlack);
}

void SoftwareDrawing::ellipse(Surface surface, int32_t left, int32_t top, int32_t right,
                              int32_t bottom) {
    std::lock_guard<std::mutex> guard(mutex_);
    Image* image = imageIn(surface);
    if (!image) return;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (right - left < 1 || bottom - top < 1) return;
    Colour brush = objects_[surfaceOf(surface)->brush].brush;
    double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
    double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
    auto inside = [&](int32_t x, int32_t y) {
        if (x < left || x >= right || y < top || y >= bottom) return false;
        double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
    };
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x) {
            if (!inside(x, y)) continue;
            bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            fill(*image, x, y, x + 1, y + 1, edge ? kBlack : brush);
        }
}

void SoftwareDrawing::extTextOut(Surface surface, int32_t x, int32_t y, const char* text,
                                 int32_t length) {
    std::lock_guard<std::mutex> guard(mutex_);
    SurfaceRecord* record = surfaceOf(surface);
    if (!record || !text || length <= 0) return;
    int32_t height = objects_[record->font].fontHeight;
    if (height < 0) height = -height;
    if (height == 0) height = kSystemFontHeight;
    int32_t width = std::max<int32_t>(1, height / 2);
    texts_.push_back(TextCall{surface, x, y, std::string(text, static_cast<size_t>(length)),
                              record->ink, record->paper, objects_[record->font].fontHeight});
    Image* image = imageIn(surface);
    if (!image) return;
    for (int32_t i = 0; i < length; ++i) {
        int32_t left = x + i * width;
        fill(*image, left, y, left + width, y + height, record->paper);
        if (text[i] != ' ')
            fill(*image, left + width / 4, y + height / 4, left + width - width / 4,
                 y + height - height / 4, record->ink);
    }
}

void SoftwareDrawing::bitBlt(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                             Surface source, int32_t sourceX, int32_t sourceY, RasterOp op) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++blits_;
    blit(target, x, y, width, height, source, sourceX, sourceY, width, height, op,
         StretchMode::colorOnColor);
}

void SoftwareDrawing::stretchBlt(Surface target, int32_t x, int32_t y, int32_t width,
                                 int32_t height, Surface source, int32_t sourceX, int32_t sourceY,
                                 int32_t sourceWidth, int32_t sourceHeight) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++blits_;
    const SurfaceRecord* record = surfaceOf(target);
    if (!record) return;
    blit(target, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight,
         RasterOp::srcCopy, record->mode);
}

void SoftwareDrawing::blit(Surface target, int32_t x, int32_t y, int32_t width, int32_t height,
                           Surface source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                           int32_t sourceHeight, RasterOp op, StretchMode mode) {
    Image* to = imageIn(target);
    const Image* from = imageIn(source);
    const SurfaceRecord* targetRecord = surfaceOf(target);
    const SurfaceRecord* sourceRecord = surfaceOf(source);
    if (!to || !from || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return;
    // The run of source pixels that target offset i covers: the first one alone when
    // sampling, all of them (at least one) when the shrink combines them.
    auto range = [](int32_t i, int32_t count, int32_t sourceCount, int32_t* first, int32_t* last) {
        int64_t begin = static_cast<int64_t>(i) * sourceCount / count;
        int64_t end = static_cast<int64_t>(i + 1) * sourceCount / count;
        if (end <= begin) end = begin + 1;
        *first = static_cast<int32_t>(begin);
        *last = static_cast<int32_t>(end);
    };
    for (int32_t row = 0; row < height; ++row) {
        int32_t ty = y + row;
        if (ty < 0 || ty >= to->height) continue;
        int32_t rowFirst, rowLast;
        range(row, height, sourceHeight, &rowFirst, &rowLast);
        if (mode == StretchMode::colorOnColor) rowLast = rowFirst + 1;
        for (int32_t column = 0; column < width; ++column) {
            int32_t tx = x + column;
            if (tx < 0 || tx >= to->width) continue;
            int32_t columnFirst, columnLast;
            range(column, width, sourceWidth, &columnFirst, &columnLast);
            if (mode == StretchMode::colorOnColor) columnLast = columnFirst + 1;
            Colour value = 0xFFFFFFFF;
            bool any = false;
            for (int32_t sy = sourceY + rowFirst; sy < sourceY + rowLast; ++sy)
                for (int32_t sx = sourceX + columnFirst; sx < sourceX + columnLast; ++sx) {
                    if (sx < 0 || sy < 0 || sx >= from->width || sy >= from->height) continue;
                    value &= from->pixels[static_cast<size_t>(sy) * static_cast<size_t>(from->width) + static_cast<size_t>(sx)];
                    any = true;
                }
            if (!any) continue;
            value &= 0xFFFFFF;
            // Format change: two-colour to colour takes the target's text colour for black and
            // its background colour for white; colour to two-colour makes the source's
            // background colour white and everything else black.
            if (from->twoColour && !to->twoColour)
                value = value == kBlack ? targetRecord->ink : targetRecord->paper;
            else if (!from->twoColour && to->twoColour)
                value = value == sourceRecord->paper ? kWhite : kBlack;
            Colour& out = to->pixels[static_cast<size_t>(ty) * static_cast<size_t>(to->width) + static_cast<size_t>(tx)];
            out = op == RasterOp::srcInvert ? (out ^ value) : value;
        }
    }
}

void SoftwareDrawing::getClientRect(int32_t* width, int32_t* height) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (width) *width = clientWidth_;
    if (height) *height = clientHeight_;
}

void SoftwareDrawing::setClientSize(int32_t width, int32_t height) {
    std::lock_guard<std::mutex> guard(mutex_);
    clientWidth_ = width;
    clientHeight_ = height;
}

intptr_t SoftwareDrawing::findFirst(const char* pattern, char* name, uint32_t capacity) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (failing(DrawCall::findFirst) || !pattern) return kNoSearch;
    std::string path = hostPath(pattern);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string wildcard = slash == std::string::npos ? path : path.substr(slash + 1);
    Search search;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string fileName = entry->path().filename().string();
        if (entry->is_regular_file(error) && matches(wildcard.c_str(), fileName.c_str()))
            search.names.push_back(fileName);
    }
    if (search.names.empty()) return kNoSearch;
    // The host lists a folder in no particular order; sorting by name makes it a fixed one.
    std::sort(search.names.begin(), search.names.end());
    copyName(search.names[0], name, capacity);
    search.next = 1;
    intptr_t handle = nextSearch_++;
    searches_.emplace(handle, std::move(search));
    return handle;
}

bool SoftwareDrawing::findNext(intptr_t search, char* name, uint32_t capacity) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = searches_.find(search);
    if (found == searches_.end() || found->second.next >= found->second.names.size()) return false;
    copyName(found->second.names[found->second.next++], name, capacity);
    return true;
}

void SoftwareDrawing::findClose(intptr_t search) {
    std::lock_guard<std::mutex> guard(mutex_);
    searches_.erase(search);
}

Surface SoftwareDrawing::createWindowSurface(int32_t width, int32_t height) {
    Surface surface = createCompatibleDC(nullptr);
    std::lock_guard<std::mutex> guard(mutex_);
    ObjectRecord record;
    record.image.width = width;
    record.image.height = height;
    record.image.pixels.assign(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)), kBlack);
    uintptr_t id = addObject(std::move(record));
    select(*surfaceOf(surface), surfaceOf(surface)->image, id);
    windowSurfaceImages_.insert(id);
    return surface;
}

void SoftwareDrawing::releaseWindowSurface(Surface surface) {
    uintptr_t image = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (const SurfaceRecord* record = surfaceOf(surface)) image = record->image;
    }
    deleteDC(surface);
    std::lock_guard<std::mutex> guard(mutex_);
    if (windowSurfaceImages_.erase(image)) objects_.erase(image);
}

void SoftwareDrawing::setResource(unsigned resourceId, int32_t width, int32_t height,
                                  bool twoColour, std::vector<Colour> pixels) {
    std::lock_guard<std::mutex> guard(mutex_);
    Image image;
    image.width = width;
    image.height = height;
    image.twoColour = twoColour;
    image.pixels = std::move(pixels);
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height), kWhite);
    if (twoColour)
        for (Colour& c : image.pixels) c = brightness(c) >= 128 ? kWhite : kBlack;
    resources_[resourceId] = std::move(image);
}

void SoftwareDrawing::setResourceFile(unsigned resourceId, const std::string& path) {
    std::lock_guard<std::mutex> guard(mutex_);
    resources_.erase(resourceId);
    resourceFiles_[resourceId] = path;
}

void SoftwareDrawing::clearResources() {
    std::lock_guard<std::mutex> guard(mutex_);
    resources_.clear();
    resourceFiles_.clear();
}

void SoftwareDrawing::setFailing(DrawCall call, bool fail) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (fail)
        failing_.insert(static_cast<int>(call));
    else
        failing_.erase(static_cast<int>(call));
}

Colour SoftwareDrawing::pixel(Surface surface, int32_t x, int32_t y) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Image* image = imageIn(surface);
    if (!image || x < 0 || y < 0 || x >= image->width || y >= image->height) return 0xFFFFFFFF;
    return image->pixels[static_cast<size_t>(y) * static_cast<size_t>(image->width) + static_cast<size_t>(x)];
}

Colour SoftwareDrawing::imagePixel(Object object, int32_t x, int32_t y) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const ObjectRecord* record = objectOf(object);
    if (!record || record->kind != Kind::image) return 0xFFFFFFFF;
    const Image& image = record->image;
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 0xFFFFFFFF;
    return image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
}

std::vector<Colour> SoftwareDrawing::pixels(Surface surface) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Image* image = imageIn(surface);
    return image ? image->pixels : std::vector<Colour>{};
}

bool SoftwareDrawing::imageOf(Surface surface, int32_t* width, int32_t* height,
                              bool* twoColour) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Image* image = imageIn(surface);
    if (!image) return false;
    if (width) *width = image->width;
    if (height) *height = image->height;
    if (twoColour) *twoColour = image->twoColour;
    return true;
}

Object SoftwareDrawing::selected(Surface surface, int kind) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const SurfaceRecord* record = surfaceOf(surface);
    if (!record) return nullptr;
    uintptr_t id = kind == 0 ? record->image : kind == 1 ? record->font : record->brush;
    return reinterpret_cast<Object>(id);
}

Colour SoftwareDrawing::textColour(Surface surface) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const SurfaceRecord* record = surfaceOf(surface);
    return record ? record->ink : 0xFFFFFFFF;
}

Colour SoftwareDrawing::backgroundColour(Surface surface) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const SurfaceRecord* record = surfaceOf(surface);
    return record ? record->paper : 0xFFFFFFFF;
}

StretchMode SoftwareDrawing::stretchMode(Surface surface) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const SurfaceRecord* record = surfaceOf(surface);
    return record ? record->mode : StretchMode::blackOnWhite;
}

int32_t SoftwareDrawing::fontHeight(Object font) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const ObjectRecord* record = objectOf(font);
    return record && record->kind == Kind::font ? record->fontHeight : 0;
}

int32_t SoftwareDrawing::fontWeight(Object font) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const ObjectRecord* record = objectOf(font);
    return record && record->kind == Kind::font ? record->fontWeight : 0;
}

int SoftwareDrawing::liveObjects() const {
    std::lock_guard<std::mutex> guard(mutex_);
    int count = 0;
    for (const auto& entry : objects_)
        if (!entry.second.stock && !windowSurfaceImages_.count(entry.first)) ++count;
    return count;
}

int SoftwareDrawing::liveSurfaces() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(surfaces_.size());
}

int SoftwareDrawing::openSearches() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(searches_.size());
}

int SoftwareDrawing::failedDeletes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return failedDeletes_;
}

std::vector<SoftwareDrawing::TextCall> SoftwareDrawing::texts() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return texts_;
}

int SoftwareDrawing::blits() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return blits_;
}

void SoftwareDrawing::clearLog() {
    std::lock_guard<std::mutex> guard(mutex_);
    texts_.clear();
    blits_ = 0;
}

// Uncompressed .bmp pictures of 1, 4, 8, 24 or 32 bits per pixel, bottom-up or top-down. Every
// read is checked against the file's size. A 1-bit picture becomes a two-colour image.
bool SoftwareDrawing::loadBmp(const std::string& path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    uint32_t dataOffset = readLe(bytes, 10, 4);
    uint32_t headerSize = readLe(bytes, 14, 4);
    if (headerSize < 40) return false;
    int32_t width = static_cast<int32_t>(readLe(bytes, 18, 4));
    int32_t rawHeight = static_cast<int32_t>(readLe(bytes, 22, 4));
    uint32_t bits = readLe(bytes, 28, 2);
    uint32_t compression = readLe(bytes, 30, 4);
    uint32_t paletteCount = readLe(bytes, 46, 4);
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 16384) return false;
    bool topDown = rawHeight < 0;
    int32_t height = topDown ? -rawHeight : rawHeight;
    if (height > 16384 || compression != 0) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    if (bits <= 8 && (paletteCount == 0 || paletteCount > (1u << bits))) paletteCount = 1u << bits;
    std::vector<Colour> palette;
    size_t paletteAt = 14 + static_cast<size_t>(headerSize);
    for (uint32_t i = 0; bits <= 8 && i < paletteCount; ++i) {
        size_t at = paletteAt + 4 * static_cast<size_t>(i);
        if (at + 4 > bytes.size()) return false;
        palette.push_back(rgb(bytes[at + 2], bytes[at + 1], bytes[at]));
    }
    size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    if (dataOffset > bytes.size() || (bytes.size() - dataOffset) / stride < static_cast<size_t>(height))
        return false;
    image.width = width;
    image.height = height;
    image.twoColour = bits == 1;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kBlack);
    for (int32_t row = 0; row < height; ++row) {
        size_t line = dataOffset + stride * static_cast<size_t>(topDown ? row : height - 1 - row);
        for (int32_t x = 0; x < width; ++x) {
            size_t ux = static_cast<size_t>(x);
            Colour c;
            if (bits == 24 || bits == 32) {
                size_t at = line + ux * (bits / 8);
                c = rgb(bytes[at + 2], bytes[at + 1], bytes[at]);
            } else {
                size_t bitAt = ux * bits;
                unsigned byte = bytes[line + bitAt / 8];
                unsigned index = (byte >> (8 - bits - bitAt % 8)) & ((1u << bits) - 1);
                c = index < palette.size() ? palette[index] : kBlack;
                if (bits == 1) c = brightness(c) >= 128 ? kWhite : kBlack;
            }
            image.pixels[static_cast<size_t>(row) * static_cast<size_t>(width) + ux] = c;
        }
    }
    return true;
}

bool SoftwareDrawing::writeBmp(const Image& image, const std::string& path) {
    size_t stride = (static_cast<size_t>(image.width) * 3 + 3) / 4 * 4;
    uint32_t dataSize = static_cast<uint32_t>(stride * static_cast<size_t>(image.height));
    std::vector<unsigned char> bytes{'B', 'M'};
    putLe(bytes, 54 + dataSize, 4);
    putLe(bytes, 0, 4);
    putLe(bytes, 54, 4);
    putLe(bytes, 40, 4);
    putLe(bytes, static_cast<uint32_t>(image.width), 4);
    putLe(bytes, static_cast<uint32_t>(image.height), 4);
    putLe(bytes, 1, 2);
    putLe(bytes, 24, 2);
    for (int i = 0; i < 6; ++i) putLe(bytes, 0, 4);
    for (int32_t row = image.height - 1; row >= 0; --row) {
        size_t start = bytes.size();
        for (int32_t x = 0; x < image.width; ++x) {
            Colour c = image.pixels[static_cast<size_t>(row) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
            bytes.push_back(static_cast<unsigned char>(c >> 16));
            bytes.push_back(static_cast<unsigned char>(c >> 8));
            bytes.push_back(static_cast<unsigned char>(c));
        }
        while (bytes.size() - start < stride) bytes.push_back(0);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool SoftwareDrawing::saveBmp(Surface surface, const std::string& path) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Image* image = imageIn(surface);
    return image && writeBmp(*image, path);
}

bool SoftwareDrawing::savePpm(Surface surface, const std::string& path) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Image* image = imageIn(surface);
    if (!image) return false;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image->width << ' ' << image->height << "\n255\n";
    for (Colour c : image->pixels) {
        char rgbBytes[3] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF),
                            static_cast<char>(c >> 16 & 0xFF)};
        out.write(rgbBytes, 3);
    }
    return static_cast<bool>(out);
}

SoftwareDrawing& hostDrawing() {
    static SoftwareDrawing drawing;
    return drawing;
}

Drawing& defaultDrawing() { return hostDrawing(); }

}  // namespace platform
