#include <windows.h>
#include <mmsystem.h>

#include "platform/midi.h"

namespace platform {
namespace {

HMIDIOUT asHandle(uintptr_t handle) { return reinterpret_cast<HMIDIOUT>(handle); }

class WinmmMidiOutput : public MidiOutput {
public:
    uint32_t midiOutOpen(uintptr_t* handle) override {
        HMIDIOUT opened = nullptr;
        MMRESULT result = ::midiOutOpen(&opened, MIDI_MAPPER, 0, 0, CALLBACK_NULL);
        if (handle) *handle = result == MMSYSERR_NOERROR ? reinterpret_cast<uintptr_t>(opened) : 0;
        return result;
    }
    uint32_t midiOutShortMsg(uintptr_t handle, uint32_t message) override {
        return ::midiOutShortMsg(asHandle(handle), message);
    }
    uint32_t midiOutReset(uintptr_t handle) override { return ::midiOutReset(asHandle(handle)); }
    uint32_t midiOutClose(uintptr_t handle) override { return ::midiOutClose(asHandle(handle)); }
};

}  // namespace

MidiOutput& defaultMidi() {
    static WinmmMidiOutput output;
    return output;
}

}  // namespace platform
