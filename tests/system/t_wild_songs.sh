#!/usr/bin/env bash
# Karaoke files as other programs write them, opened through the real Open dialog: a song whose
# lyric events have no line breaks at all and one with CR and LF after its syllables. While each
# plays the caption reads "Lyrivox - <title>" (the first track's name here) and both lyric lines
# carry ink: the second line of the first song exists only because its words wrap. When a song
# stops or ends the caption reads "Lyrivox" again.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin --no-pulse
lvx_install_lyrivox
"$(lvx_host_tool loader-seeds)" "$LVX_APP_DIR/media/karaoke" >/dev/null || lvx_fail "loader-seeds could not write the songs"
ink=255,128,255
sung=255,224,64

# caption_is WANT [SECONDS]: the main window's caption becomes WANT within SECONDS (default 5).
caption_is() {
    for _ in $(seq $((${2:-5} * 10))); do
        [ "$(lvx_drv title "$LVX_WIN")" = "$1" ] && return 0
        sleep 0.1
    done
    lvx_log "caption: $(lvx_drv title "$LVX_WIN")"
    return 1
}

# both_lines_inked NAME: a screenshot whose two lyric lines (rows 15-35 and 35-55) show text.
both_lines_inked() {
    lvx_screenshot "$LVX_WIN" "$1" >/dev/null || return 1
    local first second
    # The first line may be lit (sung) all along by the time of the picture.
    first=$(($(lvx_py count "$LVX_OUT/$1.bmp" 0 15 640 35 $ink) + $(lvx_py count "$LVX_OUT/$1.bmp" 0 15 640 35 $sung)))
    second=$(lvx_py count "$LVX_OUT/$1.bmp" 0 35 640 55 $ink)
    lvx_log "$1: $first and $second pixels of ink on the two lines"
    [ "$first" -gt 50 ] && [ "$second" -gt 50 ]
}

lvx_lyrivox_up
lvx_check "caption before any song" caption_is "Lyrivox"

lvx_check "no-breaks.kar chosen in the Open dialog" lvx_open_song "$LVX_WIN" no-breaks.kar
lvx_check "no-breaks.kar plays" lvx_midi_wait ' DATA ' 10
lvx_check "caption names the song" caption_is "Lyrivox - Row the Boat"
sleep 1
lvx_check "no-breaks.kar: words on both lines" both_lines_inked no-breaks
lvx_drv command "$LVX_WIN" "$LVX_CMD_STOP"
lvx_check "no-breaks.kar stopped" lvx_midi_wait ' CLOSE$' 5
lvx_check "caption back to the program's name after Stop" caption_is "Lyrivox"

lvx_check "trailing-breaks.kar chosen" lvx_open_song "$LVX_WIN" trailing-breaks.kar
lvx_check "trailing-breaks.kar plays" lvx_midi_wait ' OPEN$' 10 2
lvx_check "caption names the second song" caption_is "Lyrivox - Night and Day"
sleep 1
lvx_check "trailing-breaks.kar: words on both lines" both_lines_inked trailing-breaks
lvx_check "trailing-breaks.kar played to its end" lvx_midi_wait ' CLOSE$' 40 2
lvx_check "caption back to the program's name at the end" caption_is "Lyrivox"

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
