// The accessors of the MIDI output, the millisecond counter and the multimedia timer: what a
// test installs wins over the build's default.
#include <atomic>

#include "platform/clock.h"
#include "platform/midi.h"
#include "platform/timer.h"

namespace platform {
namespace {
std::atomic<MidiOutput*> installedMidi{nullptr};
std::atomic<Clock*> installedClock{nullptr};
std::atomic<Timer*> installedTimer{nullptr};
}  // namespace

MidiOutput& midi() {
    MidiOutput* output = installedMidi.load(std::memory_order_acquire);
    return output ? *output : defaultMidi();
}
void installMidi(MidiOutput* output) { installedMidi.store(output, std::memory_order_release); }

Clock& clock() {
    Clock* source = installedClock.load(std::memory_order_acquire);
    return source ? *source : defaultClock();
}
void installClock(Clock* source) { installedClock.store(source, std::memory_order_release); }

Timer& timer() {
    Timer* source = installedTimer.load(std::memory_order_acquire);
    return source ? *source : defaultTimer();
}
void installTimer(Timer* source) { installedTimer.store(source, std::memory_order_release); }

}  // namespace platform
