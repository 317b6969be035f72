#include <gtest/gtest.h>

#include <vector>

#include "song/song_model.h"

namespace {

std::vector<uint32_t> messages(const EventList& list) {
    std::vector<uint32_t> out;
    for (const EventNode* node = list.head; node; node = node->next) out.push_back(node->message);
    return out;
}

// The search starts at the last insert (so one track's run keeps its order), or at the head
// for an earlier tick or when a run used the cursor up; it stops in front of the first later
// node, or the first of equal tick it passes.
TEST(EventList, KeepsTickOrderAndTheOrderOfEqualTicksWhereverTheSearchStarts) {
    EventList list;
    EXPECT_TRUE(list.empty());
    const std::pair<uint32_t, int32_t> inserts[] = {{1, 10}, {2, 20}, {3, 20}, {4, 30}, {5, 20},
                                                    {6, 5},  {7, 30}, {8, -3000}, {9, -100}};
    for (auto [message, tick] : inserts) EXPECT_TRUE(list.insert(message, tick, 0));
    EXPECT_EQ(messages(list), (std::vector<uint32_t>{8, 9, 6, 1, 5, 2, 3, 7, 4}));
    EXPECT_EQ(list.tail->message, 4u);
    EXPECT_EQ(list.cursor->message, 9u);
    list.cursor = nullptr;  // as the sequencer leaves it at the end of a song
    list.insert(10, 20, 0);
    EXPECT_EQ(messages(list), (std::vector<uint32_t>{8, 9, 6, 1, 10, 5, 2, 3, 7, 4}));
    list.clear();
    EXPECT_TRUE(list.head == nullptr && list.tail == nullptr && list.cursor == nullptr);
}

}  // namespace
