#!/usr/bin/env bash
# File > Stop in the middle of a song: the device is reset and then closed within a period or
# two, no note is left sounding, nothing is sent after the close, the menu is usable again, and
# a second song can be opened and plays to its end. A song with no events at all starts and
# stops at once. A song without a melody track greys Silence Melody as well.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin --no-pulse
lvx_install_lyrivox
lvx_install_test_songs

lvx_lyrivox_up
lvx_check "first song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
# Into the song, where notes of every channel are sounding.
sleep 4
lvx_check "still playing before Stop" test "$(lvx_midi_count ' CLOSE$')" = 0
# The MIDI log's clock (in seconds here) around the command: the driver takes its own time to
# post it, so the stop is timed from when the command was surely posted.
before=$(lvx_now)
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
stop_at=$(awk -v s="$(lvx_now)" 'BEGIN { printf "%.1f", s * 1000 }')
lvx_check "device closed after Stop" lvx_midi_wait ' CLOSE$' 5
reset_at=$(awk '$2 == "RESET" { print $1; exit }' "$LVX_MIDI_LOG")
lvx_log "Stop posted by $stop_at ms, reset $(awk -v a="$reset_at" -v b="$stop_at" 'BEGIN { printf "%.1f", a - b }') ms after"
lvx_check "stopped after the command, within 100 ms of its post" \
    awk -v r="$reset_at" -v s="$stop_at" -v b="$before" 'BEGIN { exit !(r > b * 1000 && r - s < 100) }'
lvx_check "notes were sounding when Stop came (the test stops mid-song)" test "$(lvx_midi_hanging --to-reset | wc -l)" -gt 0
lvx_check "part of the song only" test "$(lvx_midi_count ' DATA ')" -lt 500
sleep 0.3
lvx_run_ended "Stop (nothing sent after it)"
lvx_check_same "the seven items usable again after Stop" "$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)" \
    "32771=enabled 32773=enabled 32774=enabled 32776=enabled+checked 32777=enabled 32778=enabled 32779=enabled "

# A second song plays whole, from a clean log.
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-first.log"
: >"$LVX_MIDI_LOG"
lvx_check "second song chosen" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_check "second song played to its end" lvx_midi_wait ' CLOSE$' 30
lvx_check "second song: every event once, in order, on time" lvx_midi_as_song two-lines.kar
lvx_run_ended "second song"

# A song without a melody track: Silence Melody has nothing to silence and is grey too.
: >"$LVX_MIDI_LOG"
lvx_check "song without a melody chosen" lvx_open_song "$LVX_WIN" minuet-in-g.mid
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
lvx_check_same "all seven items grey while a song without a melody track plays" "$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)" \
    "32771=grayed 32773=grayed 32774=grayed 32776=grayed+checked 32777=grayed 32778=grayed 32779=grayed "
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
lvx_check "stopped" lvx_midi_wait ' CLOSE$' 5
sleep 0.3
lvx_check "Silence Melody usable again" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_SILENCE)" = enabled
hanging=$(lvx_midi_hanging)
lvx_check "no note left sounding [$hanging]" test -z "$hanging"

# A song without a single event: the run opens and closes the device at once.
: >"$LVX_MIDI_LOG"
lvx_check "empty song chosen" lvx_open_song "$LVX_WIN" no-events.mid
lvx_check "empty song ends by itself" lvx_midi_wait ' CLOSE$' 5
lvx_check "empty song sends nothing" test "$(lvx_midi_count ' DATA ')" = 0
sleep 0.3
lvx_check "Open usable after the empty song" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_OPEN)" = enabled

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-last.log"
