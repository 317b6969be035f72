#!/usr/bin/python3
"""The microphone: keeps PulseAudio's pipe source fed in real time.

PulseAudio's pipe source is not clocked: it delivers whatever is written, as fast as it is
written, and capture stalls when nothing comes. So this writes 20 ms of audio every 20 ms, on
an absolute schedule so it never drifts: silence, unless a clip is queued.

Clips are raw s16le mono 8000 Hz files dropped into the queue folder, played in name order.
A name of the form <order>@<seconds>.raw holds its clip back until that time on the monotonic
clock CLOCK_MONOTONIC_RAW (the clock Wine's QueryPerformanceCounter reads, and so the clock of
the MIDI capture log) and starts it on the exact sample. Each clip's first and last sample times go to the log
as "<ms> START <name>" and "<ms> END <name>".

usage: feeder.py FIFO QUEUE_DIR LOG
"""

import os
import sys
import time

RATE = 8000
CHUNK_SAMPLES = RATE // 50  # 20 ms
CHUNK_BYTES = CHUNK_SAMPLES * 2


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def clip_start_time(name):
    stem = name[:-4]
    if "@" in stem:
        return float(stem.split("@", 1)[1])
    return None


def main():
    fifo, queue, log_path = sys.argv[1:4]
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
                at = clip_start_time(name)
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


if __name__ == "__main__":
    main()
