#!/usr/bin/env bash
# Critique, sung well: with Critique on, a demo song opened through the real Open dialog and a
# man, then a woman, singing its melody in time into the microphone (sung vowels, each note at
# its true time, the song's time 0 taken from the MIDI log) each earn one report in the box
# "Karaoke Critique!" that counts every melody note as possible (the song plays on long enough
# after its last note for every bar to be hit or to fall out) and a score of at least 9.
# Record is on as well: Critique moves the quality to AM, and the take of the second song, sung
# beside two busy processes, is whole (the song's length within 1 %, the voice in every second
# it sang) and holds the voice, every note at its time and pitch.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_voice.sh"
lvx_begin
lvx_install_lyrivox
song=twinkle.kar
notes=$(lvx_melody_notes "$LVX_APP_DIR/media/karaoke/$song")
lvx_log "$song: $notes melody notes"

lvx_lyrivox_up
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
lvx_check "the take is AM: 8000 Hz mono" test "$(lvx_wav "$take" rate) $(lvx_wav "$take" channels)" = "8000 1"
lvx_check_take_sings "$LVX_APP_DIR/media/karaoke/$song" "$take"
lvx_check_take_whole "$LVX_APP_DIR/media/karaoke/$song" "$take" "$LVX_WORK/sung-female.wav"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
