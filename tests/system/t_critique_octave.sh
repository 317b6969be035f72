#!/usr/bin/env bash
# Singing Octave Lower: a man who sings the melody in time an octave below scores low while
# the option is off (its pitch lands an octave left of the notes), and once the option is on
# (it takes effect at the next song) it scores as well as singing at pitch: every note
# counted, a score of at least 8. With Critique on, opening a song captures at 8000 Hz mono
# whatever quality was chosen since: the second song is recorded with FM chosen, and its take
# is AM and holds the low voice.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_voice.sh"
lvx_begin
lvx_install_lyrivox
song=twinkle.kar
notes=$(lvx_melody_notes "$LVX_APP_DIR/media/karaoke/$song")

lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_check "Critique checked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_CRITIQUE)" = enabled+checked
lvx_check "Singing Octave Lower starts unchecked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER)" = enabled

lvx_sing_song "$LVX_WIN" "$song" low-off --transpose -12
lvx_check "option off: every note judged ($LVX_POSSIBLE of $notes)" test "$LVX_POSSIBLE" = "$notes"
lvx_check "option off: an octave low scores low ($LVX_HITS hits, score $LVX_SCORE)" test "$LVX_SCORE" -le 2

lvx_drv command "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_drv command "$LVX_WIN" $LVX_CMD_FM
lvx_check "Singing Octave Lower, Record and FM checked" test \
    "$(lvx_menu_states "$LVX_WIN" $LVX_CMD_OCTAVE_LOWER $LVX_CMD_RECORD $LVX_CMD_FM)" = \
    "32792=enabled+checked 32774=enabled+checked 32777=enabled+checked "
lvx_sing_song "$LVX_WIN" "$song" low-on --transpose -12
lvx_check "option on: caption \"Karaoke Critique!\"" test "$LVX_REPORT_CAPTION" = "Karaoke Critique!"
lvx_check "option on: every note judged ($LVX_POSSIBLE of $notes)" test "$LVX_POSSIBLE" = "$notes"
lvx_check "option on: an octave low scores at least 8 ($LVX_HITS hits, score $LVX_SCORE)" test "$LVX_SCORE" -ge 8


take=$LVX_APP_DIR/lvxtake.wav
lvx_check "the take finished" lvx_take_finished "$take" 10
cp "$take" "$LVX_OUT/take.wav"
lvx_check "Critique captured at 8000 Hz mono though FM was chosen" test "$(lvx_wav "$take" rate) $(lvx_wav "$take" channels)" = "8000 1"
lvx_check_take_sings "$LVX_APP_DIR/media/karaoke/$song" "$take" --octave-lower

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
