#!/usr/bin/env bash
# Ending the program while a song plays, by File > Exit and by closing the window: the process
# is gone within a second of the command, the run was stopped first (the MIDI device reset and
# then closed, no note left sounding), the options file holds the settings of the moment (a
# font changed during the song included), and with Record on the recording in progress is a
# valid WAV file whose header sizes match its data.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin
lvx_install_lyrivox

# end_during_song HOW NAME: starts the program, plays a song, ends it by HOW (exit or close).
end_during_song() {
    local how=$1 name=$2
    : >"$LVX_MIDI_LOG"
    lvx_lyrivox_up
    lvx_check "$name: song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
    lvx_check "$name: song plays" lvx_midi_wait ' DATA ' 10
    # A setting changed during the song must be what is saved.
    lvx_drv command "$LVX_WIN" 32784 # Font > Size > 40px: font size 32
    sleep 2
    lvx_check "$name: still playing" test "$(lvx_midi_count ' CLOSE$')" = 0
    if [ "$how" = exit ]; then
        lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
    else
        lvx_drv close "$LVX_WIN" >/dev/null
    fi
    local posted
    posted=$(lvx_now)
    lvx_check "$name: the process ends" lvx_wait_exit 10
    local took
    took=$(lvx_ms_since "$posted")
    lvx_log "$name: ended $took ms after the command was posted"
    lvx_check "$name: ended within a second" test "$took" -lt 1000
    lvx_check "$name: exit status 0" test "$LVX_APP_STATUS" = 0
    lvx_check "$name: device reset, then closed, once each" test \
        "$(awk '$2 == "OPEN" || $2 == "RESET" || $2 == "CLOSE" { printf "%s ", $2 }' "$LVX_MIDI_LOG")" = "OPEN RESET CLOSE "
    lvx_check "$name: nothing sent after the reset" test -z "$(awk '$2 == "RESET" { r = 1 } r && $2 == "DATA"' "$LVX_MIDI_LOG")"
    local sounding hanging
    sounding=$(awk '$2 == "RESET" { exit } { print }' "$LVX_MIDI_LOG" | lvx_midi_hanging /dev/stdin | wc -l)
    hanging=$(lvx_midi_hanging)
    lvx_check "$name: $sounding notes were sounding, none left [$hanging]" test -z "$hanging"
    lvx_check "$name: options file written" test -f "$LVX_APP_DIR/options.lvx"
    cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-$how.log"
}

rm -f "$LVX_APP_DIR/options.lvx"
end_during_song exit "Exit during a song"
lvx_check "Exit: options hold the font chosen during the song" test "$(lvx_options_read)" = "640 480 32 400 1 0"

lvx_options_write 700 500 20 600 1 1
end_during_song close "Closing the window during a song"
lvx_check "close: options hold the size, the font chosen and the rest" test "$(lvx_options_read)" = "700 500 32 600 1 1"

# Record on: the take in progress is closed as a whole WAV file.
rm -f "$LVX_APP_DIR/lvxtake.wav"
lvx_options_write 640 480 20 400 1 0
: >"$LVX_MIDI_LOG"
lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_check "Record checked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_RECORD)" = enabled+checked
lvx_tone "$LVX_WORK/tone.wav" 1.5 440
lvx_check "recorded song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_check "recorded song plays" lvx_midi_wait ' DATA ' 10
lvx_feed "$LVX_WORK/tone.wav"
sleep 3
lvx_check "recording in progress" test -s "$LVX_APP_DIR/lvxtake.wav"
lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
posted=$(lvx_now)
lvx_check "recording: the process ends" lvx_wait_exit 10
took=$(lvx_ms_since "$posted")
lvx_log "recording: ended $took ms after the command was posted"
lvx_check "recording: ended within a second" test "$took" -lt 1000
cp "$LVX_APP_DIR/lvxtake.wav" "$LVX_OUT/"
info=$(/usr/bin/python3 "$LVX_SYSTEM/wavinfo.py" "$LVX_APP_DIR/lvxtake.wav")
lvx_log "lvxtake.wav: $(tr '\n' ' ' <<<"$info")"
field() { awk -v k="$1" '$1 == k { print $2 }' <<<"$info"; }
lvx_check "recording: 44-byte header" test "$(field header_bytes)" = 44
lvx_check "recording: RIFF size matches the file" test "$(field riff_size_ok)" = 1
lvx_check "recording: data size matches the data" test "$(field data_size_ok)" = 1
lvx_check "recording: 8000 Hz mono 16-bit" test "$(field rate) $(field channels) $(field bits)" = "8000 1 16"
lvx_check "recording: seconds of sound" awk -v s="$(field seconds)" 'BEGIN { exit !(s >= 2) }'
lvx_check "recording: the fed tone is in it" awk -v f="$(field frequency)" 'BEGIN { exit !(f > 430 && f < 450) }'
hanging=$(lvx_midi_hanging)
lvx_check "recording: no note left sounding [$hanging]" test -z "$hanging"
