# shellcheck shell=bash disable=SC2034  # sets variables for the tests that source it
# Shared helpers of the system tests: source it from a t_*.sh script, then call lvx_begin.
#
# lvx_begin gives the test its own world, torn down on any exit (pass, failure, signal):
#   - a headless X server (Xvfb on a free display) as DISPLAY;
#   - a fresh Wine prefix, copied from a template made once per run by `wineboot -i`;
#   - a user-mode PulseAudio whose default source reads s16le mono 8000 Hz from a FIFO, and a
#     feeder that keeps the FIFO fed in real time (silence, or the clips given to lvx_feed);
#   - the MIDI capture driver (midimap.dll) beside the program, logging to $LVX_MIDI_LOG.
#
# Settings (environment):
#   LVX_BUILD     the Windows build folder (default: build/win32 of this tree, build/win64
#                 where the machine cannot execute 32-bit programs); the harness
#                 binaries are in $LVX_BUILD/tests/system. A 64-bit build (build/win64, the same
#                 code for machines that cannot run 32-bit programs) runs under 64-bit Wine.
#   LVX_OUT       where a test leaves its logs, WAV files and screenshots (default:
#                 $LVX_BUILD/system-tests/<test name>)
#   LVX_KEEP=1    keep the work folder (prefix and all) after the test, for a post-mortem
#   LVX_PREFIX_TEMPLATE  a prefix made by wineboot to copy (tests/system/run sets it)
#   LVX_PRIORITY  how the program, its wineserver, PulseAudio and the feeder are scheduled, so
#                 that timing checks judge the program and not the machine's load: "fifo" (the
#                 default: real-time SCHED_FIFO priority 1, before everything else on the
#                 machine), "nice" (niceness -10) or "normal". Needs root; without it everything
#                 runs at normal priority.

set -euo pipefail

LVX_SYSTEM=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LVX_ROOT=$(cd "$LVX_SYSTEM/../.." && pwd)
# Where this machine cannot execute 32-bit programs, only the 64-bit build can run here.
if [ -z "${LVX_BUILD:-}" ]; then
    LVX_BUILD=$LVX_ROOT/build/win32
    "$LVX_ROOT/scripts/runs-32bit" || LVX_BUILD=$LVX_ROOT/build/win64
fi
LVX_BUILD=$(cd "$LVX_BUILD" 2>/dev/null && pwd || echo "$LVX_BUILD")
LVX_HARNESS=$LVX_BUILD/tests/system
LVX_TEST=${LVX_TEST:-$(basename "$0" .sh)}
LVX_OUT=${LVX_OUT:-$LVX_BUILD/system-tests/$LVX_TEST}
LVX_APP_DIR_WIN='C:\lyrivox'  # the program's folder as the program sees it ($LVX_APP_DIR here)

# Wine: quiet, no Mono/Gecko installers, no desktop menu entries, and our MIDI mapper.
export WINEDEBUG=-all
export WINEDLLOVERRIDES='midimap=n;mscoree,mshtml=;winemenubuilder.exe=d'
# The Wine of the build's bitness, told by the PE machine field of its capture driver (8664 is
# x86-64): /usr/bin/wine prefers 32-bit Wine whenever it is installed, even where the kernel
# cannot run it, so a 64-bit build names the 64-bit loader itself. The prefix (and so the
# template made by tests/system/run) is of the same bitness.
lvx_build_bits() {
    local dll=$LVX_BUILD/tests/system/midimap.dll offset
    [ -f "$dll" ] || { echo 32; return; }
    offset=$(od -An -tu4 -j60 -N4 "$dll" | tr -d ' ')  # where the PE header starts
    [ "$(od -An -tx2 -j$((offset + 4)) -N2 "$dll" | tr -d ' ')" = 8664 ] && echo 64 || echo 32
}
LVX_BITS=$(lvx_build_bits)
if [ "$LVX_BITS" = 64 ]; then
    export WINEARCH=win64
    LVX_WINE=${LVX_WINE:-/usr/lib/wine/wine64}
    export WINELOADER=$LVX_WINE
