#!/usr/bin/env python3
"""Mutation score of the unit tests: how many single-token faults in the portable product code
the host unit tests catch.

It clones the committed tree (HEAD) into a scratch folder, builds the host unit tests there
once, then for each mutant of a seeded sample changes one token in one product file, rebuilds
and runs the unit tests, and puts the file back. A mutant is killed when the build still
succeeds and a test fails (or hangs past the time limit); a mutant that no longer compiles is
not counted. The sample depends only on the seed and the product files, so a run before and
after a change to the tests compares like with like.

    tools/mutate/mutate.py [--seed 1] [--count 150] [--only REGEX] [--keep DIR] [--jobs 2]

Prints one line per mutant and a closing score; not part of the test command (it takes about
half a minute a mutant on two cores).
"""
import argparse
import random
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

# The portable product code: what the unit tests exist to guard. Windows-only files, the
# platform seam and its host doubles, tools and benchmarks are left out.
PRODUCT_DIRS = ("song", "playback", "voice", "stage", "shell")

# Single-token changes: comparisons, booleans and off-by-one. Binary operators are matched with
# the blanks clang-format puts around them, so template brackets, includes and shifts are left
# alone.
SWAPS = [
    (" == ", " != "), (" != ", " == "),
    (" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > "),
    (" && ", " || "), (" || ", " && "),
    ("true", "false"), ("false", "true"),
    (" + 1", " - 1"), (" - 1", " + 1"),
]
WORD = {"true", "false"}


def code_only(line):
    """The line with string and character literals and comments blanked, columns kept."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
            out.append(" " if quote else c)
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def sites(tree):
    found = []
    for d in PRODUCT_DIRS:
        for path in sorted((tree / d).glob("*.cpp")):
            if path.name.endswith("_win.cpp"):
                continue
            in_block = False
            for number, line in enumerate(path.read_text(encoding="latin-1").splitlines(), 1):
                stripped = line.strip()
                if in_block:
                    in_block = "*/" not in stripped
                    continue
                if stripped.startswith("/*"):
                    in_block = "*/" not in stripped
                    continue
                if stripped.startswith("#"):
                    continue
                code = code_only(line)
                for old, new in SWAPS:
                    for m in re.finditer(re.escape(old), code):
                        if old in WORD:
                            s, e = m.start(), m.end()
                            if (s and (code[s - 1].isalnum() or code[s - 1] == "_")) or \
                                    (e < len(code) and (code[e].isalnum() or code[e] == "_")):
                                continue
                        if old == " + 1" or old == " - 1":
                            e = m.end()
                            if e < len(code) and (code[e].isalnum() or code[e] in "._"):
                                continue
                        found.append((str(path.relative_to(tree)), number, m.start(), old, new))
    return found


def run(cmd, cwd, timeout=None):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=150)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", help="run only the sampled mutants whose file matches this regular "
                    "expression (the sample itself stays the seed's)")
    ap.add_argument("--keep", help="scratch folder to use and keep (default: a temporary one)")
    args = ap.parse_args()

    repo = Path(subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip())
    scratch = Path(args.keep) if args.keep else Path(tempfile.mkdtemp(prefix="lvx-mutate."))
    tree = scratch / "tree"
    if not tree.exists():
        subprocess.check_call(["git", "clone", "-q", str(repo), str(tree)])
    build = tree / "build" / "host"
    if run(["cmake", "--preset", "host"], tree) != 0 or \
            run(["cmake", "--build", "--preset", "host", "--target", "lyrivox_unit_tests"], tree) != 0:
        sys.exit("mutate: the unmutated tree does not build")
    test = ["ctest", "--test-dir", str(build), "-j", str(args.jobs), "--stop-on-failure", "--timeout", "60"]
    if run(test, tree) != 0:
        sys.exit("mutate: the unit tests fail before any mutation")

    every = sites(tree)
    sample = sorted(random.Random(args.seed).sample(every, min(args.count, len(every))))
    print(f"mutate: {len(every)} sites, {len(sample)} sampled with seed {args.seed}")
    if args.only:
        sample = [m for m in sample if re.search(args.only, m[0])]
        print(f"mutate: {len(sample)} of them in files matching {args.only}")
    killed = viable = 0
    survivors = []
    for rel, number, column, old, new in sample:
        path = tree / rel
        original = path.read_bytes()
        lines = original.decode("latin-1").split("\n")
        line = lines[number - 1]
        lines[number - 1] = line[:column] + new + line[column + len(old):]
        path.write_bytes("\n".join(lines).encode("latin-1"))
        try:
            built = run(["cmake", "--build", str(build), "--target", "lyrivox_unit_tests"], tree) == 0
            verdict = "stillborn"
            if built:
                viable += 1
                result = run(test, tree, timeout=600)
                if result != 0:
                    killed += 1
                    verdict = "killed"
                else:
                    verdict = "SURVIVED"
                    survivors.append(f"{rel}:{number}: '{old.strip()}' -> '{new.strip()}'")
        finally:
            path.write_bytes(original)
        print(f"{verdict:9} {rel}:{number}:{column + 1} '{old.strip()}' -> '{new.strip()}'", flush=True)
    run(["cmake", "--build", str(build), "--target", "lyrivox_unit_tests"], tree)
    score = 100.0 * killed / viable if viable else 0.0
    print(f"mutate: {killed} killed of {viable} viable mutants ({len(sample) - viable} did not build): "
          f"score {score:.1f} %")
    if not args.keep:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
