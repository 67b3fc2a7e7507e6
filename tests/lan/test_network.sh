#!/usr/bin/env bash
# The test LAN itself: host names, subnet broadcasts staying on their subnet,
# directed broadcasts and unicasts crossing the router.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

lan_check "each host has its own name" \
    test "$(lan_exec h1 hostname) $(lan_exec h2 hostname) $(lan_exec h3 hostname)" = "h1 h2 h3"

lan_peer a h1 1001 || lan_fail "peer on h1"
lan_peer b h2 1001 || lan_fail "peer on h2"
lan_peer c h3 1001 || lan_fail "peer on h3"

lan_peer_send a 10.201.1.255 'local'
lan_check "a subnet broadcast reaches the other host of the subnet" \
    lan_wire b "[(d.src, d.dst) for d in P if d.text == 'local'] == [('10.201.1.11', '10.201.1.255')]"
lan_check "a subnet broadcast stays on its subnet" \
    lan_wire_after c 0.3 "not [d for d in P if d.text == 'local']"

lan_peer_send a 10.201.2.255 'directed'
lan_check "a directed broadcast crosses the router" \
    lan_wire c "[(d.src, d.dst) for d in P if d.text == 'directed'] == [('10.201.1.11', '10.201.2.255')]"
lan_check "a directed broadcast is not sent back to the sending subnet" \
    lan_wire_after b 0.3 "not [d for d in P if d.text == 'directed']"

lan_peer_send c 10.201.1.12 'unicast'
lan_check "a unicast crosses the router, from the sender's port" \
    lan_wire b "[(d.src, d.sport) for d in P if d.text == 'unicast'] == [('10.201.2.13', 1001)]"

lan_done
