#include <atomic>

#include "platform/file_move.h"
#include "platform/save_dialog.h"

namespace platform {
namespace {
std::atomic<SaveDialog*> installedSaveDialog{nullptr};
std::atomic<FileMove*> installedFileMove{nullptr};
}  // namespace

SaveDialog& saveDialog() {
    SaveDialog* dialog = installedSaveDialog.load(std::memory_order_acquire);
    return dialog ? *dialog : defaultSaveDialog();
}

void installSaveDialog(SaveDialog* dialog) {
    installedSaveDialog.store(dialog, std::memory_order_release);
}

FileMove& fileMove() {
    FileMove* mover = installedFileMove.load(std::memory_order_acquire);
    return mover ? *mover : defaultFileMove();
}

void installFileMove(FileMove* mover) { installedFileMove.store(mover, std::memory_order_release); }

}  // namespace platform
