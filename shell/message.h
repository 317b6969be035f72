#pragma once
// The standard message box of every error message: owned by the main window, caption
// "Lyrivox!", MB_OK | MB_ICONEXCLAMATION; playback pauses (busy) while it is open.

int showMessage(const char* text);
