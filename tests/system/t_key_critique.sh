#!/usr/bin/env bash
# Critique follows the key: at key -5 (Ctrl+Down five times) the falling notes move five
# semitones down, so a voice singing the melody five semitones down scores at least 9 with every
# note judged, while the same voice at the written pitch scores low.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_voice.sh"
lvx_begin
lvx_install_lyrivox
song=twinkle.kar
notes=$(lvx_melody_notes "$LVX_APP_DIR/media/karaoke/$song")

lvx_lyrivox_up
lvx_drv command "$LVX_WIN" $LVX_CMD_CRITIQUE
lvx_drv keys "$LVX_WIN" ctrl+down ctrl+down ctrl+down ctrl+down ctrl+down >/dev/null
lvx_check "caption at key -5 [$(lvx_drv title "$LVX_WIN")]" test "$(lvx_drv title "$LVX_WIN")" = "Lyrivox  [key -5]"

lvx_sing_song "$LVX_WIN" "$song" written
lvx_check "at the written pitch: every note judged ($LVX_POSSIBLE of $notes)" test "$LVX_POSSIBLE" = "$notes"
lvx_check "at the written pitch: scores low at key -5 ($LVX_HITS hits, score $LVX_SCORE)" test "$LVX_SCORE" -le 2

lvx_sing_song "$LVX_WIN" "$song" down5 --transpose -5
lvx_check "five down: every note judged ($LVX_POSSIBLE of $notes)" test "$LVX_POSSIBLE" = "$notes"
lvx_check "five down: scores at least 9 at key -5 ($LVX_HITS hits, score $LVX_SCORE)" test "$LVX_SCORE" -ge 9

lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
