#!/usr/bin/env bash
# Start-up and exit with and without an options file, a table of starts: the window's client
# area is the saved size, the menu's marks follow the saved settings, nothing is said, and Exit
# writes the settings back, bytes as a text-mode stream stores them. The odd values a user (or
# an old version) can leave are corrected as the menu commands set them: a quality code of 0 or
# 4 (AM), a font size of 24 (20px), a weight of 500 (Light), Silence Melody 5 (on, saved as 1), a
# width of 266 whose bytes hold 0x0A (stored 0D 0A, read back; the narrow window plays a song,
# the melody silenced as marked), a width of 282 whose bytes hold 0x1A (read like any other
# byte), and a file too short to hold six values (ignored: the defaults). A window narrow
# enough for its menu to wrap keeps its client size from one start to the next; one larger than
# the screen opens on it.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_failures.sh"
lvx_begin --no-pulse
lvx_install_lyrivox
lvx_install_test_songs
options=$LVX_APP_DIR/options.lvx
# on_disk BYTES: the options file's size and its first four bytes.
on_disk() { lvx_check_same "options file on disk" "$(stat -c %s "$options") $(xxd -p -l 4 "$options")" "$1"; }

# start_and_check NAME CLIENT-SIZE CHECKED-ITEMS SAVED-VALUES [DURING]: one start and exit, with
# the function DURING run before the exit.
start_and_check() {
    local name=$1 size=$2 marks=$3 saved=$4
    # Key & Tempo start at the song's own in every session: their two marks always stand.
    marks="$marks,&Original Key,Original &Tempo"
    lvx_lyrivox_up
    lvx_expect_no_message "$name: start-up" 1
    lvx_check_same "$name: client area" "$(lvx_drv client-size "$LVX_WIN")" "$size"
    lvx_check_same "$name: checked items" "$(lvx_checked_items "$LVX_WIN" | paste -sd, -)" "$marks"
    lvx_check "$name: nothing greyed" test -z "$(lvx_drv menu "$LVX_WIN" | awk '$2 ~ /grayed/ && $1 != "separator"')"
    lvx_check_same "$name: title" "$(lvx_drv title "$LVX_WIN")" Lyrivox
    [ -z "${5:-}" ] || "$5"
    lvx_check "$name: Exit ends the program" lvx_exit_program "$LVX_WIN"
    lvx_check "$name: exit status 0" test "$LVX_APP_STATUS" = 0
    lvx_check_same "$name: options saved" "$(lvx_options_read)" "$saved"
}

# First start: no options file. The defaults, and the file written at exit: 24 bytes.
rm -f "$options"
start_and_check "no options file" "640 480" "20px,&Normal,&AM" "640 480 20 400 1 0"
lvx_check_same "options bytes: 640,480,20,400,1,0 little-endian" "$(xxd -p "$options" | tr -d '\n')" \
    80020000e001000014000000900100000100000000000000

# Saved settings of another size, font, weight, quality and Silence Melody.
lvx_options_write 700 500 32 800 2 1
start_and_check "saved settings" "700 500" "40px,&Heavy,&Silence Melody,&FM" "700 500 32 800 2 1"

# Quality 0, size 24, weight 500, Silence Melody 5, width 266 (0A 01 00 00 stored 0D 0A 01 00).
song_without_melody() {
    lvx_check "odd values: song chosen" lvx_open_song "$LVX_WIN" two-lines.kar
    lvx_song_plays_to_end "odd values" 30
    lvx_check "odd values: all but the melody sent, on time" lvx_midi_as_song two-lines.kar --no-melody
    lvx_expect_no_message "odd values: song" 0.5
}
lvx_options_write 266 300 24 500 0 5
on_disk "25 0d0a0100"
start_and_check "odd values" "266 300" "20px,&Light,&Silence Melody,&AM" "266 300 20 200 1 1" song_without_melody
on_disk "25 0d0a0100"

# Quality 4, width 282 (1A 01 00 00): the 0x1A byte is data, not the end of the file.
lvx_options_write 282 310 32 600 4 0
on_disk "24 1a010000"
start_and_check "width 282" "282 310" "40px,&Bold,&AM" "282 310 32 600 1 0"
on_disk "24 1a010000"

# A window narrow enough for its menu to wrap onto more rows still gets the client area saved,
# so it does not shrink from one start to the next; one larger than the screen is cut to it.
lvx_options_write 180 300 20 400 3 0
start_and_check "narrow, menu wrapped" "180 300" "20px,&Normal,&CD" "180 300 20 400 3 0"
start_and_check "narrow, second start" "180 300" "20px,&Normal,&CD" "180 300 20 400 3 0"
lvx_options_write 3000 2000 20 400 1 0
lvx_lyrivox_up
read -r x y w h < <(lvx_drv window-rect "$LVX_WIN")
lvx_check "too large: on the 1024 x 768 screen [$x $y $w $h]" \
    test "$x" -ge 0 -a "$y" -ge 0 -a $((x + w)) -le 1024 -a $((y + h)) -le 768
lvx_check "too large: Exit ends the program" lvx_exit_program "$LVX_WIN"

# 23 bytes: one short of six values. Ignored as a whole; the defaults, saved whole at exit.
lvx_options_write 700 500 32 800 2 1
truncate -s 23 "$options"
start_and_check "23-byte file" "640 480" "20px,&Normal,&AM" "640 480 20 400 1 0"
on_disk "24 80020000"
