#!/usr/bin/python3
# The system tests' readers of songs, MIDI logs, WAV files and screenshots, one subcommand each:
#
#   events SONG [OPTIONS]      the song's channel events at their true times, "<ms> <hex bytes>"
#                              a line, sorted by tick (stable: track order, then file order);
#                              read independently of the program's loader: the tempo map
#                              (metrical files start at 120 bpm; SMPTE files run at frames x
#                              ticks per second) turns every tick into ms from the song's start
#       --melody-only / --no-melody  only / all but the track named "Melody..." or "Vocal..."
#       --key=K --tempo=P      as the program should send it at K semitones and P % tempo: notes
#                              and key pressure off the drum channel (the tenth) shifted, those
#                              leaving 0..127 left out, every time stretched by 100 / P
#   compare SONG LOG [OPTIONS] the MIDI log's DATA lines against the song's events (OPTIONS as
#                              for events): per channel in order, the k-th expected with the k-th
#                              sent, each sent exactly once with the same bytes, nothing more,
#                              and after one common offset (the median difference) each within
#                              60 ms; one line per fault and a summary; exit 1 on any fault
#   shifts SONG LOG            how the notes of LOG (to its first RESET) stand to the song's,
#                              pairing the k-th note event of each channel: "keys <distinct
#                              shifts of note-ons>", "drums <shifts on the drum channel>",
#                              "carried <note-offs not at the shift of the last note-on before
#                              them>" (released after a key change)
#   hanging LOG [--to-reset|--no-reset]
#                              the notes still sounding at the end of the log, "<channel 1-16>
#                              <note>" a line: a note-off (or note-on at velocity 0), a RESET
#                              or an all-notes-off / all-sound-off on its channel ends a note;
#                              --to-reset reads up to the first RESET, --no-reset ignores them
#   runs LOG                   each run one OPEN and its CLOSE with no note sounding then, no
#                              DATA outside a run, no OPEN-FAILED or OPEN-BUSY; "runs N" last;
#                              exit 1 and a line per fault otherwise
#   wav FILE [KEY...]          a 16-bit PCM WAV as "key value" lines (only the values of the
#                              KEYs asked): header (the 44-byte header's fields), header_bytes,
#                              riff_size_ok, data_size_ok, channels, rate, bits, seconds,
#                              loud_start, loud_end (first and last sample above 1000, -1 if
#                              none), loud_ms (per whole second, ms holding such a sample) and
#                              frequency (zero crossings between loud_start and loud_end)
#   options FILE               the six values of an options file as the program reads it (a
#                              0D 0A pair is one 0A; any other byte, 1A included, is data)
#   options-write FILE V...    the six values as the program's text-mode stream writes them
#
#   feed FIFO QUEUE_DIR LOG    the microphone: keeps PulseAudio's pipe source fed in real time.
#                              The source is not clocked (it delivers what is written, as fast
#                              as it is written, and capture stalls when nothing comes), so this
#                              writes 20 ms every 20 ms on an absolute schedule that never
#                              drifts: silence, unless a clip is queued. Clips are raw s16le mono
#                              8000 Hz files dropped into the queue folder, played in name order;
#                              one named <order>@<seconds>.raw is held back until that time on
#                              CLOCK_MONOTONIC_RAW (the clock of Wine's QueryPerformanceCounter,
#                              and so of the MIDI capture log) and starts on the exact sample.
#                              Each clip's first and last sample times go to the log as "<ms>
#                              START <name>" and "<ms> END <name>".
#
# Screenshots (24- or 32-bit BMP); a region is X0 Y0 X1 Y1, right and bottom excluded; a colour
# R,G,B:
#   size BMP                        "<width> <height>"
#   count BMP REGION COLOUR         pixels of exactly that colour
#   other BMP REGION COLOUR...      pixels of none of the colours
#   bbox BMP REGION COLOUR          "<x0> <y0> <x1> <y1>" of that colour (exit 1: none)
#   diff A B REGION                 pixels that differ between two pictures
#   rows BMP REGION COLOUR          the rows whose pixels in X0..X1 are all of it
#   same A B REGION COLOUR...       pixels where A has one of the colours and B differs
#   closest BMP REGION OTHER...     the OTHER picture that differs least in the region
#   sprites BMP BACKGROUND STEP Y0 Y1
#                                   the sprites XOR-drawn over BACKGROUND (same size): for each
#                                   lane x = 0, STEP, ... the runs of rows Y0..Y1 in column x + 4
#                                   that differ from it, "x top length"

