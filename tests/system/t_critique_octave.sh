#!/usr/bin/env bash
# The critique follows the pitch the singer is asked for. Singing Octave Lower: a man who sings
# the melody in time an octave below scores low while the option is off (its pitch lands an
# octave left of the notes), and once the option is on (it takes effect at the next song) as
# well as singing at pitch. With Critique on, opening a song captures at 8000 Hz mono whatever
# quality was chosen since: that song is recorded with FM chosen, and its take is AM and holds
# the low voice. The key: at key -5 (Ctrl+Down five times) the falling notes move five semitones
# down, so a voice five semitones down scores well and the same voice at the written pitch low.
# The tempo: at 125 % (Ctrl+Right five times) the song runs at 125 bpm and a man singing along
# it in time still scores well. Scoring well is at least 9, low at most 2, every melody note
# judged each time.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_voice.sh"
lvx_begin
lvx_install_lyrivox
song=twinkle.kar
notes=$(lvx_melody_notes "$LVX_APP_DIR/media/karaoke/$song")

# sings NAME WHAT well|low [lvx-sing options]: one song sung, judged in full, scoring as told.
sings() {
    lvx_sing_song "$LVX_WIN" "$song" "$1" "${@:4}"
    lvx_check_report "$2" "$3" "$notes"
}

lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_check "Critique checked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_CRITIQUE)" = enabled+checked
lvx_check "Singing Octave Lower starts unchecked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER)" = enabled
sings low-off "option off: an octave low" low --transpose -12

lvx_drv command "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_drv command "$LVX_WIN" $LVX_CMD_FM
lvx_check "Singing Octave Lower, Record and FM checked" test \
    "$(lvx_menu_states "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER $LVX_CMD_RECORD $LVX_CMD_FM)" = \
    "32792=enabled+checked 32774=enabled+checked 32777=enabled+checked "
sings low-on "option on: an octave low" well --transpose -12
take=$LVX_APP_DIR/lvxtake.wav
lvx_check "the take finished" lvx_take_finished "$take" 10
cp "$take" "$LVX_OUT/take.wav"
lvx_check_same "Critique captured at 8000 Hz mono though FM was chosen" "$(lvx_wav "$take" rate channels | paste -sd' ')" "8000 1"
lvx_check_take_sings "$LVX_APP_DIR/media/karaoke/$song" "$take" --octave-lower

lvx_drv command "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_drv keys "$LVX_WIN" ctrl+down ctrl+down ctrl+down ctrl+down ctrl+down >/dev/null
lvx_check "caption at key -5 [$(lvx_drv title "$LVX_WIN")]" test "$(lvx_drv title "$LVX_WIN")" = "Lyrivox  [key -5]"
lvx_check "Singing Octave Lower and Record off again" test \
    "$(lvx_menu_states "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER $LVX_CMD_RECORD)" = "32792=enabled 32774=enabled "
sings written "at the written pitch at key -5" low
sings down5 "five down at key -5" well --transpose -5

lvx_drv keys "$LVX_WIN" ctrl+0 ctrl+right ctrl+right ctrl+right ctrl+right ctrl+right >/dev/null
lvx_check "caption at tempo 125 % [$(lvx_drv title "$LVX_WIN")]" test "$(lvx_drv title "$LVX_WIN")" = "Lyrivox  [tempo 125 %]"
sings fast "sung along at 125 bpm" well --tempo 125

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
