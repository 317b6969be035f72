#include "platform/wavein.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<WaveInDevice*> installedDevice{nullptr};
}

WaveInDevice& waveInDevice() {
    WaveInDevice* device = installedDevice.load(std::memory_order_acquire);
    return device ? *device : defaultWaveInDevice();
}

void installWaveInDevice(WaveInDevice* device) {
    installedDevice.store(device, std::memory_order_release);
}

}  // namespace platform
