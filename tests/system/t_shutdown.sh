#!/usr/bin/env bash
# Every way the program ends while a song plays, each from a fresh start of twinkle.kar with a
# font changed during the song: File > Exit and closing the window (gone within a second, exit
# status 0); with Record on, Exit (the take in progress a valid AM WAV holding the fed tone);
# Windows ending the session (WM_QUERYENDSESSION answered yes; inside WM_ENDSESSION the program
# stops the run, closes the MIDI output, finishes the take and saves the options, so all of it
# is on disk when the process is then killed outright, as Windows does); and Exit while the
# stop's message box is still open on the timer thread (gone within a few seconds). Each time
# the MIDI device is reset and then closed, once each, nothing is sent after the reset and no
# note is left sounding, and the options hold the settings of the moment.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin
lvx_install_lyrivox
lvx_tone "$LVX_WORK/tone.wav" 1.5 440

# song NAME [record]: a fresh start playing the song (with Record on and a tone fed when
# asked); Font > Size > 40px (font size 32) during it, which the options must then hold.
song() {
    rm -f "$LVX_APP_DIR/lvxtake.wav"
    : >"$LVX_MIDI_LOG"
    lvx_lyrivox_up
    if [ -n "${2:-}" ]; then
        lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
        lvx_check "$1: Record checked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_RECORD)" = enabled+checked
    fi
    lvx_check "$1: song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
    lvx_check "$1: song plays" lvx_midi_wait ' DATA ' 10
    [ -n "${2:-}" ] && lvx_feed "$LVX_WORK/tone.wav"
    lvx_drv command "$LVX_WIN" 32784 # Font > Size > 40px
    sleep 3
    lvx_check "$1: still playing" test "$(lvx_midi_count ' CLOSE$')" = 0
}

# ended NAME MS WORDS: the process ends within MS of the command just posted.
ended() {
    local posted took
    posted=$(lvx_now)
    lvx_check "$1: the process ends" lvx_wait_exit 20
    took=$(awk -v a="$posted" -v b="$(lvx_now)" 'BEGIN { printf "%d", (b - a) * 1000 }')
    lvx_log "$1: ended $took ms after the command was posted"
    lvx_check "$1: ended within $3" test "$took" -lt "$2"
}

# stopped NAME OPTIONS: the run was stopped first and the options hold OPTIONS.
stopped() {
    lvx_run_ended "$1"
    lvx_check_same "$1: options hold the size, the font chosen and the rest" "$(lvx_options_read)" "$2"
    cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-${1%% *}.log"
}

# whole_take NAME: the take is a valid AM WAV: 44-byte header, 8000 Hz mono 16-bit, RIFF and data
# sizes that match the file, seconds of sound holding the fed tone.
whole_take() {
    cp "$LVX_APP_DIR/lvxtake.wav" "$LVX_OUT/lvxtake-${1%% *}.wav" 2>/dev/null
    local v
    read -r -a v <<<"$(lvx_py wav "$LVX_APP_DIR/lvxtake.wav" header_bytes rate channels bits riff_size_ok data_size_ok seconds frequency | paste -sd' ')"
    lvx_check_same "$1: header, format and sizes of lvxtake.wav" "${v[*]:0:6}" "44 8000 1 16 1 1"
    lvx_check "$1: seconds of sound (${v[6]} s), the fed tone in it (${v[7]} Hz)" \
        awk -v s="${v[6]}" -v f="${v[7]}" 'BEGIN { exit !(s >= 2 && f > 430 && f < 450) }'
}

rm -f "$LVX_APP_DIR/options.lvx"
song "Exit during a song"
lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
ended "Exit during a song" 1000 "a second"
lvx_check "Exit: exit status 0" test "$LVX_APP_STATUS" = 0
stopped "Exit during a song" "640 480 32 400 1 0"

lvx_options_write 700 500 20 600 1 1
song "Closing the window during a song"
lvx_drv close "$LVX_WIN" >/dev/null
ended "Closing the window during a song" 1000 "a second"
lvx_check "close: exit status 0" test "$LVX_APP_STATUS" = 0
stopped "Closing the window during a song" "700 500 32 600 1 1"

lvx_options_write 640 480 20 400 1 0
song recording record
lvx_check "recording in progress" test -s "$LVX_APP_DIR/lvxtake.wav"
lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
ended recording 1000 "a second"
stopped recording "640 480 32 400 1 0"
whole_take recording

lvx_options_write 640 480 20 400 1 0
song session record
lvx_check "session: may end (WM_QUERYENDSESSION answered yes)" test "$(lvx_drv send "$LVX_WIN" 0x11 0 0)" = 1
lvx_check "session: WM_ENDSESSION answered" lvx_drv send "$LVX_WIN" 0x16 1 0
kill -KILL "$LVX_APP_PID" 2>/dev/null
lvx_check "session: the process is gone" lvx_wait_exit 10
stopped session "640 480 32 400 1 0"
whole_take session

export LYRIVOX_MIDI_CLOSE_FAIL=1
song box record
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
box=$(lvx_drv message-box 10 --keep)
lvx_check "box: the stop shows its message [$box]" grep -q "Unable to kill the Midi timer." <<<"$box"
lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
ended box 5000 "a few seconds"
unset LYRIVOX_MIDI_CLOSE_FAIL
stopped box "640 480 32 400 1 0"
whole_take box
