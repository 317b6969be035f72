#!/usr/bin/env bash
# What the window shows, from screenshots at 640 x 480 with the 20-pixel lyric font, against the
# stage's layout rules: the title frame (black band to y = 2*20+20 = 60, "Lyrivox" in its cells
# at (640/2 - 3*20, 15) = (260, 15)); the lyric frame (the band centred on the widest line, two
# lines in magenta on dark cells at y 15 and 35, the ball in the top 10 rows); the critique frame
# (keyboard strip from y = 480 - (int)(480*0.1333) = 417, the marker at the bottom left); the
# About box (command, Alt+"?", Alt+"/", not a plain "?"), also while the critique frame repaints
# without pause.
# The frames are also compared with what the host's software surface draws (lvx-stage): the same
# band, title place, strip top and keys.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
lvx_begin
lvx_install_lyrivox
# close_box WINDOW BUTTON: presses the button and waits for the box to go; a busy machine may
# take long, and what is still open then goes to the log.
close_box() {
    lvx_drv press "$1" "$2" && lvx_drv wait-close "$1" 15 && return 0
    lvx_log "still open: $(lvx_drv dialog '' 1 | tr '\n' ';')"
    return 1
}
black=0,0,0
white=255,255,255
ink=255,128,255
cells=0,32,32
W=640 H=480 FS=20
band=$((2 * FS + 20))
strip_top=$((H - H * 1333 / 10000))

lvx_lyrivox_up
sleep 0.5
lvx_check "client area 640 x 480" test "$(lvx_drv client-size "$LVX_WIN")" = "$W $H"

# ---- title frame ----
lvx_check "title frame pictured" lvx_screenshot "$LVX_WIN" title >/dev/null
lvx_screenshot "$LVX_WIN" title-window --whole >/dev/null
f=$LVX_OUT/title.bmp
lvx_check "title: picture is the client area" test "$(lvx_py size "$f")" = "$W $H"
lvx_check "title: band rows 0 and $((band - 1)) black across the width" \
    test "$(lvx_py rows "$f" 0 0 $W $band $black | awk '{ print $1, $NF }')" = "0 $((band - 1))"
lvx_check "title: band ends at $band (background below)" test -n "$(lvx_py other "$f" 0 $band $W $((band + 1)) $black | grep -v '^0$')"
read -r x0 y0 x1 y1 < <(lvx_py bbox "$f" 0 0 $W $band $cells)
lvx_log "title cells at ($x0, $y0)-($x1, $y1)"
lvx_check "title: text cells start at ($((W / 2 - 3 * FS)), 15)" test "$x0 $y0" = "$((W / 2 - 3 * FS)) 15"
lvx_check "title: cells one font high" test $((y1 - y0)) = $FS
lvx_check "title: magenta ink in the cells" test "$(lvx_py count "$f" "$x0" "$y0" "$x1" "$y1" $ink)" -gt 50

# ---- lyric frame ----
lvx_check "song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_check "song plays" lvx_midi_wait ' DATA ' 10
sleep 2
lvx_check "lyric frame pictured" lvx_screenshot "$LVX_WIN" lyrics >/dev/null
f=$LVX_OUT/lyrics.bmp
read -r bx0 by0 bx1 by1 < <(lvx_py bbox "$f" 0 0 $W $band $black)
lvx_log "lyric band at ($bx0, $by0)-($bx1, $by1)"
lvx_check "lyrics: band from the top to y = $band" test "$by0 $by1" = "0 $band"
lvx_check "lyrics: band centred" test $(((bx0 + bx1) / 2 - W / 2)) -ge -1 -a $(((bx0 + bx1) / 2 - W / 2)) -le 1
read -r x0 y0 x1 y1 < <(lvx_py bbox "$f" 0 0 $W $band $cells)
lvx_check "lyrics: first line's cells at (band left + 5, 15)" test "$x0 $y0" = "$((bx0 + 5)) 15"
lvx_check "lyrics: second line's cells end at $((FS + 15 + FS))" test "$y1" = $((FS + 15 + FS))
# The first line's sung part is in the second colour.
first=$(($(lvx_py count "$f" "$x0" 15 "$x1" 35 $ink) + $(lvx_py count "$f" "$x0" 15 "$x1" 35 255,224,64)))
lvx_check "lyrics: magenta ink on both lines (the sung part warm yellow)" test "$first" -gt 50 -a \
    "$(lvx_py count "$f" "$x0" 35 "$x1" 55 $ink)" -gt 50
