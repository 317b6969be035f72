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

# lvx_sing_along VOICE_WAV T0_MS: queues a voice that lvx-sing wrote for the song so that its
# song time 0 falls on T0_MS. The part already past, and a margin for the queueing, is cut:
# the rest starts on its own sample, and the feeder's log must show it started when asked.
lvx_sing_along() {
    local full=$1 t0=$2
    local cut=${full%.wav}-cut.wav
    local skip at
    skip=$(awk -v t0="$t0" -v now="$(lvx_now)" 'BEGIN { s = now + 1.5 - t0 / 1000; if (s < 0) s = 0; printf "%.2f", int(s * 50 + 1) / 50 }')
    at=$(awk -v t0="$t0" -v s="$skip" 'BEGIN { printf "%.3f", t0 / 1000 + s }')
    sox "$full" "$cut" trim "$skip"
    lvx_feed "$cut" "$at"
    local late
    late=$(awk -v at="$at" -v now="$(lvx_now)" 'BEGIN { printf "%d", (now > at - 0.05) }')
    [ "$late" = 0 ] || lvx_fail "the voice was queued too late for $at (the machine is too busy)"
    LVX_VOICE_AT=$at
    LVX_VOICE_SKIP=$skip
    lvx_log "voice $(basename "$full") queued: song time $skip s at $at"
}

