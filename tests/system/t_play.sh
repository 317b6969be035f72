#!/usr/bin/env bash
# Playing and stopping songs, and Key & Tempo. A demo song opened through the real Open dialog
# at key +3 (set with Ctrl+Up, as a user would) plays to its end: every channel event of the
# file reaches the MIDI device once, in order per channel, each within 60 ms of its true time
# (the file's own tempo map, read independently of the program), notes off the drum channel
# three semitones up, the drums as written; the seven items a run greys are grey while it plays
# (Silence Melody stays usable: the song has a melody track), Key & Tempo usable, all usable
# again after; the device is reset before it is closed and every note ended by its own
# note-off. File > Stop in the middle of a song: the device is reset and then closed within a
# period or two, no note is left sounding, nothing is sent after the close, the menu is usable
# again. The next song, at 80 % (the menu's Slower four times), plays whole: every event at 1.25
# times its time, first to last 1.25 times the file's. The key moved up and down while chords
# are held: each note-off follows its own note-on and nothing is left sounding when the song
# ends. The caption names key and tempo while they differ from the song's own. A song without a
# melody track greys Silence Melody as well; a song with no events at all starts and stops at
# once.
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
# caption_is WANT: the main window's caption.
caption_is() { lvx_check_same "caption" "$(lvx_drv title "$LVX_WIN")" "$1"; }

lvx_lyrivox_up
caption_is Lyrivox
lvx_check_same "Original Key and Original Tempo checked at start" "$(lvx_menu_states "$LVX_WIN" $LVX_KEY_TEMPO_ITEMS)" \
    "32801=enabled 32802=enabled 32803=enabled+checked 32804=enabled 32805=enabled 32806=enabled+checked "

# ---- a demo song at key +3 ----
lvx_drv keys "$LVX_WIN" ctrl+up ctrl+up ctrl+up >/dev/null
caption_is "Lyrivox  [key +3]"
song=twinkle.kar
length_ms=$(lvx_song_ms "$songs/$song")
lvx_check "$song chosen in the Open dialog" lvx_open_song "$LVX_WIN" "$song"
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
lvx_check_same "Open, Record, the qualities and Critique grey while playing; Silence Melody, Stop, Key & Tempo usable" \
    "$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS $LVX_CMD_STOP $LVX_KEY_TEMPO_ITEMS)" \
    "32771=grayed 32773=enabled 32774=grayed 32776=grayed+checked 32777=grayed 32778=grayed 32779=grayed 32772=enabled 32801=enabled 32802=enabled 32803=enabled 32804=enabled 32805=enabled 32806=enabled+checked "
lvx_check "$song played to its end" lvx_midi_wait ' CLOSE$' $(((${length_ms%.*} / 1000) + 30))
sleep 0.3
lvx_check_same "the seven items usable again after the song" "$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)" \
    "32771=enabled 32773=enabled 32774=enabled 32776=enabled+checked 32777=enabled 32778=enabled 32779=enabled "
lvx_check "key +3: every event once, in order per channel, within 60 ms; off the drums 3 up" lvx_midi_as_song "$song" --key=3
lvx_run_ended "$song"
hanging=$(lvx_midi_hanging --no-reset)
lvx_check "every note ended by its own note-off [$hanging]" test -z "$hanging"
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-key.log"

# ---- Stop in the middle of a song ----
: >"$LVX_MIDI_LOG"
lvx_drv keys "$LVX_WIN" ctrl+0 >/dev/null
lvx_check "twinkle.kar chosen again" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
# Into the song, where notes of every channel are sounding.
sleep 4
lvx_check "still playing before Stop" test "$(lvx_midi_count ' CLOSE$')" = 0
# The MIDI log's clock (in seconds here) around the command: the driver takes its own time to
# post it, so the stop is timed from when the command was surely posted.
before=$(lvx_now)
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
stop_at=$(awk -v s="$(lvx_now)" 'BEGIN { printf "%.1f", s * 1000 }')
lvx_check "device closed after Stop" lvx_midi_wait ' CLOSE$' 5
reset_at=$(awk '$2 == "RESET" { print $1; exit }' "$LVX_MIDI_LOG")
lvx_log "Stop posted by $stop_at ms, reset $(awk -v a="$reset_at" -v b="$stop_at" 'BEGIN { printf "%.1f", a - b }') ms after"
lvx_check "stopped after the command, within 100 ms of its post" \
    awk -v r="$reset_at" -v s="$stop_at" -v b="$before" 'BEGIN { exit !(r > b * 1000 && r - s < 100) }'
