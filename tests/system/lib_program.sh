# shellcheck shell=bash disable=SC2034  # sets variables for the tests that source it
# Helpers for the tests of the real lyrivox.exe: source it after lib.sh.
#
#   LVX_HOST_BUILD  the host build whose tools the tests use (gen-songs for the short test
#                   songs); default build/host of this tree

LVX_HOST_BUILD=${LVX_HOST_BUILD:-$LVX_ROOT/build/host}
LVX_HOST_BUILD=$(cd "$LVX_HOST_BUILD" 2>/dev/null && pwd || echo "$LVX_HOST_BUILD")
LVX_SONGS_WIN='C:\lyrivox\media\karaoke'

# Menu command ids of the program.
LVX_CMD_OPEN=32771
LVX_CMD_STOP=32772
LVX_CMD_EXIT=105
LVX_CMD_SILENCE=32773
LVX_CMD_RECORD=32774
LVX_CMD_AM=32776
LVX_CMD_FM=32777
LVX_CMD_CD=32778
LVX_CMD_CRITIQUE=32779
LVX_CMD_ABOUT=104
# The seven items a playing song greys: Open, Silence Melody, Record, AM, FM, CD, Critique.
LVX_RUN_ITEMS="32771 32773 32774 32776 32777 32778 32779"

# lvx_host_tool NAME: the path of a host tool (tools/NAME of the host build).
lvx_host_tool() {
    local tool=$LVX_HOST_BUILD/tools/$1/$1
    [ -x "$tool" ] || lvx_fail "$tool is missing: build the host preset first (LVX_HOST_BUILD=$LVX_HOST_BUILD)"
    echo "$tool"
}

# lvx_install_test_songs: the short test songs (two-lines.kar 8 s, many-lines.kar 10 s,
# no-events.mid) into the program's song folder.
lvx_install_test_songs() {
    "$(lvx_host_tool gen-songs)" --test-songs "$LVX_APP_DIR/media/karaoke" >/dev/null ||
        lvx_fail "gen-songs could not write the test songs"
}

# lvx_options_write W H FONTSIZE WEIGHT QUALITY SILENCE: the options file as the program's
# text-mode stream writes it (each byte 0x0A stored as 0x0D 0x0A). lvx_options_read: its six
# values as the program reads them back, space-separated; fails when fewer than six.
lvx_options_write() { lvx_py options-write "$LVX_APP_DIR/options.lvx" "$@"; }
lvx_options_read() { lvx_py options "$LVX_APP_DIR/options.lvx"; }

# lvx_lyrivox_up: installs the staged program, starts it and waits for its main window; the
# handle is LVX_WIN.
lvx_lyrivox_up() {
    [ -f "$LVX_APP_DIR/lyrivox.exe" ] || lvx_install_lyrivox
    lvx_start lyrivox.exe
    LVX_WIN=$(lvx_drv wait Lyrivox 60) || lvx_fail "no main window"
}

# lvx_menu_state WINDOW ID: the state of one menu item ("enabled", "grayed+checked", ...).
lvx_menu_state() {
    lvx_drv menu "$1" | awk -v id="$2" '$1 == id { print $2; found = 1 } END { exit !found }'
}

# lvx_menu_states WINDOW ID...: "ID=STATE" for each, space-separated, in the order given.
lvx_menu_states() {
    local window=$1 menu id
    shift
    menu=$(lvx_drv menu "$window") || return 1
    for id in "$@"; do
        printf '%s=%s ' "$id" "$(awk -v id="$id" '$1 == id { print $2 }' <<<"$menu")"
    done
}

