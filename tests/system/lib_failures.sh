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

# lvx_song_plays_to_end WHAT SECONDS: within SECONDS the MIDI log (emptied by the caller before
# the song) shows notes sent and the run ended cleanly (lvx_run_ended).
lvx_song_plays_to_end() {
    lvx_midi_wait ' CLOSE$' "$2" || lvx_fail "$1: the song did not end within $2 s"
    lvx_check "$1: notes were sent" test "$(lvx_midi_count ' DATA 9')" -gt 0
    lvx_run_ended "$1"
}

# lvx_midi_reset: keeps the MIDI log so far as $LVX_OUT/midi-NAME.log and empties it.
lvx_midi_reset() {
    cp "$LVX_MIDI_LOG" "$LVX_OUT/midi-$1.log"
    : >"$LVX_MIDI_LOG"
}

# lvx_unwritable FILE...: makes files read-only as the program sees them (the read-only
# attribute) and unwritable even for root, whom Wine, running as root here, would otherwise let
# write them. lvx_writable undoes it; the test's cleanup (lib.sh) does too.
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
