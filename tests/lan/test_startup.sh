#!/usr/bin/env bash
# Start-up of the real program on h1, heard by a protocol peer on h2: the
# entry broadcast, the answers to the peer's entry, the settings file, and a
# second copy of the same program file that ends without a word. On an X
# display: the main window shown at start where no tray is, none where one is.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

H1="d.src == '10.201.1.11' and d.sport == 1001"

lan_peer p h2 1001 || lan_fail "peer on h2"
lan_start h1 "$LAN_WIBBLET"

lan_check "the entry goes to the own subnet twice: one packet, four NULs, host name as user" \
    lan_wire p "[(d.dst, d.no, d.user, d.host, d.cmd, d.extra) for d in P if $H1] == \
                [('10.201.1.255', '1', 'h1', 'h1', 1, '\0\0\0\0')] * 2"

lan_peer_send p 10.201.1.255 '1:7:peer:h2:1:\0\0\0\0'
lan_check "the peer's entry is answered twice, in both code sets, with consecutive numbers" \
    lan_wire p "[(d.dst, d.cmd, d.extra) for d in P if $H1 and d.cmd != 1] == \
                [('10.201.1.12', 3, '\0'), ('10.201.1.12', 6291459, '\0')] and \
                consecutive([d.packet for d in P if $H1 and d.cmd != 1])"

ini=$LAN_DIR/h1/wibblet.ini
lan_check "the settings file is written beside the program, with the host name as user" \
    test "$(lan_ini h1 BSC_CFG USER_NAME)" = h1
lan_check "a host of the own subnet is not added to the broadcast list" \
    test -z "$(lan_ini h1 BRD_CAST BRC_IP_0)"

# A second copy of the same program file, while the first runs.
before=$(md5sum <"$ini")
lan_exec h1 env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$LAN_DIR/h1/run" timeout 10 \
    "$LAN_DIR/h1/wibblet" </dev/null >"$LAN_DIR/second.out" 2>&1
status=$?
lan_check "a second copy ends at once with status 0 (was $status)" test "$status" = 0
lan_check "the second copy leaves the settings file alone" test "$(md5sum <"$ini")" = "$before"
lan_check "the second copy sends nothing" \
    lan_wire_after p 0.5 "len([d for d in P if d.src == '10.201.1.11']) == 4"
lan_check "the first copy still runs" lan_running "${LAN_PROGRAM[h1]}"

# On an X display without a tray the main window is the only way in, so it
# comes up at start; beside a tray only the icon does.
lan_signal h1 TERM
lan_wait_exit h1 3 || lan_fail "the first copy did not end"
if ! command -v xdotool >/dev/null || ! lan_xvfb h1; then
    echo "no Xvfb or xdotool: the windows are not looked at"
    lan_done
fi
lan_start h1 "$LAN_WIBBLET"
lan_check "without a tray the main window is shown at start" \
    lan_wait_for 5 eval 'test "$(lan_windows h1 "^Wibblet$" | wc -l)" = 1'
lan_signal h1 TERM
lan_wait_exit h1 3 || lan_fail "the copy without a tray did not end"
lan_tray h1 || lan_fail "no tray on the display"
sent=$(grep -c '"src": "10.201.1.11"' "$LAN_DIR/p.wire")
lan_start h1 "$LAN_WIBBLET"
lan_wait_for 5 lan_wire p "len([d for d in P if d.src == '10.201.1.11']) > $sent" \
    || lan_fail "no entry from the copy beside a tray"
lan_check "beside a tray no window is shown" eval 'sleep 1; test -z "$(lan_windows h1 "^Wibblet$")"'

lan_done
