#include <gtest/gtest.h>

#include <vector>

#include "song/song_model.h"

namespace {

struct Entry {
    int32_t tick;
    uint32_t message;
};

std::vector<Entry> entries(const EventList& list) {
    std::vector<Entry> out;
    for (const EventNode* node = list.head; node; node = node->next) out.push_back({node->tick, node->message});
    return out;
}

TEST(EventList, KeepsInsertionOrderWithinARunAndRestartsAtHeadForEarlierTicks) {
    EventList list;
    list.insert(1, 10, 0);
    list.insert(2, 20, 0);
    list.insert(3, 20, 0);
    list.insert(4, 30, 0);
    list.insert(5, 20, 0);  // earlier than the cursor: goes in front of the equal ticks
    std::vector<uint32_t> order;
    for (const Entry& e : entries(list)) order.push_back(e.message);
    EXPECT_EQ(order, (std::vector<uint32_t>{1, 5, 2, 3, 4}));
    EXPECT_EQ(list.tail->message, 4u);
    EXPECT_EQ(list.cursor->message, 5u);
}

TEST(EventList, NewHeadEqualTickAfterCursorAndNegativeTicks) {
    EventList list;
    list.insert(1, 10, 0);
    list.insert(2, 5, 0);
    EXPECT_EQ(list.head->message, 2u);

    list.insert(3, 30, 0);
    list.insert(4, 30, 0);
    EXPECT_EQ(list.tail->message, 4u);
    EXPECT_EQ(list.cursor, list.tail);

    list.insert(5, -3000, 1);
    list.insert(6, -100, 1);
    std::vector<int32_t> ticks;
    for (const Entry& e : entries(list)) ticks.push_back(e.tick);
    EXPECT_EQ(ticks, (std::vector<int32_t>{-3000, -100, 5, 10, 30, 30}));
}

TEST(EventList, ClearFreesEverythingWhereverTheCursorStands) {
    EventList list;
    list.clear();
    EXPECT_TRUE(list.empty());
    for (int i = 0; i < 5; ++i) list.insert(0x90, i, 0);
    list.cursor = nullptr;  // as the sequencer leaves it at the end of a song
    list.insert(0x80, 2, 0);  // an insert after a run searches from the head
    EXPECT_EQ(list.head->next->next->message, 0x80u);  // in front of the old tick 2
    list.clear();
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(list.cursor, nullptr);
}

}  // namespace