lvx_check "notes were sounding when Stop came (the test stops mid-song)" test "$(lvx_midi_hanging --to-reset | wc -l)" -gt 0
lvx_check "part of the song only" test "$(lvx_midi_count ' DATA ')" -lt 500
sleep 0.3
lvx_run_ended "Stop (nothing sent after it)"
lvx_check_same "the seven items usable again after Stop" "$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)" \
    "32771=enabled 32773=enabled 32774=enabled 32776=enabled+checked 32777=enabled 32778=enabled 32779=enabled "
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-stop.log"

# ---- the next song whole, at 80 % ----
: >"$LVX_MIDI_LOG"
for _ in 1 2 3 4; do lvx_drv command "$LVX_WIN" $LVX_CMD_SLOWER; done
caption_is "Lyrivox  [tempo 80 %]"
song=two-lines.kar
lvx_check "$song chosen" lvx_open_song "$LVX_WIN" "$song"
lvx_check "$song played to its end" lvx_midi_wait ' CLOSE$' 30
lvx_check "80 %: every event once, at 1.25 times its time" lvx_midi_as_song "$song" --tempo=80
lvx_run_ended "80 %"
# The tempo to the millisecond: the song lasts as long as its tempo map says, stretched.
played=$(awk '$2 == "DATA" { if (!first) first = $1; last = $1 } END { printf "%.1f", last - first }' "$LVX_MIDI_LOG")
file_ms=$(lvx_py events "$songs/$song" | awk 'NR == 1 { a = $1 } { b = $1 } END { printf "%.1f", b - a }')
lvx_check "80 %: first to last $played ms, 1.25 times the file's $file_ms within 50 ms" awk -v p="$played" -v f="$file_ms" \
    'BEGIN { d = p - f * 1.25; exit !(d < 50 && d > -50) }'
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-tempo.log"

# ---- key changes while chords are held ----
: >"$LVX_MIDI_LOG"
lvx_drv keys "$LVX_WIN" ctrl+9 >/dev/null
caption_is Lyrivox
lvx_check "$song chosen again" lvx_open_song "$LVX_WIN" "$song"
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
for command in $LVX_CMD_KEY_UP $LVX_CMD_KEY_UP $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_DOWN \
    $LVX_CMD_KEY_UP $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_DOWN $LVX_CMD_KEY_UP $LVX_CMD_KEY_UP $LVX_CMD_KEY_UP; do
    sleep 0.35
    lvx_drv command "$LVX_WIN" "$command"
done
lvx_check "$song played to its end" lvx_midi_wait ' CLOSE$' 30
cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-changes.log"
report=$(lvx_py shifts "$songs/$song" "$LVX_MIDI_LOG")
lvx_log "key changes: $(tr '\n' ';' <<<"$report")"
keys=$(awk '$1 == "keys" { print NF - 1 }' <<<"$report")
carried=$(awk '$1 == "carried" { print $2 }' <<<"$report")
lvx_check "notes went out at several keys ($keys)" test "$keys" -ge 3
lvx_check "notes held across a key change were released where they sounded ($carried)" test "$carried" -gt 0
lvx_check "the drums stayed as written" test "$(awk '$1 == "drums" { $1 = ""; print }' <<<"$report")" = " 0"
hanging=$(lvx_midi_hanging --no-reset)
lvx_check "nothing left sounding at the song's end [$hanging]" test -z "$hanging"
caption_is "Lyrivox  [key +1]"

# ---- songs without a melody or without events ----
# A song without a melody track: Silence Melody has nothing to silence and is grey too.
: >"$LVX_MIDI_LOG"
lvx_check "song without a melody chosen" lvx_open_song "$LVX_WIN" minuet-in-g.mid
lvx_check "it plays" lvx_midi_wait ' DATA ' 10
lvx_check_same "all seven items grey while a song without a melody track plays" "$(lvx_menu_states "$LVX_WIN" $LVX_RUN_ITEMS)" \
    "32771=grayed 32773=grayed 32774=grayed 32776=grayed+checked 32777=grayed 32778=grayed 32779=grayed "
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
lvx_check "stopped" lvx_midi_wait ' CLOSE$' 5
sleep 0.3
lvx_check "Silence Melody usable again" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_SILENCE)" = enabled
hanging=$(lvx_midi_hanging)
lvx_check "no note left sounding [$hanging]" test -z "$hanging"

# A song without a single event: the run opens and closes the device at once.
: >"$LVX_MIDI_LOG"
lvx_check "empty song chosen" lvx_open_song "$LVX_WIN" no-events.mid
lvx_check "empty song ends by itself" lvx_midi_wait ' CLOSE$' 5
lvx_check "empty song sends nothing" test "$(lvx_midi_count ' DATA ')" = 0
sleep 0.3
lvx_check "Open usable after the empty song" test "$(lvx_menu_state "$LVX_WIN" $LVX_CMD_OPEN)" = enabled

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
