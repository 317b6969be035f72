#include "play_simulation.h"

#include <vector>

#include "platform/clock.h"
#include "platform/host/fake_clock.h"
#include "platform/midi.h"
#include "playback/key_tempo.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "playback/sequencer.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/melody_preview.h"
#include "song/song_model.h"

namespace {

// A MIDI output that hands each message on as a record at the simulated time.
class RecordSink : public platform::MidiOutput {
public:
    RecordSink(platform::FakeClock& clock, const std::function<void(const PlayRecord&)>& sink)
        : clock_(clock), sink_(sink) {}
    uint32_t midiOutOpen(uintptr_t* handle) override {
        *handle = 1;
        return 0;
    }
    uint32_t midiOutShortMsg(uintptr_t, uint32_t message) override {
        sink_(PlayRecord{PlayRecord::Kind::Send, clock_.now(), message});
        return 0;
    }
    uint32_t midiOutReset(uintptr_t) override { return 0; }
    uint32_t midiOutClose(uintptr_t) override { return 0; }

private:
    platform::FakeClock& clock_;
    const std::function<void(const PlayRecord&)>& sink_;
};

// Hands on the bars pushed since the last call, oldest first, and lets them go.
void takeNewBars(uint32_t ms, const std::function<void(const PlayRecord&)>& sink) {
    std::vector<float> pushed;
    {
        std::lock_guard<std::mutex> guard(noteBars.lock);
        for (const NoteBar* bar = noteBars.head; bar; bar = bar->next) pushed.push_back(bar->x);
    }
    noteBars.clear();
    for (auto x = pushed.rbegin(); x != pushed.rend(); ++x)
        sink(PlayRecord{PlayRecord::Kind::Bar, ms, static_cast<int64_t>(*x)});
}

}  // namespace

PlayResult simulatePlay(const char* path, const PlayOptions& options,
                        const std::function<void(const PlayRecord&)>& sink) {
    platform::FakeClock clock;
    RecordSink output(clock, sink);
    platform::installClock(&clock);
    platform::installMidi(&output);

    settings.critique.store(options.critique ? 1 : 0);
    settings.silenceMelody.store(options.silenceMelody ? 1 : 0);
    keyShift.store(options.key);
    tempoPercent.store(options.tempo);
    noteBars.clear();

    PlayResult result = PlayResult::Ended;
    if (loadSong(path) == 0) {
        result = PlayResult::Refused;
    } else {
        if (options.critique) buildMelodyPreview();
        playback.currentLine.store(0);
        playback.currentSyllable.store(0);
        playback.drawnLine.store(-1);
        rewindSongPosition();
        uintptr_t device = 0;
        output.midiOutOpen(&device);
        playback.midiOut.store(device);
        playback.busy.store(0);
        playback.playing.store(1);

        uint64_t ms = 0;
        while (playback.playing.load() != 0) {
            ms += timerPeriodMs;
            if (ms > options.maxMs) {
                result = PlayResult::TooLong;
                break;
            }
            const int32_t line = playback.currentLine.load();
            const int32_t syllable = playback.currentSyllable.load();
            clock.set(static_cast<uint32_t>(ms));
            sequencerTick(1, 0, timerPeriodMs, 0, 0);
            const uint32_t now = static_cast<uint32_t>(ms);
            takeNewBars(now, sink);
            if (playback.currentLine.load() != line)
                sink(PlayRecord{PlayRecord::Kind::Line, now, playback.currentLine.load()});
            if (playback.currentSyllable.load() != syllable)
                sink(PlayRecord{PlayRecord::Kind::Syllable, now, playback.currentSyllable.load()});
            if (playback.playing.load() == 0) sink(PlayRecord{PlayRecord::Kind::End, now, 0});
        }
        playback.playing.store(0);
        playback.midiOut.store(0);
    }

    keyShift.store(0);
    tempoPercent.store(kTempoOriginal);
    platform::installMidi(nullptr);
    platform::installClock(nullptr);
    return result;
}
