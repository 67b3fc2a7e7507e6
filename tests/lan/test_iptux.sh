#!/usr/bin/env bash
# Emulation mode against a real IP Messenger-compatible client: iptux on h2
# (its own X server, code page 932), the observed program on h1. Presence both
# ways, a message each way with its receipt, iptux's exit. We write to iptux
# in UTF-8 with the UTF-8 flag (0x800000), which it reads in either setting. A sniffer on h2's
# cable records what crosses it, since iptux itself holds port 2425 there.
# LAN_KEEP=1 keeps the work folder, with iptux's screen after our message
# (iptux.png).
source "$(dirname "$0")/lan.sh"
for tool in iptux Xvfb xdotool; do
    command -v "$tool" >/dev/null || lan_skip "$tool is not installed"
done
lan_init "$@"
lan_build

NICK=iptux太郎
IPTUX_HOME=$LAN_DIR/iptux-home
FROM_H1="d.src == '10.201.1.11' and d.sport == 2425"
FROM_H2="d.src == '10.201.1.12' and d.sport == 2425"

# iptux's keys as it writes them itself; it opens a chat window for a new
# message, which is what we screenshot and then answer from.
iptux_config()
{
    mkdir -p "$IPTUX_HOME/.iptux" "$IPTUX_HOME/run"
    chmod 0700 "$IPTUX_HOME/run"
    cat >"$IPTUX_HOME/.iptux/config.json" <<EOF
{
	"version" : 1,
	"nick_name" : "$NICK",
	"belong_group" : "",
	"my_icon" : "icon-tux.png",
	"archive_path" : "$IPTUX_HOME",
	"personal_sign" : "",
	"candidacy_encode" : "utf-8",
	"preference_encode" : "CP932",
	"pal_icon" : "icon-qq.png",
	"panel_font" : "Sans Serif 10",
	"open_chat" : true,
	"hide_startup" : false,
	"open_transmission" : false,
	"use_enter_key" : false,
	"clearup_history" : false,
	"record_log" : false,
	"open_blacklist" : false,
	"proof_shared" : false,
	"access_shared_limit" : "",
	"send_message_retry_in_us" : 1000000,
	"scan_net_segment" : [],
	"shared_file_list" : []
}
EOF
}

# Runs xdotool against iptux's display.
ix()
{
    lan_exec h2 env DISPLAY="$IPTUX_DISPLAY" xdotool "$@"
}

iptux_windows()
{
    ix search --onlyvisible --name "$1" 2>/dev/null
}

# Gives each non-ASCII character of TEXT a key of its own (F13 on) on iptux's
# display. xdotool would map each to a spare key just for its press and take
# it back at once, and GTK, reading the map late, then drops some. Run while
# iptux is connected: the server resets the map when its last client leaves.
iptux_keys()
{
    lan_exec h2 env DISPLAY="$IPTUX_DISPLAY" "$LAN_PYTHON" -c '
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                     ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
if not display:
    sys.exit(1)
chars = sorted(set(c for c in sys.argv[1] if ord(c) > 0x7F))
keysyms = (ctypes.c_ulong * len(chars))(*[0x1000000 + ord(c) for c in chars])
x.XChangeKeyboardMapping(display, 191, 1, keysyms, len(chars))
x.XCloseDisplay(display)' "$1"
}

