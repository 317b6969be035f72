#!/usr/bin/env bash
# The devices a user can lack. No MIDI device: opening a song says "Unable to start the Midi
# timer.", nothing plays, the menu stays usable and Open can be tried again; with the device
# back (a new start of the program) the song plays. No microphone (taken away after a song was
# recorded): a song opened with Record on says "Unable to open the default wave in device.  ..."
# once and still plays to its end, the last recording stays as it was, and the next song plays
# without any message.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_failures.sh"
lvx_begin
lvx_install_lyrivox
lvx_install_test_songs
all_usable="32771=enabled 32773=enabled 32774=enabled 32776=enabled+checked 32777=enabled 32778=enabled 32779=enabled "

# ---- no MIDI device: the capture driver refuses every open for this start of the program ----
export LYRIVOX_MIDI_FAIL=1
lvx_lyrivox_up
for attempt in 1 2; do
    lvx_check "no MIDI, attempt $attempt: song chosen in the Open dialog" lvx_open_song "$LVX_WIN" two-lines.kar
    lvx_expect_message "no MIDI, attempt $attempt" "$LVX_MSG_NO_MIDI"
    states=$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)
    lvx_check_same "no MIDI, attempt $attempt: the seven run items usable again" "$states" "$all_usable"
done
lvx_expect_no_message "no MIDI: nothing more to say" 1
lvx_check "no MIDI: the driver refused two opens" test "$(lvx_midi_count ' OPEN-FAILED$')" = 2
lvx_check "no MIDI: nothing opened, nothing sent" test "$(lvx_midi_count ' (OPEN|DATA|CLOSE)( |$)')" = 0
lvx_check "no MIDI: Exit ends the program" lvx_exit_program "$LVX_WIN"
unset LYRIVOX_MIDI_FAIL
lvx_midi_reset no-midi

lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_check "MIDI back: song chosen, Record on" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_song_plays_to_end "MIDI back" 30
lvx_expect_no_message "MIDI back: the song played without a message" 0.5
lvx_midi_reset midi-back
sleep 0.3
seconds=$(lvx_py wav "$LVX_APP_DIR/lvxtake.wav" seconds)
lvx_check "MIDI back: the song was recorded, seconds of sound ($seconds s)" awk -v s="$seconds" 'BEGIN { exit !(s > 5) }' 
take=$(sha256sum <"$LVX_APP_DIR/lvxtake.wav")

# ---- no microphone: PulseAudio goes away (Wine falls back to ALSA, no capture device here) ----
lvx_stop_pulse
lvx_check "no microphone: song chosen with Record on" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_expect_message "no microphone" "$LVX_MSG_NO_WAVE_IN"
lvx_song_plays_to_end "no microphone: the song plays all the same" 30
# The device was never opened, so there is nothing to close and nothing more to report.
lvx_expect_no_message "no microphone: no second message at the song's end" 1
lvx_check "no microphone: the last recording is as it was" test "$(sha256sum <"$LVX_APP_DIR/lvxtake.wav")" = "$take"
sleep 0.3
states=$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)
want=${all_usable/32774=enabled/32774=enabled+checked}
lvx_check_same "no microphone: the seven run items usable after the song" "$states" "$want"
lvx_midi_reset no-microphone

# The next song, Record off: no capture is tried, no message.
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_check "Record off again" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_RECORD)" = enabled
lvx_check "next song chosen" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_song_plays_to_end "next song" 30
lvx_expect_no_message "next song: no message" 0.5
lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
