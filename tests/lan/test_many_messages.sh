#!/usr/bin/env bash
# Many messages at once, from a peer on h2 to the program on h1.
#  - Held in absence mode (10,000; 3,000 under AddressSanitizer): each costs
#    little memory; coming back, a new host's entry is still answered within
#    2 s; dismissed as they come up, all of them come up in arrival order,
#    never more than 20 on screen. The memory figures are logged.
#  - 2,000 read notices for packet number 0, in every spelling, open no notice.
#  - A sealed message whose read notice cannot be sent is still shown, both
#    receipts go out, and no box says anything failed.
#  - On the real program under Xvfb: bad datagrams every 0.5 s for 10 s. The
#    error box does not stop a received window from being dismissed by a real
#    click, and once closed it does not come back within the 10 s.
# A third argument names the library preloaded to refuse chosen sends
# (tests/lan/refuse_send.cpp).
source "$(dirname "$0")/lan.sh"
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || lan_skip "$tool is not installed"
done
lan_init "$@"
REFUSE_SEND=${3:-}
[[ -f $REFUSE_SEND ]] || lan_skip "usage: $0 WIBBLET WIBBLET_OBSERVED REFUSE_SEND_LIBRARY"
lan_build

H1="d.src == '10.201.1.11'"
ERROR_BOX='^送受信できませんでした。\(\^-\^;$'
MAX_HELD_KIB=$((50 * 1024))
# AddressSanitizer makes every step several times slower and keeps freed
# memory in quarantine: fewer messages, and memory figures logged, not judged.
SANITIZED=0
ldd "$LAN_OBSERVED" 2>/dev/null | grep -q libasan && SANITIZED=1
HELD=$((SANITIZED ? 3000 : 10000))

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# Holds when nothing waits in h1's socket on port 1001.
h1_drained()
{
    lan_exec h1 awk 'NR > 1 && $2 ~ /:03E9$/ { split($5, q, ":"); if (q[2] != "00000000") busy = 1 }
                     END { exit busy }' /proc/net/udp
}

# Sends datagrams FIRST..LAST-1 to h1 from h2, from a port of the kernel's
# choosing (answers go to port 1001, to peer p), in slices of 500 that h1
# reads before the next goes. EXPR: a Python expression of i, the text.
send_many()
{
    local first=$1 last=$2 expr=$3 from
    for ((from = first; from < last; from += 500)); do
        lan_exec h2 "$LAN_PYTHON" -c '
import socket, sys
text = eval("lambda i: " + sys.argv[3])
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for i in range(int(sys.argv[1]), int(sys.argv[2])):
    sock.sendto(text(i).encode("cp932"), ("10.201.1.11", 1001))
' "$from" "$((from + 500 < last ? from + 500 : last))" "$expr"
        lan_wait_for 10 h1_drained || lan_log "h1 still has datagrams waiting"
    done
}

# A value of h1's state report: state_value NAME.
state_value() { lan_state h1 | awk -F'\t' -v name="$1" '$1 == name { print $2 }'; }

# How many of peer p's datagrams meet the Python condition COND (of d).
wire_len()
{
    "$LAN_PYTHON" -c 'import sys; sys.path.insert(0, sys.argv[1]); import peer
print(sum(1 for d in peer.load(sys.argv[2]) if eval(sys.argv[3])))' "$LAN_HERE" "$LAN_DIR/p.wire" "$1"
}

# Received windows shown since the start whose title starts with PREFIX.
popups() { grep -c "^popup	$1" "$LAN_DIR/h1/out"; }

lan_peer p h2 1001 --duration 110 || lan_fail "peer on h2"
lan_peer q h3 1001 --duration 110 || lan_fail "peer on h3"
lan_start h1 "$LAN_OBSERVED"
lan_wire p "any($H1 and d.cmd == 1 for d in P)" 5 || lan_fail "no entry from h1"
PID=${LAN_PROGRAM[h1]}

# --- what a window on screen costs -----------------------------------------------

sleep 0.5
RSS_NONE=$(rss_kib "$PID")
send_many 0 20 '"1:%d:peer:h2:20:on screen\0:w%02d:OK:0\0" % (i + 1, i)'
lan_wait_for 5 lan_shows h1 '^onscreen\t20$' || lan_fail "20 windows did not come up"
sleep 0.5
RSS_TWENTY=$(rss_kib "$PID")
echo okall >"$LAN_DIR/h1/in"
lan_check "okall dismisses every window on screen" lan_wait_for 5 lan_shows h1 '^onscreen\t0$'
sleep 0.3
lan_log "figure: $RSS_NONE KiB with no window on screen, $RSS_TWENTY KiB with 20:" \
    "$(((RSS_TWENTY - RSS_NONE) / 20)) KiB per window; $(rss_kib "$PID") KiB once dismissed"

# --- read notices for packet number 0 ----------------------------------------------

