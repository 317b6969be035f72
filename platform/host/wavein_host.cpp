#include <algorithm>
#include <cstring>

#include "platform/host/fake_wave_in.h"

namespace platform {

// The device thread starts once every member is initialised.
FakeWaveIn::FakeWaveIn() { thread_ = std::thread([this] { run(); }); }

FakeWaveIn::~FakeWaveIn() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        shutdown_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

uint32_t FakeWaveIn::enter(Call call, const char* name) {
    ++calls_[call];
    log_.push_back(name);
    return failing_[call] ? kError : kNoError;
}

void FakeWaveIn::failCall(Call call, bool failing) {
    std::lock_guard<std::mutex> guard(mutex_);
    failing_[call] = failing;
}

uint32_t FakeWaveIn::waveInOpen(uintptr_t* device, const WaveFormat& format,
                                WaveInCallback callback, uintptr_t instance) {
    uintptr_t handle;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        *device = 0;
        if (uint32_t result = enter(kOpen, "open")) return result;
        if (handle_ != 0) return kError;  // the one device is in use
        handle = handle_ = nextHandle_++;
        callback_ = callback;
        instance_ = instance;
        format_ = format;
        started_ = false;
    }
    // The device announces itself before the open returns.
    if (callback) callback(handle, kWimOpen, instance, 0, 0);
    *device = handle;
    return kNoError;
}

uint32_t FakeWaveIn::waveInPrepareHeader(uintptr_t device, WaveHeader* header) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (uint32_t result = enter(kPrepare, "prepare")) return result;
    if (!validLocked(device)) return kInvalidHandle;
    if (!header || !header->data || header->bufferLength == 0) return kError;
    header->flags |= kPrepared;
    prepared_.insert(header);
    return kNoError;
}

uint32_t FakeWaveIn::waveInUnprepareHeader(uintptr_t device, WaveHeader* header) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (uint32_t result = enter(kUnprepare, "unprepare")) return result;
    if (!validLocked(device)) return kInvalidHandle;
    if (std::find(queue_.begin(), queue_.end(), header) != queue_.end()) return kStillPlaying;
    if (!prepared_.count(header)) return kNoError;  // unpreparing twice is harmless
    header->flags &= ~kPrepared;
    prepared_.erase(header);
    return kNoError;
}

uint32_t FakeWaveIn::waveInAddBuffer(uintptr_t device, WaveHeader* header) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (uint32_t result = enter(kAddBuffer, "add")) return result;
        if (!validLocked(device)) return kInvalidHandle;
        if (!prepared_.count(header)) return kUnprepared;
        if (std::find(queue_.begin(), queue_.end(), header) != queue_.end()) return kStillPlaying;
        header->flags = (header->flags & ~kDone) | kInQueue;
        header->bytesRecorded = 0;
        queue_.push_back(header);
    }
    changed_.notify_all();
    return kNoError;
}

uint32_t FakeWaveIn::waveInStart(uintptr_t device) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (uint32_t result = enter(kStart, "start")) return result;
        if (!validLocked(device)) return kInvalidHandle;
        started_ = true;
    }
    changed_.notify_all();
    return kNoError;
}

uint32_t FakeWaveIn::waveInReset(uintptr_t device) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (uint32_t result = enter(kReset, "reset")) return result;
    if (!validLocked(device)) return kInvalidHandle;
    if (resetFromCaller_) {
        returnQueued(lock);
        return kNoError;
    }
    // The device thread gives the buffers back; the reset returns once it has.
    resetRequested_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !resetRequested_; });
    return kNoError;
}

uint32_t FakeWaveIn::waveInClose(uintptr_t device) {
    WaveInCallback callback;
    uintptr_t instance;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (uint32_t result = enter(kClose, "close")) return result;
        if (!validLocked(device)) return kInvalidHandle;
        if (!queue_.empty()) return kStillPlaying;
        handle_ = 0;
        started_ = false;
        prepared_.clear();
        pending_.clear();
        callback = callback_;
        instance = instance_;
    }
    // The device says goodbye before the close returns.
    if (callback) callback(device, kWimClose, instance, 0, 0);
    return kNoError;
}

