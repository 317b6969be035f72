#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include "playback/note_bars.h"
#include "shell/settings.h"

namespace {
std::atomic<bool> failNothrowNew{false};
}  // namespace

// Lets a test make the heap refuse the allocations that may fail without throwing.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failNothrowNew.load()) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// The bars' x from the head, the tail checked to be the last bar and the cursor the first.
std::vector<float> xs(const NoteBarList& list) {
    std::vector<float> out;
    const NoteBar* last = nullptr;
    for (const NoteBar* bar = list.head; bar; bar = bar->next) out.push_back(bar->x), last = bar;
    EXPECT_TRUE(list.tail == last && list.cursor == list.head);
    return out;
}

void pushAt(NoteBarList& list, float x, float y = 0.0f) { list.push(x, y, 32, 64, 0.0f, 104.0f); }

TEST(NoteBarList, PushPutsTheNewestBarFirstAndRemoveBarsAtTakesEveryBarAtExactlyThatPosition) {
    NoteBarList list;
    // A failed allocation drops only that bar.
    pushAt(list, 1), pushAt(list, 2);
    failNothrowNew.store(true);
    pushAt(list, 3);
    failNothrowNew.store(false);
    pushAt(list, 4);
    EXPECT_EQ(xs(list), (std::vector<float>{4, 2, 1}));
    list.clear();
    EXPECT_TRUE(xs(list).empty());
    list.clear();  // an empty list clears again

    // Head matches, one after the other, then a match in the middle and at the tail.
    for (float x : {5.0f, 1.0f, 5.0f, 2.0f, 5.0f, 5.0f}) pushAt(list, x);  // head first: 5 5 2 5 1 5
    EXPECT_EQ(list.removeBarsAt(NoteBar{5.0f, 0.0f, 0, 0, 0.0f, 0.0f, nullptr}), 4);
    EXPECT_EQ(xs(list), (std::vector<float>{2, 1}));

    // Only x and y count, exactly: a bar a hair away or at another height stays. The tail goes:
    // the bar before it takes its place.
    pushAt(list, 1.0f, 3.0f);
    pushAt(list, std::nextafter(1.0f, 2.0f));
    EXPECT_EQ(list.removeBarsAt(NoteBar{1.0f, 0.0f, 99, 99, 9.0f, 9.0f, nullptr}), 1);
    EXPECT_EQ(xs(list), (std::vector<float>{std::nextafter(1.0f, 2.0f), 1, 2}));

    // A bar of the list itself may be the probe; removing the last one empties the list.
    list.clear();
    for (int i = 0; i < 3; ++i) pushAt(list, 7.0f);
    EXPECT_EQ(list.removeBarsAt(*list.tail), 3);
    EXPECT_TRUE(xs(list).empty());

    // NaN equals nothing, not even itself.
    pushAt(list, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(list.removeBarsAt(*list.head) + list.removeBarsAt(NoteBar{}), 0);
    EXPECT_EQ(xs(list).size(), 1u);
}

TEST(NoteBarList, PushesFromAnotherThreadNeverMeetAHalfDoneWalk) {
    NoteBarList list;
    constexpr int kBars = 20000;
    std::atomic<bool> done{false};
    std::thread pusher([&] {
        for (int i = 0; i < kBars; ++i) list.push(static_cast<float>(i % 50), 0.0f, 32, 64, 0.0f, 1.0f);
        done.store(true);
    });
    int removed = 0;
    while (!done.load() || list.head) {
        std::lock_guard<std::mutex> guard(list.lock);
        // A painter-like walk: every bar reachable, the tail where the walk ends.
        const NoteBar* last = nullptr;
        for (const NoteBar* bar = list.head; bar; bar = bar->next) last = bar;
        ASSERT_EQ(last, list.tail);
        if (list.head) removed += list.removeBarsAt(*list.head);
    }
    pusher.join();
    EXPECT_EQ(removed, kBars);
}

// A bar, and the marker for the same sung slot, sit centred over the note's key of the
// stretched 640-pixel keyboard at every width, so an exactly sung note is always a hit.
TEST(NoteLane, BarsMarkerAndKeysShareOneMappingAtEveryWidth) {
    settings.windowWidth = 640;  // 16 pixels a slot
    // The octave from 48 key by key (slots 5 and 13 stay empty), then the edges and beyond.
    const std::pair<int, int32_t> expected[] = {{48, 0},   {49, 16},  {50, 32},   {51, 48},   {52, 64},  {53, 96},  {54, 112},
                                                {55, 128}, {56, 144}, {57, 160},  {58, 176},  {59, 192}, {60, 224}, {64, 288},
                                                {65, 320}, {80, 592}, {47, 192},  {24, -448}, {25, -208}, {37, 16}, {23, 0},
                                                {81, 0},   {0, 0},    {255, 0}};
    for (auto [note, x] : expected) EXPECT_EQ(noteLaneX(static_cast<uint8_t>(note)), x) << "note " << note;

    // Keys centred at (slot + 1) * 16 on the 640-pixel keyboard; the marker placed by slot.
    for (int32_t width = 100; width <= 2000; ++width) {
        settings.windowWidth = width;
        for (uint8_t note = 48; note <= 80; ++note)
            ASSERT_TRUE(std::abs(noteLaneX(note) + 16 - (noteLaneSlot(note) + 1) * 16.0 * width / 640.0) <= 1.0 &&
                        laneSlotX(noteLaneSlot(note), width) == noteLaneX(note)) << width << " " << int(note);
    }
    settings.windowWidth = 640;
}

}  // namespace
