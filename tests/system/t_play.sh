#!/usr/bin/env bash
# A demo song opened through the real Open dialog plays to its end: every channel event of the
# file reaches the MIDI device once, in order per channel, each within 60 ms of its true time
# (the file's own tempo map, read independently of the program); the seven items a run greys
# are grey while it plays (Silence Melody stays usable: the song has a melody track) and usable
# again after; the device is reset before it is closed and no note is left sounding.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin --no-pulse
lvx_install_lyrivox
song=twinkle.kar
/usr/bin/python3 "$LVX_SYSTEM/song_events.py" "$LVX_APP_DIR/media/karaoke/$song" >"$LVX_WORK/expected.txt"
total=$(wc -l <"$LVX_WORK/expected.txt")
length_ms=$(tail -1 "$LVX_WORK/expected.txt" | cut -d' ' -f1)
lvx_log "$song: $total channel events over $length_ms ms"

lvx_lyrivox_up
lvx_check "song chosen in the Open dialog" lvx_open_song "$LVX_WIN" "$song"
lvx_check "MIDI device opened" lvx_midi_wait ' OPEN$' 10
lvx_check "first events sent" lvx_midi_wait ' DATA ' 10

during=$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS $LVX_CMD_STOP)
want="32771=grayed 32773=enabled 32774=grayed 32776=grayed+checked 32777=grayed 32778=grayed 32779=grayed 32772=enabled "
lvx_check_same "Open, Record, the qualities and Critique grey while playing; Silence Melody and Stop usable" "$during" "$want"

lvx_check "song played to its end" lvx_midi_wait ' CLOSE$' $(((${length_ms%.*} / 1000) + 30))
sleep 0.3
after=$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)
want="32771=enabled 32773=enabled 32774=enabled 32776=enabled+checked 32777=enabled 32778=enabled 32779=enabled "
lvx_check_same "the seven items usable again after the song" "$after" "$want"

lvx_check "every event once, in order per channel, within 60 ms of its true time" \
    /usr/bin/python3 "$LVX_SYSTEM/midicompare.py" "$LVX_WORK/expected.txt" "$LVX_MIDI_LOG" 60 >&2
# The file's tempo to the millisecond: the song lasts as long as its tempo map says.
played=$(awk '$2 == "DATA" { if (!first) first = $1; last = $1 } END { printf "%d", last - first }' "$LVX_MIDI_LOG")
first_ms=$(awk 'NR == 1 { print $1 }' "$LVX_WORK/expected.txt")
lvx_log "first to last event: $played ms sent, $(awk -v a="$length_ms" -v b="$first_ms" 'BEGIN { printf "%d", a - b }') ms in the file"
lvx_check "song length within 50 ms of the file's" awk -v p="$played" -v a="$length_ms" -v b="$first_ms" \
    'BEGIN { d = p - (a - b); exit !(d < 50 && d > -50) }'
lvx_check "one open, one reset, one close, in that order" test \
    "$(awk '$2 == "OPEN" || $2 == "RESET" || $2 == "CLOSE" { printf "%s ", $2 }' "$LVX_MIDI_LOG")" = "OPEN RESET CLOSE "
lvx_check "no DATA after the reset" test -z "$(awk '$2 == "RESET" { r = 1 } r && $2 == "DATA"' "$LVX_MIDI_LOG")"
hanging=$(lvx_midi_hanging)
[ -z "$hanging" ] || lvx_fail "notes left sounding: $hanging"
# Every note-on of the file met its note-off before the reset: nothing relied on it.
hanging=$(grep -v ' RESET' "$LVX_MIDI_LOG" | lvx_midi_hanging /dev/stdin)
lvx_check "every note ended by its own note-off [$hanging]" test -z "$hanging"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
