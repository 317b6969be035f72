#!/usr/bin/env bash
# Critique, not sung: a song stopped before any note was judged reports "Not enough samples
# were taken to critique.  Check microphone setup." in the program's own message box; a song
# met with silence counts every melody note as possible and none as hit (score 0: with no
# pitch the marker rests left of the lane); a microphone's noise floor at -55 dBFS, nobody
# singing, is no pitch either (that message, or a score of at most 1); a man who sings the
# melody a fifth off in time scores low, with every note still counted.
# Then sung well: a man, then a woman, singing the demo song's melody in time into the
# microphone (sung vowels, each note at its true time, the song's time 0 taken from the MIDI
# log) each earn one report in the box "Karaoke Critique!" that counts every melody note as
# possible (the song plays on long enough after its last note for every bar to be hit or to
# fall out) and a score of at least 9. Record is on as well: Critique moves the quality to AM,
# and the take of the second song, sung beside two busy processes, is whole (the song's length
# within 1 %, the voice in every second it sang) and holds the voice, every note at its time
# and pitch.
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

# ---- sung well, recorded ----
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_drv command "$LVX_WIN" $LVX_CMD_CD
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_check "Record and Critique checked, Critique moved the quality to AM" test \
    "$(lvx_menu_states "$LVX_WIN" $LVX_CMD_RECORD $LVX_CMD_CRITIQUE $LVX_CMD_AM $LVX_CMD_CD)" = \
    "32774=enabled+checked 32779=enabled+checked 32776=enabled+checked 32778=enabled "
for singer in male female; do
    # The recorded take beside two busy processes (normal priority, as a user's other work).
    [ $singer = female ] && lvx_busy 2
    lvx_sing_song "$LVX_WIN" "$song" "sung-$singer" --voice "$singer"
    lvx_check_report "$singer sung in time" well "$notes"
    lvx_check "$singer: the score is the hits' share, truncated: $LVX_HITS of $LVX_POSSIBLE gives $LVX_SCORE" \
        test "$LVX_SCORE" = $((LVX_HITS * 10 / LVX_POSSIBLE))
    lvx_check "$singer: one report a song" test "$(lvx_drv message-box 1 || echo none)" = none
done

take=$LVX_APP_DIR/lvxtake.wav
lvx_check "the take finished" lvx_take_finished "$take" 10
cp "$take" "$LVX_OUT/take.wav"
lvx_check_same "the take is AM: Hz and channels" "$(lvx_wav "$take" rate channels | paste -sd' ')" "8000 1"
lvx_check_take_sings "$LVX_APP_DIR/media/karaoke/$song" "$take"
lvx_check_take_whole "$LVX_APP_DIR/media/karaoke/$song" "$take" "$LVX_WORK/sung-female.wav"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
