#pragma once
// File > Open: the dialog, the stage made ready, the load, and the start of the run.

extern char songFileName[260];  // the last chosen path; offered again by the next dialog
extern char songFolder[260];    // where the next dialog starts

void openSong();
