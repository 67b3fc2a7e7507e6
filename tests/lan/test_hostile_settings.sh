#!/usr/bin/env bash
# Forged subnets and hostile settings files against the real program on h1.
# First, forged entries from 40 subnets (10.x.9.7, sent from h2 to the LAN
# broadcast) while a user keeps saving the settings file: every edit is
# kept. Then 255 more subnets: h1 learns at most 64 in all, one write of the
# file each, and its exit goes to its own subnet twice and the learned ones
# once. Then starts
# on files that once hung it: ERR_CNT=9999 in 23 bytes, BRC_CNT=16777216
# with no entries, host names in the list with a silent name server, and a
# read-only program folder while hosts of unrecordable subnets arrive: each
# start within 5 s writing under 10 MB, each SIGTERM obeyed within 2 s.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

FORGE=$LAN_HERE/forge.py
FOLDER=$LAN_DIR/h1
INI=$FOLDER/wibblet.ini
WIRE=$LAN_DIR/h1.wire
MAX_LEARNED=64

# A counter of /proc/PID/io (wchar: bytes the program wrote; rchar: read).
io() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/io"; }
# CPU time used by PID so far, in milliseconds.
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ print int(($14 + $15) * 1000 / hz) }' "/proc/$1/stat"; }

# Datagrams h1 sent with command CMD, as the sniffer on h1 saw them.
sent() {
    "$LAN_PYTHON" - "$WIRE" "$1" <<'EOF'
import json, sys
count = 0
for line in open(sys.argv[1], encoding="utf-8"):
    d = json.loads(line)
    if d.get("src") == "10.201.1.11" and d.get("sport") == 1001 \
            and d["text"].split(":")[4:5] == [sys.argv[2]]:
        count += 1
print(count)
EOF
}

# Holds when nothing waits in h1's socket on port 1001.
h1_drained()
{
    lan_exec h1 awk 'NR > 1 && $2 ~ /:03E9$/ { split($5, q, ":"); if (q[2] != "00000000") busy = 1 }
                     END { exit busy }' /proc/net/udp
}

# The settings file h1 starts on: printf's format, then that many lines of notes.
settings() {
    printf "$1" >"$INI"
    "$LAN_PYTHON" -c 'import sys; sys.stdout.buffer.write(b"".join(
        b"NOTE_%d=a line the program does not own, kept as it is\r\n" % i
        for i in range(int(sys.argv[1]))))' "${2:-0}" >>"$INI"
}

# Waits (up to 5 s) until h1's program answers, then notes START_MS and the
# bytes it wrote in WRITTEN.
started() {
    local since=$1
    STARTED=0
    lan_state h1 >/dev/null && STARTED=1
    START_MS=$((($(lan_now) - since) / 1000))
    WRITTEN=$(io "$PID" wchar)
    lan_log "$2: started after $START_MS ms, $WRITTEN bytes written"
    lan_check "$2: starts within 5 s (took $START_MS ms)" test "$STARTED" = 1 -a "$START_MS" -lt 5000
    lan_check "$2: writes under 10 MB ($WRITTEN bytes)" test "$WRITTEN" -lt 10000000
}

start_h1() {
    local since
    since=$(lan_now)
    lan_start h1 "$LAN_OBSERVED"
    PID=${LAN_PROGRAM[h1]}
    started "$since" "$1"
}

# SIGTERM, obeyed within 2 s; a program that does not end is killed.
stop_h1() {
    local since
    since=$(lan_now)
    lan_signal h1 TERM
    lan_wait_exit h1 5
    local ms=$((($(lan_now) - since) / 1000))
    lan_check "$1: ends on SIGTERM within 2 s (took $ms ms)" \
        test -z "${LAN_PROGRAM[h1]:-}" -a "$ms" -lt 2000
    if [[ -n ${LAN_PROGRAM[h1]:-} ]]; then
        lan_stop_pid "$PID"
        unset "LAN_PROGRAM[h1]"
    fi
}

lan_cmd h1
"${LAN_CMD[@]}" "$LAN_PYTHON" "$LAN_HERE/sniff.py" --iface eth0 --port 1001 --out "$WIRE" \
    2>>"$LAN_DIR/sniff.err" &
LAN_PIDS+=($!)
lan_wait_for 5 lan_has_line "$WIRE" '"ready"' || lan_fail "sniffer on h1"

# --- forged subnets while a user edits the file ---------------------------------

