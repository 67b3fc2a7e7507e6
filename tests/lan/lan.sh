# A LAN of network namespaces for the end-to-end tests, to be sourced by a
# test script:
#
#   source "$(dirname "$0")/lan.sh"
#   lan_init "$@"           # skips (77) without root or namespaces
#   lan_build               # the two subnets below
#   lan_start h1 "$LAN_WIBBLET"
#   ...
#   lan_done
#
#   10.201.1.0/24, bridge br0 in namespace sw1:   h1 .11   h2 .12   r .1
#   10.201.2.0/24, one cable:                     h3 .13            r .1
#
# r forwards between them, directed broadcasts included (bc_forwarding), so a
# datagram from h1 to 10.201.2.255 reaches h3. Every host has lo up and its
# default route through r, and its own host name (UTS namespace).
#
# Containment: lan_init runs the test script again inside new network, mount
# and PID namespaces. Nothing is ever configured in the namespace the script
# was started in; the named namespaces live on a tmpfs that only the test's
# mount namespace sees; and when the script ends, however it ends, the kernel
# ends every process it started (the PID namespace dies with it) and frees
# every namespace, link and bridge. The EXIT trap still takes everything down
# in order and then checks that nothing is left.
#
# Namespaces: `ip netns add` works inside an unshared network namespace when
# run as root (it only needs /run/netns, a tmpfs here). Where it does not, each
# host is held by a background `unshare --net --uts sleep` process and entered
# with nsenter instead (LAN_MODE=holder forces this).

LAN_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAN_WIBBLET=${1:-}
LAN_OBSERVED=${2:-}

lan_skip()
{
    echo "SKIP: $*"
    exit 77
}

lan_log()
{
    echo "[$(date +%T.%3N)] $*"
}

LAN_FAILED=0
LAN_PASSED=0

# Records one check: lan_check "what" command...
lan_check()
{
    local what=$1
    shift
    if "$@"; then
        LAN_PASSED=$((LAN_PASSED + 1))
        lan_log "ok: $what"
    else
        LAN_FAILED=$((LAN_FAILED + 1))
        lan_log "FAILED: $what"
    fi
}

lan_fail()
{
    LAN_FAILED=$((LAN_FAILED + 1))
    lan_log "FAILED: $*"
    exit 1
}

lan_init()
{
    if [[ -z ${LAN_INNER:-} ]]; then
        ((EUID == 0)) || lan_skip "needs root for network namespaces"
        local tool
        for tool in ip unshare nsenter python3 sysctl; do
            command -v "$tool" >/dev/null || lan_skip "$tool is not installed"
        done
        [[ -x $LAN_WIBBLET && -x $LAN_OBSERVED ]] \
            || lan_skip "usage: $0 WIBBLET WIBBLET_OBSERVED"
        unshare --mount --pid --fork --net true 2>/dev/null \
            || lan_skip "cannot create network, mount and PID namespaces here"
        local outer_links rc
        outer_links=$(ip -o link show | wc -l)
        # The work folder is made and removed out here: it goes even when the
        # inside is killed.
        LAN_DIR=$(mktemp -d /tmp/wibblet-lan.XXXXXX)
        LAN_INNER=1 LAN_DIR=$LAN_DIR unshare --mount --propagation private --net --pid \
            --kill-child --mount-proc -- bash "$0" "$@"
        rc=$?
        [[ -n ${LAN_KEEP:-} ]] || rm -rf "$LAN_DIR"
        # Seen from outside, the machine is as before.
        if [[ $(ip -o link show | wc -l) != "$outer_links" ]]; then
            echo "FAILED: links left behind outside the test"
            ip -o link show
            rc=1
        fi
        exit "$rc"
    fi

    ip link set lo up
    LAN_PYTHON=$(command -v /usr/bin/python3 || command -v python3)
    LAN_ID=$(printf '%04x' $((RANDOM ^ $$)))
    LAN_PREFIX=wl$LAN_ID
    [[ -d ${LAN_DIR:-} ]] || lan_fail "no work folder"
    declare -gA LAN_HOLDER=() LAN_PROGRAM=() LAN_PEER=() LAN_INFD=()
    LAN_NAMESPACES=()
    LAN_PIDS=()
    trap lan_teardown EXIT
    trap 'exit 130' INT TERM HUP

    # Named namespaces only on a tmpfs of our own, so none can outlive the test.
    if [[ ${LAN_MODE:-} != holder ]] && mkdir -p /run/netns 2>/dev/null \
        && mount -t tmpfs -o mode=0755 "$LAN_PREFIX" /run/netns 2>/dev/null \
        && ip netns add "$LAN_PREFIX-probe" 2>/dev/null; then
        ip netns del "$LAN_PREFIX-probe"
        LAN_MODE=netns
    else
        LAN_MODE=holder
    fi
    lan_log "LAN $LAN_PREFIX in $LAN_DIR, namespaces by $LAN_MODE"
}

