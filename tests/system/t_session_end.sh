#!/usr/bin/env bash
# The ends a user does not choose from the menu. Windows ending the session during a recorded
# song: the program answers WM_QUERYENDSESSION yes and, inside WM_ENDSESSION, stops the run,
# resets and closes the MIDI output, finishes the take and saves the options; then the process
# is killed outright, as Windows does, and all of that must already be on disk. And Exit while
# the stop's message box is still open on the timer thread: the program leaves within a few
# seconds, with the MIDI output reset and closed and the take whole.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin
lvx_install_lyrivox

WM_QUERYENDSESSION=0x11
WM_ENDSESSION=0x16

# recorded_song NAME: the program up with Record on, a song playing and two seconds of a fed
# tone in the take.
recorded_song() {
    local name=$1
    rm -f "$LVX_APP_DIR/lvxtake.wav"
    : >"$LVX_MIDI_LOG"
    lvx_lyrivox_up
    lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
    lvx_check "$name: Record checked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_RECORD)" = enabled+checked
    lvx_check "$name: song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
    lvx_check "$name: song plays" lvx_midi_wait ' DATA ' 10
    lvx_feed "$LVX_WORK/tone.wav"
    sleep 3
}

# whole_take NAME: the take is a valid WAV whose header sizes match its data, with the tone.
whole_take() {
    local name=$1 info
    cp "$LVX_APP_DIR/lvxtake.wav" "$LVX_OUT/lvxtake-$name.wav" 2>/dev/null
    info=$(/usr/bin/python3 "$LVX_SYSTEM/wavinfo.py" "$LVX_APP_DIR/lvxtake.wav")
    lvx_log "$name: lvxtake.wav: $(tr '\n' ' ' <<<"$info")"
    field() { awk -v k="$1" '$1 == k { print $2 }' <<<"$info"; }
    lvx_check "$name: RIFF size matches the file" test "$(field riff_size_ok)" = 1
    lvx_check "$name: data size matches the data" test "$(field data_size_ok)" = 1
    lvx_check "$name: seconds of sound" awk -v s="$(field seconds)" 'BEGIN { exit !(s >= 2) }'
}

# reset_and_close NAME: the MIDI output was reset, then closed, and nothing sounds.
reset_and_close() {
    local name=$1 hanging
    lvx_check "$name: device reset, then closed" test \
        "$(awk '$2 == "OPEN" || $2 == "RESET" || $2 == "CLOSE" { printf "%s ", $2 }' "$LVX_MIDI_LOG")" = "OPEN RESET CLOSE "
    hanging=$(lvx_midi_hanging)
    lvx_check "$name: no note left sounding [$hanging]" test -z "$hanging"
    cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-$name.log"
}

lvx_tone "$LVX_WORK/tone.wav" 1.5 440

# Windows ends the session.
lvx_options_write 640 480 20 400 1 0
recorded_song session
lvx_drv command "$LVX_WIN" 32784 # Font > Size > 40px: a setting of this session
sleep 1
lvx_check "session: still playing" test "$(lvx_midi_count ' CLOSE$')" = 0
lvx_check "session: may end (WM_QUERYENDSESSION answered yes)" \
    test "$(lvx_drv send "$LVX_WIN" $WM_QUERYENDSESSION 0 0)" = 1
lvx_check "session: WM_ENDSESSION answered" lvx_drv send "$LVX_WIN" $WM_ENDSESSION 1 0
kill -KILL "$LVX_APP_PID" 2>/dev/null
lvx_check "session: the process is gone" lvx_wait_exit 10
lvx_check "session: options hold the font chosen during the song" test "$(lvx_options_read)" = "640 480 32 400 1 0"
reset_and_close session
whole_take session

# Exit while the stop's box is open: the close reports a failure, so the stop shows "Unable to
# kill the Midi timer." on the timer thread, and nobody answers it.
export LYRIVOX_MIDI_CLOSE_FAIL=1
recorded_song box
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
box=$(lvx_drv message-box 10 --keep)
lvx_check "box: the stop shows its message [$box]" grep -q "Unable to kill the Midi timer." <<<"$box"
lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
posted=$(lvx_now)
lvx_check "box: the process ends" lvx_wait_exit 20
took=$(lvx_ms_since "$posted")
lvx_log "box: ended $took ms after Exit was posted"
lvx_check "box: ended within a few seconds" test "$took" -lt 5000
unset LYRIVOX_MIDI_CLOSE_FAIL
reset_and_close box
whole_take box
