#pragma once
// The host stand-in for the MIDI output: it records every call with the millisecond counter's
// reading at the time, hands out handles 1, 2, 3, ..., keeps count of the devices left open,
// and can be told to fail each call.

#include <functional>
#include <mutex>
#include <vector>

#include "platform/midi.h"

namespace platform {

class RecordingMidiOutput : public MidiOutput {
public:
    enum class Call { Open, ShortMsg, Reset, Close };
    struct Record {
        Call call;
        uintptr_t handle;
        uint32_t message;  // short messages only
        uint32_t ms;       // the millisecond counter when the call was made
    };

    uint32_t midiOutOpen(uintptr_t* handle) override;
    uint32_t midiOutShortMsg(uintptr_t handle, uint32_t message) override;
    uint32_t midiOutReset(uintptr_t handle) override;
    uint32_t midiOutClose(uintptr_t handle) override;

    // The result the next calls of a kind give (0 succeeds). A failed open hands out no
    // handle; a failed close leaves the device open.
    void setResult(Call call, uint32_t result);
    // Called after each short message is recorded (for instance to let time pass).
    void setOnShortMsg(std::function<void(uint32_t message)> hook);

    std::vector<Record> records() const;
    std::vector<uint32_t> sent() const;  // the short messages, in order
    int openDevices() const;             // opened and not yet closed
    // Whether a reset came after the last short message of `handle` and before its close.
    bool resetBeforeClose(uintptr_t handle) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
    uint32_t results_[4] = {0, 0, 0, 0};
    uintptr_t nextHandle_ = 1;
    int open_ = 0;
    std::function<void(uint32_t)> onShortMsg_;
};

}  // namespace platform
