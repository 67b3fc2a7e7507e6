#!/usr/bin/env bash
# Across the router: once the program on h1 has heard a host on h3, that
# subnet's broadcast address is in h1's settings file and h1's broadcasts
# reach it. Then two real programs, on h1 and h3, find each other.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

FROM_H1="d.src == '10.201.1.11' and d.sport == 1001"

lan_peer far h3 1001 || lan_fail "peer on h3"
lan_start h1 "$LAN_OBSERVED"
lan_wait_for 5 lan_shows h1 '^member\th1\t' || lan_fail "h1 did not hear its own entry"
lan_check "h1's first entry does not reach another subnet" \
    lan_wire_after far 0.3 "not [d for d in P if d.cmd == 1]"

lan_peer_send far 10.201.1.11 '1:5:far:h3:1:\0\0\0\0'
lan_check "h1 answers the far host's entry through the router" \
    lan_wire far "[(d.dst, d.cmd) for d in P if $FROM_H1] == \
                  [('10.201.2.13', 3), ('10.201.2.13', 6291459)]"
lan_check "h1's settings file lists the far subnet" \
    test "$(lan_ini h1 BRD_CAST BRC_CNT) $(lan_ini h1 BRD_CAST BRC_IP_0)" = "1 10.201.2.255"
lan_check "h1 lists the far host" lan_shows h1 '^member\th3\tfar\t\t10.201.2.13\t\t\t$'

lan_signal h1 TERM
lan_check "h1 ends on SIGTERM, with status 0" eval 'lan_wait_exit h1 && test $LAN_STATUS = 0'
lan_check "h1's exit reaches the far subnet as a broadcast, once" \
    lan_wire far "[(d.dst, d.cmd, d.extra) for d in P if $FROM_H1 and d.cmd == 2] == \
                  [('10.201.2.255', 2, '\0')]"

# Two real programs: h3 starts, then h1 again, whose entry now crosses over.
kill "${LAN_PEER[far]}"
wait "${LAN_PEER[far]}"
lan_start h3 "$LAN_OBSERVED"
sleep 0.5
lan_start h1 "$LAN_OBSERVED"
lan_check "h3 hears h1's entry through the router and lists h1" \
    lan_wait_for 5 lan_shows h3 '^member\th1\th1\t\t10.201.1.11\t\t\t$'
lan_check "h1 hears h3's answer and lists h3" \
    lan_wait_for 5 lan_shows h1 '^member\th3\th3\t\t10.201.2.13\t\t\t$'
lan_check "h3's settings file now lists h1's subnet" \
    test "$(lan_ini h3 BRD_CAST BRC_IP_0)" = 10.201.1.255

lan_signal h1 TERM
lan_check "h1 ends again" lan_wait_exit h1
lan_check "h1's exit reaches h3's program, which drops h1" \
    lan_wait_for 5 lan_lacks h3 '^member\th1\t'

lan_done