# h2 gets a row whose sealed column is empty, and an empty column reads as 0.
lan_peer_send p 10.201.1.11 '1:30:peer:h2:1:peer\0'
lan_wait_for 5 lan_shows h1 '^member\th2\tpeer\t' || lan_fail "h2 is not listed"
send_many 0 2000 '"1:%d:peer:h2:48:%s\0" % (100 + i, ["0", "00", " 0", "-0", "+0", "0.4"][i % 6])'
# A message after them: once it is acknowledged, every notice has been handled.
lan_peer_send p 10.201.1.11 '1:999:peer:h2:20:after the notices\0:n:OK:0\0'
lan_wire p "any($H1 and d.cmd == 33 and d.extra == '999\\0' for d in P)" 10 \
    || lan_fail "the message after the notices is not acknowledged"
echo okall >"$LAN_DIR/h1/in"
lan_wait_for 5 lan_shows h1 '^onscreen\t0$' || lan_fail "the message after the notices stays"
lan_state h1 >"$LAN_DIR/h1.state"
lan_check "2,000 read notices for 0, in six spellings, open no notice (numopn stays -1)" \
    grep -qP '^numopn\t-1$' "$LAN_DIR/h1.state"
# A notice window is titled with the user name of the row it matched.
lan_check "no window is titled with a listed user's name" \
    awk -F'\t' '$1 == "member" { user[$3] = 1 } $1 == "window" && $2 in user { found = 1 }
                END { exit found }' "$LAN_DIR/h1.state"

# --- held while away, then brought up ----------------------------------------------

echo absent >"$LAN_DIR/h1/in"
lan_wait_for 5 lan_shows h1 '^tray\t' || lan_fail "no answer after absent"
sleep 0.3
RSS_AWAY=$(rss_kib "$PID")
started=$(lan_now)
send_many 0 "$HELD" '"1:%d:peer:h2:20:held %d\0:t%05d:OK:0\0" % (1000 + i, i, i)'
lan_wait_for 10 eval 'test "$(state_value waiting)" = "$HELD"'
HOLD_MS=$((($(lan_now) - started) / 1000))
WAITING=$(state_value waiting)
sleep 0.3
RSS_HELD=$(rss_kib "$PID")
GROWTH=$((RSS_HELD - RSS_AWAY))
lan_log "figure: $HELD messages held in $HOLD_MS ms; $RSS_AWAY KiB before, $RSS_HELD KiB after:" \
    "$GROWTH KiB, $(awk -v g="$GROWTH" -v n="$HELD" 'BEGIN { printf "%.2f", g / n }') KiB per message"
lan_check "all $HELD are held, none shown (waiting $WAITING)" \
    test "$WAITING" = "$HELD" -a "$(popups t)" = 0
RECEIPTS="$H1 and d.cmd == 33 and d.extra[:-1].isdigit() and int(d.extra[:-1]) >= 1000"
lan_check "each was acknowledged twice" lan_wire p "sum(1 for d in P if $RECEIPTS) == 2 * $HELD" 5
if ((SANITIZED)); then
    lan_log "memory: not judged, the program is built with AddressSanitizer"
else
    lan_check "$HELD held messages cost under $MAX_HELD_KIB KiB ($GROWTH)" test "$GROWTH" -lt "$MAX_HELD_KIB"
fi

# Back: the held messages come up a few at a time, and the program still
# answers meanwhile.
SHOWN_BEFORE=$(grep -c '^shown	' "$LAN_DIR/h1/out")
started=$(lan_now)
echo absent >"$LAN_DIR/h1/in"
lan_wait_for 5 eval '(($(grep -c "^shown	" "$LAN_DIR/h1/out") > SHOWN_BEFORE))' \
    || lan_fail "no box on coming back"
lan_peer_send q 10.201.1.11 '1:501:probe:newhost:1:probe\0'
lan_wire q "any($H1 and d.cmd == 3 for d in P)" 5
ANSWER_MS=$((($(lan_now) - started) / 1000))
lan_log "figure: a new host's entry, sent on coming back, answered after $ANSWER_MS ms"
lan_check "a new host's entry sent on coming back is answered within 2 s ($ANSWER_MS ms)" \
    test "$ANSWER_MS" -le 2000

started=$(lan_now)
while (($(popups t) < HELD && $(lan_now) - started < 60000000)); do
    echo okall >"$LAN_DIR/h1/in"
    sleep 0.02
done
echo okall >"$LAN_DIR/h1/in"
RELEASE_MS=$((($(lan_now) - started) / 1000))
lan_check "then none on screen and none waiting" \
    lan_wait_for 5 eval 'lan_shows h1 "^onscreen\t0$" && lan_shows h1 "^waiting\t0$"'
