#include "playback/key_tempo.h"

std::atomic<int32_t> keyShift{0};
std::atomic<int32_t> tempoPercent{kTempoOriginal};

namespace {

constexpr uint32_t kDrumChannel = 9;
constexpr int8_t kSilent = -128;  // no note-on of ours holds this note
constexpr int8_t kDropped = 127;  // its note-on fell out of range: so does its note-off

// Per channel and note as the song has it: the shift its sounding note-on went out with.
// Only the timer thread touches it, and only between runs is it reset.
int8_t sounding[16][128];
bool soundingReady = false;

void resetTable() {
    for (auto& channel : sounding)
        for (int8_t& note : channel) note = kSilent;
    soundingReady = true;
}

uint32_t withNote(uint32_t message, int32_t note) {
    return (message & 0xFFFF00FFu) | static_cast<uint32_t>(note) << 8;
}

}  // namespace

int32_t shiftedNote(uint32_t note, int32_t shift) {
    const int32_t shifted = static_cast<int32_t>(note) + shift;
    return shifted < 0 || shifted > 127 ? -1 : shifted;
}

void forgetSoundingNotes() {
    resetTable();
}

void sendAtKey(platform::MidiOutput& output, uintptr_t device, uint32_t message, int32_t shift) {
    const uint32_t status = message & 0xFF;
    const uint32_t kind = status & 0xF0;
    const uint32_t channel = status & 0x0F;
    if ((kind != 0x80 && kind != 0x90 && kind != 0xA0) || channel == kDrumChannel) {
        output.midiOutShortMsg(device, message);
        return;
    }
    if (!soundingReady) resetTable();

    const uint32_t note = (message >> 8) & 0x7F;
    int8_t& held = sounding[channel][note];
    const bool release = kind == 0x80 || (kind == 0x90 && ((message >> 16) & 0xFF) == 0);

    if (kind == 0x90 && !release) {
        // A note struck again at another key first lets go of where it sounded before.
        if (held != kSilent && held != kDropped && held != shift)
            output.midiOutShortMsg(
                device, (0x80 | channel) | static_cast<uint32_t>(note + held) << 8 | 0x40u << 16);
        const int32_t out = shiftedNote(note, shift);
        held = out < 0 ? kDropped : static_cast<int8_t>(shift);
        if (out >= 0) output.midiOutShortMsg(device, withNote(message, out));
        return;
    }

    // A note-off or a key pressure follows its note-on; one we never sent goes at the key now.
    const int32_t applied = held == kSilent ? shift : held;
    if (release) held = kSilent;
    if (applied == kDropped) return;
    const int32_t out = shiftedNote(note, applied);
    if (out >= 0) output.midiOutShortMsg(device, withNote(message, out));
}
