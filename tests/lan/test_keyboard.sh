#!/usr/bin/env bash
# The keyboard stays where the user types: on the observed program under Xvfb
# with a window manager (openbox), text typed with real X input into the
# compose window while a message and a read notice come in all lands in the
# compose window, and the received window and the notice still come up.
source "$(dirname "$0")/lan.sh"
for tool in Xvfb xdotool openbox; do
    command -v "$tool" >/dev/null || lan_skip "$tool is not installed"
done
lan_init "$@"
lan_build
lan_xvfb h1 || lan_skip "Xvfb does not start here"

x() { lan_exec h1 env DISPLAY="$LAN_DISPLAY" "$@"; }

# openbox with its defaults: new windows get the focus where its rules allow.
lan_cmd h1
"${LAN_CMD[@]}" env DISPLAY="$LAN_DISPLAY" HOME="$LAN_DIR" openbox --sm-disable \
    >"$LAN_DIR/openbox.log" 2>&1 &
OPENBOX=$!
LAN_PIDS+=($OPENBOX)

lan_peer p h2 1001 --duration 60 || lan_fail "peer on h2"
lan_start h1 "$LAN_OBSERVED"
lan_wire p "any(d.src == '10.201.1.11' and d.cmd == 1 for d in P)" 5 || lan_fail "no entry from h1"

# A sealed message to the peer (listed, so the sealed mark has a row), whose
# read notice comes while the user types.
lan_peer_send p 10.201.1.11 '1:7:peer:h2:1:\0\0\0\0'
lan_wire p "any(d.src == '10.201.1.11' and d.cmd == 3 for d in P)" 5 || lan_fail "h2 not answered"
echo 'sealed 10.201.1.12 open me' >"$LAN_DIR/h1/in"
lan_wire p "any(d.src == '10.201.1.11' and 'open me' in d.text for d in P)" 5 \
    || lan_fail "no sealed message from h1"
SEALED=$("$LAN_PYTHON" -c 'import json, sys
print(next(json.loads(l)["text"].split(":")[1] for l in open(sys.argv[1]) if "open me" in json.loads(l).get("text", "")))' \
    "$LAN_DIR/p.wire")

echo 'compose 10.201.1.12' >"$LAN_DIR/h1/in"
lan_wait_for 5 eval 'test -n "$(lan_windows h1 "^ポップアップ$")"' || lan_fail "no compose window"
COMPOSE=$(lan_windows h1 '^ポップアップ$')
# Fails until openbox has taken over the screen.
lan_wait_for 5 x xdotool windowactivate --sync "$COMPOSE" || lan_skip "openbox does not run here"
# A click in the message box (120,1980 twips, 15 to the pixel), then typing.
x xdotool mousemove --window "$COMPOSE" 100 180 click 1 sleep 0.2 type --delay 20 'some words'
lan_wait_for 3 lan_shows h1 '^compose\tsome words$' || lan_fail "typing does not reach the compose window"

lan_peer_send p 10.201.1.11 '1:501:peer:h2:20:arrived\0:lanq-arrived:OK:0\0'
lan_check "the message comes up while the user types" \
    lan_wait_for 5 eval 'test -n "$(lan_windows h1 "^lanq-arrived$")"'
# Time for the window manager to hand the focus on, were it to.
sleep 0.5
x xdotool type --delay 20 ' more words'

lan_peer_send p 10.201.1.11 "1:502:peer:h2:48:$SEALED\0"
lan_check "the read notice comes up while the user types" \
    lan_wait_for 5 lan_shows h1 '^numopn\t0$'
sleep 0.5
x xdotool type --delay 20 ' and more'

lan_check "everything typed is in the compose window" \
    lan_wait_for 3 lan_shows h1 '^compose\tsome words more words and more$'
grep -P '^compose\t' "$LAN_DIR/h1.state" | sed 's/^/  /'
FOCUSED=$(x xdotool getwindowfocus getwindowname 2>/dev/null)
lan_check "the compose window keeps the keyboard (focus on '$FOCUSED')" \
    test "$FOCUSED" = "ポップアップ"

lan_done
