#!/usr/bin/env bash
# A hostile host on h2 against the observed program on h1. Datagrams whose
# forged source is a broadcast address (h3's subnet, 10.201.2.255) must not be
# answered there: h3 would hear every answer, receipt, read notice and reply.
# Their messages are still shown. A packet-number field too long to echo makes
# a malformed datagram. Names are kept at 255 bytes in the member list, and a
# long name still finds its row; 2,000 entries with the largest names a
# datagram holds, sent to the broadcast address, cost little memory.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

H1="d.src == '10.201.1.11'"
ENTRIES=2000
MAX_GROWTH_KIB=$((64 * 1024))

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# Sends TEXT (backslash escapes as peer.py takes them) from h2 to h1 with the
# forged source address SRC.
forge_from()
{
    local hex
    hex=$("$LAN_PYTHON" -c 'import codecs, sys
print(codecs.decode(sys.argv[1], "unicode_escape").encode("latin-1").hex())' "$2")
    lan_exec h2 "$LAN_PYTHON" "$LAN_HERE/forge.py" send --src "$1" --to 10.201.1.11 --hex "$hex"
}

# Nothing from h1 reached h3 through its subnet's broadcast address.
nothing_broadcast() { lan_wire_after far 0.5 "not [d for d in P if $H1 and d.dst == '10.201.2.255']"; }

lan_peer far h3 1001 || lan_fail "peer on h3"
lan_peer near h2 1001 || lan_fail "peer on h2"
lan_start h1 "$LAN_OBSERVED"
lan_wire near "any($H1 and d.cmd == 1 for d in P)" 5 || lan_fail "no entry from h1"

# --- no reflection ------------------------------------------------------------

forge_from 10.201.2.255 '1:100:evil:forged:1:evil\0\0\0\0'
lan_check "an entry from a broadcast source is not answered" nothing_broadcast
lan_check "nor listed" lan_lacks h1 '^member\tforged\t'

forge_from 10.201.2.255 '1:101:evil:forged:20:plain\0:from afar:OK:0\0'
lan_wait_for 3 lan_shows h1 '^window\tfrom afar$' || lan_fail "no window for the forged message"
lan_check "its message is shown, without a receipt" nothing_broadcast

forge_from 10.201.2.255 '1:102:evil:forged:800:sealed\0:sealed afar:OK:0\0'
lan_wait_for 3 lan_shows h1 '^window\tsealed afar$' || lan_fail "no window for the sealed message"
lan_check "a sealed message shown open sends no read notice there" nothing_broadcast

echo "reply 0 a reply from h1" >"$LAN_DIR/h1/in"
lan_check "a reply from the message's window is not broadcast" nothing_broadcast

# --- packet numbers -----------------------------------------------------------

LONG_NO=$(printf '%020000d' 7)
lan_peer_send near 10.201.1.11 "1:$LONG_NO:peer:h2:20:long number\\0:long:OK:0\\0"
lan_check "a 20,000-byte packet-number field is not echoed" \
    lan_wire_after near 0.5 "not [d for d in P if $H1 and d.cmd == 33]"
lan_check "it is a malformed datagram: the error box, no window" \
    eval "lan_shows h1 '^box\t送受信できませんでした。' && lan_lacks h1 '^window\tlong$'"
lan_peer_send near 10.201.1.11 '1:0123456789:peer:h2:20:short number\0:short:OK:0\0'
lan_check "a usual one still is, twice" \
    lan_wire near "len([d for d in P if $H1 and d.cmd == 33 and d.extra == '0123456789\0']) == 2"

# --- names --------------------------------------------------------------------

HOST=L$(printf 'x%.0s' {1..31999})
NICK=N$(printf 'n%.0s' {1..31999})
lan_peer_send near 10.201.1.11 "1:300:peer:$HOST:1:$NICK\\0\\0\\0\\0"
lan_peer_send near 10.201.1.11 "1:301:peer:$HOST:260:\\0\\0\\0\\0"
lan_check "32,000-byte names are listed cut at 255 bytes, and found again by the long name" \
    lan_wait_for 3 lan_shows h1 '^member\tLx{254}\tNn{254}\t×\t10\.201\.1\.12\t\t\t$'
lan_peer_send near 10.201.1.11 "1:302:peer:$HOST:2:\\0"
lan_check "its exit removes the row" lan_wait_for 3 lan_lacks h1 '^member\tL'

# The entries go to the broadcast address, one after the other as h1 answers
# them, so that none is lost on the way.
echo quit >"$LAN_DIR/near.in"
lan_wait_for 3 eval "! lan_running ${LAN_PEER[near]}" || lan_fail "the peer on h2 does not end"
PID=${LAN_PROGRAM[h1]}
RSS_BEFORE=$(rss_kib "$PID")
started=$(lan_now)
ANSWERED=$(lan_exec h2 "$LAN_PYTHON" - "$ENTRIES" <<'EOF'
import socket, sys
entries = int(sys.argv[1])
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
sock.bind(("", 1001))
sock.settimeout(2)
answered = 0
for i in range(entries):
    host = b"M%05d" % i
    host += b"m" * (32000 - len(host))
    sock.sendto(b"1:%d:u:%s:1:%s\0\0\0\0" % (1000 + i, host, b"n" * 32000), ("10.201.1.255", 1001))
    got = 0
    try:
        while got < 2:
            data, (src, _) = sock.recvfrom(65536)
            got += src == "10.201.1.11" and data.split(b":")[4] in (b"3", b"6291459")
    except socket.timeout:
        pass
    answered += got == 2
print(answered)
EOF
)
RSS_AFTER=$(rss_kib "$PID")
GROWTH=$((RSS_AFTER - RSS_BEFORE))
lan_log "names: $ANSWERED of $ENTRIES entries answered in $((($(lan_now) - started) / 1000)) ms;" \
    "h1 at $RSS_BEFORE KiB before, $RSS_AFTER KiB after: $GROWTH KiB, $((GROWTH * 1024 / ENTRIES)) bytes an entry"
lan_check "every entry reached h1 and was answered" test "${ANSWERED:-0}" = "$ENTRIES"
if ldd "$LAN_WIBBLET" 2>/dev/null | grep -q libasan; then
    lan_log "memory: not judged, the program is built with AddressSanitizer"
else
    lan_check "memory grew by less than $MAX_GROWTH_KIB KiB" test "$GROWTH" -lt "$MAX_GROWTH_KIB"
fi

lan_signal h1 TERM
lan_check "h1 ends on SIGTERM, with status 0" eval 'lan_wait_exit h1 && test $LAN_STATUS = 0'
lan_done
