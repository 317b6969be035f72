#!/usr/bin/python3
"""Describes a 16-bit PCM WAV file for the system tests, one "key value" a line:

    header_bytes 44          offset of the sample data (44 for the plain canonical header)
    riff_size_ok 1           the RIFF size is the file size less 8
    data_size_ok 1           the data chunk's size is what follows its header
    channels 1
    rate 8000
    bits 16
    seconds 2.500            length of the data
    loud_start 0.512         first and last sample above the threshold (seconds; -1 if none)
    loud_end 1.511
    loud_ms 0,480,1000       per whole second, how many ms of it hold a sample above the threshold
    frequency 440.0          from zero crossings between loud_start and loud_end (0 if none)

usage: wavinfo.py FILE [THRESHOLD]   (threshold on sample magnitude, default 1000)
"""

import struct
import sys


def main():
    path = sys.argv[1]
    threshold = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    blob = open(path, "rb").read()
    if len(blob) < 12 or blob[0:4] != b"RIFF" or blob[8:12] != b"WAVE":
        print("not_wave 1")
        return 1
    riff_size = struct.unpack_from("<I", blob, 4)[0]
    position = 12
    fmt = None
    data = None
    data_ok = 0
    header_bytes = -1
    while position + 8 <= len(blob):
        tag = blob[position:position + 4]
        size = struct.unpack_from("<I", blob, position + 4)[0]
        body = position + 8
        if tag == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", blob, body)
        elif tag == b"data":
            header_bytes = body
            data = blob[body:body + size]
            data_ok = int(body + size == len(blob))
            break
        position = body + size + (size & 1)
    if fmt is None or data is None:
        print("not_wave 1")
        return 1
    _, channels, rate, _, _, bits = fmt
    print("header_bytes %d" % header_bytes)
    print("riff_size_ok %d" % int(riff_size == len(blob) - 8))
    print("data_size_ok %d" % data_ok)
    print("channels %d" % channels)
    print("rate %d" % rate)
    print("bits %d" % bits)
    frame = channels * bits // 8
    print("seconds %.3f" % (len(data) / frame / rate if frame else 0))
    if bits != 16:
        return 0
    count = len(data) // 2
    samples = struct.unpack("<%dh" % count, data[:count * 2])[::channels]
    loud = [i for i, s in enumerate(samples) if abs(s) > threshold]
    if not loud:
        print("loud_start -1\nloud_end -1\nfrequency 0")
        return 0
    per_ms = [0] * (count // channels // rate + 1)
    for ms in set(i * 1000 // rate for i in loud):
        per_ms[ms // 1000] += 1
    print("loud_ms " + ",".join(map(str, per_ms)))
    first, last = loud[0], loud[-1]
    crossings = sum(1 for i in range(first + 1, last + 1) if (samples[i - 1] < 0) != (samples[i] < 0))
    span = (last - first) / rate
    print("loud_start %.3f" % (first / rate))
    print("loud_end %.3f" % (last / rate))
    print("frequency %.1f" % (crossings / 2 / span if span > 0 else 0))
    return 0


if __name__ == "__main__":
    sys.exit(main())
