#!/usr/bin/env bash
# A long session: fifty songs in a row, ended by their own end, by Stop after a second or two,
# or by opening the next song while one plays, with Record and Critique switched between them.
# The program never crashes or hangs; every run opens the MIDI device once and closes it with no
# note left sounding; every run with Critique on ends with its report; and when the session is
# over the process has as many threads and open files as after the first song and no more than
# 10 MB more memory.
source "$(dirname "$0")/lib.sh"
source "$LVX_SYSTEM/lib_program.sh"
source "$LVX_SYSTEM/lib_failures.sh"
songs=${LVX_SESSION_SONGS:-50}
lvx_begin
lvx_install_lyrivox
lvx_install_test_songs
# The microphone hears silence: the critique reports "not enough samples" or a low score.
critique_report='^(Lyrivox!\|Not enough samples were taken to critique\.  Check microphone setup\.|Karaoke Critique!\|You hit [0-9]+ notes out of a total [0-9]+ possible\. For a score of [0-9]+ out of 10\.)$'

# The schedule: Record on for songs 1-4, off for 5-8, ...; Critique on for 1-3, off for 4-6, ...
record_for() { echo $(((($1 - 1) / 4 + 1) % 2)); }
critique_for() { echo $(((($1 - 1) / 3 + 1) % 2)); }
# How song I ends: the first and the last, and every third, by themselves; the others by Stop,
# or by the next song's Open when the next song keeps the same options.
end_for() {
    local i=$1
    if [ "$i" = 1 ] || [ "$i" = "$songs" ] || [ $((i % 3)) = 0 ]; then
        echo natural
    elif [ $((i % 3)) = 2 ] && [ "$(record_for "$i")$(critique_for "$i")" = "$(record_for $((i + 1)))$(critique_for $((i + 1)))" ]; then
        echo open
    else
        echo stop
    fi
}

alive() { kill -0 "$LVX_APP_PID" 2>/dev/null || lvx_fail "song $1: the program is gone (status: $(wait "$LVX_APP_PID"; echo $?))"; }
# set_option ID WANTED CURRENT: posts the toggle when the option must change.
set_option() { [ "$2" = "$3" ] || lvx_drv command "$LVX_WIN" "$1"; }
# the_report I: the critique report of song I, closed.
the_report() {
    local box
    box=$(lvx_drv message-box 10) || lvx_fail "song $1: no critique report"
    box=${box%$'\n'}
    grep -Eq "$critique_report" <<<"${box/$'\n'/|}" || lvx_fail "song $1: report [${box/$'\n'/|}]"
}
# sample I: threads, memory and open files of the idle program (Wine runs it as a Linux process,
# a Linux thread for each of its threads and a descriptor for each open file), a line of
# $LVX_OUT/samples.txt.
sample() {
    echo "$1 $(awk '$1 == "Threads:" { t = $2 } $1 == "VmRSS:" { m = $2 } END { print t, m }' "/proc/$LVX_APP_PID/status") $(find "/proc/$LVX_APP_PID/fd" -mindepth 1 | wc -l)" >>"$LVX_OUT/samples.txt"
}

lvx_lyrivox_up
: >"$LVX_OUT/samples.txt"
record=0 critique=0
start=$SECONDS
kinds=""
for i in $(seq "$songs"); do
    want_record=$(record_for "$i") want_critique=$(critique_for "$i")
    kind=$(end_for "$i")
    kinds+="${kind:0:1}"
    previous=$(end_for $((i - 1)))
    if [ "$i" = 1 ] || [ "$previous" != open ]; then
        # Idle: the options may change, then the song is opened.
        set_option $LVX_CMD_RECORD "$want_record" "$record"
        set_option $LVX_CMD_CRITIQUE "$want_critique" "$critique"
        record=$want_record critique=$want_critique
        lvx_drv command "$LVX_WIN" $LVX_CMD_OPEN
    fi
    # (After an interrupting Open the dialog is already up.)
    lvx_drv fill-dialog "$LVX_SONGS_WIN\\two-lines.kar" 20 >/dev/null || lvx_fail "song $i: the Open dialog"
    lvx_midi_wait ' OPEN$' 10 "$i" || lvx_fail "song $i: the MIDI device was not opened"
    case $kind in
    natural)
        lvx_midi_wait ' CLOSE$' 30 "$i" || lvx_fail "song $i: did not end by itself within 30 s"
        ;;
    stop)
        sleep "1.$((i % 2 * 5))"
        lvx_drv command "$LVX_WIN" $LVX_CMD_STOP
        lvx_midi_wait ' CLOSE$' 5 "$i" || lvx_fail "song $i: Stop did not close the device"
        ;;
    open)
        sleep "1.$((i % 2 * 5))"
        lvx_drv command "$LVX_WIN" $LVX_CMD_OPEN
        lvx_midi_wait ' CLOSE$' 5 "$i" || lvx_fail "song $i: the next Open did not close the device"
        ;;
    esac
    alive "$i"
    if [ "$critique" = 1 ]; then
        the_report "$i"
    elif [ "$kind" != open ]; then
        lvx_expect_no_message "song $i" 0.2 2>/dev/null
    fi
    [ "$kind" = open ] || sample "$i"
    lvx_log "song $i: record $record, critique $critique, ended: $kind ($((SECONDS - start)) s)"
done
lvx_log "ends: $kinds"

# Every run: one OPEN, its CLOSE, nothing between runs, no note sounding at any CLOSE.
runs=$(lvx_py runs "$LVX_MIDI_LOG") || lvx_fail "MIDI log: $runs"
lvx_check "$songs runs, each opened once and closed with no note sounding [$(tail -1 <<<"$runs")]" test "$(tail -1 <<<"$runs")" = "runs $songs"

read -r _ first_threads first_memory first_files < <(head -1 "$LVX_OUT/samples.txt")
read -r _ last_threads last_memory last_files < <(tail -1 "$LVX_OUT/samples.txt")
lvx_log "after the first song: $first_threads threads, $first_memory kB, $first_files files; after the last: $last_threads threads, $last_memory kB, $last_files files"
lvx_log "threads seen between songs: $(awk '{ print $2 }' "$LVX_OUT/samples.txt" | sort -n | uniq -c | tr -s ' ' | tr '\n' ',')"
lvx_check "threads back to their number after the first song" test "$last_threads" = "$first_threads"
lvx_check "open files back to their number after the first song" test "$last_files" = "$first_files"
lvx_check "memory within 10 MB of its size after the first song ($(((last_memory - first_memory) / 1024)) MB more)" \
    test $((last_memory - first_memory)) -le 10240
lvx_check "Exit ends the program" lvx_exit_program "$LVX_WIN"
lvx_check "exit status 0" test "$LVX_APP_STATUS" = 0