# --- namespaces -------------------------------------------------------------

# Creates the namespace of host NAME (its host name is NAME).
lan_ns_add()
{
    local name=$1
    if [[ $LAN_MODE == netns ]]; then
        ip netns add "$LAN_PREFIX-$name" || return 1
    else
        unshare --net --uts -- sleep infinity &
        LAN_HOLDER[$name]=$!
        LAN_PIDS+=($!)
        # unshare has made the namespaces once sleep runs.
        local i
        for ((i = 0; i < 50; ++i)); do
            [[ $(readlink "/proc/$!/exe") == */sleep ]] && break
            sleep 0.02
        done
        nsenter -t "${LAN_HOLDER[$name]}" -u hostname "$name"
    fi
    LAN_NAMESPACES+=("$name")
    lan_ip "$name" link set lo up
}

# What `ip ... netns X` takes for host NAME: a namespace name or a PID.
lan_nsref()
{
    if [[ $LAN_MODE == netns ]]; then
        echo "$LAN_PREFIX-$1"
    else
        echo "${LAN_HOLDER[$1]}"
    fi
}

# The command prefix that runs a program on host NAME, in LAN_CMD: in its
# network namespace, with host name NAME. The program replaces the prefix's
# processes, so $! of `"${LAN_CMD[@]}" program &` is the program's PID.
lan_cmd()
{
    local name=$1
    if [[ $LAN_MODE == netns ]]; then
        LAN_CMD=(ip netns exec "$LAN_PREFIX-$name" unshare --uts --
            sh -c 'hostname "$0" && exec "$@"' "$name")
    else
        LAN_CMD=(nsenter -t "${LAN_HOLDER[$name]}" -n -u --)
    fi
}

# Runs a command on host NAME.
lan_exec()
{
    lan_cmd "$1"
    shift
    "${LAN_CMD[@]}" "$@"
}

# Runs ip on host NAME.
lan_ip()
{
    local name=$1
    shift
    if [[ $LAN_MODE == netns ]]; then
        ip -n "$LAN_PREFIX-$name" "$@"
    else
        nsenter -t "${LAN_HOLDER[$name]}" -n -- ip "$@"
    fi
}

# A cable: interface IF_A on host A to interface IF_B on host B, both up.
lan_cable()
{
    local a=$1 if_a=$2 b=$3 if_b=$4
    lan_ip "$a" link add "$if_a" type veth peer name "$if_b" netns "$(lan_nsref "$b")"
    lan_ip "$a" link set "$if_a" up
    lan_ip "$b" link set "$if_b" up
}

