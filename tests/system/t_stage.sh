#!/usr/bin/env bash
# The stage during a song. A critique song paces its frames to the display, so the program
# stays light: its CPU from /proc over 10 s is at most 15 % of a core (written to cpu.txt for
# the stage benchmark report). Wine's PulseAudio bridge runs as threads of the program's process
# (on Windows the audio engine is a process of its own) and its share swings from 4 to 10 % of a
# core from run to run on 32-bit Wine, so those threads are left out of the figure and logged. Moving the window through the modal loop's WM_ENTERSIZEMOVE ...
# WM_EXITSIZEMOVE holds the song and leaves the frames running afterwards. With Critique off, a
# resize keeps the lyrics on screen, and the sung part of the line shows in the second colour.
# Ctrl+O opens, Esc stops, F1 opens the help page. Screenshots at 640, 679, 1024, 1280 and the
# maximised width are left for the eye.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin --screen 1600x1200
lvx_install_lyrivox
ink=255,128,255
sung=255,224,64

# lane_moves NAME W: two pictures 0.5 s apart differ between the lyric band and the strip.
lane_moves() {
    lvx_screenshot "$LVX_WIN" "$1-a" >/dev/null && sleep 0.5 && lvx_screenshot "$LVX_WIN" "$1-b" >/dev/null || return 1
    local changed
    changed=$(lvx_py diff "$LVX_OUT/$1-a.bmp" "$LVX_OUT/$1-b.bmp" 0 60 "$2" 400)
    lvx_log "$1: $changed pixels of the lane changed in 0.5 s"
    [ "$changed" -gt 100 ]
}

lvx_lyrivox_up

# ---- F1: the help page ----
# The prefix knows no .htm viewer, so the test names one that writes down what it was given.
lvx_wine reg add 'HKCR\.htm' /ve /d lvxhelp /f >/dev/null 2>&1
lvx_wine reg add 'HKCR\lvxhelp\shell\open\command' /ve /d 'cmd.exe /c echo %1>C:\lyrivox\help-opened.txt' /f >/dev/null 2>&1
lvx_drv keys "$LVX_WIN" f1 >/dev/null
opened() { [ "$(tr -d '\r' 2>/dev/null <"$LVX_APP_DIR/help-opened.txt")" = 'C:\lyrivox\lyrivox.htm' ]; }
for _ in $(seq 20); do opened && break; sleep 0.5; done
lvx_check "F1 opens the help page beside the program [$(cat "$LVX_APP_DIR/help-opened.txt" 2>/dev/null)]" opened

lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_drv keys "$LVX_WIN" ctrl+o >/dev/null
lvx_check "Ctrl+O: the Open dialog; a critique song chosen" \
    lvx_drv fill-dialog "$LVX_SONGS_WIN\\amazing-grace.kar" 20
lvx_check "the song plays" lvx_midi_wait ' DATA ' 10
sleep 3

# ---- the program's share of a core over 10 s ----
# cpu_ticks [audio]: user and system ticks of the program's own threads, or of Wine's audio ones.
cpu_ticks() {
    local task ticks sum=0
    for task in /proc/$LVX_APP_PID/task/*; do
        case "$(cat "$task/comm" 2>/dev/null)" in winepulse*) [ "${1:-}" = audio ] || continue ;;
            *) [ "${1:-}" = audio ] && continue ;; esac
        ticks=$(awk '{ print $14 + $15 }' "$task/stat" 2>/dev/null)
        sum=$((sum + ${ticks:-0}))
    done
    echo $sum
}
share() { awk -v c="$1" -v hz="$(getconf CLK_TCK)" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", 100 * c / hz / (b - a) }'; }
t0=$(lvx_now)
c0=$(cpu_ticks) a0=$(cpu_ticks audio)
sleep 10
c1=$(cpu_ticks) a1=$(cpu_ticks audio)
t1=$(lvx_now)
cpu=$(share $((c1 - c0)))
echo "$cpu" >"$LVX_OUT/cpu.txt"
lvx_log "CPU of the program in a critique song: $cpu % of a core, Wine's audio threads $(share $((a1 - a0))) % more (load: $(cut -d' ' -f1-3 /proc/loadavg))"
lvx_check "critique frames at the display's pace: at most 15 % of a core ($cpu %)" \
    awk -v c="$cpu" 'BEGIN { exit !(c <= 15) }'
lvx_check "frames change at 640 wide" lane_moves w640 640

# ---- a move through the modal loop: held while it lasts, frames go on after it ----
lvx_drv send "$LVX_WIN" 0x0231 0 0 >/dev/null  # WM_ENTERSIZEMOVE
sleep 0.3
lvx_drv move "$LVX_WIN" 40 30 648 526 >/dev/null
sent=$(lvx_midi_count ' DATA ')
sleep 1.5
lvx_check "the song holds while the window is moved" test "$(lvx_midi_count ' DATA ')" = "$sent"
lvx_drv send "$LVX_WIN" 0x0232 0 0 >/dev/null  # WM_EXITSIZEMOVE
lvx_check "the song goes on after the move" lvx_midi_wait ' DATA ' 5 $((sent + 1))
sleep 0.5
lvx_check "frames still change after the move" lane_moves moved 640

# ---- other widths, for the eye: bars over their keys (a screen wide enough for 1280) ----
for w in 679 1024 1280; do
    lvx_drv move "$LVX_WIN" 10 10 $((w + 8)) 526 >/dev/null
    lvx_check "client area $w x 480" test "$(lvx_drv client-size "$LVX_WIN")" = "$w 480"
    sleep 1
    lvx_check "frames change at $w wide" lane_moves w$w $w
done
lvx_drv show "$LVX_WIN" maximize >/dev/null
read -r mw mh < <(lvx_drv client-size "$LVX_WIN")
sleep 1
lvx_check "frames change maximised ($mw x $mh)" lane_moves maximised "$mw"
lvx_drv show "$LVX_WIN" restore >/dev/null

# ---- Esc stops the song ----
lvx_drv keys "$LVX_WIN" escape >/dev/null
lvx_check "Esc stops the song" lvx_midi_wait ' CLOSE$' 5

# ---- Critique off: a resize keeps the lyrics, the sung part lit ----
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_check "a song without the critique" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_check "it plays" lvx_midi_wait ' OPEN$' 10 2
sleep 3
lvx_drv move "$LVX_WIN" 10 10 808 626 >/dev/null
lvx_screenshot "$LVX_WIN" resized-lyrics >/dev/null
lvx_check "client area 800 x 580" test "$(lvx_drv client-size "$LVX_WIN")" = "800 580"
lyric=$(lvx_py count "$LVX_OUT/resized-lyrics.bmp" 0 0 800 60 $ink)
lit=$(lvx_py count "$LVX_OUT/resized-lyrics.bmp" 0 0 800 60 $sung)
lvx_log "after the resize: $lyric pixels of lyric ink, $lit of the sung colour"
lvx_check "the lyrics stay on screen after a resize" test $((lyric + lit)) -gt 100
for _ in 1 2 3 4 5 6; do
    lvx_screenshot "$LVX_WIN" sung >/dev/null
    lit=$(lvx_py count "$LVX_OUT/sung.bmp" 0 0 800 60 $sung)
    [ "$lit" -gt 20 ] && break
    sleep 0.4
done
lvx_check "the sung part of the line in the second colour ($lit pixels)" test "$lit" -gt 20

lvx_drv keys "$LVX_WIN" escape >/dev/null
lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