else
    export WINEARCH=win32
    LVX_WINE=${LVX_WINE:-wine}
fi
# lvx_wine ARGS...: Wine of the build's bitness (tests call it for Windows tools like attrib).
lvx_wine() { "$LVX_WINE" "$@"; }
unset DISPLAY WAYLAND_DISPLAY PULSE_SERVER

lvx_log() { printf '[%s %s] %s\n' "$(date +%T.%3N)" "$LVX_TEST" "$*" >&2; }
lvx_fail() {
    lvx_log "FAIL: $*"
    exit 1
}
# lvx_check CONDITION-TEXT COMMAND...: runs the command; fails the test with the text if it fails.
lvx_check() {
    local what=$1
    shift
    "$@" || lvx_fail "$what"
    lvx_log "ok: $what"
}

# lvx_check_same WHAT GOT WANT: as lvx_check, the failure showing both.
lvx_check_same() {
    [ "$2" = "$3" ] || lvx_fail "$1: [$2], want [$3]"
    lvx_log "ok: $1"
}

# The words to put before a command to run it at LVX_PRIORITY (nice and chrt exec the command,
# so it keeps the pid).
LVX_PRIORITY=${LVX_PRIORITY:-fifo}
LVX_PRIORITY_CMD=()
case $LVX_PRIORITY in
fifo) chrt -f 1 true 2>/dev/null && LVX_PRIORITY_CMD=(chrt -f 1) ;;
nice) nice -n -10 true 2>/dev/null && LVX_PRIORITY_CMD=(nice -n -10) ;;
esac

# Every background process we start goes into this list, and only these are killed.
_lvx_track() { echo "$1" >>"$LVX_WORK/pids"; }

# lvx_busy N: N processes that keep a core busy at normal priority until the test ends.
lvx_busy() {
    for _ in $(seq "$1"); do
        sh -c 'while :; do :; done' &
        _lvx_track $!
    done
}

_lvx_kill_tracked() {
    [ -f "$LVX_WORK/pids" ] || return 0
    local pid
    while read -r pid; do
        kill -TERM "$pid" 2>/dev/null || true
    done <"$LVX_WORK/pids"
    sleep 0.3
    while read -r pid; do
        kill -KILL "$pid" 2>/dev/null || true
    done <"$LVX_WORK/pids"
}

lvx_cleanup() {
    local status=$?
    trap - EXIT INT TERM
    set +e
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        timeout 10 wineserver -k 2>/dev/null
        timeout 10 wineserver -w 2>/dev/null
    fi
    _lvx_kill_tracked
    if [ -n "${LVX_WORK:-}" ] && [ -d "$LVX_WORK" ]; then
        # Files made unwritable (lvx_unwritable) must be released before the folder can go.
        while read -r f; do chattr -i "$f" 2>/dev/null; done < <(cat "$LVX_WORK/unwritable" 2>/dev/null)
        mkdir -p "$LVX_OUT"
        for f in midi.log feed.log app.out pulse.log driver.err; do
            [ -f "$LVX_WORK/$f" ] && cp "$LVX_WORK/$f" "$LVX_OUT/"
        done
        if [ "${LVX_KEEP:-0}" = 1 ]; then
            lvx_log "work folder kept: $LVX_WORK"
        elif [ -z "${LVX_WORK_GIVEN:-}" ]; then
            rm -rf "$LVX_WORK"
        fi
    fi
    exit "$status"
}

# ---- the pieces of the world ----

_lvx_start_x() {
    local fd_file=$LVX_WORK/display
    : >"$fd_file"
    Xvfb -displayfd 5 -screen 0 "${1}x24" -nolisten tcp -noreset 5>"$fd_file" </dev/null >"$LVX_WORK/xvfb.log" 2>&1 &
    _lvx_track $!
    for _ in $(seq 100); do
        [ -s "$fd_file" ] && break
        sleep 0.05
    done
    [ -s "$fd_file" ] || lvx_fail "Xvfb did not start: $(cat "$LVX_WORK/xvfb.log")"
    DISPLAY=:$(tr -d '\n' <"$fd_file")
    export DISPLAY
}