import os
import statistics
import struct
import sys
import time


def vlq(data, pos):
    value = 0
    while True:
        value = (value << 7) | (data[pos] & 0x7F)
        pos += 1
        if not data[pos - 1] & 0x80:
            return value, pos


def parse_track(body, tick):
    """(tick, kind, payload) for each event, kind 'channel', 'tempo' or 'name'; and the end tick."""
    events, pos, running = [], 0, 0
    while pos < len(body):
        delta, pos = vlq(body, pos)
        tick += delta
        if body[pos] & 0x80:
            running = body[pos]
            pos += 1
        status = running
        if status >> 4 in (0x8, 0x9, 0xA, 0xB, 0xE, 0xC, 0xD):
            size = 2 if status >> 4 in (0xC, 0xD) else 3
            events.append((tick, "channel", bytes([status]) + body[pos:pos + size - 1]))
            pos += size - 1
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
                break
        elif status in (0xF0, 0xF7):
            length, pos = vlq(body, pos)
            pos += length
        else:
            raise SystemExit("unexpected status %02x" % status)
    return events, tick


def song_events(path, flags):
    """[(ms, [bytes])] of the song's channel events, shaped by the --options in flags."""
    data = open(path, "rb").read()
    if data[:4] != b"MThd":
        raise SystemExit("not a MIDI file: " + path)
    fmt, _, division = struct.unpack(">HHH", data[8:14])
    pos, tracks = 8 + struct.unpack(">I", data[4:8])[0], []
    while pos + 8 <= len(data):
        size = struct.unpack(">I", data[pos + 4:pos + 8])[0]
        if data[pos:pos + 4] == b"MTrk":
            tracks.append(data[pos + 8:pos + 8 + size])
        pos += 8 + size
    options = dict(f[2:].split("=", 1) for f in flags if "=" in f)
    key, percent = int(options.get("key", 0)), float(options.get("tempo", 100))
    everything, tick, melody_found = [], 0, False  # (tick, track, index, kind, payload, melody)
    for number, body in enumerate(tracks):
        events, end = parse_track(body, tick if fmt == 0 else 0)
        if fmt == 0:
            tick = end
        melody = False
        for _, kind, payload in events:
            name = payload.lower() if kind == "name" and 5 <= len(payload) <= 79 else b""
            if name.startswith(b"melody") or (name.startswith(b"vocal") and not melody_found):
                melody = melody_found = True
        everything += [(t, number, i, kind, payload, melody) for i, (t, kind, payload) in enumerate(events)]
    everything.sort(key=lambda e: e[:3])
    changes = [(e[0], e[4]) for e in everything if e[3] == "tempo"]

    def ms_of(tick):
        if division & 0x8000:
            return tick * 1000.0 / ((256 - (division >> 8)) * (division & 0xFF))
        ms, last_tick, tempo = 0.0, 0, 500000
        for at, value in changes:
            if at >= tick:
                break
            ms += (at - last_tick) * tempo / 1000.0 / division
            last_tick, tempo = at, value
        return ms + (tick - last_tick) * tempo / 1000.0 / division

    listing = []
    for t, _, _, kind, payload, melody in everything:
        if kind != "channel" or ("--melody-only" in flags and not melody) or ("--no-melody" in flags and melody):
            continue
        data = list(payload)
        if data[0] >> 4 in (8, 9, 10) and data[0] & 15 != 9:
            data[1] += key
            if not 0 <= data[1] <= 127:
                continue
        listing.append((ms_of(t) * (100.0 / percent), data))
    return listing


def log_lines(path):
    """(ms, what, [bytes]) for each line of a MIDI capture log."""
    for line in open(path):
        fields = line.split()
        if len(fields) >= 2:
            yield float(fields[0]), fields[1], [int(f, 16) for f in fields[2:]]


def hexed(data):
    return " ".join("%02x" % d for d in data)


