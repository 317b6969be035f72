#include "voice/recording.h"

#include <cstring>

#include "platform/file_move.h"
#include "platform/save_dialog.h"
#include "platform/window.h"
#include "shell/app_strings.h"
#include "shell/commands.h"
#include "shell/message.h"
#include "shell/paths.h"
#include "shell/settings.h"

char recordingPath[260];
std::atomic<FILE*> recordingFile{nullptr};
std::atomic<uint32_t> recordedBytes{0};
char saveFileName[260];
char saveFolder[260];

namespace {

void putLe(unsigned char* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void writeLe32(FILE* file, long offset, uint32_t value) {
    unsigned char bytes[4];
    putLe(bytes, value, 4);
    std::fseek(file, offset, SEEK_SET);
    std::fwrite(bytes, 1, 4, file);
}

}  // namespace

void CreateRecording() {
    if (recordingFile.load()) FinishRecording();
    recordedBytes.store(0);
    FILE* file = std::fopen(recordingPath, "w+b");
    if (!file) {
        showMessage(appString(IDS_CANNOT_CREATE_RECORDING));
        return;
    }
    const uint32_t channels = settings.channels;
    const uint32_t rate = settings.sampleRate;
    const uint32_t bits = settings.bitsPerSample;
    unsigned char header[kWaveHeaderBytes];
    std::memcpy(header + 0, "RIFF", 4);
    putLe(header + 4, 36, 4);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    putLe(header + 16, 16, 4);
    putLe(header + 20, 1, 2);  // PCM
    putLe(header + 22, channels, 2);
    putLe(header + 24, rate, 4);
    putLe(header + 28, bits * rate * channels / 8, 4);
    putLe(header + 32, bits * channels / 8, 2);
    putLe(header + 34, bits, 2);
    std::memcpy(header + 36, "data", 4);
    putLe(header + 40, 0, 4);
    std::fwrite(header, 1, sizeof header, file);
    recordingFile.store(file);
}

void AppendRecording(const platform::WaveHeader* header) {
    if (!header) return;
    const uint32_t bytes = header->bytesRecorded;
    FILE* file = recordingFile.load();
    if (file && bytes > 0 && header->data) {
        // Count what reached the file, so that the sizes never claim data that is not there.
        size_t written = std::fwrite(header->data, 1, bytes, file);
        recordedBytes.fetch_add(static_cast<uint32_t>(written));
    } else {
        recordedBytes.fetch_add(bytes);
    }
}

void FinishRecording() {
    FILE* file = recordingFile.exchange(nullptr);
    if (!file) return;
    const uint32_t bytes = recordedBytes.load();
    writeLe32(file, 4, bytes + 36);
    writeLe32(file, 40, bytes);
    std::fclose(file);
}

void SaveRecordingAs() {
    // The recording being written cannot be moved (Windows refuses to move an open file);
    // refuse it the same way everywhere rather than move half a take.
    if (recordingFile.load()) {
        showMessage(appString(IDS_CANNOT_CREATE_RECORDING));
        return;
    }
    if (saveFolder[0] == '\0') pathBesideExecutable(saveFolder, "", "media\\wave\\");

    static const char kFilter[] = "Wave Files\0*.wav\0";
    platform::FileDialog dialog{};
    dialog.filter = kFilter;
    dialog.filterIndex = 1;
    dialog.file = saveFileName;
    dialog.fileCapacity = sizeof saveFileName;
    dialog.initialFolder = saveFolder;
    dialog.title = "Save Wave File";
    dialog.defaultExtension = ".wav";
    dialog.flags = platform::kOfnOverwritePrompt | platform::kOfnHideReadOnly |
                   platform::kOfnPathMustExist | platform::kOfnNoReadOnlyReturn;
    saveFileName[sizeof saveFileName - 1] = '\0';
    if (platform::saveDialog().getSaveFileName(dialog)) {
        saveFileName[sizeof saveFileName - 1] = '\0';
        // Replaces a file of that name in one step: when the move fails it is left untouched.
        if (!platform::fileMove().moveFileEx(recordingPath, saveFileName))
            showMessage(appString(IDS_CANNOT_CREATE_RECORDING));
    }

    // The next dialog opens in the folder of the last name; an empty name brings back the
    // default.
    std::memcpy(saveFolder, saveFileName, sizeof saveFolder);
    saveFolder[sizeof saveFolder - 1] = '\0';
    // Cut after the folder's backslash (kept); a name without a folder stays as it is.
    const int cut = folderEnd(saveFolder);
    if (cut >= 0) saveFolder[cut + 1] = '\0';
}