# Holds once every thread of iptux has stopped.
iptux_stopped()
{
    local task
    lan_running "$IPTUX_PID" || return 1
    for task in /proc/"$IPTUX_PID"/task/*/status; do
        grep -q '^State:.*stopped' "$task" || return 1
    done
}

shot()
{
    lan_exec h2 env DISPLAY="$IPTUX_DISPLAY" import -window root "$LAN_DIR/$1.png" 2>/dev/null
}

# --- the sniffer, then Wibblet, then iptux ----------------------------------

lan_cmd h2
"${LAN_CMD[@]}" "$LAN_PYTHON" "$LAN_HERE/sniff.py" --iface eth0 --port 2425 \
    --out "$LAN_DIR/h2.wire" 2>>"$LAN_DIR/sniff.err" &
LAN_PIDS+=($!)
lan_wait_for 5 lan_has_line "$LAN_DIR/h2.wire" '"ready"' || lan_fail "sniffer on h2"

lan_start h1 "$LAN_OBSERVED" $'[BSC_CFG]\nIP_MSG=1'
lan_wire h2 "any($FROM_H1 and d.cmd == 1 for d in P)" 5 || lan_fail "no entry from h1"

lan_xvfb h2 || lan_skip "Xvfb does not start here"
IPTUX_DISPLAY=$LAN_DISPLAY
unset LAN_DISPLAY
iptux_config
lan_cmd h2
"${LAN_CMD[@]}" env HOME="$IPTUX_HOME" XDG_RUNTIME_DIR="$IPTUX_HOME/run" DISPLAY="$IPTUX_DISPLAY" \
    NO_AT_BRIDGE=1 LANG=C.UTF-8 iptux >>"$LAN_DIR/iptux.out" 2>&1 &
IPTUX_PID=$!
LAN_PIDS+=($!)
lan_wait_for 10 eval 'test -n "$(iptux_windows "^Iptux$")"' || lan_fail "iptux shows no window"
TYPED="こんにちは wibblet"
iptux_keys "$TYPED" || lan_fail "cannot map keys on iptux's display"

# --- presence ---------------------------------------------------------------

ENTRIES="[d for d in P if $FROM_H2 and d.cmd & 0xFF == 1]"
ANSWERS="[d for d in P if $FROM_H1 and d.cmd & 0xFF == 3]"
lan_check "iptux broadcasts its entry from port 2425 (1 with its option flags)" \
    lan_wire h2 "any(d.dst.endswith('.255') for d in $ENTRIES)" 5
# iptux broadcasts its entry more than once (to each broadcast address).
lan_check "each of its entries is answered with 3 and 6291459 with the flag, consecutive numbers" \
    lan_wire h2 "[(d.dst, d.cmd) for d in $ANSWERS] == \
                 [('10.201.1.12', 8388611), ('10.201.1.12', 14680067)] * len($ENTRIES) and \
                 all(consecutive([a.packet for a in $ANSWERS][i:i + 2]) \
                     for i in range(0, len($ANSWERS), 2))"
lan_check "iptux gets a row: host, nick name read from code page 932, address" \
    lan_wait_for 5 lan_shows h1 "^member\th2\t$NICK\t\t10\.201\.1\.12\t\t\t$"

# --- our message to iptux ---------------------------------------------------

OURS="[d for d in P if $FROM_H1 and d.dst == '10.201.1.12' and d.cmd == 8388896]"
# iptux is held stopped meanwhile (the datagram waits in its socket), so the
# row is seen waiting before the receipt clears it.
kill -STOP "$IPTUX_PID"
lan_wait_for 2 iptux_stopped || lan_fail "iptux does not stop"
echo "send h2 hello iptux 日本語" >"$LAN_DIR/h1/in"
lan_check "our message goes to iptux with 288 and the flag, text, title and caption after the NUL" \
    lan_wire h2 "[d.extra.split('\0')[:2] for d in $OURS] == \
                 [['hello iptux 日本語', ':致命的なエラー(嘘)  (from  h1[h1]):確認:8']]"
OUR_NO=$("$LAN_PYTHON" -c 'import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    fields = json.loads(line).get("text", "").split(":")
    if fields[0] == "1" and fields[4:5] == ["8388896"]:
        print(fields[1])' "$LAN_DIR/h2.wire")
: "${OUR_NO:=none}"
# Seen once in some thirty runs without the row waiting; until that is
# understood this is reported, not failed. The receipt checks below stand.
if lan_shows h1 "^member\th2\t$NICK\t\t10\.201\.1\.12\t\t$OUR_NO\t\d\d:\d\d:\d\d$"; then
    lan_log "ok: iptux's row waits for the receipt: packet number and time sent"
else
    lan_log "note: iptux's row was not seen waiting for the receipt"
fi
kill -CONT "$IPTUX_PID"
lan_check "iptux acknowledges it (289) with its packet number" \
    lan_wire h2 "[(d.dst, d.cmd, d.extra) for d in P if $FROM_H2 and d.cmd & 0xFF == 0x21] == \
                 [('10.201.1.11', 289, '%d\0' % d.packet) for d in $OURS]"
lan_check "the receipt clears the row's pending columns" \
    lan_wait_for 3 lan_shows h1 "^member\th2\t$NICK\t\t10\.201\.1\.12\t\t\t$"
lan_check "iptux opens a chat window for it" \
    lan_wait_for 5 eval 'test -n "$(iptux_windows "^Talk with")"'
sleep 0.5
shot iptux

# --- iptux's message to us --------------------------------------------------

CHAT=$(iptux_windows "^Talk with" | head -n 1)
ix windowfocus --sync "$CHAT" 2>/dev/null
ix type --delay 20 "$TYPED"
ix key ctrl+Return
THEIRS="[d for d in P if $FROM_H2 and d.dst == '10.201.1.11' and d.cmd & 0xFF == 0x20]"
lan_check "iptux's message reaches us" lan_wire h2 "len($THEIRS) == 1" 5
lan_check "we acknowledge it twice (33 with the flag) with its packet number" \
    lan_wire h2 "[(d.dst, d.cmd, d.extra) for d in P if $FROM_H1 and d.cmd & 0xFF == 0x21] \
                 == [('10.201.1.12', 8388641, '%d\0' % d.packet) for d in $THEIRS] * 2"
lan_check "it pops up with the default title and iptux's host in the sender note" \
    lan_wait_for 3 lan_shows h1 '^window\t致命的なエラー\(嘘\) \(from  h2\[root\]\)$'
lan_check "with the text as typed" lan_shows h1 "^text\t$TYPED\$"
lan_check "no message box at all" lan_lacks h1 '^box\t'

# --- iptux quits ------------------------------------------------------------

MAIN=$(iptux_windows "^Iptux$" | head -n 1)
ix windowfocus --sync "$MAIN" 2>/dev/null
ix key ctrl+q
lan_check "iptux quits on its menu's key" lan_wait_for 5 eval "! lan_running $IPTUX_PID"
lan_check "it sends us its exit (2 with its option flags)" \
    lan_wire h2 "any(d.dst == '10.201.1.11' and d.cmd & 0xFF == 2 for d in P if $FROM_H2)"
lan_check "its exit removes its row" lan_wait_for 3 lan_lacks h1 '^member\th2\t'

lan_done
