#!/usr/bin/env bash
# Messages from a protocol peer on h2 to the observed program on h1: receipts
# echo the packet-number field as sent, a sealed message is reported read at
# once while sealing is off, and a foreign body with a URL is shown, not an error.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

# The datagrams h1 sent back for the message whose packet-number field was $1.
replies() { echo "[(d.dst, d.cmd) for d in P if d.src == '10.201.1.11' and d.extra == '$1\0']"; }

lan_peer p h2 1001 || lan_fail "peer on h2"
lan_start h1 "$LAN_OBSERVED"
lan_wire p "any(d.cmd == 1 for d in P)" || lan_fail "no entry from h1"

lan_peer_send p 10.201.1.11 '1:0042:peer:h2:20:hello\0:greeting:OK:0\0'
lan_check "a message is acknowledged twice, its packet-number field as sent" \
    lan_wire p "$(replies 0042) == [('10.201.1.12', 33)] * 2"
lan_check "the two receipts carry consecutive packet numbers" \
    lan_wire p "len([d for d in P if d.cmd == 33]) == 2 and \
                consecutive([d.packet for d in P if d.cmd == 33])"
lan_check "the sender gets a row: host, user, address" \
    lan_shows h1 '^member\th2\tpeer\t\t10.201.1.12\t\t\t$'
lan_check "the message window is shown with the sent title" lan_shows h1 '^window\tgreeting$'
lan_check "one message placed" lan_shows h1 '^numpop\t1$'

# SECRET_OK is empty in a new settings file: sealed messages are shown open.
lan_peer_send p 10.201.1.11 '1:43:peer:h2:800:secret\0:shh:OK:0\0'
lan_check "a sealed message is acknowledged twice, then reported read (48)" \
    lan_wire p "$(replies 43) == [('10.201.1.12', 33)] * 2 + [('10.201.1.12', 48)]"

lan_peer_send p 10.201.1.11 '1:44:peer:h2:20:see http://example.com/a:b\0'
lan_check "a foreign body with a URL is acknowledged twice" \
    lan_wire p "$(replies 44) == [('10.201.1.12', 33)] * 2"
lan_check "three messages placed" lan_shows h1 '^numpop\t3$'
lan_check "the foreign message is shown with the default title and the sender" \
    lan_shows h1 '^window\t.* \(from  h2\[peer\]\)$'
lan_check "no message box at all" lan_lacks h1 '^box\t'
lan_check "no message box was ever shown" eval "! grep -q '^shown' '$LAN_DIR/h1/out'"

lan_done
