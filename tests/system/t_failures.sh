#!/usr/bin/env bash
# What a user can lack or lose, each with its exact message, and the program goes on.
# No MIDI device: opening a song says "Unable to start the Midi timer.", nothing plays, the menu
# stays usable and Open can be tried again; with the device back (a new start of the program)
# the song plays. No microphone (taken away after a song was recorded): a song opened with
# Record on says "Unable to open the default wave in device.  ..." once and still plays to its
# end, the last recording stays as it was, and the next song plays without any message.
# No background picture: "Unable to load a graphics file.  ..." at start-up and at each song, a
# blank background, the song plays; with the pictures back the next song has one. A song typed
# into the dialog that is not there: "Error opening the midi file [full path]." (".mid" added to
# a name without extension), nothing plays. A read-only song plays. A song whose lyrics overflow
# the tables: "The file has exceeded the buffer limits ...", and every event of it is still
# sent. A read-only options file: its values apply at start, and at exit it stays as it was,
# without a message.
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
lvx_midi_reset devices

# stage_colours NAME: how many colours the screenshot has on the stage, between the lyric band
# (60 rows at 20px) and the keyboard strip (63 rows).
stage_colours() { convert "$LVX_OUT/$1.bmp" -crop 640x330+0+70 +repage -unique-colors -format '%w' info:; }

# ---- no background picture ----
mkdir -p "$LVX_WORK/pictures"
mv "$LVX_APP_DIR"/media/images/*.bmp "$LVX_WORK/pictures/"
lvx_start lyrivox.exe
# messages_all_110 WHAT: closes every message box that comes, one after another, until none has
# come for 3 s (20 s for the first): at least one, each the graphics message.
messages_all_110() {
    local texts='' box wait=20
    while box=$(lvx_drv message-box $wait 2>/dev/null); do
        wait=3
        texts+=${box#*$'\n'}$'\n'
    done
    [ -n "$texts" ] || lvx_fail "$1: no message"
    [ -z "$(grep -vxF "$LVX_MSG_NO_GRAPHICS" <<<"$texts")" ] || lvx_fail "$1: other messages: $texts"
    lvx_log "ok: $1: \"$LVX_MSG_NO_GRAPHICS\" ($(grep -c . <<<"$texts") times)"
}
messages_all_110 "no pictures, start-up"
LVX_WIN=$(lvx_drv wait Lyrivox 20) || lvx_fail "no main window after the messages"
lvx_check "no pictures: client area 640 x 480" test "$(lvx_drv client-size "$LVX_WIN")" = "640 480"
lvx_screenshot "$LVX_WIN" no-pictures-start >/dev/null
lvx_check "no pictures: blank background at start" test "$(stage_colours no-pictures-start)" = 1
lvx_check "no pictures: blank is black" test "$(lvx_pixel no-pictures-start 320 240)" = 0,0,0

lvx_drv command "$LVX_WIN" $LVX_CMD_OPEN
lvx_check "no pictures: song chosen" lvx_drv fill-dialog "$LVX_SONGS_WIN\\two-lines.kar" 20 >/dev/null
messages_all_110 "no pictures, song opened"
lvx_check "no pictures: the song plays" lvx_midi_wait ' DATA 9' 10
lvx_screenshot "$LVX_WIN" no-pictures-song >/dev/null
lvx_check "no pictures: blank background during the song" test "$(stage_colours no-pictures-song)" = 1
lvx_song_plays_to_end "no pictures" 30
lvx_midi_reset no-pictures

# The pictures back: the next song finds one, and says nothing.
cp "$LVX_WORK"/pictures/*.bmp "$LVX_APP_DIR/media/images/"
lvx_check "pictures back: song chosen" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_expect_no_message "pictures back" 1
lvx_screenshot "$LVX_WIN" pictures-back >/dev/null
colours=$(stage_colours pictures-back)
lvx_check "pictures back: a picture behind the song ($colours colours)" test "$colours" -gt 16
lvx_song_plays_to_end "pictures back" 30
lvx_midi_reset pictures-back

# ---- a song that is not there ----
for typed in nosuch.kar nosuch; do
    want="$LVX_SONGS_WIN\\nosuch.kar"
    [ "$typed" = nosuch ] && want="$LVX_SONGS_WIN\\nosuch.mid"
    lvx_drv command "$LVX_WIN" $LVX_CMD_OPEN
    lvx_check "missing song: the dialog takes \"$typed\"" lvx_drv fill-dialog "$LVX_SONGS_WIN\\$typed" 20 >/dev/null
    lvx_expect_message "missing song \"$typed\"" "Error opening the midi file [$want]."
    lvx_expect_no_message "missing song \"$typed\": one message only" 0.5
    lvx_check "missing song \"$typed\": Open usable" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_OPEN)" = enabled
done
lvx_check "missing song: nothing opened" test "$(lvx_midi_count ' OPEN')" = 0

# ---- a read-only song ----
lvx_unwritable "$LVX_APP_DIR/media/karaoke/two-lines.kar"
attributes=$(cd "$LVX_APP_DIR/media/karaoke" && lvx_wine attrib two-lines.kar </dev/null 2>/dev/null | tr -d '\r')
lvx_check "read-only song: the program's system sees it read-only [$attributes]" grep -q '^[A ]*R' <<<"$attributes"
lvx_check "read-only song: chosen" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_expect_no_message "read-only song" 1
lvx_song_plays_to_end "read-only song" 30
lvx_midi_reset read-only-song
lvx_writable

# ---- lyrics beyond the tables ----
lvx_check "too many lyrics: chosen" lvx_open_song "$LVX_WIN" many-lines.kar
lvx_expect_message "too many lyrics" "$LVX_MSG_LIMITS"
lvx_song_plays_to_end "too many lyrics: the song plays" 40
lvx_check "too many lyrics: every event sent once, in order, on time" lvx_midi_as_song many-lines.kar
lvx_expect_no_message "too many lyrics: nothing more" 0.5
lvx_midi_reset many-lines
lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"

# ---- a read-only options file ----
lvx_options_write 700 500 32 800 2 1
lvx_unwritable "$LVX_APP_DIR/options.lvx"
before=$(sha256sum <"$LVX_APP_DIR/options.lvx")
lvx_lyrivox_up
lvx_check "read-only options: the saved size applies" test "$(lvx_drv client-size "$LVX_WIN")" = "700 500"
lvx_check_same "read-only options: the saved marks apply" "$(lvx_checked_items "$LVX_WIN" | paste -sd, -)" \
    "40px,&Heavy,&Silence Melody,&FM,&Original Key,Original &Tempo"
# A change that a save would carry: the file must not take it.
lvx_drv command "$LVX_WIN" 32783
lvx_check "read-only options: 20px chosen" test "$(lvx_menu_state "$LVX_WIN" 32783)" = enabled+checked
lvx_drv command "$LVX_WIN" $LVX_CMD_EXIT
lvx_expect_no_message "read-only options: exit" 2
lvx_check "read-only options: the program ends" lvx_wait_exit 10
lvx_check "read-only options: the file is as it was" test "$(sha256sum <"$LVX_APP_DIR/options.lvx")" = "$before"
lvx_writable
