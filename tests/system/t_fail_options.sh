#!/usr/bin/env bash
# An options file with every odd value a user (or an old version) can leave: a quality code of
# 0 or 4 (the quality stays AM), a font size of 24 (20px), a weight of 500 (Light), Silence
# Melody 5 (on, checked, saved as 1), a width of 266 whose bytes hold 0x0A (stored 0D 0A, read
# back), a width of 282 whose bytes hold 0x1A (read back like any other byte), and a file too
# short to hold six values (ignored: the defaults). Each start applies what it can, plays a song
# in the first case, and saves the corrected values at exit.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_failures.sh"
lvx_begin --no-pulse
lvx_install_lyrivox
lvx_install_test_songs

# start_with NAME CLIENT-SIZE CHECKED-ITEMS: a start with the options file as it is; the
# window's size and the menu's marks must follow it.
start_with() {
    local name=$1 size=$2 marks=$3
    # Key & Tempo start at the song's own in every session: their two marks always stand.
    marks="$marks,&Original Key,Original &Tempo"
    lvx_lyrivox_up
    lvx_expect_no_message "$name: start-up" 1
    lvx_check "$name: client area $size" test "$(lvx_drv client-size "$LVX_WIN")" = "$size"
    lvx_check_same "$name: checked items $marks" "$(lvx_checked_items "$LVX_WIN" | paste -sd, -)" "$marks"
}
# exit_and_saved NAME VALUES: Exit, and the file holds VALUES.
exit_and_saved() {
    lvx_check "$1: Exit ends the program" lvx_exit_program "$LVX_WIN"
    lvx_check "$1: saved as $2" test "$(lvx_options_values)" = "$2"
}

# Quality 0, size 24, weight 500, Silence Melody 5, width 266 (0A 01 00 00 stored 0D 0A 01 00 00).
lvx_options_write 266 300 24 500 0 5
lvx_check "width 266: 25 bytes on disk" test "$(stat -c %s "$LVX_APP_DIR/options.lvx")" = 25
start_with "odd values" "266 300" "20px,&Light,&Silence Melody,&AM"
# The narrow window still plays a song (the melody silenced, as the mark says).
lvx_check "odd values: song chosen" lvx_open_song "$LVX_WIN" two-lines.kar
lvx_song_plays_to_end "odd values" 30
lvx_check "odd values: all but the melody sent, on time" lvx_midi_as_song two-lines.kar --no-melody
lvx_expect_no_message "odd values: song" 0.5
lvx_midi_reset odd-values
exit_and_saved "odd values" "266 300 20 200 1 1"
lvx_check "odd values: 0x0A stored as 0D 0A, 25 bytes" test "$(xxd -p -l 5 "$LVX_APP_DIR/options.lvx")/$(stat -c %s "$LVX_APP_DIR/options.lvx")" = 0d0a010000/25

# Quality 4, width 282 (1A 01 00 00): the 0x1A byte is data, not the end of the file.
lvx_options_write 282 310 32 600 4 0
lvx_check "width 282: the byte 0x1A on disk" test "$(xxd -p -l 4 "$LVX_APP_DIR/options.lvx")" = 1a010000
start_with "width 282" "282 310" "40px,&Bold,&AM"
exit_and_saved "width 282" "282 310 32 600 1 0"
lvx_check "width 282: 24 bytes, starting 1A 01 00 00" test "$(xxd -p -l 4 "$LVX_APP_DIR/options.lvx")/$(stat -c %s "$LVX_APP_DIR/options.lvx")" = 1a010000/24

# 23 bytes: one short of six values. Ignored as a whole; the defaults, saved whole at exit.
lvx_options_write 700 500 32 800 2 1
truncate -s 23 "$LVX_APP_DIR/options.lvx"
start_with "23-byte file" "640 480" "20px,&Normal,&AM"
exit_and_saved "23-byte file" "640 480 20 400 1 0"
lvx_check "23-byte file: rewritten whole, 24 bytes" test "$(stat -c %s "$LVX_APP_DIR/options.lvx")" = 24
