#!/usr/bin/python3
"""Key and tempo as a listener hears them, for the key and tempo tests.

usage: keyshift.py expect KEY PERCENT < EVENTS
         song_events.py's listing as the program should send it at KEY semitones and PERCENT of
         the tempo: notes, note-offs and key pressure off the drum channel (the tenth) shifted,
         those leaving 0..127 left out, every time stretched by 100 / PERCENT
       keyshift.py shifts EVENTS LOG
         how the notes of the log (up to its first RESET) stand to the song's: pairing the k-th
         note event of each channel in both, prints "keys <distinct shifts of note-ons>",
         "drums <distinct shifts on the drum channel>" and "carried <note-offs whose shift is not
         the one the last note-on before them went out with>", i.e. released after a key change
"""

import sys


def note_events(lines):
    """Per channel, the (kind, note) of every note-on and note-off in order; kind 'on' or 'off'."""
    per = {}
    for fields in lines:
        status = int(fields[0], 16)
        kind = status >> 4
        if kind not in (8, 9) or len(fields) < 3:
            continue
        note, velocity = int(fields[1], 16), int(fields[2], 16)
        on = kind == 9 and velocity > 0
        per.setdefault(status & 15, []).append(("on" if on else "off", note))
    return per


def expect(key, percent):
    for line in sys.stdin:
        fields = line.split()
        if not fields:
            continue
        ms = float(fields[0]) * 100.0 / percent
        data = [int(f, 16) for f in fields[1:]]
        if data[0] >> 4 in (8, 9, 10) and data[0] & 15 != 9:
            data[1] += key
            if not 0 <= data[1] <= 127:
                continue
        print("%.3f %s" % (ms, " ".join("%02x" % b for b in data)))


def shifts(events_path, log_path):
    song = note_events(line.split()[1:] for line in open(events_path) if line.strip())
    sent = []
    for line in open(log_path):
        fields = line.split()
        if len(fields) >= 2 and fields[1] == "RESET":
            break
        if len(fields) >= 3 and fields[1] == "DATA":
            sent.append(fields[2:])
    # Each sent note event beside the song's event of the same rank on its channel, in the
    # log's order.
    timeline, rank = [], {}
    for fields in sent:
        for channel, events in note_events([fields]).items():
            kind, note = events[0]
            index = rank.get(channel, 0)
            rank[channel] = index + 1
            if index < len(song.get(channel, [])):
                timeline.append((channel, kind, note - song[channel][index][1]))
    keys = {shift for channel, kind, shift in timeline if channel != 9 and kind == "on"}
    drums = {shift for channel, kind, shift in timeline if channel == 9}
    carried, last_on = 0, None
    for channel, kind, shift in timeline:
        if channel == 9:
            continue
        if kind == "on":
            last_on = shift
        elif last_on is not None and shift != last_on:
            carried += 1
    print("keys", " ".join(str(k) for k in sorted(keys)))
    print("drums", " ".join(str(k) for k in sorted(drums)))
    print("carried", carried)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "expect":
        expect(int(sys.argv[2]), float(sys.argv[3]))
    elif len(sys.argv) == 4 and sys.argv[1] == "shifts":
        shifts(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
