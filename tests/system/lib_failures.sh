# shellcheck shell=bash disable=SC2034  # sets variables for the tests that source it
# Helpers for the failure and long-session tests of lyrivox.exe: source it after lib.sh and
# lib_program.sh.

# The program's message texts, as the user reads them (two blanks after a full stop kept).
LVX_MSG_NO_WAVE_IN='Unable to open the default wave in device.  Make sure it is not in use by another process.'
LVX_MSG_NO_GRAPHICS='Unable to load a graphics file.  Reinstall the original graphics into the media/images subfolder.'
LVX_MSG_LIMITS='The file has exceeded the buffer limits for notes and/or lyrics.  It may not play properly.'
LVX_MSG_NO_MIDI='Unable to start the Midi timer.'
LVX_MSG_CAPTION='Lyrivox!'

# lvx_expect_message WHAT TEXT [SECONDS]: a message box must come within SECONDS (default 10),
# with the caption "Lyrivox!" and exactly TEXT; it is then closed with OK.
lvx_expect_message() {
    local what=$1 text=$2 limit=${3:-10} box caption body
    box=$(lvx_drv message-box "$limit") || lvx_fail "$what: no message box within $limit s"
    caption=${box%%$'\n'*}
    body=${box#*$'\n'}
    body=${body%$'\n'}
    [ "$caption" = "$LVX_MSG_CAPTION" ] || lvx_fail "$what: caption [$caption], want [$LVX_MSG_CAPTION]"
    [ "$body" = "$text" ] || lvx_fail "$what: message [$body], want [$text]"
    lvx_log "ok: $what: \"$text\""
}

# lvx_expect_no_message WHAT [SECONDS]: no message box shows within SECONDS (default 1); one
# that does fails the test with its text.
lvx_expect_no_message() {
    local what=$1 limit=${2:-1} box
    if box=$(lvx_drv message-box "$limit" --keep 2>/dev/null); then
        lvx_fail "$what: unexpected message box [${box//$'\n'/ | }]"
    fi
    lvx_log "ok: $what: no message box"
}

# lvx_song_plays_to_end WHAT SECONDS: the MIDI log (emptied by the caller before the song)
# shows one OPEN, notes, a RESET and one CLOSE within SECONDS, with no note left sounding.
lvx_song_plays_to_end() {
    local what=$1 limit=$2 hanging
    lvx_midi_wait ' CLOSE$' "$limit" || lvx_fail "$what: the song did not end within $limit s"
    lvx_check "$what: notes were sent" test "$(lvx_midi_count ' DATA 9')" -gt 0
    lvx_check "$what: one open, one close" test \
        "$(awk '$2 == "OPEN" || $2 == "CLOSE" { printf "%s ", $2 }' "$LVX_MIDI_LOG")" = "OPEN CLOSE "
    hanging=$(lvx_midi_hanging)
    lvx_check "$what: no note left sounding [$hanging]" test -z "$hanging"
}

# lvx_midi_reset: keeps the MIDI log so far as $LVX_OUT/midi-NAME.log and empties it.
lvx_midi_reset() {
    cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-$1.log"
    : >"$LVX_MIDI_LOG"
}

# lvx_take_messages [QUIET] [FIRST]: closes every message box that comes, one after another,
# until none has come for QUIET seconds (default 1.5; FIRST seconds for the first, default
# QUIET); prints each box's text on a line of its own.
lvx_take_messages() {
    local quiet=${1:-1.5} wait=${2:-${1:-1.5}} box
    while box=$(lvx_drv message-box "$wait" 2>/dev/null); do
        wait=$quiet
        box=${box#*$'\n'}
        printf '%s\n' "${box%$'\n'}"
    done
}

# lvx_region_colours NAME X Y W H: how many distinct colours a rectangle of a screenshot holds.
lvx_region_colours() {
    convert "$LVX_OUT/$1.bmp" -crop "$4x$5+$2+$3" +repage -unique-colors -format '%w' info:
}

# lvx_unwritable FILE...: makes files read-only as the program sees them (the read-only
# attribute) and unwritable even for root, whom Wine, running as root here, would otherwise let
# write them. lvx_writable undoes it; the test's cleanup does too.
lvx_unwritable() {
    local file
    for file in "$@"; do
        chmod a-w "$file"
        chattr +i "$file" 2>/dev/null || lvx_fail "chattr +i $file: the file system cannot make a file unwritable"
        printf '%s\n' "$file" >>"$LVX_WORK/unwritable"
    done
}
lvx_writable() {
    local file
    [ -f "$LVX_WORK/unwritable" ] || return 0
    while read -r file; do
        chattr -i "$file" 2>/dev/null
        chmod u+w "$file" 2>/dev/null
    done <"$LVX_WORK/unwritable"
    rm -f "$LVX_WORK/unwritable"
}
# The cleanup of lib.sh removes the work folder: immutable files in it must be released first.
_lvx_release_and_clean_up() {
    local status=$?
    lvx_writable
    (exit "$status")
    lvx_cleanup
}
lvx_release_on_exit() { trap _lvx_release_and_clean_up EXIT; }

# lvx_options_values: the six values of the options file as the program reads it (a 0x0D 0x0A
# pair is one 0x0A; every other byte, 0x1A included, is data), space-separated.
lvx_options_values() {
    /usr/bin/python3 - "$LVX_APP_DIR/options.lvx" <<'PYTHON'
import struct, sys
data = open(sys.argv[1], "rb").read().replace(b"\r\n", b"\n")
if len(data) < 24:
    sys.exit("options file holds %d bytes" % len(data))
print(" ".join(str(v) for v in struct.unpack("<6i", data[:24])))
PYTHON
}
