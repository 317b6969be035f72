#!/usr/bin/env bash
# The harness proves itself on the stand-in program: a window appears and has the client size
# it asked for, a screenshot shows what it painted, a menu command is taken, a message box is
# read and dismissed, the Open dialog is filled, MIDI is captured with its timing, and what is
# fed to the microphone arrives in the program's recording.
source "$(dirname "$0")/lib.sh"
lvx_begin

lvx_install "$LVX_HARNESS/lvx-standin.exe"
mkdir -p "$LVX_APP_DIR/media/karaoke"
printf 'MThd' >"$LVX_APP_DIR/media/karaoke/demo.kar"

started=$SECONDS
lvx_start lvx-standin.exe
win=$(lvx_drv wait Lyrivox 60) || lvx_fail "no window titled Lyrivox"
lvx_log "window $win after $((SECONDS - started)) s"

lvx_check "client area is 640 x 480" test "$(lvx_drv client-size "$win")" = "640 480"
lvx_check "one thread in the program" test "$(lvx_drv threads lvx-standin.exe | cut -d' ' -f2)" = 1

# The picture: dark blue with a yellow box at (20, 30)-(120, 80).
lvx_check "screenshot grabbed" lvx_screenshot "$win" standin >/dev/null
lvx_check "yellow box where it was painted" test "$(lvx_pixel standin 25 35)" = "255,255,0"
lvx_check "blue background around it" test "$(lvx_pixel standin 300 300)" = "0,0,128"
lvx_check "box ends where it should" test "$(lvx_pixel standin 120 80)" = "0,0,128"

# A message box through a menu command: caption and text exactly, then dismissed.
lvx_drv command "$win" 40005
box=$(lvx_drv message-box 10 --keep) || lvx_fail "no message box"
lvx_check "message box pictured" lvx_screenshot class=#32770 message-box --whole >/dev/null
lvx_check "message box dismissed" lvx_drv press class=#32770 1
lvx_check "message box gone" lvx_drv wait-close class=#32770 5
lvx_check "message box caption" test "${box%%$'\n'*}" = "Lyrivox"
lvx_check "message box text, two blanks kept" test "${box#*$'\n'}" = "Hello from the stand-in.  Two blanks."

# The Open dialog, filled in as a user would type the name.
lvx_drv command "$win" 40001
lvx_check "open dialog filled and closed" lvx_drv fill-dialog 'C:\lyrivox\media\karaoke\demo.kar' 20 >/dev/null
box=$(lvx_drv message-box 10) || lvx_fail "no message after the open dialog"
lvx_check "the program got the chosen path" test "${box#*$'\n'}" = 'Opened [C:\lyrivox\media\karaoke\demo.kar].'

# MIDI: fifteen messages, one per 25 ms tick, then the reset and the close.
lvx_drv command "$win" 40002
lvx_check "MIDI device closed after play" lvx_midi_wait ' CLOSE$' 10
cat "$LVX_MIDI_LOG" >&2
lvx_check "MIDI events in order, each ~25 ms after the last" awk '
    $2 == "OPEN" { opened = 1 }
    $2 == "DATA" {
        if (!opened) { print "DATA before OPEN"; exit 1 }
        n++; t[n] = $1; line[n] = $3
        for (i = 4; i <= NF; i++) line[n] = line[n] " " $i
    }
    $2 == "RESET" { reset = n }
    $2 == "CLOSE" { closed = n }
    END {
        if (n != 15) { print "expected 15 DATA lines, got " n; exit 1 }
        if (line[1] != "c0 00" || line[2] != "90 3c 64" || line[15] != "90 43 64") { print "wrong bytes"; exit 1 }
        if (reset != 15 || closed != 15) { print "reset/close not after the data"; exit 1 }
        for (i = 2; i <= n; i++) {
            d = t[i] - t[i - 1]
            if (d < 5 || d > 60) { printf "gap %d: %.1f ms\n", i, d; exit 1 }
        }
        mean = (t[n] - t[1]) / (n - 1)
        printf "mean gap %.2f ms\n", mean > "/dev/stderr"
        if (mean < 23 || mean > 28) { print "mean gap off"; exit 1 }
    }' "$LVX_MIDI_LOG"

# The same through midicompare.py, which the song tests use: the stand-in's script as sent.
i=0
for word in 000000c0 00643c90 00003c80 00644090 00004080 00644390 00004380 00644891 00004881 007f0bb0 \
    00642399 00002389 00643c90 00644090 00644390; do
    echo "$((25 * i)) $word"
    i=$((i + 1))
done >"$LVX_WORK/expected.txt"
lvx_check "each message sent once, in order per channel, within 10 ms" \
    /usr/bin/python3 "$LVX_SYSTEM/midicompare.py" "$LVX_WORK/expected.txt" "$LVX_MIDI_LOG" 10
grep -v ' 81 48 00$' "$LVX_MIDI_LOG" | sed 's/ 99 23 64$/ 99 23 65/' >"$LVX_WORK/damaged.log"
lvx_check "a lost and a changed message are caught" test "$(/usr/bin/python3 "$LVX_SYSTEM/midicompare.py" \
    "$LVX_WORK/expected.txt" "$LVX_WORK/damaged.log" 10 | tail -1 | awk '{ print $NF, $(NF-1) }')" = "faults 2"
lvx_check "no note left sounding after the reset" test -z "$(lvx_midi_hanging)"
grep -v ' RESET$' "$LVX_MIDI_LOG" >"$LVX_WORK/no-reset.log"
lvx_check "without it the chord would hang" test "$(lvx_midi_hanging "$LVX_WORK/no-reset.log" | tr '\n' ,)" = "1 60,1 64,1 67,"

