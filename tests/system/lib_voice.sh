# shellcheck shell=bash disable=SC2034  # sets variables for the tests that source it
# Helpers for the tests that sing to the program and record it: source after lib.sh and
# lib_program.sh. The host tools (lvx-sing, lvx-pitch) come from LVX_HOST_BUILD (default
# build/host of this tree, which the test command builds first).

LVX_CMD_SAVE_AS=32791
LVX_CMD_OCTAVE_LOWER=32792
LVX_CMD_PLAY_LAST=32794

LVX_TEXT_NO_SAMPLES="Not enough samples were taken to critique.  Check microphone setup."
LVX_TEXT_NO_TAKE="Unable to create temporary wave output file. Make sure media subfolder exists."

# lvx_run_start N [SECONDS]: waits for the Nth run of the log (its Nth OPEN and the first DATA
# after it) and prints the run's song time 0 in ms on the log's clock: the first timer period,
# which sends the events of tick 0, comes 25 ms after the run's timer is created.
lvx_run_start() {
    local n=$1 limit=${2:-20}
    local first
    for _ in $(seq $((limit * 20))); do
        first=$(awk -v n="$n" '$2 == "OPEN" { runs++ } runs == n && $2 == "DATA" { print $1; exit }' "$LVX_MIDI_LOG")
        if [ -n "$first" ]; then
            awk -v t="$first" 'BEGIN { printf "%.3f\n", t - 25 }'
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# lvx_sing_along SONG_PATH T0_MS NAME [lvx-sing options...]: has lvx-sing write the voice for
# the song and queues it for the microphone so that its song time 0 falls on T0_MS. The voice
# begins with the song's silence; the part already past (and a margin for the queueing) is cut,
# and the rest starts on its own sample.
lvx_sing_along() {
    local song=$1 t0=$2 name=$3
    shift 3
    local full=$LVX_WORK/$name.wav cut=$LVX_WORK/$name-cut.wav
    "$(lvx_host_tool lvx-sing)" "$@" "$song" "$full" >/dev/null || lvx_fail "lvx-sing failed for $song"
    # Start one second from now, on a whole 20 ms chunk of song time.
    local skip
    skip=$(awk -v t0="$t0" -v now="$(lvx_now)" 'BEGIN { s = now + 1.0 - t0 / 1000; if (s < 0) s = 0; printf "%.2f", int(s * 50 + 1) / 50 }')
    sox "$full" "$cut" trim "$skip"
    local at
    at=$(awk -v t0="$t0" -v s="$skip" 'BEGIN { printf "%.3f", t0 / 1000 + s }')
    lvx_feed "$cut" "$at"
    lvx_log "voice $name queued: song time ${skip} s at $at"
}

# lvx_critique_report SECONDS: waits for the critique's report box, closes it, and sets
# LVX_REPORT_CAPTION, LVX_REPORT_TEXT and, when it is a score, LVX_HITS, LVX_POSSIBLE, LVX_SCORE.
lvx_critique_report() {
    local box
    box=$(lvx_drv message-box "$1") || return 1
    LVX_REPORT_CAPTION=$(head -1 <<<"$box")
    LVX_REPORT_TEXT=$(tail -n +2 <<<"$box")
    LVX_HITS='' LVX_POSSIBLE='' LVX_SCORE=''
    if [[ $LVX_REPORT_TEXT =~ ^You\ hit\ ([0-9]+)\ notes\ out\ of\ a\ total\ ([0-9]+)\ possible\.\ For\ a\ score\ of\ ([0-9]+)\ out\ of\ 10\.$ ]]; then
        LVX_HITS=${BASH_REMATCH[1]}
        LVX_POSSIBLE=${BASH_REMATCH[2]}
        LVX_SCORE=${BASH_REMATCH[3]}
    fi
    lvx_log "report: [$LVX_REPORT_CAPTION] $LVX_REPORT_TEXT"
}

# lvx_melody_notes SONG_PATH: the number of melody notes lvx-sing finds in the song.
lvx_melody_notes() {
    "$(lvx_host_tool lvx-sing)" --notes "$1" | awk '$1 == "notes" { print $2 }'
}

# lvx_sing_song WINDOW SONG_NAME NAME [lvx-sing options...]: opens the song through the Open
# dialog, sings along (the voice written with the options given), and waits for the report
# (LVX_REPORT_* and LVX_HITS, LVX_POSSIBLE, LVX_SCORE set); the Nth run of the log is counted
# in LVX_RUNS.
lvx_sing_song() {
    local window=$1 song=$2 name=$3
    shift 3
    LVX_RUNS=$((${LVX_RUNS:-0} + 1))
    lvx_check "$song chosen in the Open dialog" lvx_open_song "$window" "$song"
    local t0
    t0=$(lvx_run_start "$LVX_RUNS" 20) || lvx_fail "run $LVX_RUNS of $song did not start"
    lvx_sing_along "$LVX_APP_DIR/media/karaoke/$song" "$t0" "$name" "$@"
    local length
    length=$(/usr/bin/python3 "$LVX_SYSTEM/song_events.py" "$LVX_APP_DIR/media/karaoke/$song" | tail -1 | cut -d' ' -f1)
    lvx_check "critique report after $song" lvx_critique_report $((${length%.*} / 1000 + 30))
}

# lvx_wav FILE KEY: one value of wavinfo.py's description of a WAV file.
lvx_wav() { /usr/bin/python3 "$LVX_SYSTEM/wavinfo.py" "$1" | awk -v k="$2" '$1 == k { print $2 }'; }

# lvx_take_finished FILE [SECONDS]: waits until the take's header states its sizes (the device's
# close notice patches them when the run has stopped).
lvx_take_finished() {
    local file=$1 limit=${2:-10}
    for _ in $(seq $((limit * 10))); do
        if [ -f "$file" ] && [ "$(lvx_wav "$file" data_size_ok)" = 1 ] && [ "$(lvx_wav "$file" riff_size_ok)" = 1 ] &&
            [ "$(lvx_wav "$file" seconds)" != 0.000 ]; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# lvx_take_pitch FILE FROM TO: the median frequency lvx-pitch finds in the blocks of the take
# that lie wholly between FROM and TO seconds.
lvx_take_pitch() {
    "$(lvx_host_tool lvx-pitch)" "$1" |
        awk -v from="$2" -v to="$3" -v rate="$(lvx_wav "$1" rate)" '
        $1 / 1000 >= from && $1 / 1000 + 1024 / rate <= to { hz[n++] = $2 }
        END {
            if (!n) { print 0; exit }
            for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (hz[j] < hz[i]) { t = hz[i]; hz[i] = hz[j]; hz[j] = t }
            print hz[int(n / 2)]
        }'
}

# lvx_header_fields FILE: the 44-byte header's fields as "RIFF <size> WAVE fmt  <16> <tag>
# <channels> <rate> <byte rate> <align> <bits> data <size>".
lvx_header_fields() {
    /usr/bin/python3 - "$1" <<'PY'
import struct, sys
h = open(sys.argv[1], "rb").read(44)
f = struct.unpack("<4sI4s4sIHHIIHH4sI", h)
print(" ".join(v.decode() if isinstance(v, bytes) else str(v) for v in f))
PY
}

# lvx_midi_wait_count REGEX N [SECONDS]: waits until N lines of the MIDI log match.
lvx_midi_wait_count() {
    local pattern=$1 n=$2 limit=${3:-10}
    for _ in $(seq $((limit * 20))); do
        [ "$(lvx_midi_count "$pattern")" -ge "$n" ] && return 0
        sleep 0.05
    done
    return 1
}

# lvx_take_sings SONG_PATH TAKE [--octave-lower]: how many of the song's melody notes the take
# sings at their time and pitch, as "<matched> <notes>": a note counts when most blocks that
# lvx-pitch analyses wholly inside it (the take's time 0 taken as the song's) fall on the
# note's lane slot.
lvx_take_sings() {
    local song=$1 take=$2
    shift 2
    /usr/bin/python3 - <("$(lvx_host_tool lvx-sing)" --notes "$song") \
        <("$(lvx_host_tool lvx-pitch)" "$@" "$take") "$(lvx_wav "$take" rate)" <<'PY'
import sys
notes = [l.split() for l in open(sys.argv[1]) if l[0].isdigit()]
blocks = [tuple(map(int, l.split())) for l in open(sys.argv[2]) if l.strip()]
block_ms = 1024 * 1000.0 / float(sys.argv[3])
slots = (0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12)
matched = 0
for start, end, note, _ in notes:
    start, end, note = float(start), float(end), int(note)
    want = (note // 12 - 4) * 14 + slots[note % 12]
    inside = [slot for ms, _, slot in blocks if ms >= start + 30 and ms + block_ms <= end - 30]
    if inside and 2 * sum(1 for s in inside if s == want) > len(inside):
        matched += 1
print(matched, len(notes))
PY
}