# Makes a prefix by wineboot; prints nothing, logs to PREFIX.boot.log. Used by tests/system/run
# once per run, and by a test run alone. A failed boot is tried once more from scratch, with the
# disk's state logged: a prefix takes 0.7 to 1.3 GB, and a boot that runs out of room leaves
# system32 without the DLLs every later Wine process needs.
lvx_make_prefix() {
    local prefix=$1 try
    : >"$prefix.boot.log"
    for try in 1 2; do
        _lvx_boot_prefix "$prefix" && return 0
        { echo "--- wineboot try $try failed; the disk it was on:"; df -h "$(dirname "$prefix")"; } \
            >>"$prefix.boot.log" 2>&1
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
    done
    return 1
}
_lvx_boot_prefix() {
    local prefix=$1
    WINEPREFIX=$prefix DISPLAY='' "$LVX_WINE" wineboot -i </dev/null >>"$prefix.boot.log" 2>&1 || return 1
    # A crash must print its backtrace, not wait for a click on a dialog nobody sees.
    WINEPREFIX=$prefix "$LVX_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >>"$prefix.boot.log" 2>&1 || return 1
    # There is no window manager: windows Wine hands to one wait two seconds for it to withdraw
    # them at every hide (each message box, each dialog, the exit).
    WINEPREFIX=$prefix "$LVX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >>"$prefix.boot.log" 2>&1 || return 1
    WINEPREFIX=$prefix wineserver -w
}

_lvx_make_prefix() {
    export WINEPREFIX=$LVX_WORK/prefix
    if [ -n "${LVX_PREFIX_TEMPLATE:-}" ] && [ -d "$LVX_PREFIX_TEMPLATE" ]; then
        cp -a "$LVX_PREFIX_TEMPLATE" "$WINEPREFIX"
    else
        lvx_log "no prefix template: wineboot (about 15 s)"
        lvx_make_prefix "$WINEPREFIX" || lvx_fail "wineboot failed: $(tail -5 "$WINEPREFIX.boot.log")"
    fi
    LVX_APP_DIR=$WINEPREFIX/drive_c/lyrivox
    mkdir -p "$LVX_APP_DIR"
    # The wineserver carries every wait and timer of the program: it starts here, at the
    # program's priority, and stays until the cleanup's wineserver -k.
    "${LVX_PRIORITY_CMD[@]}" wineserver -p </dev/null >/dev/null 2>&1
}

# The microphone. PulseAudio makes the FIFO itself (and refuses one that exists).
lvx_start_pulse() {
    export PULSE_RUNTIME_PATH=$LVX_WORK/pulse
    mkdir -p "$PULSE_RUNTIME_PATH"
    export PULSE_SERVER=unix:$PULSE_RUNTIME_PATH/native
    LVX_FIFO=$LVX_WORK/mic.fifo
    rm -f "$LVX_FIFO"
    cat >"$LVX_WORK/pulse.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native
load-module module-pipe-source source_name=lvx_mic file=$LVX_FIFO format=s16le rate=8000 channels=1
load-module module-null-sink sink_name=lvx_speaker
set-default-source lvx_mic
set-default-sink lvx_speaker
EOF
    # Without DISPLAY it does not try to launch a D-Bus session through X.
    "${LVX_PRIORITY_CMD[@]}" env -u DISPLAY HOME="$LVX_WORK/home" pulseaudio -n -F "$LVX_WORK/pulse.pa" --daemonize=no --use-pid-file=no \
        --exit-idle-time=-1 --log-target=file:"$LVX_WORK/pulse.log" </dev/null >/dev/null 2>&1 &
    LVX_PULSE_PID=$!
    _lvx_track $LVX_PULSE_PID
    for _ in $(seq 100); do
        [ -p "$LVX_FIFO" ] && pactl info >/dev/null 2>&1 && break
        sleep 0.05
    done
    [ -p "$LVX_FIFO" ] || lvx_fail "PulseAudio did not start: $(tail -5 "$LVX_WORK/pulse.log")"
    mkdir -p "$LVX_WORK/queue"
    "${LVX_PRIORITY_CMD[@]}" /usr/bin/python3 "$LVX_SYSTEM/lvx.py" feed "$LVX_FIFO" "$LVX_WORK/queue" "$LVX_WORK/feed.log" </dev/null \
        >>"$LVX_WORK/feed.out" 2>&1 &
    LVX_FEEDER_PID=$!
    _lvx_track $LVX_FEEDER_PID
}

