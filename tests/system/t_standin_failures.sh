#!/usr/bin/env bash
# The failure switches of the harness, proven on the stand-in program: the capture driver can
# play "no MIDI device" (the program's open fails and it says so), and stopping PulseAudio
# takes the microphone away (wave-in fails to open; lvx_begin --no-pulse gives the same from the
# start). The program goes on after each.
source "$(dirname "$0")/lib.sh"
lvx_begin

lvx_install "$LVX_HARNESS/lvx-standin.exe"
export LYRIVOX_MIDI_FAIL=1
lvx_start lvx-standin.exe
win=$(lvx_drv wait Lyrivox 60) || lvx_fail "no window titled Lyrivox"

lvx_drv command "$win" 40002
box=$(lvx_drv message-box 10) || lvx_fail "no message when MIDI cannot be opened"
lvx_check "the no-MIDI message" test "${box#*$'\n'}" = "No MIDI output."
lvx_check "the driver saw the open and refused it" grep -q ' OPEN-FAILED$' "$LVX_MIDI_LOG"
lvx_check "no data was sent" test "$(grep -c ' DATA ' "$LVX_MIDI_LOG")" = 0

lvx_stop_pulse
lvx_drv command "$win" 40003
box=$(lvx_drv message-box 10) || lvx_fail "no message when there is no microphone"
lvx_check "the no-microphone message" test "${box#*$'\n'}" = "No microphone."

# Still working: a message box through the menu, then Exit.
lvx_drv command "$win" 40005
lvx_check "menu still works" lvx_drv message-box 10 >/dev/null
lvx_drv command "$win" 40006
lvx_check "program ends after Exit" lvx_wait_exit 10