mkdir -p "$FOLDER"
settings '[BSC_CFG]\r\nUSER_NAME=h1\r\n[BRD_CAST]\r\nBRC_CNT=0\r\n[NOTES]\r\n' 2000
start_h1 "a 100 KB file"

# 40 subnets at 20 a second while the user saves 50 edits, 40 ms apart, the
# way editors do: a new file renamed over the old one.
"$LAN_PYTHON" - "$INI" 50 0.04 >"$LAN_DIR/editor.err" 2>&1 <<'EOF' &
import os, sys, time
path, count, pause = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
for k in range(count):
    with open(path, "rb") as f:
        data = f.read()
    with open(path + ".edit", "wb") as f:
        f.write(data + b"EDIT_%d=saved by the user\r\n" % k)
    os.replace(path + ".edit", path)
    time.sleep(pause)
EOF
EDITOR=$!
LAN_PIDS+=($EDITOR)
lan_exec h2 "$LAN_PYTHON" "$FORGE" send --src '10.{i}.9.7' --to 10.201.1.255 --count 40 \
    --rate 20 '1:{i}:forged:forged{i}:1:forged' || lan_fail "forge.py"
wait "$EDITOR"
lan_wait_for 20 h1_drained || lan_log "h1 still has datagrams waiting"
EDITS=$(grep -c '^EDIT_' "$INI")
lan_log "edited: $EDITS of 50 edits kept, $(grep -cP '^BRC_IP_\d+=10\.\d+\.9\.255\r$' "$INI")" \
    "subnets listed"
lan_check "every edit the user saved is kept ($EDITS of 50)" test "$EDITS" = 50

# Then one datagram from each of 255 more subnets, as fast as h1 takes them.
sleep 0.3
LISTED=$(grep -cP '^BRC_IP_\d+=10\.\d+\.[89]\.255\r$' "$INI")
WRITTEN_BEFORE=$(io "$PID" wchar)
CPU_BEFORE=$(cpu_ms "$PID")
lan_exec h2 "$LAN_PYTHON" "$FORGE" send --src '10.{i}.8.7' --to 10.201.1.255 --count 255 \
    --rate 200 '1:{i}:forged:forged8-{i}:1:forged' || lan_fail "forge.py"
lan_wait_for 20 h1_drained || lan_log "h1 still has datagrams waiting"
# The kernel is empty, but the program may still work through what it read
# (slowly, in a sanitized build): wait until the file stays the same.
settled() { local a; a=$(stat -c %s.%Y "$INI"); sleep 0.5; test "$a" = "$(stat -c %s.%Y "$INI")"; }
lan_wait_for 20 settled || lan_log "the settings file still changes"
WRITTEN=$(($(io "$PID" wchar) - WRITTEN_BEFORE))
CPU=$(($(cpu_ms "$PID") - CPU_BEFORE))
cp "$INI" "$LAN_DIR/learned.ini"
SIZE=$(stat -c %s "$LAN_DIR/learned.ini")
LEARNED=$(grep -cP '^BRC_IP_\d+=10\.\d+\.[89]\.255\r$' "$LAN_DIR/learned.ini")
COUNT=$(grep -aoP '^BRC_CNT=\K\d+' "$LAN_DIR/learned.ini")
lan_log "forged: $LEARNED subnets listed (BRC_CNT=$COUNT), $((LEARNED - LISTED))" \
    "of them from the last 255 at $WRITTEN bytes written and $CPU ms of CPU; the file is $SIZE bytes"
lan_check "at most $MAX_LEARNED forged subnets learned ($LEARNED)" \
    test "$LEARNED" -ge 1 -a "$LEARNED" -le "$MAX_LEARNED" -a "$COUNT" = "$LEARNED"
lan_check "one write of the file per subnet learned ($WRITTEN bytes, $((LEARNED - LISTED)) x $SIZE)" \
    test "$WRITTEN" -le $(((LEARNED - LISTED + 2) * SIZE))

EXITS_BEFORE=$(sent 2)
stop_h1 "forged"
sleep 0.5
EXITS=$(($(sent 2) - EXITS_BEFORE))
# A subnet whose write lost every round to the user's saves is kept in
# memory, and heard too.
lan_check "the exit goes to the own subnet twice and each subnet learned once ($EXITS)" \
    test "$EXITS" -ge $((LEARNED + 2)) -a "$EXITS" -le $((MAX_LEARNED + 2))

# --- hostile files --------------------------------------------------------------

