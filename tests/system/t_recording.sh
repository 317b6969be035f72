#!/usr/bin/env bash
# Recording: with Record on, a song records the microphone into C:\lyrivox\lvxtake.wav in each
# quality: a 44-byte header whose format is the quality's (AM 8000 Hz mono, FM 22050 Hz
# stereo, CD 44100 Hz stereo), sizes that match the data, the song's length of sound and the
# fed tone where it was fed (its pitch by lvx-pitch). Each song truncates the take and starts
# afresh. Save As while the take is being written shows message 104; Play Last Recording
# leaves the program working; Save As through the real save dialog moves the take into
# media\wave\ (the same bytes, the take gone), and Save As with no take shows 104.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_voice.sh"
lvx_begin
lvx_install_lyrivox
lvx_install_test_songs
song=two-lines.kar
take=$LVX_APP_DIR/lvxtake.wav
length_ms=$(lvx_song_ms "$LVX_APP_DIR/media/karaoke/$song")

lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_RECORD
lvx_check "Record checked, Critique not" test "$(lvx_checked_items "$LVX_WIN" | grep -Ec '^&(Record|Critique)$')|$(lvx_menu_state "$LVX_WIN" $LVX_CMD_RECORD)" = "1|enabled+checked"

# record_song QUALITY_ID HZ AT_SECONDS: plays the song with that quality while a 1.5 s tone
# of HZ is fed AT_SECONDS into it; leaves the take finished.
runs=0
record_song() {
    local quality=$1 hz=$2 at=$3
    lvx_drv command "$LVX_WIN" "$quality"
    lvx_check "quality $quality marked" test "$(lvx_menu_state "$LVX_WIN" "$quality")" = enabled+checked
    runs=$((runs + 1))
    lvx_check "$song chosen in the Open dialog" lvx_open_song "$LVX_WIN" "$song"
    local t0
    t0=$(lvx_run_start $runs 20) || lvx_fail "run $runs did not start"
    lvx_tone "$LVX_WORK/tone-$hz.wav" 1.5 "$hz" -9
    lvx_feed "$LVX_WORK/tone-$hz.wav" "$(awk -v t="$t0" -v a="$at" 'BEGIN { printf "%.3f", t / 1000 + a }')"
    [ "${during_song:-}" ] && "$during_song"
    lvx_check "run $runs played to its end" lvx_midi_wait ' CLOSE$' 30 $runs
    lvx_check "take of run $runs finished" lvx_take_finished "$take" 10
}

# check_take CHANNELS RATE HZ AT: the take's header, sizes, length and tone.
check_take() {
    local channels=$1 rate=$2 hz=$3 at=$4
    local align=$((2 * channels)) size
    size=$(stat -c %s "$take")
    local data=$((size - 44))
    lvx_check_same "header of the $rate Hz take: RIFF size, fmt, PCM, channels, rate, byte rate, align, bits, data size" \
        "$(lvx_wav "$take" header)" "RIFF $((data + 36)) WAVE fmt  16 1 $channels $rate $((rate * align)) $align 16 data $data"
    local seconds loud_start loud_end
    read -r seconds loud_start loud_end <<<"$(lvx_wav "$take" seconds loud_start loud_end | paste -sd' ')"
    lvx_check "the take lasts as the song does ($seconds s for $length_ms ms)" \
        awk -v s="$seconds" -v l="$length_ms" 'BEGIN { exit !(s > l / 1000 - 0.3 && s < l / 1000 + 1.0) }'
    lvx_check "the tone alone, where it was fed: $loud_start..$loud_end s for $at..$(awk -v a="$at" 'BEGIN { print a + 1.5 }') s" \
        awk -v s="$loud_start" -v e="$loud_end" -v a="$at" 'BEGIN { exit !(s > a - 0.2 && s < a + 0.5 && e - s > 1.3 && e - s < 1.6) }'
    local found bin
    found=$(lvx_take_pitch "$take" "$(awk -v s="$loud_start" 'BEGIN { print s + 0.1 }')" "$(awk -v e="$loud_end" 'BEGIN { print e - 0.1 }')")
    bin=$(awk -v r="$rate" 'BEGIN { printf "%d", r / 1024 + 1 }')
    lvx_check "lvx-pitch hears $found Hz in the take for the $hz Hz tone (bins of $((bin - 1)) Hz)" \
        awk -v f="$found" -v h="$hz" -v b="$bin" 'BEGIN { exit !(f >= h - b && f <= h + b) }'
}

# AM, with a Save As while the take is being written.
save_while_recording() {
    sleep 3
    lvx_drv command "$LVX_WIN" $LVX_CMD_SAVE_AS
    local box
    box=$(lvx_drv message-box 10) || lvx_fail "no message on Save As while recording"
    lvx_check "Save As while recording: message 104 [$box]" test "$box" = "Lyrivox!"$'\n'"$LVX_TEXT_NO_TAKE"
}
during_song=save_while_recording
record_song $LVX_CMD_AM 440 2.0
during_song=
check_take 1 8000 440 2.0
cp "$take" "$LVX_OUT/take-am.wav"

# Play Last Recording hands the take to whatever opens wave files; the program carries on.
lvx_drv command "$LVX_WIN" $LVX_CMD_PLAY_LAST
sleep 2
lvx_check "the program answers after Play Last Recording" lvx_menu_state "$LVX_WIN" $LVX_CMD_OPEN >/dev/null

record_song $LVX_CMD_FM 330 3.0
check_take 2 22050 330 3.0
cp "$take" "$LVX_OUT/take-fm.wav"
record_song $LVX_CMD_CD 523 1.0
check_take 2 44100 523 1.0
cp "$take" "$LVX_OUT/take-cd.wav"

# Save As, through the real save dialog: a bare name lands in media\wave\ as a .wav.
sum=$(md5sum <"$take")
lvx_drv command "$LVX_WIN" $LVX_CMD_SAVE_AS
lvx_check "the save dialog \"Save Wave File\" is up" lvx_drv dialog "Save Wave File" 10 >"$LVX_WORK/save1.txt"
lvx_check "Save As dialog filled" lvx_drv fill-dialog 'mytake' 20 >/dev/null
saved=$LVX_APP_DIR/media/wave/mytake.wav
for _ in $(seq 50); do [ -f "$saved" ] && break; sleep 0.1; done
lvx_check "the take saved as media\\wave\\mytake.wav" test -f "$saved"
lvx_check "the saved file is the take, byte for byte" test "$(md5sum <"$saved")" = "$sum"
lvx_check "the temporary take is gone" test ! -e "$take"

# No take left: the move fails.
lvx_drv command "$LVX_WIN" $LVX_CMD_SAVE_AS
lvx_drv dialog "Save Wave File" 10 >"$LVX_WORK/save2.txt" || lvx_fail "no second save dialog"
lvx_check "the second save dialog shows the last name [$(awk '$1 == 1148' "$LVX_WORK/save2.txt")]" \
    grep -Eq '^1148 .*mytake' "$LVX_WORK/save2.txt"
lvx_check "second Save As dialog filled" lvx_drv fill-dialog 'second' 20 >/dev/null
box=$(lvx_drv message-box 10) || lvx_fail "no message on Save As without a take"
lvx_check "Save As without a take: message 104" test "$box" = "Lyrivox!"$'\n'"$LVX_TEXT_NO_TAKE"
lvx_check "nothing saved under the second name" test ! -e "$LVX_APP_DIR/media/wave/second.wav"
lvx_check "the first saved take untouched" test "$(md5sum <"$saved")" = "$sum"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
