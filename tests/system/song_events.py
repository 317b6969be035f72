#!/usr/bin/python3
"""Prints the channel events of a Standard MIDI File at their true times, for midicompare.py.

An independent reading of the file, sharing nothing with the program's loader: the tempo map
(metrical files start at 120 beats a minute; SMPTE files run at frames x ticks per second)
turns every event's tick into milliseconds from the song's start. One event a line,
"<ms> <status> <data...>" in hex, sorted by tick (stable: file track order, then file order).
Meta events and system exclusive are not sent, so they are not listed.

usage: song_events.py FILE [--melody-only|--no-melody] [--key=K] [--tempo=P] [--shifts=LOG]
  --melody-only  only the events of the track named "Melody..." or "Vocal..." (as a singer would
                 take them); --no-melody  every other event (what Silence Melody lets through)
  --key=K --tempo=P  the song as the program should send it at K semitones and P % of the tempo:
                 notes, note-offs and key pressure off the drum channel (the tenth) shifted, those
                 leaving 0..127 left out, every time stretched by 100 / P
  --shifts=LOG   instead, how the notes of LOG (up to its first RESET) stand to the song's:
                 pairing the k-th note event of each channel in both, prints "keys <distinct
                 shifts of note-ons>", "drums <distinct shifts on the drum channel>" and "carried
                 <note-offs whose shift is not the one the last note-on before them went out
                 with>", i.e. released after a key change
"""

import struct
import sys


def vlq(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


def read_tracks(path):
    data = open(path, "rb").read()
    if data[:4] != b"MThd":
        raise SystemExit("not a MIDI file: " + path)
    length = struct.unpack(">I", data[4:8])[0]
    fmt, _count, division = struct.unpack(">HHH", data[8:14])
    pos = 8 + length
    tracks = []
    while pos + 8 <= len(data):
        kind = data[pos:pos + 4]
        size = struct.unpack(">I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        pos += 8 + size
        if kind == b"MTrk":
            tracks.append(body)
    return fmt, division, tracks


def parse_track(body, start_tick=0):
    """(tick, kind, payload) for each event; kind 'channel', 'tempo', 'name', 'end'."""
    events = []
    tick = start_tick
    pos = 0
    running = 0
    while pos < len(body):
        delta, pos = vlq(body, pos)
        tick += delta
        if body[pos] & 0x80:
            running = body[pos]
            pos += 1
        status = running
        high = status >> 4
        if high in (0x8, 0x9, 0xA, 0xB, 0xE):
            events.append((tick, "channel", bytes([status, body[pos], body[pos + 1]])))
            pos += 2
        elif high in (0xC, 0xD):
            events.append((tick, "channel", bytes([status, body[pos]])))
            pos += 1
        elif status == 0xFF:
            kind = body[pos]
            length, pos = vlq(body, pos + 1)
            payload = body[pos:pos + length]
            pos += length
            if kind == 0x51:
                events.append((tick, "tempo", int.from_bytes(payload[:3], "big")))
            elif kind == 0x03:
                events.append((tick, "name", payload))
            elif kind == 0x2F:
                events.append((tick, "end", None))
                break
        elif status in (0xF0, 0xF7):
            length, pos = vlq(body, pos)
            pos += length
        else:
            raise SystemExit("unexpected status %02x" % status)
    return events, tick


def note_events(events):
    """Per channel, the (kind, note) of every note-on and note-off in order; kind 'on' or 'off'."""
    per = {}
    for data in events:
        if data[0] >> 4 in (8, 9) and len(data) >= 3:
            on = data[0] >> 4 == 9 and data[2] > 0
            per.setdefault(data[0] & 15, []).append(("on" if on else "off", data[1]))
    return per


def shifts(listing, log_path):
    song = note_events(data for _, data in listing)
    timeline, rank = [], {}
    for line in open(log_path):
        fields = line.split()
        if len(fields) >= 2 and fields[1] == "RESET":
            break
        if len(fields) < 3 or fields[1] != "DATA":
            continue
        # Each sent note event beside the song's event of the same rank on its channel.
        for channel, events in note_events([[int(f, 16) for f in fields[2:]]]).items():
            kind, note = events[0]
            index = rank[channel] = rank.get(channel, -1) + 1
            if index < len(song.get(channel, [])):
                timeline.append((channel, kind, note - song[channel][index][1]))
    keys = {shift for channel, kind, shift in timeline if channel != 9 and kind == "on"}
    drums = {shift for channel, kind, shift in timeline if channel == 9}
    carried, last_on = 0, None
    for channel, kind, shift in timeline:
        if channel != 9 and kind == "on":
            last_on = shift
        elif channel != 9 and last_on is not None and shift != last_on:
            carried += 1
    print("keys", " ".join(str(k) for k in sorted(keys)))
    print("drums", " ".join(str(k) for k in sorted(drums)))
    print("carried", carried)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    flags = [a for a in sys.argv[1:] if a.startswith("--")]
    options = dict(a[2:].split("=", 1) for a in flags if "=" in a)
    key, percent = int(options.get("key", 0)), float(options.get("tempo", 100))
    fmt, division, tracks = read_tracks(args[0])

    all_events = []  # (tick, track, index, kind, payload, melody)
    tick = 0
    melody_found = False
    for number, body in enumerate(tracks):
        events, end = parse_track(body, tick if fmt == 0 else 0)
        if fmt == 0:
            tick = end
        melody = False
        for _, kind, payload in events:
            if kind == "name" and 5 <= len(payload) <= 79:
                name = payload.lower()
                if name.startswith(b"melody") or (name.startswith(b"vocal") and not melody_found):
                    melody = melody_found = True
        for index, (t, kind, payload) in enumerate(events):
            all_events.append((t, number, index, kind, payload, melody))
    all_events.sort(key=lambda e: (e[0], e[1], e[2]))

    def ms_of(tick, changes):
        if division & 0x8000:
            frames = 256 - (division >> 8)
            return tick * 1000.0 / (frames * (division & 0xFF))
        ms = 0.0
        last_tick, tempo = 0, 500000
        for at, value in changes:
            if at >= tick:
                break
            ms += (at - last_tick) * tempo / 1000.0 / division
            last_tick, tempo = at, value
        return ms + (tick - last_tick) * tempo / 1000.0 / division

    changes = [(e[0], e[4]) for e in all_events if e[3] == "tempo"]
    listing = []
    for t, _, _, kind, payload, melody in all_events:
        if kind != "channel":
            continue
        if "--melody-only" in flags and not melody:
            continue
        if "--no-melody" in flags and melody:
            continue
        data = list(payload)
        if data[0] >> 4 in (8, 9, 10) and data[0] & 15 != 9:
            data[1] += key
            if not 0 <= data[1] <= 127:
                continue
        listing.append((ms_of(t, changes) * (100.0 / percent), data))
    if "shifts" in options:
        shifts(listing, options["shifts"])
        return
    for ms, data in listing:
        print("%.3f %s" % (ms, " ".join("%02x" % b for b in data)))


if __name__ == "__main__":
    main()