settings '[ERROR]\r\nERR_CNT=9999\r\n'
lan_check "the first file is 23 bytes" test "$(stat -c %s "$INI")" = 23
start_h1 "ERR_CNT=9999"
stop_h1 "ERR_CNT=9999"
start_h1 "ERR_CNT=9999, second start"
lan_check "ERR_CNT=9999: every name written back" grep -q '^ERR_EXE_9999=EXPLORER.EXE' "$INI"
stop_h1 "ERR_CNT=9999, second start"

settings '[BRD_CAST]\r\nBRC_CNT=16777216\r\n'
ENTRIES_BEFORE=$(sent 1)
start_h1 "BRC_CNT=16777216"
sleep 0.5
ENTRIES=$(($(sent 1) - ENTRIES_BEFORE))
lan_check "BRC_CNT=16777216: the entry goes to the own subnet twice ($ENTRIES)" test "$ENTRIES" = 2
stop_h1 "BRC_CNT=16777216"

# A name server on h2 that never answers, and host names in the list.
lan_cmd h2
"${LAN_CMD[@]}" "$LAN_PYTHON" -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("10.201.1.12", 53))
out = open(sys.argv[1], "a", buffering=1)
out.write("ready\n")
while True:
    s.recv(4096)
    out.write("query\n")' "$LAN_DIR/dns.log" 2>>"$LAN_DIR/dns.err" &
LAN_PIDS+=($!)
lan_wait_for 5 lan_has_line "$LAN_DIR/dns.log" ready || lan_fail "silent name server on h2"
printf 'nameserver 10.201.1.12\n' >"$LAN_DIR/resolv.conf"
mount --bind "$LAN_DIR/resolv.conf" /etc/resolv.conf || lan_fail "cannot replace resolv.conf here"
settings '[BRD_CAST]\r\nBRC_CNT=2\r\nBRC_IP_0=branch-office\r\nBRC_IP_1=far-office\r\n'
start_h1 "names in the list"
stop_h1 "names in the list"
lan_check "names in the list: no name looked up ($(grep -c query "$LAN_DIR/dns.log"))" \
    test "$(grep -c query "$LAN_DIR/dns.log")" = 0
umount /etc/resolv.conf

# A read-only program folder: the program's output files are opened before.
settings '[BSC_CFG]\r\nUSER_NAME=h1\r\n[NOTES]\r\n' 4000
SIZE=$(stat -c %s "$INI")
cp "$INI" "$LAN_DIR/readonly.ini"
exec {out_fd}>>"$FOLDER/out" {err_fd}>>"$FOLDER/err"
mount --bind "$FOLDER" "$FOLDER" && mount -o remount,bind,ro "$FOLDER" \
    || lan_fail "cannot mount the program folder read-only"
since=$(lan_now)
lan_cmd h1
"${LAN_CMD[@]}" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$FOLDER/run" \
    "$FOLDER/wibblet" <"$FOLDER/in" >&"$out_fd" 2>&"$err_fd" &
LAN_PROGRAM[h1]=$!
LAN_PIDS+=($!)
PID=$!
started "$since" "read-only folder"

# 100 hosts on each of three subnets.
READ_BEFORE=$(io "$PID" rchar)
CPU_BEFORE=$(cpu_ms "$PID")
for subnet in 1 2 3; do
    lan_exec h2 "$LAN_PYTHON" "$FORGE" send --src "10.77.$subnet.{i}" --to 10.201.1.255 \
        --count 100 --rate 200 "1:{i}:far:far$subnet-{i}:1:far" || lan_fail "forge.py"
done
lan_wait_for 20 h1_drained || lan_log "h1 still has datagrams waiting"
sleep 0.3
READ=$(($(io "$PID" rchar) - READ_BEFORE))
CPU=$(($(cpu_ms "$PID") - CPU_BEFORE))
lan_log "read-only folder: 300 hosts of 3 subnets cost $READ bytes read, $CPU ms of CPU" \
    "(the file is $SIZE bytes)"
lan_check "read-only folder: the file is read for each new subnet, not for each host" \
    test "$READ" -lt $((10 * SIZE))
lan_check "read-only folder: the file is as it was" cmp -s "$INI" "$LAN_DIR/readonly.ini"
EXITS_BEFORE=$(sent 2)
stop_h1 "read-only folder"
sleep 0.5
EXITS=$(($(sent 2) - EXITS_BEFORE))
lan_check "read-only folder: the exit reaches the three subnets learned in memory ($EXITS)" \
    test "$EXITS" = 5
exec {out_fd}>&- {err_fd}>&-
umount "$FOLDER"

lan_done
