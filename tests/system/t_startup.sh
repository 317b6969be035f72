#!/usr/bin/env bash
# Start-up and exit with and without an options file: the window's client area is the saved
# size, the menu's marks follow the saved settings (odd values corrected as the menu commands
# set them), and Exit writes the settings back, bytes as a text-mode stream stores them.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin --no-pulse
lvx_install_lyrivox

# start_and_check NAME CLIENT-SIZE CHECKED-ITEMS SAVED-VALUES: one start and exit.
start_and_check() {
    local name=$1 size=$2 marks=$3 saved=$4
    # Key & Tempo start at the song's own in every session: their two marks always stand.
    marks="$marks,&Original Key,Original &Tempo"
    lvx_lyrivox_up
    lvx_check "$name: client area $size" test "$(lvx_drv client-size "$LVX_WIN")" = "$size"
    lvx_check_same "$name: checked items $marks" "$(lvx_checked_items "$LVX_WIN" | paste -sd, -)" "$marks"
    lvx_check "$name: nothing greyed" test -z "$(lvx_drv menu "$LVX_WIN" | awk '$2 ~ /grayed/ && $1 != "separator"')"
    lvx_check "$name: title Lyrivox" test "$(lvx_drv title "$LVX_WIN")" = Lyrivox
    lvx_check "$name: Exit ends the program" lvx_exit_program "$LVX_WIN"
    lvx_check "$name: exit status 0" test "$LVX_APP_STATUS" = 0
    lvx_check "$name: options saved as $saved" test "$(lvx_options_read)" = "$saved"
}

# First start: no options file. The defaults, and the file written at exit: 24 bytes.
rm -f "$LVX_APP_DIR/options.lvx"
start_and_check "no options file" "640 480" "20px,&Normal,&AM" "640 480 20 400 1 0"
lvx_check "options file is 24 bytes" test "$(stat -c %s "$LVX_APP_DIR/options.lvx")" = 24
expected=$(printf '80020000e00100001400000090010000 0100000000000000' | tr -d ' ')
lvx_check "options bytes: 640,480,20,400,1,0 little-endian" test "$(xxd -p "$LVX_APP_DIR/options.lvx" | tr -d '\n')" = "$expected"

# Saved settings of another size, font, weight, quality and Silence Melody.
lvx_options_write 700 500 32 800 2 1
start_and_check "saved settings" "700 500" "40px,&Heavy,&Silence Melody,&FM" "700 500 32 800 2 1"

# Odd values: a font size of 24 becomes 20, a weight of 500 becomes 200 (Light), a non-zero
# Silence Melody becomes 1, quality 3 is CD; a width of 266 holds the byte 0x0A, stored as
# 0D 0A: 25 bytes on disk, read back as 266.
lvx_options_write 266 300 24 500 3 7
start_and_check "odd values" "266 300" "20px,&Light,&Silence Melody,&CD" "266 300 20 200 3 1"
lvx_check "width 266 stored as 0D 0A 01 00 00: 25 bytes" test "$(stat -c %s "$LVX_APP_DIR/options.lvx")" = 25
lvx_check "the pair on disk" test "$(head -c 5 "$LVX_APP_DIR/options.lvx" | xxd -p)" = 0d0a010000

# A window narrow enough for its menu to wrap onto more rows still gets the client area saved,
# so it does not shrink from one start to the next; one larger than the screen is cut to it.
lvx_options_write 180 300 20 400 1 0
start_and_check "narrow, menu wrapped" "180 300" "20px,&Normal,&AM" "180 300 20 400 1 0"
start_and_check "narrow, second start" "180 300" "20px,&Normal,&AM" "180 300 20 400 1 0"
lvx_options_write 3000 2000 20 400 1 0
lvx_lyrivox_up
read -r x y w h < <(lvx_drv window-rect "$LVX_WIN")
lvx_check "too large: on the 1024 x 768 screen [$x $y $w $h]" \
    test "$x" -ge 0 -a "$y" -ge 0 -a $((x + w)) -le 1024 -a $((y + h)) -le 768
lvx_check "too large: Exit ends the program" lvx_exit_program "$LVX_WIN"

# A file too short to hold six values is ignored as a whole: the defaults apply.
head -c 20 /dev/zero >"$LVX_APP_DIR/options.lvx"
start_and_check "short options file" "640 480" "20px,&Normal,&AM" "640 480 20 400 1 0"
