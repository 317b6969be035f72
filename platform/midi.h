#pragma once
// MIDI output: the one output device a playback run sends its short messages to. The Windows
// program implements it on WINMM (platform/win32); the host build has a recording stand-in
// (platform/host/recording_midi.h) that tests and tools can inspect and make fail.

#include <cstdint>

namespace platform {

class MidiOutput {
public:
    virtual ~MidiOutput() = default;

    // midiOutOpen on the default output (the MIDI mapper, device 0xFFFFFFFF) with no callback;
    // the handle goes to `handle`. 0 on success, an MMRESULT error otherwise.
    virtual uint32_t midiOutOpen(uintptr_t* handle) = 0;
    // midiOutShortMsg: status | data1 << 8 | data2 << 16.
    virtual uint32_t midiOutShortMsg(uintptr_t handle, uint32_t message) = 0;
    // midiOutReset: turns off every note still sounding on every channel.
    virtual uint32_t midiOutReset(uintptr_t handle) = 0;
    virtual uint32_t midiOutClose(uintptr_t handle) = 0;
};

// The MIDI output in force. Tests install their own; nullptr puts the default back.
MidiOutput& midi();
void installMidi(MidiOutput* output);

// The default implementation, one per build (platform/win32 or platform/host).
MidiOutput& defaultMidi();

}  // namespace platform
