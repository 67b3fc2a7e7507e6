#!/usr/bin/env bash
# Hostile traffic against the real program on h1, on an X display of its own
# so that its error boxes are real windows. From h2: 20,000 datagrams as fast
# as they go (entries from 5,000 hosts, exits, absences, receipts for packet
# numbers never sent, malformed datagrams of every kind), then the same mix in
# slices h1 can keep up with, where every well-formed entry must be answered.
# Afterwards it must still run with exactly one error box open, not have grown
# without bound, answer a new host's entry and message, and keep its settings
# file. Then a presence storm on a fresh start of the observed program: 5,000
# answers to its entry within 100 ms, every one listed.
source "$(dirname "$0")/lan.sh"
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || lan_skip "$tool is not installed"
done
lan_init "$@"
lan_build
lan_xvfb h1 || lan_skip "Xvfb does not start here"

FLOOD=$LAN_HERE/flood.py
ERROR_BOX='^送受信できませんでした。\(\^-\^;$'
STORM_HOSTS=5000
MAX_GROWTH_KIB=$((100 * 1024))

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# A counter of h1's UDP statistics (its own namespace's /proc/net/snmp).
udp_counter()
{
    lan_exec h1 awk -v name="$1" '/^Udp:/ {
        if (!seen++) { for (i = 2; i <= NF; ++i) column[$i] = i } else print $column[name] }
    ' /proc/net/snmp
}

# Holds when nothing waits in h1's socket on port 1001.
h1_drained()
{
    lan_exec h1 awk 'NR > 1 && $2 ~ /:03E9$/ { split($5, q, ":"); if (q[2] != "00000000") busy = 1 }
                     END { exit busy }' /proc/net/udp
}

error_boxes() { lan_windows h1 "$ERROR_BOX" | wc -l; }

# Ready once its entry has reached h2.
lan_peer p h2 1001 --duration 10 || lan_fail "peer on h2"
lan_start h1 "$LAN_WIBBLET"
lan_wire p "any(d.src == '10.201.1.11' and d.cmd == 1 for d in P)" 5 || lan_fail "no entry from h1"
echo quit >"$LAN_DIR/p.in"
lan_wait_for 3 eval "! lan_running ${LAN_PEER[p]}" || lan_fail "the peer on h2 does not end"
sleep 0.5
PID=${LAN_PROGRAM[h1]}
cp "$LAN_DIR/h1/wibblet.ini" "$LAN_DIR/before.ini"
RSS_BEFORE=$(rss_kib "$PID")
DROPS_BEFORE=$(udp_counter RcvbufErrors)
lan_check "no error box before the flood" test "$(error_boxes)" = 0

# --- the flood ----------------------------------------------------------------

# One run of flood.py from h2 (NAME SEED [GATE]); its figures go to NAME.out
# and the log. With a gate, each slice waits until h1 has read the last.
flood_pass()
{
    local name=$1 seed=$2 gate=${3:-0} out=$LAN_DIR/$1.out gates=0 pid fd
    rm -f "$LAN_DIR/$name.in"
    mkfifo "$LAN_DIR/$name.in"
    exec {fd}<>"$LAN_DIR/$name.in"
    LAN_INFD[$name]=$fd
    lan_cmd h2
    "${LAN_CMD[@]}" "$LAN_PYTHON" "$FLOOD" flood --to 10.201.1.11 --seed "$seed" --gate "$gate" \
        <"$LAN_DIR/$name.in" >"$out" 2>"$LAN_DIR/$name.err" &
    pid=$!
    LAN_PIDS+=($pid)
    while lan_running "$pid"; do
        if (($(grep -c '^gate' "$out") > gates)); then
            gates=$((gates + 1))
            lan_wait_for 10 h1_drained
            echo go >"$LAN_DIR/$name.in"
        fi
        sleep 0.02
    done
    wait "$pid" || lan_fail "flood.py: $(cat "$LAN_DIR/$name.err")"
    lan_wait_for 20 h1_drained || lan_log "h1 still has datagrams waiting"
    grep -v '^gate' "$out" | while read -r line; do lan_log "$name: $line"; done
}

# A figure of a run: figure NAME WORD WORD, the third word of its line.
figure() { awk -v a="$2" -v b="$3" '$1 == a && $2 == b { print $3 }' "$LAN_DIR/$1.out"; }
figure4() { awk -v a="$2" -v b="$3" '$1 == a && $2 == b { print $4 }' "$LAN_DIR/$1.out"; }

# As fast as it goes: more than h1 can read, so its kernel drops some.
lan_log "flood: h1 at ${RSS_BEFORE} KiB after start-up"
started=$(lan_now)
flood_pass flood 1
DROPS=$(($(udp_counter RcvbufErrors) - DROPS_BEFORE))
lan_log "flood: over after $((($(lan_now) - started) / 1000)) ms, $DROPS dropped by h1's kernel," \
    "$(error_boxes) error box(es) open"
ANSWERS=$(figure flood answers 3)
lan_check "20,000 datagrams sent" test "$(figure flood sent total)" = 20000
lan_check "the program still runs" lan_running "$PID"
lan_check "entries answered in both code sets, and nothing else answered (${ANSWERS:-0})" \
    test "${ANSWERS:-0}" = "$(figure flood answers 6291459)" \
    -a "${ANSWERS:-0}" -le "$(figure4 flood expect entries)" \
    -a "$(grep -c '^answers' "$LAN_DIR/flood.out")" = 2

