#!/usr/bin/python3
"""Questions about a screenshot (an uncompressed 24- or 32-bit BMP, as lvx_screenshot writes).

A region is X0 Y0 X1 Y1 in client pixels, right and bottom excluded; a colour is R,G,B.

  picture.py size BMP                         "<width> <height>"
  picture.py count BMP X0 Y0 X1 Y1 COLOUR     pixels of exactly that colour
  picture.py other BMP X0 Y0 X1 Y1 COLOUR...  pixels of none of the colours
  picture.py bbox BMP X0 Y0 X1 Y1 COLOUR      "<x0> <y0> <x1> <y1>" of that colour (exit 1: none)
  picture.py diff A B X0 Y0 X1 Y1             pixels that differ between two pictures
  picture.py rows BMP X0 Y0 X1 Y1 COLOUR      the rows (y) whose pixels in X0..X1 are all of it
  picture.py same A B X0 Y0 X1 Y1 COLOUR...   pixels where A has one of the colours and B differs
  picture.py closest BMP X0 Y0 X1 Y1 OTHER... the OTHER picture that differs least in the region
  picture.py sprites BMP BACKGROUND STEP Y0 Y1
                                              the sprites XOR-drawn over a background whose
                                              picture is BACKGROUND (same size): for each lane
                                              x = 0, STEP, 2*STEP, ... the runs of rows Y0..Y1
                                              in column x + 4 that differ from it, "x top length"
"""

import struct
import sys


class Picture:
    def __init__(self, path):
        data = open(path, "rb").read()
        if data[:2] != b"BM":
            raise SystemExit("not a BMP: " + path)
        offset = struct.unpack_from("<I", data, 10)[0]
        width, height = struct.unpack_from("<ii", data, 18)
        bits, compression = struct.unpack_from("<HI", data, 28)
        if bits not in (24, 32) or compression not in (0, 3):
            raise SystemExit("unsupported BMP: %d bits, compression %d" % (bits, compression))
        self.width, self.height = width, abs(height)
        self.bottom_up = height > 0
        self.step = bits // 8
        self.stride = (width * self.step + 3) & ~3
        self.data, self.offset = data, offset

    def pixel(self, x, y):
        row = self.height - 1 - y if self.bottom_up else y
        at = self.offset + row * self.stride + x * self.step
        b, g, r = self.data[at], self.data[at + 1], self.data[at + 2]
        return (r, g, b)

    def region(self, x0, y0, x1, y1):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                yield x, y, self.pixel(x, y)


def colour(text):
    return tuple(int(v) for v in text.split(","))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "size":
        p = Picture(args[0])
        print(p.width, p.height)
    elif command == "count":
        p = Picture(args[0])
        want = colour(args[5])
        print(sum(1 for _, _, c in p.region(*map(int, args[1:5])) if c == want))
    elif command == "other":
        p = Picture(args[0])
        known = {colour(a) for a in args[5:]}
        print(sum(1 for _, _, c in p.region(*map(int, args[1:5])) if c not in known))
    elif command == "bbox":
        p = Picture(args[0])
        want = colour(args[5])
        xs, ys = [], []
        for x, y, c in p.region(*map(int, args[1:5])):
            if c == want:
                xs.append(x)
                ys.append(y)
        if not xs:
            sys.exit(1)
        print(min(xs), min(ys), max(xs) + 1, max(ys) + 1)
    elif command == "diff":
        a, b = Picture(args[0]), Picture(args[1])
        x0, y0, x1, y1 = map(int, args[2:6])
        print(sum(1 for x, y, c in a.region(x0, y0, x1, y1) if b.pixel(x, y) != c))
    elif command == "rows":
        p = Picture(args[0])
        x0, y0, x1, y1 = map(int, args[1:5])
        want = colour(args[5])
        rows = [y for y in range(y0, min(y1, p.height)) if all(p.pixel(x, y) == want for x in range(x0, min(x1, p.width)))]
        print(" ".join(map(str, rows)))
    elif command == "same":
        a, b = Picture(args[0]), Picture(args[1])
        x0, y0, x1, y1 = map(int, args[2:6])
        known = {colour(c) for c in args[6:]}
        print(sum(1 for x, y, c in a.region(x0, y0, x1, y1) if c in known and b.pixel(x, y) != c))
    elif command == "closest":
        p = Picture(args[0])
        x0, y0, x1, y1 = map(int, args[1:5])
        scores = []
        for other in args[5:]:
            q = Picture(other)
            scores.append((sum(1 for x, y, c in p.region(x0, y0, x1, y1) if q.pixel(x, y) != c), other))
        print(min(scores)[1])
    elif command == "sprites":
        p, bg = Picture(args[0]), Picture(args[1])
        step, y0, y1 = map(int, args[2:5])
        for x in range(0, p.width - 4, step):
            run = None
            for y in list(range(y0, min(y1, p.height))) + [None]:
                differs = y is not None and p.pixel(x + 4, y) != bg.pixel(x + 4, y)
                if differs and run is None:
                    run = y
                elif not differs and run is not None:
                    print(x, run, (y if y is not None else min(y1, p.height)) - run)
                    run = None
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main()