# Microphone: record, feed half a second of silence then one second of 440 Hz, stop.
lvx_tone "$LVX_WORK/tone.wav" 1.0 440
menu_state() { lvx_drv menu "$win" | awk -v id="$1" '$1 == id { print $2 }'; }
lvx_check "Stop Record greyed before recording" test "$(menu_state 40004)" = grayed
lvx_drv command "$win" 40003
lvx_check "Record marked while recording" test "$(menu_state 40003)" = enabled+checked
lvx_check "Stop Record enabled while recording" test "$(menu_state 40004)" = enabled
# The tone is scheduled half a second ahead on the clock the MIDI log also uses.
feed_at=$(awk -v now="$(lvx_now)" 'BEGIN { printf "%.3f", now + 0.5 }')
lvx_feed "$LVX_WORK/tone.wav" "$feed_at"
sleep 2.5
lvx_drv command "$win" 40004
for _ in $(seq 50); do [ -s "$LVX_APP_DIR/standin.wav" ] && [ -s "$LVX_APP_DIR/standin-wim.log" ] && break; sleep 0.1; done
cp "$LVX_APP_DIR/standin.wav" "$LVX_APP_DIR/standin-wim.log" "$LVX_OUT/"
info=$(/usr/bin/python3 "$LVX_SYSTEM/wavinfo.py" "$LVX_APP_DIR/standin.wav")
echo "$info" >&2
value() { awk -v k="$1" '$1 == k { print $2 }' <<<"$info"; }
lvx_check "recording is 8000 Hz mono 16 bit with a sound header" \
    test "$(value rate) $(value channels) $(value bits) $(value header_bytes) $(value data_size_ok)" = "8000 1 16 44 1"
lvx_check "the fed tone is in the recording at 440 Hz" \
    awk -v f="$(value frequency)" 'BEGIN { exit !(f > 430 && f < 450) }'
lvx_check "and lasts the second it was fed" \
    awk -v a="$(value loud_start)" -v b="$(value loud_end)" 'BEGIN { d = b - a; exit !(d > 0.95 && d < 1.05) }'
lvx_check "the feeder started the tone on the scheduled millisecond" \
    awk -v at="$feed_at" '$2 == "START" { d = $1 - at * 1000; exit !(d > -1 && d < 1) }' "$LVX_WORK/feed.log"
# How long fed audio takes to reach the program: the buffer holding the tone's first sample
# came back at A; its last sample was due at START + (its end - the tone's start) / rate. The
# feeder writes each 20 ms chunk at its start, so this can be down to -20 ms.
latency=$(awk -v start="$(awk '$2 == "START" { print $1 }' "$LVX_WORK/feed.log")" \
    -v first="$(value loud_start)" '
    { total += $2 / 2; if (!done && total > first * 8000) { done = 1; printf "%.1f", $1 - (start + (total - first * 8000) / 8)} }' \
    "$LVX_APP_DIR/standin-wim.log")
lvx_log "microphone latency (sample due to WIM_DATA): $latency ms"
lvx_check "fed audio reaches the program within 200 ms" awk -v l="$latency" 'BEGIN { exit !(l != "" && l > -25 && l < 200) }'
lvx_check "Record unmarked after Stop Record" test "$(menu_state 40003)" = enabled

# The save dialog, twice to the same name: the second time it asks before overwriting.
lvx_drv command "$win" 40007
lvx_check "save dialog filled and closed" lvx_drv fill-dialog 'C:\lyrivox\take.wav' 20 >/dev/null
box=$(lvx_drv message-box 10) || lvx_fail "no message after saving"
lvx_check "saved under the typed name" test "${box#*$'\n'}" = 'Saved [C:\lyrivox\take.wav].'
lvx_check "the saved file is the recording" cmp -s "$LVX_APP_DIR/take.wav" "$LVX_APP_DIR/standin.wav"
lvx_drv command "$win" 40007
lvx_check "save dialog waits for the overwrite question" test "$(lvx_drv fill-dialog 'C:\lyrivox\take.wav' 20)" = open
box=$(lvx_drv message-box 10 --press 6) || lvx_fail "no overwrite question"
lvx_log "overwrite question: ${box//$'\n'/ | }"
lvx_check "the dialog closes after Yes" lvx_drv wait-close "Save Wave File" 10
box=$(lvx_drv message-box 10) || lvx_fail "no message after overwriting"
lvx_check "saved again" test "${box#*$'\n'}" = 'Saved [C:\lyrivox\take.wav].'

# The keyboard, as a user drives the menu: Alt+F opens File, M picks Message.
lvx_drv keys "$win" alt+f m
box=$(lvx_drv message-box 10) || lvx_fail "no message box from the keyboard"
lvx_check "the menu answers the keyboard" test "${box#*$'\n'}" = "Hello from the stand-in.  Two blanks."

# Window handling from outside: resize, maximise, minimise, restore (to maximised, as it was).
size_becomes() {
    for _ in $(seq 40); do [ "$(lvx_drv client-size "$win")" = "$1" ] && return 0; sleep 0.1; done
    return 1
}
lvx_drv move "$win" 10 10 808 646
lvx_check "resized: client 800 x 600" size_becomes "800 600"
lvx_check "the screenshot follows the size" test "$(lvx_screenshot "$win" resized)" = "800 600"
lvx_drv show "$win" maximize
lvx_check "maximised: the whole screen less the frame" size_becomes "1024 730"
lvx_drv show "$win" minimize
lvx_check "minimised: no client area" size_becomes "0 0"
lvx_drv show "$win" restore
lvx_check "restored to maximised" size_becomes "1024 730"

# Exit through the menu: the process ends.
lvx_drv command "$win" 40006
lvx_check "program ends after Exit" lvx_wait_exit 10
lvx_check "window gone" lvx_drv wait-close "$win" 5
