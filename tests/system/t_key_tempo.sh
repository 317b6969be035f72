#!/usr/bin/env bash
# Key & Tempo. A demo song at key +3 (set with Ctrl+Up, as a user would): every note off the
# drum channel goes out three semitones up, the drums as written, every event once and on
# time, nothing left sounding. A song at 80 % (the menu's Slower four times): every event at
# 1.25 times its time, first to last 1.25 times the file's. The key moved up and down while
# chords are held: each note-off follows its own note-on and nothing is left sounding when the
# song ends. The caption names key and tempo while they differ from the song's own, and the
# items stay usable during a song.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin --no-pulse
lvx_install_lyrivox
lvx_install_test_songs
LVX_CMD_KEY_UP=32801
LVX_CMD_KEY_DOWN=32802
LVX_CMD_SLOWER=32805
LVX_KEY_TEMPO_ITEMS="32801 32802 32803 32804 32805 32806"
songs=$LVX_APP_DIR/media/karaoke

lvx_lyrivox_up
lvx_check "no key or tempo in the caption at start" test "$(lvx_drv title "$LVX_WIN")" = Lyrivox
lvx_check "Original Key and Original Tempo checked at start" test \
    "$(lvx_menu_states "$LVX_WIN" $LVX_KEY_TEMPO_ITEMS)" = \
    "32801=enabled 32802=enabled 32803=enabled+checked 32804=enabled 32805=enabled 32806=enabled+checked "

# ---- key +3 ----
lvx_drv keys "$LVX_WIN" ctrl+up ctrl+up ctrl+up >/dev/null
lvx_check "caption after Ctrl+Up three times [$(lvx_drv title "$LVX_WIN")]" \
    test "$(lvx_drv title "$LVX_WIN")" = "Lyrivox  [key +3]"
song=twinkle.kar
length_ms=$(/usr/bin/python3 "$LVX_SYSTEM/song_events.py" "$songs/$song" | tail -1 | cut -d' ' -f1)
lvx_check "$song chosen" lvx_open_song "$LVX_WIN" "$song"
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
lvx_check "the Key & Tempo items usable during the song" test \
    "$(lvx_menu_states "$LVX_WIN" $LVX_KEY_TEMPO_ITEMS)" = \
    "32801=enabled 32802=enabled 32803=enabled 32804=enabled 32805=enabled 32806=enabled+checked "
lvx_check "$song played to its end" lvx_midi_wait ' CLOSE$' $(((${length_ms%.*} / 1000) + 30))
lvx_check "key +3: every note off the drum channel 3 up, drums as written, on time" lvx_midi_as_song "$song" --key=3
hanging=$(grep -v ' RESET' "$LVX_MIDI_LOG" | lvx_midi_hanging /dev/stdin)
lvx_check "key +3: every note ended by its own note-off [$hanging]" test -z "$hanging"
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-key.log"

# ---- 80 % ----
: >"$LVX_MIDI_LOG"
lvx_drv keys "$LVX_WIN" ctrl+0 >/dev/null
for _ in 1 2 3 4; do lvx_drv command "$LVX_WIN" $LVX_CMD_SLOWER; done
lvx_check "caption at 80 % [$(lvx_drv title "$LVX_WIN")]" test "$(lvx_drv title "$LVX_WIN")" = "Lyrivox  [tempo 80 %]"
song=two-lines.kar
lvx_check "$song chosen" lvx_open_song "$LVX_WIN" "$song"
lvx_check "$song played to its end" lvx_midi_wait ' CLOSE$' 30
lvx_check "80 %: every event once, at 1.25 times its time" lvx_midi_as_song "$song" --tempo=80
played=$(awk '$2 == "DATA" { if (!first) first = $1; last = $1 } END { printf "%.1f", last - first }' "$LVX_MIDI_LOG")
file_ms=$(/usr/bin/python3 "$LVX_SYSTEM/song_events.py" "$songs/$song" | awk 'NR == 1 { a = $1 } { b = $1 } END { printf "%.1f", b - a }')
lvx_log "80 %: first to last event $played ms sent, the file's $file_ms ms x 1.25 = $(awk -v f="$file_ms" 'BEGIN { print f * 1.25 }') ms"
lvx_check "80 %: first to last 1.25 times the file's, within 50 ms" awk -v p="$played" -v f="$file_ms" \
    'BEGIN { d = p - f * 1.25; exit !(d < 50 && d > -50) }'
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-tempo.log"

# ---- key changes while chords are held ----
: >"$LVX_MIDI_LOG"
lvx_drv keys "$LVX_WIN" ctrl+9 >/dev/null
lvx_check "caption back to the song's own" test "$(lvx_drv title "$LVX_WIN")" = Lyrivox
lvx_check "$song chosen again" lvx_open_song "$LVX_WIN" "$song"
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
for command in $LVX_CMD_KEY_UP $LVX_CMD_KEY_UP $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_DOWN \
    $LVX_CMD_KEY_UP $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_UP $LVX_CMD_KEY_UP $LVX_CMD_KEY_UP; do
    sleep 0.35
    lvx_drv command "$LVX_WIN" "$command"
done
lvx_check "$song played to its end" lvx_midi_wait ' CLOSE$' 30
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-changes.log"
report=$(/usr/bin/python3 "$LVX_SYSTEM/song_events.py" "$songs/$song" --shifts="$LVX_MIDI_LOG")
lvx_log "key changes: $(tr '\n' ';' <<<"$report")"
keys=$(awk '$1 == "keys" { print NF - 1 }' <<<"$report")
carried=$(awk '$1 == "carried" { print $2 }' <<<"$report")
lvx_check "notes went out at several keys ($keys)" test "$keys" -ge 3
lvx_check "notes held across a key change were released where they sounded ($carried)" test "$carried" -gt 0
lvx_check "the drums stayed as written" test "$(awk '$1 == "drums" { $1 = ""; print }' <<<"$report")" = " 0"
hanging=$(grep -v ' RESET' "$LVX_MIDI_LOG" | lvx_midi_hanging /dev/stdin)
lvx_check "nothing left sounding at the song's end [$hanging]" test -z "$hanging"
lvx_check "caption after the changes [$(lvx_drv title "$LVX_WIN")]" test "$(lvx_drv title "$LVX_WIN")" = "Lyrivox  [key +1]"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
