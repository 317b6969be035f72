#pragma once
// The one loaded song: two tick-sorted event lists that drive playback, the lyric lines and
// syllables, and the song's timing values. Process-wide, written by the loader and the melody
// preview between runs, read by the sequencer and the painter during a run.

#include <atomic>
#include <cstdint>

// One timed event. `message` packs a short message (status | data1 << 8 | data2 << 16) or a
// tempo record (0xFF | 0x51 << 8 | whole ticks per period << 16 | top fraction byte << 24).
struct EventNode {
    uint32_t message;
    int32_t tick;
    uint32_t melody;  // 1 for events of a melody track and for melody preview copies
    EventNode* next;
    // Tempo records only: ticks per timer period as 8.24 fixed point. The whole part is the
    // message's second data byte; the fraction keeps the song on the file's tempo.
    uint32_t periodTicks;
};

constexpr uint32_t kTempoStatus = 0xFF;
constexpr uint32_t kTempoType = 0x51;

inline uint32_t statusOf(uint32_t message) { return message & 0xFF; }
inline uint32_t data1Of(uint32_t message) { return (message >> 8) & 0xFF; }
inline uint32_t data2Of(uint32_t message) { return (message >> 16) & 0xFF; }
inline bool isTempoRecord(const EventNode& node) { return statusOf(node.message) == kTempoStatus; }

// A singly linked list kept in non-decreasing tick order. `cursor` is where the next insertion
// search starts and, after a load, the sequencer's play position.
class EventList {
public:
    EventList() = default;
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;
    ~EventList() { clear(); }

    // Links a new node in tick order after the nodes of equal tick that came before it in this
    // run of inserts. Returns false (and changes nothing) when no node could be allocated.
    bool insert(uint32_t message, int32_t tick, uint32_t melody, uint32_t periodTicks = 0);
    void clear();
    bool empty() const { return head == nullptr; }

    EventNode* cursor = nullptr;
    EventNode* head = nullptr;
    EventNode* tail = nullptr;
};

extern EventList songEvents;
extern EventList melodyEvents;

constexpr int kLyricLineCapacity = 125;
constexpr int kLyricLineChars = 80;  // at most 79 are ever written
constexpr int kSyllableCapacity = 1000;

struct LyricLine {
    char text[kLyricLineChars];  // not terminated: `length` counts the characters
    uint8_t length;
    int32_t startTick;
};

struct Syllable {
    int32_t centerX;  // pixels from the left edge of the line's text
    int32_t tick;
    int32_t line;     // the lyric line it belongs to
    uint8_t endChar;  // the line's characters up to and with this syllable
};

extern LyricLine lyricLines[kLyricLineCapacity];
extern Syllable syllables[kSyllableCapacity];

extern std::atomic<int32_t> lineCount;
extern std::atomic<int32_t> syllableCount;
extern int32_t widestLineWidth;  // widest line of any load since start; only ever raised
extern int32_t melodyTrackFound;
extern float ticksPerQuarter;  // division of the last metrical header read
constexpr int kDefaultDivision = 480;  // for tracks before any header and a division of 0

// The loaded song's title for the window caption, terminated.
extern char songTitle[kLyricLineChars];

// Ticks that one timer period advances song time, as 8.24 fixed point. The whole part is
// what the rest of the program calls the step; the fraction accumulates so that a song keeps
// the file's tempo: 24 fraction bits, rounded down, leave under a hundredth of a tick of
// drift over an hour, always late, never early.
// A plain unsigned value, so that scaling it (a tempo factor) is one multiplication.
extern std::atomic<uint32_t> ticksPerPeriod;
constexpr int kPeriodFractionBits = 24;
constexpr uint32_t kPeriodOne = 1u << kPeriodFractionBits;  // one tick per period
constexpr uint32_t kPeriodMax = 0xFFFFFFFFu;                // just below 256 ticks per period
inline int32_t wholeTicks(uint32_t periodTicks) {
    return static_cast<int32_t>(periodTicks >> kPeriodFractionBits);
}

// Ticks per period (8.24) that a tempo record brings: its own fixed-point value, or its
// second data byte for a record made without one. Never 0, so song time always moves.
inline uint32_t tempoPeriodTicks(const EventNode& record) {
    const uint32_t period =
        record.periodTicks ? record.periodTicks : data2Of(record.message) << kPeriodFractionBits;
    return period == 0 ? 1 : period;
}

constexpr uint32_t timerPeriodMs = 25;
