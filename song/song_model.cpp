#include "song/song_model.h"

#include <new>

EventList songEvents;
EventList melodyEvents;

LyricLine lyricLines[kLyricLineCapacity];
Syllable syllables[kSyllableCapacity];

std::atomic<int32_t> lineCount{0};
std::atomic<int32_t> syllableCount{0};
int32_t widestLineWidth = 0;
int32_t melodyTrackFound = 0;
float ticksPerQuarter = 1.0f;
char songTitle[kLyricLineChars];
std::atomic<uint32_t> ticksPerPeriod{25u << kPeriodFractionBits};

bool EventList::insert(uint32_t message, int32_t tick, uint32_t melody, uint32_t periodTicks) {
    EventNode* node = new (std::nothrow) EventNode{message, tick, melody, nullptr, periodTicks};
    if (!node) return false;

    if (!head) {
        head = tail = cursor = node;
        return true;
    }
    // Searching on from the node inserted last keeps one track's run of inserts cheap; an
    // earlier tick starts over at the head, and so does a list whose cursor a run has used up.
    EventNode* start = (!cursor || tick < cursor->tick) ? head : cursor;
    if (start == head && tick < head->tick) {
        node->next = head;
        head = cursor = node;
        return true;
    }
    while (start->next && start->next->tick < tick) start = start->next;
    node->next = start->next;
    start->next = node;
    if (start == tail) tail = node;
    cursor = node;
    return true;
}

void EventList::clear() {
    EventNode* node = head;
    while (node) {
        EventNode* next = node->next;
        delete node;
        node = next;
    }
    cursor = head = tail = nullptr;
}
