#!/usr/bin/python3
"""Compares what a program sent to the MIDI capture driver with what it should have sent.

EXPECTED has one event a line: "<ms> <message>", the time from the song's start and the
message either as bytes ("90 3c 64") or as one 8-digit hex word as midiOutShortMsg takes it
("00643c90"). LOG is the capture driver's log; its DATA lines are the sent messages.

Events are matched per channel in order (system messages form one more stream): the k-th
expected event of a channel with the k-th sent one. Every expected event must have been sent
exactly once with the same bytes, nothing more may have been sent on the channel, and after
one common offset (the median difference, i.e. when the song started) each event must be
within TOLERANCE ms of its time. Prints one line per fault and a summary; exits 1 on any fault.

usage: midicompare.py EXPECTED LOG [TOLERANCE_MS]   (default 60)
"""

import statistics
import sys


def message_bytes(tokens):
    if len(tokens) == 1 and len(tokens[0]) == 8:
        word = int(tokens[0], 16)
        data = [(word >> shift) & 0xFF for shift in (0, 8, 16)]
    else:
        data = [int(t, 16) for t in tokens]
    kind = data[0] & 0xF0
    length = 2 if kind in (0xC0, 0xD0) else 3
    return tuple(data[:length])


def stream(data):
    return data[0] & 0x0F if data[0] < 0xF0 else "system"


def by_stream(events):
    streams = {}
    for time, data in events:
        streams.setdefault(stream(data), []).append((time, data))
    return streams


def main():
    expected_path, log_path = sys.argv[1:3]
    tolerance = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
    expected = []
    for line in open(expected_path):
        fields = line.split()
        if fields:
            expected.append((float(fields[0]), message_bytes(fields[1:])))
    sent = []
    for line in open(log_path):
        fields = line.split()
        if len(fields) >= 3 and fields[1] == "DATA":
            sent.append((float(fields[0]), message_bytes(fields[2:])))

    faults = []
    pairs = []
    want, got = by_stream(expected), by_stream(sent)
    for key in sorted(set(want) | set(got), key=str):
        a, b = want.get(key, []), got.get(key, [])
        for k in range(max(len(a), len(b))):
            if k >= len(b):
                faults.append("channel %s: event %d (%s at %.1f ms) never sent" % (key, k + 1, hexed(a[k][1]), a[k][0]))
            elif k >= len(a):
                faults.append("channel %s: extra event %s sent at %.1f" % (key, hexed(b[k][1]), b[k][0]))
            elif a[k][1] != b[k][1]:
                faults.append("channel %s: event %d is %s, expected %s" % (key, k + 1, hexed(b[k][1]), hexed(a[k][1])))
            else:
                pairs.append((a[k][0], b[k][0], key, k + 1, a[k][1]))
    offset = statistics.median(b - a for a, b, *_ in pairs) if pairs else 0.0
    worst = 0.0
    for a, b, key, k, data in pairs:
        error = b - offset - a
        worst = max(worst, abs(error))
        if abs(error) > tolerance:
            faults.append("channel %s: event %d (%s) %+.1f ms off its time %.1f" % (key, k, hexed(data), error, a))
    for fault in faults[:50]:
        print(fault)
    if len(faults) > 50:
        print("... and %d more" % (len(faults) - 50))
    print("%d expected, %d sent, %d matched, worst timing error %.1f ms, %d faults"
          % (len(expected), len(sent), len(pairs), worst, len(faults)))
    return 1 if faults else 0


def hexed(data):
    return " ".join("%02x" % d for d in data)


if __name__ == "__main__":
    sys.exit(main())
