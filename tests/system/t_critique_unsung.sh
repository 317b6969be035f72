#!/usr/bin/env bash
# Critique, not sung: a song stopped before any note was judged reports "Not enough samples
# were taken to critique.  Check microphone setup." in the program's own message box; a song
# met with silence counts every melody note as possible and none as hit (score 0: with no
# pitch the marker rests left of the lane); a microphone's noise floor at -55 dBFS, nobody
# singing, is no pitch either (that message, or a score of at most 1); a man who sings the
# melody a fifth off in time scores low, with every note still counted.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_voice.sh"
lvx_begin
lvx_install_lyrivox
lvx_install_test_songs

lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_check "Critique checked" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_CRITIQUE)" = enabled+checked

# Stopped after a second: no bar has reached the judging zone yet.
lvx_check "twinkle.kar chosen in the Open dialog" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_run_start 1 20 >/dev/null || lvx_fail "the song did not start"
sleep 1
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
lvx_check "a message after the stop" lvx_critique_report 10
lvx_check "stopped early: the no-samples message in the caption \"Lyrivox!\"" \
    test "$LVX_REPORT_CAPTION|$LVX_REPORT_TEXT" = "Lyrivox!|$LVX_TEXT_NO_SAMPLES"

# Silence only: the feeder writes nothing else.
song=two-lines.kar
notes=$(lvx_melody_notes "$LVX_APP_DIR/media/karaoke/$song")
lvx_check "$song chosen in the Open dialog" lvx_open_song "$LVX_WIN" "$song"
lvx_check "critique report after $song" lvx_critique_report 30
lvx_check "silence: caption \"Karaoke Critique!\"" test "$LVX_REPORT_CAPTION" = "Karaoke Critique!"
lvx_check "silence: 0 hits of all $notes notes, score 0" \
    test "$LVX_REPORT_TEXT" = "You hit 0 notes out of a total $notes possible. For a score of 0 out of 10."

# A noise floor and nobody singing.
song=twinkle.kar
notes=$(lvx_melody_notes "$LVX_APP_DIR/media/karaoke/$song")
LVX_RUNS=2  # two runs so far: the stopped one and the silent one
lvx_sing_song "$LVX_WIN" "$song" noise-floor --silence --noise -55
lvx_check "a noise floor alone scores nothing ($LVX_REPORT_TEXT)" \
    test "$LVX_REPORT_TEXT" = "$LVX_TEXT_NO_SAMPLES" -o "${LVX_SCORE:-99}" -le 1

# A fifth off.
lvx_sing_song "$LVX_WIN" "$song" fifth --transpose 7
lvx_check_report "a fifth off" low "$notes"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