lan_build()
{
    local name
    for name in sw1 r h1 h2 h3; do
        lan_ns_add "$name" || lan_fail "cannot create namespace $name"
    done

    # The first subnet's switch: a bridge with one port per cable.
    lan_ip sw1 link add br0 type bridge
    lan_ip sw1 link set br0 up
    lan_cable sw1 p-h1 h1 eth0
    lan_cable sw1 p-h2 h2 eth0
    lan_cable sw1 p-r r eth1
    for name in p-h1 p-h2 p-r; do
        lan_ip sw1 link set "$name" master br0
    done
    lan_cable r eth2 h3 eth0

    lan_ip h1 addr add 10.201.1.11/24 brd + dev eth0
    lan_ip h2 addr add 10.201.1.12/24 brd + dev eth0
    lan_ip h3 addr add 10.201.2.13/24 brd + dev eth0
    lan_ip r addr add 10.201.1.1/24 brd + dev eth1
    lan_ip r addr add 10.201.2.1/24 brd + dev eth2
    for name in h1 h2; do
        lan_ip "$name" route add default via 10.201.1.1
    done
    lan_ip h3 route add default via 10.201.2.1

    local keys=(net.ipv4.ip_forward=1)
    for name in all default eth1 eth2; do
        keys+=("net.ipv4.conf.$name.bc_forwarding=1")
    done
    lan_exec r sysctl -qw "${keys[@]}"
}

# --- waiting ----------------------------------------------------------------

# Microseconds since the epoch.
lan_now()
{
    echo "${EPOCHREALTIME/./}"
}

# Polls a command every 50 ms until it succeeds or SECONDS pass; the last try
# runs with its error output shown.
lan_wait_for()
{
    local deadline=$(($(lan_now) + $1 * 1000000))
    shift
    while (($(lan_now) < deadline)); do
        "$@" 2>/dev/null && return 0
        sleep 0.05
    done
    "$@"
}

lan_has_line()
{
    grep -q -- "$2" "$1" 2>/dev/null
}

# --- programs ---------------------------------------------------------------

# Starts a copy of BINARY on HOST from a program folder of its own
# ($LAN_DIR/HOST/wibblet, so its settings file is wibblet.ini beside it).
# A third argument is written to the settings file first. Offscreen, or on
# the X display LAN_DISPLAY when it is set (see lan_xvfb). Variables in the
# array LAN_ENV (NAME=VALUE) are set for the program alone.
lan_start()
{
    local host=$1 binary=$2 ini=${3:-}
    local folder=$LAN_DIR/$host
    mkdir -p "$folder/run"
    chmod 0700 "$folder/run"
    cp "$binary" "$folder/wibblet"
    [[ -n $ini ]] && printf '%s\n' "$ini" >"$folder/wibblet.ini"
    local fd=${LAN_INFD[$host]:-}
    [[ -n $fd ]] && exec {fd}>&-
    rm -f "$folder/in"
    mkfifo "$folder/in"
    # Held open both ways, so the program never reads an end of input.
    exec {fd}<>"$folder/in"
    LAN_INFD[$host]=$fd
    lan_cmd "$host"
    local platform=(QT_QPA_PLATFORM=offscreen)
    [[ -n ${LAN_DISPLAY:-} ]] && platform=(QT_QPA_PLATFORM=xcb DISPLAY="$LAN_DISPLAY")
    "${LAN_CMD[@]}" env "${platform[@]}" "${LAN_ENV[@]}" XDG_RUNTIME_DIR="$folder/run" \
        "$folder/wibblet" <"$folder/in" >>"$folder/out" 2>>"$folder/err" &
    LAN_PROGRAM[$host]=$!
    LAN_PIDS+=($!)
}