read -r x0 y0 x1 y1 < <(lvx_py bbox "$f" "$bx0" 0 "$bx1" 10 $white) || lvx_fail "no ball"
lvx_log "ball at ($x0, $y0)-($x1, $y1)"
lvx_check "lyrics: the ball in the top 10 rows, at most 10 wide, over the band" \
    test "$y0" -ge 0 -a "$y1" -le 10 -a $((x1 - x0)) -le 10 -a $((x1 - x0)) -ge 6 -a "$x0" -ge "$bx0" -a "$x1" -le "$bx1"
lvx_check "lyrics: no keyboard strip without Critique" test "$(lvx_py rows "$f" 0 $strip_top $W $H $white)" = ""
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
lvx_check "first song stopped" lvx_midi_wait ' CLOSE$' 5

# ---- critique frame ----
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_check "critique song chosen" lvx_open_song "$LVX_WIN" twinkle.kar
lvx_check "critique song plays" lvx_midi_wait ' DATA .*$' 10
sleep 5
lvx_check_stage critique $W $H
f=$LVX_OUT/critique.bmp
# The keyboard: 20 white keys of 32 pixels, black keys the upper 36 of 64 rows (35 of 63 here)
# after C, D, F, G and A.
lvx_check "critique: no black key between E and F" test "$(lvx_pixel critique 140 $((strip_top + 10)))" = "$white"
# The host's software surface draws the same frames at the same size (its own stand-in font).
host=$LVX_OUT/host
mkdir -p "$host"
"$(lvx_host_tool lvx-stage)" --root "$LVX_ROOT" --out "$host" --size $W $H --font $FS >/dev/null ||
    lvx_fail "lvx-stage could not draw the host's frames"
lvx_check "host: title cells start where the program's do" \
    test "$(lvx_py bbox "$host/title.bmp" 0 0 $W $band $cells | cut -d' ' -f1,2)" = "$((W / 2 - 3 * FS)) 15"
lvx_check "host: the same title band" test "$(lvx_py rows "$host/title.bmp" 0 0 $W $((band + 10)) $black | awk '{ print $1, $NF }')" = "0 $((band - 1))"
lvx_check "host: the strip starts at the same row" test "$(lvx_py other "$host/critique.bmp" 256 "$strip_top" $W $((strip_top + 1)) $black $white)" -le 64 -a \
    "$(lvx_py other "$host/critique.bmp" 256 $((strip_top - 1)) $W "$strip_top" $black $white)" -gt 100
# The keys, away from both markers and from the one row where squeezing 64 rows into 63 may
# keep a different row (the end of the black keys): every black or white pixel of the
# program's strip is the host's.
lvx_check "host: the same keys over the black keys' rows" test "$(lvx_py same "$f" "$host/critique.bmp" 256 "$strip_top" $W $((strip_top + 33)) $black $white)" = 0
lvx_check "host: the same keys below them" test "$(lvx_py same "$f" "$host/critique.bmp" 256 $((strip_top + 37)) $W $H $black $white)" = 0
marks=$(lvx_menu_states "$LVX_WIN" $LVX_CMD_SILENCE $LVX_CMD_AM $LVX_CMD_CRITIQUE)
lvx_check "critique: Silence Melody forced on and usable, AM and Critique marked and grey [$marks]" \
    test "$marks" = "32773=enabled+checked 32776=grayed+checked 32779=grayed+checked "

# ---- About box, while the critique frame repaints ----
lvx_drv command "$LVX_WIN" $LVX_CMD_ABOUT
about=$(lvx_drv dialog About 5) || lvx_fail "no About box while the critique frame repaints"
lvx_check "About box pictured" lvx_screenshot class=#32770 about --whole >/dev/null
lvx_check "About: OK button" grep -q '^1 Button OK$' <<<"$about"
lvx_check "About: the maker line" grep -q '^1000 Static ' <<<"$about"
close_box class=#32770 1 || lvx_fail "About box not closed by OK"
lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
lvx_check "critique song stopped" lvx_midi_wait ' CLOSE$' 5
# Nothing was sung: the critique's report (a score, or too few samples) comes and is closed.
report=$(lvx_drv message-box 10) || lvx_fail "no critique report after the critique song"
lvx_log "critique report: $(tr '\n' ' ' <<<"$report")"
lvx_check "critique report closed" lvx_drv wait-close class=#32770 5
for keys in alt+shift+/ alt+/; do
    lvx_drv keys "$LVX_WIN" "$keys" >/dev/null
    lvx_check "About box by $keys" lvx_drv dialog About 5 >/dev/null
    close_box class=#32770 2 || lvx_fail "About box not closed by Cancel"
done
lvx_drv keys "$LVX_WIN" shift+/ >/dev/null
lvx_check "no About box by a plain ?" test "$(lvx_drv dialog About 1 || echo none)" = none

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