void FakeWaveIn::feed(const std::vector<int16_t>& samples) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (int16_t sample : samples) {
            auto value = static_cast<uint16_t>(sample);
            pending_.push_back(static_cast<uint8_t>(value & 0xFF));
            pending_.push_back(static_cast<uint8_t>(value >> 8));
        }
    }
    changed_.notify_all();
}

bool FakeWaveIn::waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] {
        return !delivering_ && !resetRequested_ && (pending_.empty() || !started_);
    });
}

void FakeWaveIn::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return shutdown_ || resetRequested_ || (started_ && !pending_.empty());
        });
        if (shutdown_) return;

        if (resetRequested_) {
            returnQueued(lock);
            resetRequested_ = false;
            changed_.notify_all();
            continue;
        }

        if (queue_.empty()) {
            // Nothing to record into: the sound is lost, as on a real device.
            dropped_ += pending_.size();
            pending_.clear();
            changed_.notify_all();
            continue;
        }

        WaveHeader* head = queue_.front();
        size_t room = head->bufferLength - headFill_;
        size_t count = std::min(room, pending_.size());
        std::copy(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count),
                  head->data + headFill_);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
        headFill_ += static_cast<uint32_t>(count);
        if (headFill_ < head->bufferLength) {
            changed_.notify_all();
            continue;
        }

        queue_.pop_front();
        headFill_ = 0;
        head->bytesRecorded = head->bufferLength;
        head->flags = (head->flags & ~kInQueue) | kDone;
        delivering_ = true;
        giveBack(lock, head);
        delivering_ = false;
        changed_.notify_all();
    }
}

void FakeWaveIn::giveBack(std::unique_lock<std::mutex>& lock, WaveHeader* header) {
    // The callback runs without the lock, as a real device's does: it may queue the buffer again.
    WaveInCallback callback = callback_;
    const uintptr_t handle = handle_;
    const uintptr_t instance = instance_;
    lock.unlock();
    if (callback) callback(handle, kWimData, instance, reinterpret_cast<uintptr_t>(header), 0);
    lock.lock();
    ++deliveries_;
}

void FakeWaveIn::returnQueued(std::unique_lock<std::mutex>& lock) {
    std::deque<WaveHeader*> returned;
    returned.swap(queue_);
    for (size_t i = 0; i < returned.size(); ++i) {
        returned[i]->bytesRecorded = i == 0 ? headFill_ : 0;
        returned[i]->flags = (returned[i]->flags & ~kInQueue) | kDone;
    }
    headFill_ = 0;
    started_ = false;
    pending_.clear();
    const bool wasDelivering = delivering_;
    delivering_ = true;
    for (WaveHeader* header : returned) giveBack(lock, header);
    delivering_ = wasDelivering;
}

void FakeWaveIn::resetFromCaller(bool fromCaller) {
    std::lock_guard<std::mutex> guard(mutex_);
    resetFromCaller_ = fromCaller;
}

int FakeWaveIn::calls(Call call) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_[call];
}

std::vector<std::string> FakeWaveIn::log() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return log_;
}

WaveFormat FakeWaveIn::format() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return format_;
}

int FakeWaveIn::queuedBuffers() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(queue_.size());
}

int FakeWaveIn::preparedHeaders() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(prepared_.size());
}

bool FakeWaveIn::isOpen() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return handle_ != 0;
}

int FakeWaveIn::deliveries() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return deliveries_;
}

size_t FakeWaveIn::droppedBytes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dropped_;
}

WaveInDevice& defaultWaveInDevice() {
    static FakeWaveIn device;
    return device;
}

}  // namespace platform