# lvx_voice_on_time: the feeder started the last queued voice on the time asked (within 5 ms).
lvx_voice_on_time() {
    local started
    started=$(awk -v at="$LVX_VOICE_AT" '$2 == "START" && index($3, "@" at ".raw") { print $1 }' "$LVX_WORK/feed.log")
    [ -n "$started" ] && awk -v s="$started" -v at="$LVX_VOICE_AT" 'BEGIN { d = s - at * 1000; exit !(d > -5 && d < 5) }'
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

# lvx_check_report WHAT well|low NOTES: the last report (lvx_critique_report) is a score in the
# box "Karaoke Critique!" that judges all NOTES melody notes, at least 9 when sung well, at most 2
# when low.
lvx_check_report() {
    lvx_check "$1: caption \"Karaoke Critique!\"" test "$LVX_REPORT_CAPTION" = "Karaoke Critique!"
    lvx_check "$1: every note judged ($LVX_POSSIBLE of $3)" test "$LVX_POSSIBLE" = "$3"
    if [ "$2" = well ]; then
        lvx_check "$1 scores at least 9 ($LVX_HITS hits, score $LVX_SCORE)" test "$LVX_SCORE" -ge 9
    else
        lvx_check "$1 scores low ($LVX_HITS hits, score $LVX_SCORE)" test "$LVX_SCORE" -le 2
    fi
}

# lvx_melody_notes SONG_PATH: the number of melody notes lvx-sing finds in the song.
lvx_melody_notes() {
    "$(lvx_host_tool lvx-sing)" --notes "$1" | awk '$1 == "notes" { print $2 }'
}

# lvx_sing_song WINDOW SONG_NAME NAME [lvx-sing options...]: opens the song through the Open
# dialog, sings along (the voice written with the options given, before the song starts), and
# waits for the report (LVX_REPORT_* and LVX_HITS, LVX_POSSIBLE, LVX_SCORE set); the Nth run of
# the log is counted in LVX_RUNS.
lvx_sing_song() {
    local window=$1 song=$2 name=$3
    shift 3
    local path=$LVX_APP_DIR/media/karaoke/$song voice=$LVX_WORK/$name.wav
    "$(lvx_host_tool lvx-sing)" "$@" "$path" "$voice" >/dev/null || lvx_fail "lvx-sing failed for $song"
    LVX_RUNS=$((${LVX_RUNS:-0} + 1))
    lvx_check "$song chosen in the Open dialog" lvx_open_song "$window" "$song"
    local t0
    t0=$(lvx_run_start "$LVX_RUNS" 20) || lvx_fail "run $LVX_RUNS of $song did not start"
    lvx_sing_along "$voice" "$t0"
    local length
    length=$(lvx_song_ms "$path")
    lvx_check "critique report after $song" lvx_critique_report $((${length%.*} / 1000 + 30))
    lvx_check "the voice started on time" lvx_voice_on_time
}

# lvx_wav FILE KEY...: values of lvx.py's description of a WAV file, one a line.
lvx_wav() { lvx_py wav "$@"; }

# lvx_take_finished FILE [SECONDS]: waits until the take's header states its sizes (the device's
# close notice patches them when the run has stopped).
lvx_take_finished() {
    local sizes
    for _ in $(seq $((${2:-10} * 10))); do
        sizes=$(lvx_wav "$1" data_size_ok riff_size_ok seconds 2>/dev/null | paste -sd' ')
        [[ $sizes == "1 1 "* && $sizes != *" 0.000" ]] && return 0
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

# lvx_take_sings SONG_PATH TAKE [--octave-lower]: what lvx-pitch hears in the take against the
# song's melody, as "<voiced> <on the melody> <melody slots unheard> <notes in time> <notes>":
# the blocks with a pitch, how many of them fall on a lane slot of the melody, the melody's
# slots no block falls on, and how many notes the take sings in time (most blocks wholly inside
# the note, the take's time 0 taken as the song's, on its slot). Each note's blocks go to
# $LVX_OUT/take-notes.txt.
lvx_take_sings() {
    local song=$1 take=$2
    shift 2
    /usr/bin/python3 - <("$(lvx_host_tool lvx-sing)" --notes "$song") \
        <("$(lvx_host_tool lvx-pitch)" "$@" "$take") "$(lvx_wav "$take" rate)" "$LVX_OUT/take-notes.txt" <<'PY'
import sys
notes = [l.split() for l in open(sys.argv[1]) if l[0].isdigit()]
blocks = [tuple(map(int, l.split())) for l in open(sys.argv[2]) if l.strip()]
block_ms = 1024 * 1000.0 / float(sys.argv[3])
lane = (0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12)
slot_of = lambda note: (note // 12 - 4) * 14 + lane[note % 12]
melody = set(slot_of(int(n[2])) for n in notes)
voiced = [slot for _, hz, slot in blocks if hz > 0 and slot >= 0]
on_melody = sum(1 for slot in voiced if slot in melody)
unheard = len(melody - set(voiced))
in_time = 0
with open(sys.argv[4], "w") as detail:
    for start, end, note, _ in notes:
        start, end, want = float(start), float(end), slot_of(int(note))
        inside = [slot for ms, _, slot in blocks if ms >= start + 30 and ms + block_ms <= end - 30]
        ok = bool(inside) and 2 * sum(1 for s in inside if s == want) > len(inside)
        in_time += ok
        detail.write("%.1f %.1f slot %d: %s%s\n" % (start, end, want, " ".join(map(str, inside)), "" if ok else "  MISSED"))
print(len(voiced), on_melody, unheard, in_time, len(notes))
PY
}

# lvx_check_take_sings SONG_PATH TAKE [--octave-lower]: the take holds the voice: at least 90 %
# of its pitched blocks on the melody's slots, each of those slots heard. How many notes it
# sings in time is logged: a busy machine can drop captured audio in critique mode (the
# continuous repaint), which shifts the rest of the take.
lvx_check_take_sings() {
    local song=$1 take=$2
    shift 2
    local v
    read -r -a v <<<"$(lvx_take_sings "$song" "$take" "$@")"
    lvx_log "the take: $(lvx_wav "$take" seconds) s, ${v[0]} pitched blocks, ${v[1]} on the melody, ${v[2]} melody slots unheard, ${v[3]} of ${v[4]} notes in time"
    lvx_check "the take holds the voice: ${v[1]} of ${v[0]} pitched blocks on the melody, every melody slot heard" \
        test "${v[0]}" -gt 0 -a $((v[1] * 10)) -ge $((v[0] * 9)) -a "${v[2]}" = 0
}

# lvx_check_take_whole SONG_PATH TAKE VOICE: nothing of the song was lost from the take: it
# lasts as the song within 1 %, and every second in which the last fed VOICE (lvx_sing_along)
# sings holds sound in the take.
lvx_check_take_whole() {
    local length seconds missing
    length=$(lvx_song_ms "$1")
    seconds=$(lvx_wav "$2" seconds)
    lvx_check "the take lasts as the song within 1 % ($seconds s for $length ms)" \
        awk -v s="$seconds" -v l="$length" 'BEGIN { exit !(s * 1000 >= l * 0.99 && s * 1000 <= l * 1.01) }'
    missing=$(awk -v f="$(lvx_wav "$3" loud_ms)" -v t="$(lvx_wav "$2" loud_ms)" -v from="$LVX_VOICE_SKIP" \
        'BEGIN { n = split(f, a, ","); split(t, b, ","); for (i = int(from) + 2; i < n; i++) if (a[i] >= 200 && b[i] < 100) m = m " " (i - 1); print m }')
    lvx_check "the fed voice in every second of the take (silent seconds:${missing:- none})" test -z "$missing"
}