# A value of HOST's settings file: lan_ini HOST SECTION KEY.
lan_ini()
{
    awk -v section="[$2]" -v key="$3=" '
        { sub(/\r$/, "") }
        /^\[/ { inside = ($0 == section); next }
        inside && index($0, key) == 1 { print substr($0, length(key) + 1); exit }
    ' "$LAN_DIR/$1/wibblet.ini"
}

# Starts an X server for HOST's programs; sets LAN_DISPLAY. 1 without Xvfb.
lan_xvfb()
{
    local host=$1 fd
    command -v Xvfb >/dev/null || return 1
    rm -f "$LAN_DIR/display"
    # A display number of our own: X lock files live in the shared /tmp, and
    # an Xvfb in another test's PID namespace takes a lock whose holder it
    # cannot see for stale, so letting each pick the first free one makes two
    # tests running at once share a display. Xvfb writes the number once ready.
    # -noreset: by default the server resets when its last client leaves, and
    # a program started right after another ended can find no display.
    local display=$((1000 + RANDOM % 30000))
    lan_cmd "$host"
    "${LAN_CMD[@]}" Xvfb ":$display" -displayfd 3 -nolisten tcp -noreset -screen 0 1024x768x24 \
        3>"$LAN_DIR/display" 2>"$LAN_DIR/xvfb.err" &
    LAN_PIDS+=($!)
    lan_wait_for 5 test -s "$LAN_DIR/display" || return 1
    LAN_DISPLAY=:$(<"$LAN_DIR/display")
}

# Starts an XEmbed tray (trayer) on HOST's X display, as a desktop panel
# would offer one; 1 without trayer. The display must be up (lan_xvfb).
lan_tray()
{
    local host=$1
    command -v trayer >/dev/null || return 1
    lan_cmd "$host"
    "${LAN_CMD[@]}" env DISPLAY="$LAN_DISPLAY" trayer --edge top --align right \
        --widthtype request --height 24 >/dev/null 2>&1 &
    LAN_TRAY=$!
    LAN_PIDS+=($!)
    # Up once the tray selection has an owner, which Qt asks for at start.
    lan_wait_for 5 eval 'lan_exec "$host" env DISPLAY="$LAN_DISPLAY" xdotool search --name "^panel$" >/dev/null 2>&1'
}

# IDs of HOST's visible X windows whose title matches the regex.
lan_windows()
{
    lan_exec "$1" env DISPLAY="$LAN_DISPLAY" xdotool search --onlyvisible --name "$2" 2>/dev/null
}

# The observed program's state report, once it has answered; 1 when the
# program has ended or does not answer within 5 s.
lan_state()
{
    local host=$1 folder=$LAN_DIR/$1 before
    local pid=${LAN_PROGRAM[$host]:-} deadline=$(($(lan_now) + 5000000))
    [[ -n $pid ]] && lan_running "$pid" || return 1
    before=$(grep -c '^end$' "$folder/out")
    echo state >"$folder/in"
    until lan_more_ends "$folder/out" "$before"; do
        lan_running "$pid" && (($(lan_now) < deadline)) || return 1
        sleep 0.02
    done
    awk -v n="$before" '/^end$/ { ++ends; next } ends == n { print }' "$folder/out" \
        | grep -v '^shown	\|^popup	'
}

# Holds when HOST's state report has a line matching the Perl regex (tabs as \t).
lan_shows()
{
    lan_state "$1" >"$LAN_DIR/$1.state" && grep -qP -- "$2" "$LAN_DIR/$1.state"
}

# Holds when HOST answers and its state report has no line matching.
lan_lacks()
{
    lan_state "$1" >"$LAN_DIR/$1.state" && ! grep -qP -- "$2" "$LAN_DIR/$1.state"
}

lan_more_ends()
{
    (($(grep -c '^end$' "$1") > $2))
}

lan_running()
{
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ $state != Z && $state != X ]]
}

lan_signal()
{
    kill -s "$2" "${LAN_PROGRAM[$1]}"
}

# Waits until HOST's program ends; its exit status goes to LAN_STATUS.
lan_wait_exit()
{
    local host=$1 seconds=${2:-5} pid=${LAN_PROGRAM[$1]}
    lan_wait_for "$seconds" eval "! lan_running $pid" || return 1
    wait "$pid"
    LAN_STATUS=$?
    unset "LAN_PROGRAM[$host]"
}

# --- the protocol peer ------------------------------------------------------