# Takes the microphone away (the "no microphone" case): PulseAudio and the feeder stop.
lvx_stop_pulse() {
    kill -TERM "${LVX_FEEDER_PID:-}" "${LVX_PULSE_PID:-}" 2>/dev/null || true
    wait "${LVX_FEEDER_PID:-}" "${LVX_PULSE_PID:-}" 2>/dev/null || true
}

# lvx_begin [--no-pulse] [--screen WxH]: the whole world, ready for lvx_install and lvx_start.
# The screen is 1024x768 unless told: the maximised size the window tests expect.
lvx_begin() {
    local pulse=1 screen=1024x768
    while [ $# -gt 0 ]; do
        case $1 in --no-pulse) pulse=0 ;; --screen) screen=$2; shift ;; esac
        shift
    done
    for tool in "$LVX_HARNESS/midimap.dll" "$LVX_HARNESS/lvx-driver.exe"; do
        [ -f "$tool" ] || lvx_fail "$tool is missing: build the win32 (or win64) preset first (LVX_BUILD=$LVX_BUILD)"
    done
    if [ -n "${LVX_WORK:-}" ]; then
        LVX_WORK_GIVEN=1
        mkdir -p "$LVX_WORK"
    else
        LVX_WORK=$(mktemp -d /tmp/lvx-system.XXXXXX)
    fi
    trap lvx_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    rm -rf "$LVX_OUT"
    mkdir -p "$LVX_OUT" "$LVX_WORK/home"
    LVX_MIDI_LOG=$LVX_WORK/midi.log
    : >"$LVX_MIDI_LOG"
    export LYRIVOX_MIDI_LOG="Z:${LVX_MIDI_LOG//\//\\}"
    local start=$SECONDS
    _lvx_start_x "$screen"
    _lvx_make_prefix
    [ $pulse = 1 ] && lvx_start_pulse
    lvx_log "world ready in $((SECONDS - start)) s (DISPLAY=$DISPLAY, work $LVX_WORK)"
}

# ---- the program under test ----

# lvx_install PATH...: copies files or folder contents into the program's folder (C:\lyrivox),
# with the capture driver beside them.
lvx_install() {
    local item
    for item in "$@"; do
        if [ -d "$item" ]; then
            cp -a "$item"/. "$LVX_APP_DIR"/
        else
            cp -a "$item" "$LVX_APP_DIR"/
        fi
    done
    cp "$LVX_HARNESS/midimap.dll" "$LVX_APP_DIR"/
}

# lvx_install_lyrivox: the real program's runtime tree as the Windows build stages it
# ($LVX_BUILD/dist/lyrivox: lyrivox.exe, media/, lyrivox.htm), then lvx_start lyrivox.exe.
lvx_install_lyrivox() {
    local dist=$LVX_BUILD/dist/lyrivox
    [ -f "$dist/lyrivox.exe" ] || lvx_fail "$dist/lyrivox.exe is missing: build the win32 (or win64) preset first"
    lvx_install "$dist"
}

# lvx_start EXE [ARGS...]: starts the program from its folder; its pid is LVX_APP_PID, its
# console output goes to $LVX_WORK/app.out.
lvx_start() {
    local exe=$1
    shift
    (cd "$LVX_APP_DIR" && exec "${LVX_PRIORITY_CMD[@]}" "$LVX_WINE" "./$exe" "$@") </dev/null >>"$LVX_WORK/app.out" 2>&1 &
    LVX_APP_PID=$!
    _lvx_track $LVX_APP_PID
    lvx_log "started $exe (pid $LVX_APP_PID)"
}