def compare(listing, log):
    sent = [(ms, tuple(data)) for ms, what, data in log_lines(log) if what == "DATA"]
    want, got = {}, {}
    for streams, events in ((want, [(ms, tuple(d)) for ms, d in listing]), (got, sent)):
        for ms, data in events:
            streams.setdefault(data[0] & 15 if data[0] < 0xF0 else "system", []).append((ms, data))
    faults, pairs = [], []
    for channel in sorted(set(want) | set(got), key=str):
        a, b = want.get(channel, []), got.get(channel, [])
        for k in range(max(len(a), len(b))):
            if k >= len(b):
                faults.append("channel %s: event %d (%s at %.1f ms) never sent" % (channel, k + 1, hexed(a[k][1]), a[k][0]))
            elif k >= len(a):
                faults.append("channel %s: extra event %s sent at %.1f" % (channel, hexed(b[k][1]), b[k][0]))
            elif a[k][1] != b[k][1]:
                faults.append("channel %s: event %d is %s, expected %s" % (channel, k + 1, hexed(b[k][1]), hexed(a[k][1])))
            else:
                pairs.append((a[k][0], b[k][0], channel, k + 1, a[k][1]))
    offset = statistics.median(b - a for a, b, *_ in pairs) if pairs else 0.0
    worst = 0.0
    for a, b, channel, k, data in pairs:
        worst = max(worst, abs(b - offset - a))
        if abs(b - offset - a) > 60:
            faults.append("channel %s: event %d (%s) %+.1f ms off its time %.1f" % (channel, k, hexed(data), b - offset - a, a))
    for fault in faults[:50] + (["... and %d more" % (len(faults) - 50)] if len(faults) > 50 else []):
        print(fault)
    print("%d expected, %d sent, %d matched, worst timing error %.1f ms, %d faults"
          % (len(listing), len(sent), len(pairs), worst, len(faults)))
    return 1 if faults else 0


def note_events(data_lists):
    """Per channel, ('on' or 'off', note) of every note-on and note-off in order."""
    per = {}
    for data in data_lists:
        if data[0] >> 4 in (8, 9) and len(data) >= 3:
            per.setdefault(data[0] & 15, []).append(("on" if data[0] >> 4 == 9 and data[2] > 0 else "off", data[1]))
    return per


def shifts(listing, log):
    song = note_events(data for _, data in listing)
    timeline, rank = [], {}
    for _, what, data in log_lines(log):
        if what == "RESET":
            break
        for channel, ((kind, note),) in note_events([data] if what == "DATA" else []).items():
            rank[channel] = rank.get(channel, -1) + 1
            if rank[channel] < len(song.get(channel, [])):
                timeline.append((channel, kind, note - song[channel][rank[channel]][1]))
    carried, last_on = 0, None
    for channel, kind, shift in timeline:
        if channel != 9 and kind == "on":
            last_on = shift
        elif channel != 9 and last_on is not None and shift != last_on:
            carried += 1
    print("keys", *sorted({s for c, k, s in timeline if c != 9 and k == "on"}))
    print("drums", *sorted({s for c, k, s in timeline if c == 9}))
    print("carried", carried)


def sounding(on, what, data):
    """Follows the notes sounding (a set of (channel, note)) through one log line."""
    if what == "RESET":
        on.clear()
    elif what == "DATA" and data:
        kind, channel = data[0] >> 4, data[0] & 15
        if kind == 9 and data[2] > 0:
            on.add((channel, data[1]))
        elif kind in (8, 9):
            on.discard((channel, data[1]))
        elif kind == 11 and data[1] in (120, 123):
            on -= {n for n in on if n[0] == channel}


def hanging(log, flags):
    on = set()
    for _, what, data in log_lines(log):
        if what == "RESET" and "--to-reset" in flags:
            break
        if what != "RESET" or "--no-reset" not in flags:
            sounding(on, what, data)
    for channel, note in sorted(on):
        print(channel + 1, note)


def runs(log):
    faults, on, open_, count = [], set(), False, 0
    for ms, what, data in log_lines(log):
        if what == "OPEN":
            if open_:
                faults.append("OPEN twice at %.3f" % ms)
            open_, count = True, count + 1
            on.clear()
        elif what == "CLOSE":
            if not open_:
                faults.append("CLOSE without OPEN at %.3f" % ms)
            if on:
                faults.append("run %d: %d notes sounding at its CLOSE" % (count, len(on)))
            open_ = False
        elif what == "DATA" and not open_:
            faults.append("DATA outside a run at %.3f" % ms)
        elif what in ("OPEN-FAILED", "OPEN-BUSY"):
            faults.append("%s at %.3f" % (what, ms))
        sounding(on, what, data)
    if open_:
        faults.append("the last run was not closed")
    print("\n".join(faults + ["runs %d" % count]))
    return 1 if faults else 0


