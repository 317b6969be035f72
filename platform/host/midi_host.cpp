#include "platform/clock.h"
#include "platform/host/recording_midi.h"

namespace platform {

uint32_t RecordingMidiOutput::midiOutOpen(uintptr_t* handle) {
    uint32_t ms = clock().getTickCount();
    std::lock_guard<std::mutex> guard(mutex_);
    uint32_t result = results_[static_cast<int>(Call::Open)];
    uintptr_t given = 0;
    if (result == 0) {
        given = nextHandle_++;
        ++open_;
    }
    if (handle) *handle = given;
    records_.push_back(Record{Call::Open, given, 0, ms});
    return result;
}

uint32_t RecordingMidiOutput::midiOutShortMsg(uintptr_t handle, uint32_t message) {
    uint32_t ms = clock().getTickCount();
    std::function<void(uint32_t)> hook;
    uint32_t result;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        records_.push_back(Record{Call::ShortMsg, handle, message, ms});
        result = results_[static_cast<int>(Call::ShortMsg)];
        hook = onShortMsg_;
    }
    if (hook) hook(message);
    return result;
}

uint32_t RecordingMidiOutput::midiOutReset(uintptr_t handle) {
    uint32_t ms = clock().getTickCount();
    std::lock_guard<std::mutex> guard(mutex_);
    records_.push_back(Record{Call::Reset, handle, 0, ms});
    return results_[static_cast<int>(Call::Reset)];
}

uint32_t RecordingMidiOutput::midiOutClose(uintptr_t handle) {
    uint32_t ms = clock().getTickCount();
    std::lock_guard<std::mutex> guard(mutex_);
    records_.push_back(Record{Call::Close, handle, 0, ms});
    uint32_t result = results_[static_cast<int>(Call::Close)];
    if (result == 0 && handle != 0) --open_;
    return result;
}

void RecordingMidiOutput::setResult(Call call, uint32_t result) {
    std::lock_guard<std::mutex> guard(mutex_);
    results_[static_cast<int>(call)] = result;
}

void RecordingMidiOutput::setOnShortMsg(std::function<void(uint32_t)> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    onShortMsg_ = std::move(hook);
}

std::vector<RecordingMidiOutput::Record> RecordingMidiOutput::records() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return records_;
}

std::vector<uint32_t> RecordingMidiOutput::sent() const {
    std::vector<uint32_t> messages;
    for (const Record& record : records())
        if (record.call == Call::ShortMsg) messages.push_back(record.message);
    return messages;
}

int RecordingMidiOutput::openDevices() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return open_;
}

bool RecordingMidiOutput::resetBeforeClose(uintptr_t handle) const {
    bool reset = false;
    for (const Record& record : records()) {
        if (record.handle != handle) continue;
        if (record.call == Call::ShortMsg) reset = false;
        if (record.call == Call::Reset) reset = true;
        if (record.call == Call::Close) return reset;
    }
    return false;
}

void RecordingMidiOutput::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    records_.clear();
    for (uint32_t& result : results_) result = 0;
    open_ = 0;
    onShortMsg_ = nullptr;
}

MidiOutput& defaultMidi() {
    static RecordingMidiOutput output;
    return output;
}

}  // namespace platform