# lvx_wait_exit [SECONDS]: waits for the program to end; returns 0 when it did, its status in
# LVX_APP_STATUS.
lvx_wait_exit() {
    local limit=${1:-20}
    for _ in $(seq $((limit * 20))); do
        if ! kill -0 "$LVX_APP_PID" 2>/dev/null; then
            LVX_APP_STATUS=0
            wait "$LVX_APP_PID" || LVX_APP_STATUS=$?
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# lvx_drv SUBCOMMAND ARGS...: the test driver (see driver/driver.cpp); its stdout without CRs.
lvx_drv() {
    local out status
    out=$("$LVX_WINE" "$LVX_HARNESS/lvx-driver.exe" "$@" </dev/null 2>>"$LVX_WORK/driver.err"; echo "#$?")
    status=${out##*#}
    out=${out%#*}
    printf '%s' "${out//$'\r'/}"
    return "$status"
}

# ---- MIDI capture log ----

# lvx_midi_count PATTERN: how many lines of the MIDI log match (grep -E); 0 before it exists.
lvx_midi_count() {
    local n
    n=$(grep -Ec "$1" "$LVX_MIDI_LOG" 2>/dev/null)
    echo "${n:-0}"
}

# lvx_midi_wait PATTERN [SECONDS] [COUNT]: waits until COUNT lines (default 1) of the MIDI log
# match.
lvx_midi_wait() {
    for _ in $(seq $((${2:-10} * 20))); do
        [ "$(lvx_midi_count "$1")" -ge "${3:-1}" ] && return 0
        sleep 0.05
    done
    return 1
}

# lvx_midi_hanging [--to-reset|--no-reset]: the notes still sounding at the end of the MIDI log
# (or before its first reset, or with the resets ignored), "channel note" a line.
lvx_midi_hanging() { lvx_py hanging "$LVX_MIDI_LOG" "$@"; }

# lvx_py COMMAND ...: the tests' reader of songs, MIDI logs, WAV files and screenshots (lvx.py).
lvx_py() { /usr/bin/python3 "$LVX_SYSTEM/lvx.py" "$@"; }

# ---- microphone ----

# lvx_feed FILE [AT]: queues a sound file (any format sox reads) for the microphone, now or at
# AT seconds on the monotonic clock (see lvx_now).
lvx_feed() {
    local file=$1 at=${2:-}
    LVX_FEED_SEQ=$((${LVX_FEED_SEQ:-0} + 1))
    local name
    name=$(printf '%06d' "$LVX_FEED_SEQ")${at:+@$at}
    sox "$file" -t raw -e signed -b 16 -c 1 -r 8000 -L "$LVX_WORK/queue/.$name.tmp"
    mv "$LVX_WORK/queue/.$name.tmp" "$LVX_WORK/queue/$name.raw"
}

# lvx_tone FILE SECONDS FREQUENCY [GAIN_DB]: writes a sine tone as a WAV file.
lvx_tone() {
    sox -n -r 8000 -c 1 -b 16 "$1" synth "$2" sine "$3" gain "${4:--6}"
}

# The clock of the MIDI log and the feeder in seconds: Wine's QueryPerformanceCounter reads
# CLOCK_MONOTONIC_RAW (which drifts from CLOCK_MONOTONIC by seconds).
lvx_now() { /usr/bin/python3 -c 'import time; print("%.3f" % time.clock_gettime(time.CLOCK_MONOTONIC_RAW))'; }

# ---- pictures ----

# lvx_screenshot WINDOW NAME [--whole]: the window's client area (or all of it) as
# $LVX_OUT/NAME.bmp and NAME.png; prints the size.
lvx_screenshot() {
    local window=$1 name=$2
    shift 2
    lvx_drv screenshot "$window" "Z:${LVX_OUT//\//\\}\\$name.bmp" "$@" || return 1
    convert "$LVX_OUT/$name.bmp" "$LVX_OUT/$name.png"
}

# lvx_pixel NAME X Y: the colour of one pixel of a screenshot, as "R,G,B".
lvx_pixel() {
    convert "$LVX_OUT/$1.bmp" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}