sleep 0.5
RSS_RELEASED=$(rss_kib "$PID")
lan_log "figure: all $HELD brought up and dismissed in $RELEASE_MS ms; $RSS_RELEASED KiB afterwards"
grep -P '^popup\tt' "$LAN_DIR/h1/out" >"$LAN_DIR/popups"
lan_check "all $HELD came up, in arrival order ($(wc -l <"$LAN_DIR/popups") shown)" \
    awk -F'\t' -v n="$HELD" '$2 != sprintf("t%05d", NR - 1) { exit 1 } END { exit NR != n }' \
    "$LAN_DIR/popups"
lan_check "never more than 20 on screen (at most $(cut -f3 "$LAN_DIR/popups" | sort -n | tail -n 1))" \
    awk -F'\t' '$3 > 20 || $3 < 1 { exit 1 }' "$LAN_DIR/popups"
lan_signal h1 TERM
lan_wait_exit h1 5 || lan_fail "the observed program does not end"

# --- a read notice that cannot be sent ---------------------------------------------

# Every read notice is refused by the kernel. AddressSanitizer wants its
# runtime loaded first and would end the program over the preloaded library.
LAN_ENV=(LD_PRELOAD="$REFUSE_SEND" WIBBLET_REFUSE_COMMAND=48
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
SHOWN_BEFORE=$(grep -c '^shown	' "$LAN_DIR/h1/out")
ENTRY="$H1 and d.cmd == 1"
ENTRIES=$(wire_len "$ENTRY")
lan_start h1 "$LAN_OBSERVED"
LAN_ENV=()
lan_wire p "sum(1 for d in P if $ENTRY) > $ENTRIES" 5 || lan_fail "no entry from h1 after its restart"
lan_peer_send p 10.201.1.11 '1:77777:peer:h2:800:sealed\0:sealed:OK:0\0'
lan_check "a sealed message whose read notice is refused is shown" \
    lan_wait_for 5 lan_shows h1 '^window\tsealed$'
lan_check "both receipts went out, and no read notice" \
    eval "lan_wire p \"[d.cmd for d in P if $H1 and d.extra == '77777\\0'] == [33, 33]\" &&
          lan_wire_after p 0.5 \"not any($H1 and d.cmd == 48 for d in P)\""
lan_check "no box was shown" \
    test "$(grep -c '^shown	' "$LAN_DIR/h1/out")" = "$SHOWN_BEFORE"
lan_signal h1 TERM
lan_wait_exit h1 5 || lan_fail "the observed program does not end"

# --- the error box and a received window, on the real program -----------------------

lan_xvfb h1 || lan_skip "Xvfb does not start here"
ENTRIES=$(wire_len "$ENTRY")
lan_start h1 "$LAN_WIBBLET"
lan_wire p "sum(1 for d in P if $ENTRY) > $ENTRIES" 5 || lan_fail "no entry from the real program"
lan_peer_send p 10.201.1.11 '1:88888:peer:h2:20:read me\0:lanq-read-me:OK:0\0'
lan_wait_for 5 eval 'test -n "$(lan_windows h1 "^lanq-read-me$")"' || lan_fail "the message is not shown"
WINDOW=$(lan_windows h1 '^lanq-read-me$')

# Bad datagrams (four fields only) every 0.5 s for 10 s.
BAD_STARTED=$(lan_now)
(
    for ((k = 0; k < 20; ++k)); do
        lan_peer_send p 10.201.1.11 "1:$((6000 + k)):bad:bad:1"
        sleep 0.5
    done
) &
BAD=$!
LAN_PIDS+=($BAD)
error_boxes() { lan_windows h1 "$ERROR_BOX" | wc -l; }
lan_check "the error box appears" lan_wait_for 3 eval 'test "$(error_boxes)" = 1'
BOX=$(lan_windows h1 "$ERROR_BOX")

# The OK button: 3120,1800 twips from the client area's corner, 1275x315,
# 15 twips to the pixel; clicked in its middle with real X input.
lan_exec h1 env DISPLAY="$LAN_DISPLAY" xdotool mousemove --window "$WINDOW" \
    $(((3120 + 1275 / 2) / 15)) $(((1800 + 315 / 2) / 15)) click 1
lan_check "with the error box open, a click on OK dismisses the received window" \
    lan_wait_for 2 eval 'test -z "$(lan_windows h1 "^lanq-read-me$")"'
lan_exec h1 env DISPLAY="$LAN_DISPLAY" xdotool windowfocus --sync "$BOX" key Return
CLOSED=$(lan_now)
lan_check "Enter closes the error box" lan_wait_for 2 eval 'test "$(error_boxes)" = 0'
lan_log "the error box was closed $(((CLOSED - BAD_STARTED) / 1000)) ms into the bad datagrams"
MOST=0
while lan_running "$BAD" || (($(lan_now) - CLOSED < 1000000)); do
    n=$(error_boxes)
    ((n > MOST)) && MOST=$n
    sleep 0.2
done
lan_check "no further error box while the bad datagrams go on (at most $MOST seen)" test "$MOST" = 0
lan_check "the real program still runs" lan_running "${LAN_PROGRAM[h1]}"

lan_done
