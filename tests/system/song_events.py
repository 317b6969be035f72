#!/usr/bin/python3
"""Prints the channel events of a Standard MIDI File at their true times, for midicompare.py.

An independent reading of the file, sharing nothing with the program's loader: the tempo map
(metrical files start at 120 beats a minute; SMPTE files run at frames x ticks per second)
turns every event's tick into milliseconds from the song's start. One event a line,
"<ms> <status> <data...>" in hex, sorted by tick (stable: file track order, then file order).
Meta events and system exclusive are not sent, so they are not listed.

usage: song_events.py FILE [--melody-only|--no-melody]
  --melody-only  only the events of the track named "Melody..." or "Vocal..." (as a singer would
                 take them); --no-melody  every other event (what Silence Melody lets through)
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


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    flags = [a for a in sys.argv[1:] if a.startswith("--")]
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
    for t, _, _, kind, payload, melody in all_events:
        if kind != "channel":
            continue
        if "--melody-only" in flags and not melody:
            continue
        if "--no-melody" in flags and melody:
            continue
        print("%.3f %s" % (ms_of(t, changes), " ".join("%02x" % b for b in payload)))


if __name__ == "__main__":
    main()
