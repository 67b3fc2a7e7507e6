#!/usr/bin/env bash
# Being told to stop: SIGTERM, SIGINT and SIGHUP each end the real program
# the way closing its main window does. The exit goes out, nothing is asked
# (a question would hold the process), and the process ends with status 0.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

FROM_H1="d.src == '10.201.1.11' and d.sport == 1001"

lan_peer p h2 1001 || lan_fail "peer on h2"
round=0
for signal in TERM INT HUP; do
    round=$((round + 1))
    lan_start h1 "$LAN_WIBBLET"
    lan_wire p "len([d for d in P if $FROM_H1 and d.cmd == 1]) == 2 * $round" \
        || lan_fail "run $round: no entry from h1"
    lan_signal h1 "$signal"
    lan_check "SIG$signal ends the program within 3 s" lan_wait_exit h1 3
    lan_check "SIG$signal: exit status 0, not death by the signal (was ${LAN_STATUS:-none})" \
        test "${LAN_STATUS:-}" = 0
    lan_check "SIG$signal: the exit goes to the own subnet twice, one NUL, after the entry" \
        lan_wire p "[(d.dst, d.extra) for d in P if $FROM_H1 and d.cmd == 2][-2:] == \
                    [('10.201.1.255', '\0')] * 2 and \
                    [d.cmd for d in P if $FROM_H1][-2:] == [2, 2]"
    LAN_STATUS=
done

# The observed program shows no box on its way out either.
lan_start h1 "$LAN_OBSERVED"
lan_shows h1 '^tray\t1\t' || lan_fail "observed program did not start with its tray icon"
lan_signal h1 TERM
lan_check "observed program ends on SIGTERM" lan_wait_exit h1 3
lan_check "no box was shown on the way out" eval "! grep -q '^shown' '$LAN_DIR/h1/out'"

lan_done