# The same mix again in slices h1 can take: every datagram reaches it, so
# every well-formed entry must be answered.
DROPS_BEFORE=$(udp_counter RcvbufErrors)
started=$(lan_now)
flood_pass paced 2 1000
DROPS=$(($(udp_counter RcvbufErrors) - DROPS_BEFORE))
lan_log "paced: over after $((($(lan_now) - started) / 1000)) ms, $DROPS dropped by h1's kernel"
ANSWERS=$(figure paced answers 3)
lan_check "paced: none dropped by h1's kernel" test "$DROPS" = 0
lan_check "paced: every well-formed entry answered in both code sets, nothing else" \
    test "${ANSWERS:-0}" = "$(figure paced answers 6291459)" \
    -a "${ANSWERS:-0}" -ge "$(figure paced expect entries)" \
    -a "${ANSWERS:-0}" -le "$(figure4 paced expect entries)" \
    -a "$(grep -c '^answers' "$LAN_DIR/paced.out")" = 2

RSS_AFTER=$(rss_kib "$PID")
BOXES=$(error_boxes)
lan_log "flood: h1 at ${RSS_AFTER} KiB, grew $((RSS_AFTER - RSS_BEFORE)) KiB; $BOXES error box(es) open"
lan_check "the program still runs after both" lan_running "$PID"
lan_check "exactly one error box is open (got $BOXES)" test "$BOXES" = 1
# AddressSanitizer holds freed memory back in quarantine (up to 256 MB), so a
# sanitized program's growth says nothing about ours.
if ldd "$LAN_WIBBLET" 2>/dev/null | grep -q libasan; then
    lan_log "memory: not judged, the program is built with AddressSanitizer"
else
    lan_check "memory grew by less than $MAX_GROWTH_KIB KiB" \
        test $((RSS_AFTER - RSS_BEFORE)) -lt "$MAX_GROWTH_KIB"
fi

# --- still itself -------------------------------------------------------------

# A new host on the other subnet: its answers cross the router, and its
# subnet joins the broadcast list.
H1="d.src == '10.201.1.11'"
lan_peer q h3 1001 || lan_fail "peer on h3"
lan_peer_send q 10.201.1.11 '1:501:probe:newhost:1:probe\0'
lan_check "a new host's entry is answered twice (3, 6291459)" \
    lan_wire q "[d.cmd for d in P if $H1] == [3, 6291459]"
lan_peer_send q 10.201.1.11 '1:502:probe:newhost:20:after the flood\0:probe:OK:0\0'
lan_check "its message is acknowledged twice (33)" \
    lan_wire q "[d.cmd for d in P if $H1 and d.extra == '502\0'] == [33, 33]"
lan_check "still one error box" test "$(error_boxes)" = 1
SETTINGS=$("$LAN_PYTHON" "$FLOOD" settings "$LAN_DIR/before.ini" "$LAN_DIR/h1/wibblet.ini")
SETTINGS_STATUS=$?
lan_log "settings: ${SETTINGS//$'\n'/; }"
lan_check "the settings file parses and keeps every key; the broadcast list grew by h3's subnet" \
    test "$SETTINGS_STATUS" = 0 -a "$(lan_ini h1 BRD_CAST BRC_IP_0)" = 10.201.2.255
lan_signal h1 TERM
lan_check "SIGTERM ends it with the error box open, status 0" \
    eval 'lan_wait_exit h1 5 && test "$LAN_STATUS" = 0'

# --- the presence storm ---------------------------------------------------------

# The storm peer answers h1's entry once told to go: memory and counters are
# read between.
mkfifo "$LAN_DIR/storm.in"
exec {storm_fd}<>"$LAN_DIR/storm.in"
LAN_INFD[storm]=$storm_fd
lan_cmd h2
"${LAN_CMD[@]}" "$LAN_PYTHON" "$FLOOD" storm --hosts "$STORM_HOSTS" --window 0.1 \
    <"$LAN_DIR/storm.in" >"$LAN_DIR/storm.out" 2>"$LAN_DIR/storm.err" &
STORM=$!
LAN_PIDS+=($!)
lan_wait_for 5 lan_has_line "$LAN_DIR/storm.out" '^ready' || lan_fail "storm peer on h2"
lan_start h1 "$LAN_OBSERVED"
lan_wait_for 10 lan_has_line "$LAN_DIR/storm.out" '^entry' || lan_fail "no entry from h1 for the storm"
sleep 0.5
PID=${LAN_PROGRAM[h1]}
RSS_BEFORE=$(rss_kib "$PID")
DROPS_BEFORE=$(udp_counter RcvbufErrors)
echo go >"$LAN_DIR/storm.in"
lan_wait_for 10 eval "! lan_running $STORM" || lan_fail "the storm does not end"
lan_log "storm: $(grep '^storm' "$LAN_DIR/storm.out")"

# Rows listed, asked for every 0.3 s (each report is 5,000 lines).
started=$(lan_now)
ROWS=0
while (($(lan_now) - started < 20000000)); do
    ROWS=$(lan_state h1 | grep -c '^member	storm')
    ((ROWS >= STORM_HOSTS)) && break
    sleep 0.3
done
lan_wait_for 5 h1_drained
RSS_AFTER=$(rss_kib "$PID")
DROPS=$(($(udp_counter RcvbufErrors) - DROPS_BEFORE))
SHOWN=$(grep -c '^shown	' "$LAN_DIR/h1/out")
lan_log "storm: $ROWS rows listed after $((($(lan_now) - started) / 1000)) ms;" \
    "$DROPS dropped by h1's kernel; h1 at $RSS_BEFORE KiB before, $RSS_AFTER KiB after; $SHOWN box(es) shown"
lan_check "every storm host is listed ($ROWS of $STORM_HOSTS)" test "$ROWS" = "$STORM_HOSTS"
lan_check "h1's kernel dropped none of them" test "$DROPS" = 0
lan_check "no box during the storm" test "$SHOWN" = 0

lan_done