# Starts peer NAME on HOST, bound to PORT, recording into $LAN_DIR/NAME.wire;
# further arguments go to peer.py listen (--send DEST TEXT, --duration S).
# Returns once the port is bound; 1 when it could not be.
lan_peer()
{
    local name=$1 host=$2 port=$3
    shift 3
    local wire=$LAN_DIR/$name.wire fd
    rm -f "$LAN_DIR/$name.in"
    mkfifo "$LAN_DIR/$name.in"
    exec {fd}<>"$LAN_DIR/$name.in"
    LAN_INFD[peer-$name]=$fd
    lan_cmd "$host"
    "${LAN_CMD[@]}" "$LAN_PYTHON" "$LAN_HERE/peer.py" listen --port "$port" --out "$wire" \
        "$@" <"$LAN_DIR/$name.in" 2>>"$LAN_DIR/$name.err" &
    LAN_PEER[$name]=$!
    LAN_PIDS+=($!)
    lan_wait_for 5 lan_has_line "$wire" '"ready"\|"bind_error"' || return 1
    lan_has_line "$wire" '"ready"'
}

lan_peer_send()
{
    printf 'send %s %s\n' "$2" "$3" >"$LAN_DIR/$1.in"
}

# Holds when EXPR holds over peer NAME's datagrams within SECONDS (default 3).
lan_wire()
{
    local name=$1 expr=$2 seconds=${3:-3}
    "$LAN_PYTHON" "$LAN_HERE/peer.py" check --within "$seconds" "$LAN_DIR/$name.wire" "$expr"
}

# Holds when EXPR still holds after SECONDS: for what must not arrive.
lan_wire_after()
{
    sleep "$2"
    "$LAN_PYTHON" "$LAN_HERE/peer.py" check "$LAN_DIR/$1.wire" "$3"
}

# --- the end ----------------------------------------------------------------

lan_done()
{
    echo "$LAN_PASSED passed, $LAN_FAILED failed"
    ((LAN_FAILED == 0)) || exit 1
    exit 0
}

lan_stop_pid()
{
    local pid=$1 i
    lan_running "$pid" || { wait "$pid" 2>/dev/null; return 0; }
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 40; ++i)); do
        lan_running "$pid" || break
        sleep 0.05
    done
    lan_running "$pid" && kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

lan_teardown()
{
    local rc=$? pid name fd
    trap - EXIT
    for pid in "${LAN_PIDS[@]}"; do
        lan_stop_pid "$pid"
    done
    for fd in "${LAN_INFD[@]}"; do
        exec {fd}>&-
    done
    if [[ $LAN_MODE == netns ]]; then
        for name in "${LAN_NAMESPACES[@]}"; do
            ip netns del "$LAN_PREFIX-$name" 2>/dev/null
        done
    fi

    # Nothing may be left: no namespace, no link here, no process but this one.
    local left
    left=$(ip netns list 2>/dev/null | grep "^$LAN_PREFIX-")
    [[ -z $left ]] || { lan_log "left behind: namespaces $left"; rc=1; }
    left=$(ip -o link show | grep -v ': lo:')
    [[ -z $left ]] || { lan_log "left behind: links $left"; rc=1; }
    ps -e -o pid=,stat=,comm= >"$LAN_DIR/ps"
    left=$(awk -v self=$$ '$1 != self && $3 != "ps"' "$LAN_DIR/ps")
    [[ -z $left ]] || { lan_log "left behind: processes $left"; rc=1; }
    [[ $LAN_MODE == netns ]] && umount /run/netns 2>/dev/null

    if ((rc != 0)) && [[ -d $LAN_DIR ]]; then
        # What the programs and peers said, for the failure report.
        for name in "$LAN_DIR"/*/err "$LAN_DIR"/*/out "$LAN_DIR"/*.err; do
            [[ -s $name ]] && { echo "--- ${name#"$LAN_DIR"/}"; tail -n 40 "$name"; }
        done
        for name in "$LAN_DIR"/*.wire; do
            [[ -e $name ]] || continue
            echo "--- ${name#"$LAN_DIR"/}"
            "$LAN_PYTHON" "$LAN_HERE/peer.py" show "$name"
        done
    fi
    exit "$rc"
}
