#!/usr/bin/env bash
# Port 1001 already taken on h1 by another program: the bind-failure box is
# shown once during start-up, and the program keeps running in the tray. Told
# to stop while that box holds start-up, it still ends, exit last.
source "$(dirname "$0")/lan.sh"
lan_init "$@"
lan_build

lan_peer squatter h1 1001 || lan_fail "peer holding port 1001 on h1"
lan_peer p h2 1001 || lan_fail "peer on h2"
lan_start h1 "$LAN_OBSERVED"

BIND_BOX='^box\tWibblet\tWinSock コントロールにて、ポートのバインドに失敗しました。\\r\\nWibblet を再起動してください。$'
lan_check "the bind-failure box is shown" lan_shows h1 "$BIND_BOX"
sleep 0.5
lan_check "the program keeps running" lan_running "${LAN_PROGRAM[h1]}"
lan_state h1 >"$LAN_DIR/final.state"
lan_check "it still answers, with the tray icon shown" \
    grep -qP '^tray\t1\tWibblet\(0\)$' "$LAN_DIR/final.state"
lan_check "exactly one box, the bind failure" \
    test "$(grep -cP '^box\t' "$LAN_DIR/final.state")" = 1 -a \
    "$(grep -cP "$BIND_BOX" "$LAN_DIR/final.state")" = 1
lan_signal h1 TERM
lan_wait_exit h1 3 || lan_fail "the observed program did not end"

# The real program, on an X display: its box is a real window.
# A tray on it, so that the box is the only window that comes up.
if ! command -v xdotool >/dev/null || ! lan_xvfb h1 || ! lan_tray h1; then
    echo "no Xvfb, xdotool or trayer: the real box is not looked at"
    lan_done
fi
lan_start h1 "$LAN_WIBBLET"
lan_check "the real program shows one box titled Wibblet" \
    lan_wait_for 5 eval 'test "$(lan_windows h1 "^Wibblet$" | wc -l)" = 1'
box=$(lan_windows h1 '^Wibblet$')
lan_exec h1 env DISPLAY="$LAN_DISPLAY" xdotool windowfocus --sync "$box" key Return
lan_check "pressing Enter closes it, and no other box follows" \
    eval 'sleep 0.5; test -z "$(lan_windows h1 "^Wibblet")"'
lan_check "the real program keeps running" lan_running "${LAN_PROGRAM[h1]}"
lan_signal h1 TERM
lan_check "and ends on SIGTERM" lan_wait_exit h1 3

# SIGTERM while the box holds start-up: the box goes, start-up ends with its
# entry, then the exit goes out and the process ends.
lan_start h1 "$LAN_WIBBLET"
lan_wait_for 5 eval 'test "$(lan_windows h1 "^Wibblet$" | wc -l)" = 1' \
    || lan_fail "no box the second time"
sent=$(grep -c '"src": "10.201.1.11"' "$LAN_DIR/p.wire")
lan_signal h1 TERM
lan_check "SIGTERM with the box open ends the program, status 0" \
    eval 'lan_wait_exit h1 3 && test "$LAN_STATUS" = 0'
lan_check "the entry goes out, then the exit, nothing after it" \
    lan_wire p "[d.cmd for d in P if d.src == '10.201.1.11'][$sent:] == [1, 1, 2, 2]"

lan_done
