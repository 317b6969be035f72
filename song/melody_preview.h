#pragma once
// The melody preview of critique mode: copies of the melody's note-ons and note-offs put into
// `songEvents` four seconds (160 timer periods) of song time ahead of the notes, so that a
// note bar pushed for a copy reaches the judging zone when the note itself is due.

void buildMelodyPreview();
