#!/usr/bin/env bash
# Emulation mode (IP_MSG=1 in the settings file beside the program): port
# 2425, entries in the normal code set, answers in both, messages with 288;
# entries carry the user name as nickname.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

FROM_H1="d.src == '10.201.1.11' and d.sport == 2425"

lan_peer ipmsg h2 2425 || lan_fail "peer on h2, port 2425"
lan_peer own h2 1001 || lan_fail "peer on h2, port 1001"
lan_start h1 "$LAN_WIBBLET" $'[BSC_CFG]\nIP_MSG=1'

lan_check "the entry goes out from and to port 2425, command 1, our name as nickname" \
    lan_wire ipmsg "[(d.dst, d.cmd, d.extra) for d in P if $FROM_H1] == \
                    [('10.201.1.255', 1, 'h1\0\0')] * 2"

lan_peer_send ipmsg 10.201.1.11 '1:7:ipmsg:h2:6291457:ipmsg\0\0'
lan_check "an IP Messenger entry is answered with 3 and 6291459, consecutive numbers" \
    lan_wire ipmsg "[(d.dst, d.cmd) for d in P if $FROM_H1 and d.cmd != 1] == \
                    [('10.201.1.12', 3), ('10.201.1.12', 6291459)] and \
                    consecutive([d.packet for d in P if $FROM_H1 and d.cmd != 1])"

lan_peer_send ipmsg 10.201.1.11 '1:0050:ipmsg:h2:288:hi\0'
lan_check "a message with command 288 is acknowledged twice" \
    lan_wire ipmsg "[(d.cmd, d.extra) for d in P if $FROM_H1 and d.cmd == 33] == \
                    [(33, '0050\0')] * 2"

lan_check "nothing is sent to or from port 1001" \
    lan_wire_after own 0.3 "not [d for d in P if d.src == '10.201.1.11']"
lan_check "the setting stays on" test "$(lan_ini h1 BSC_CFG IP_MSG)" = 1

lan_done