def wav(path, keys):
    blob = open(path, "rb").read()
    if len(blob) < 12 or blob[0:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise SystemExit("not a WAV file: " + path)
    position, fmt, data, info = 12, None, None, {}
    while position + 8 <= len(blob):
        tag, size = blob[position:position + 4], struct.unpack_from("<I", blob, position + 4)[0]
        body = position + 8
        if tag == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", blob, body)
        elif tag == b"data":
            data = blob[body:body + size]
            info.update(header_bytes=body, data_size_ok=int(body + size == len(blob)))
            break
        position = body + size + (size & 1)
    if fmt is None or data is None:
        raise SystemExit("not a WAV file: " + path)
    _, channels, rate, _, _, bits = fmt
    frame = channels * bits // 8
    header = struct.unpack("<4sI4s4sIHHIIHH4sI", blob[:44])
    info.update(header=" ".join(v.decode() if isinstance(v, bytes) else str(v) for v in header),
                riff_size_ok=int(struct.unpack_from("<I", blob, 4)[0] == len(blob) - 8), channels=channels,
                rate=rate, bits=bits, seconds="%.3f" % (len(data) / frame / rate if frame else 0),
                loud_start=-1, loud_end=-1, frequency=0)
    count = len(data) // 2
    samples = struct.unpack("<%dh" % count, data[:count * 2])[::channels] if bits == 16 else []
    loud = [i for i, s in enumerate(samples) if abs(s) > 1000]
    if loud:
        per_second = [0] * (count // channels // rate + 1)
        for ms in set(i * 1000 // rate for i in loud):
            per_second[ms // 1000] += 1
        first, last = loud[0], loud[-1]
        crossings = sum(1 for i in range(first + 1, last + 1) if (samples[i - 1] < 0) != (samples[i] < 0))
        span = (last - first) / rate
        info.update(loud_ms=",".join(map(str, per_second)), loud_start="%.3f" % (first / rate),
                    loud_end="%.3f" % (last / rate), frequency="%.1f" % (crossings / 2 / span if span > 0 else 0))
    for key in keys or info:
        print(info.get(key, "") if keys else "%s %s" % (key, info[key]))


RATE = 8000
CHUNK_SAMPLES = RATE // 50  # 20 ms
CHUNK_BYTES = CHUNK_SAMPLES * 2


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def feed(fifo, queue, log_path):
    # PulseAudio holds the FIFO open for reading and writing, so this open does not block.
    out = os.open(fifo, os.O_WRONLY)
    log = open(log_path, "a", buffering=1)
    started = now()
    chunk = 0
    clip = None  # (name, bytes, position)
    while True:
        due = started + chunk * 0.02
        delay = due - now()
        if delay > 0:
            time.sleep(delay)
        data = bytearray()
        while len(data) < CHUNK_BYTES:
            if clip is None:
                names = sorted(n for n in os.listdir(queue) if n.endswith(".raw"))
                if not names:
                    break
                name = names[0]
                at = float(name[:-4].split("@", 1)[1]) if "@" in name else None
                chunk_time = due + len(data) / 2 / RATE
                if at is not None and at >= due + CHUNK_SAMPLES / RATE:
                    break  # not in this chunk yet
                if at is not None and at > chunk_time:
                    lead = int(round((at - chunk_time) * RATE))
                    data += bytes(2 * min(lead, CHUNK_SAMPLES - len(data) // 2))
                    chunk_time = due + len(data) / 2 / RATE
                path = os.path.join(queue, name)
                with open(path, "rb") as f:
                    clip = (name, f.read(), 0)
                os.rename(path, path + ".played")
                log.write("%.3f START %s\n" % (chunk_time * 1000.0, name))
            name, body, position = clip
            take = min(CHUNK_BYTES - len(data), len(body) - position)
            take -= take % 2
            data += body[position:position + take]
            position += take
            if position >= len(body) - 1:
                log.write("%.3f END %s\n" % ((due + len(data) / 2 / RATE) * 1000.0, name))
                clip = None
            else:
                clip = (name, body, position)
        data += bytes(CHUNK_BYTES - len(data))
        try:
            os.write(out, data)
        except OSError:
            return  # the source went away (PulseAudio stopped): nothing left to feed
        chunk += 1


class Picture:
    def __init__(self, path):
        data = open(path, "rb").read()
        if data[:2] != b"BM":
            raise SystemExit("not a BMP: " + path)
        width, height = struct.unpack_from("<ii", data, 18)
        bits, compression = struct.unpack_from("<HI", data, 28)
        if bits not in (24, 32) or compression not in (0, 3):
            raise SystemExit("unsupported BMP: %d bits, compression %d" % (bits, compression))
        self.width, self.height, self.bottom_up = width, abs(height), height > 0
        self.step, self.data = bits // 8, data
        self.stride, self.offset = (width * self.step + 3) & ~3, struct.unpack_from("<I", data, 10)[0]

    def pixel(self, x, y):
        at = self.offset + (self.height - 1 - y if self.bottom_up else y) * self.stride + x * self.step
        return self.data[at + 2], self.data[at + 1], self.data[at]

    def region(self, x0, y0, x1, y1):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                yield x, y, self.pixel(x, y)


def picture(command, args):
    p = Picture(args[0])
    if command == "sprites":
        bg, (step, y0, y1) = Picture(args[1]), map(int, args[2:5])
        for x in range(0, p.width - 4, step):
            run = None
            for y in list(range(y0, min(y1, p.height))) + [None]:
                differs = y is not None and p.pixel(x + 4, y) != bg.pixel(x + 4, y)
                if differs and run is None:
                    run = y
                elif not differs and run is not None:
                    print(x, run, (y if y is not None else min(y1, p.height)) - run)
                    run = None
        return
    two = command in ("diff", "same")
    q = Picture(args[1]) if two else None
    box, rest = list(map(int, args[1 + two:5 + two])), args[5 + two:]
    want = {tuple(int(v) for v in t.split(",")) for t in rest} if command != "closest" else set()
    if command == "size":
        print(p.width, p.height)
    elif command in ("count", "other"):
        print(sum(1 for _, _, c in p.region(*box) if (c in want) == (command == "count")))
    elif command == "bbox":
        found = [(x, y) for x, y, c in p.region(*box) if c in want]
        if not found:
            sys.exit(1)
        xs, ys = [x for x, _ in found], [y for _, y in found]
        print(min(xs), min(ys), max(xs) + 1, max(ys) + 1)
    elif command == "diff":
        print(sum(1 for x, y, c in p.region(*box) if q.pixel(x, y) != c))
    elif command == "same":
        print(sum(1 for x, y, c in p.region(*box) if c in want and q.pixel(x, y) != c))
    elif command == "rows":
        x0, y0, x1, y1 = box
        print(*[y for y in range(y0, min(y1, p.height)) if all(p.pixel(x, y) in want for x in range(x0, min(x1, p.width)))])
    elif command == "closest":
        others = [(Picture(o), o) for o in rest]
        print(min((sum(1 for x, y, c in p.region(*box) if q.pixel(x, y) != c), o) for q, o in others)[1])
    else:
        raise SystemExit("unknown command " + command)


def main(command, *args):
    flags = [a for a in args if a.startswith("--")]
    args = [a for a in args if not a.startswith("--")]
    if command == "events":
        for ms, data in song_events(args[0], flags):
            print("%.3f %s" % (ms, hexed(data)))
    elif command == "compare":
        return compare(song_events(args[0], flags), args[1])
    elif command == "shifts":
        shifts(song_events(args[0], flags), args[1])
    elif command == "hanging":
        hanging(args[0], flags)
    elif command == "runs":
        return runs(args[0])
    elif command == "wav":
        wav(args[0], args[1:])
    elif command == "options":
        data = open(args[0], "rb").read().replace(b"\r\n", b"\n")
        if len(data) < 24:
            sys.exit("options file holds %d bytes" % len(data))
        print(*struct.unpack("<6i", data[:24]))
    elif command == "feed":
        feed(*args)
    elif command == "options-write":
        open(args[0], "wb").write(struct.pack("<6i", *map(int, args[1:7])).replace(b"\n", b"\r\n"))
    else:
        picture(command, args)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