# lvx_checked_items WINDOW: the texts of the checked items, one a line.
lvx_checked_items() {
    lvx_drv menu "$1" | awk '$2 ~ /checked/ { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}

# lvx_open_song WINDOW NAME: File > Open and the song's name typed into the real dialog.
lvx_open_song() {
    lvx_drv command "$1" $LVX_CMD_OPEN
    lvx_drv fill-dialog "$LVX_SONGS_WIN\\$2" 20 >/dev/null
}

# lvx_exit_program WINDOW: File > Exit, and the process must end within SECONDS (default 10).
lvx_exit_program() {
    lvx_drv command "$1" $LVX_CMD_EXIT
    lvx_wait_exit "${2:-10}"
}

# lvx_song_ms SONG_PATH: the time of the song's last event in ms.
lvx_song_ms() { lvx_py events "$1" | tail -1 | cut -d' ' -f1; }

# lvx_run_ended WHAT: the MIDI log (emptied by the caller before the song) shows the device
# opened, reset and then closed, once each, nothing sent after the reset and no note sounding.
lvx_run_ended() {
    lvx_check_same "$1: device opened, reset, then closed, once each" \
        "$(awk '$2 == "OPEN" || $2 == "RESET" || $2 == "CLOSE" { printf "%s ", $2 }' "$LVX_MIDI_LOG")" "OPEN RESET CLOSE "
    lvx_check "$1: nothing sent after the reset" test -z "$(awk '$2 == "RESET" { r = 1 } r && $2 == "DATA"' "$LVX_MIDI_LOG")"
    local hanging
    hanging=$(lvx_midi_hanging)
    lvx_check "$1: $(lvx_midi_hanging --to-reset | wc -l) notes were sounding, none left [$hanging]" test -z "$hanging"
}

# lvx_check_stage NAME W H: a screenshot of the critique stage at a client size of W x H, against
# its layout: lyric band to 2*20+20 = 60 at 20px, keyboard strip from H - (int)(H*0.1333), its
# keys scaled to the width, the marker at the bottom left.
lvx_check_stage() {
    local name=$1 w=$2 h=$3 black=0,0,0 white=255,255,255 band=60
    local strip_top=$((h - h * 1333 / 10000)) key=$((w * 32 / 640))
    lvx_check "$name: client area $w x $h" test "$(lvx_drv client-size "$LVX_WIN")" = "$w $h"
    sleep 0.5
    lvx_check "$name: pictured" lvx_screenshot "$LVX_WIN" "$name" >/dev/null
    local f=$LVX_OUT/$name.bmp
    lvx_check "$name: band to y = $band" test "$(lvx_pixel "$name" $((w / 2)) 0)" = "$black" -a \
        "$(lvx_pixel "$name" $((w / 2)) $((band - 1)))" = "$black" -a "$(lvx_pixel "$name" $((w / 2)) "$band")" != "$black"
    # A bar in the judging zone may lie over the strip (drawn there, not removed): at most two.
    lvx_check "$name: strip's top row at y = $strip_top black and white but for bars over it" \
        test "$(lvx_py other "$f" 32 "$strip_top" "$w" $((strip_top + 1)) $black $white)" -le 64
    lvx_check "$name: background above the strip" \
        test "$(lvx_py other "$f" 0 $((strip_top - 1)) "$w" "$strip_top" $black $white)" -gt $((w / 8))
    # White keys $key pixels wide: the separator after C, the white D below the black keys.
    lvx_check "$name: separator after C" test "$(lvx_pixel "$name" $((key + 1)) $((h - 5)))" = "$black"
    lvx_check "$name: white key D" test "$(lvx_pixel "$name" $((key * 3 / 2)) $((h - 5)))" = "$white"
    lvx_check "$name: black key after C" test "$(lvx_pixel "$name" "$((key + key / 5))" $((strip_top + 5)))" = "$black"
    lvx_check "$name: marker at the bottom left" test "$(lvx_py other "$f" 0 $((h - 32)) 32 "$h" $black $white)" -gt 100
}

# lvx_midi_as_song SONG [lvx.py events OPTIONS]: the MIDI log holds the song's events (shaped by
# the options) each once, in order per channel, within 60 ms of its time.
lvx_midi_as_song() {
    local song=$1
    shift
    lvx_py compare "$LVX_APP_DIR/media/karaoke/$song" "$LVX_MIDI_LOG" "$@" >&2
}
