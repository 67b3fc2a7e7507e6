"""Shared parts of the whole-program measurements: the private network
namespace, a headless X server, per-process counters from /proc, and a
sniffer that timestamps datagrams as the kernel sees them on loopback.

Nothing here sends a datagram outside a network namespace of its own:
ensure_private() re-runs the calling script in a fresh one (loopback only)
and refuses to go on if any other interface is up.
"""

import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def interfaces_up():
    """Names of the interfaces that are up in this network namespace (asked
    of the kernel: /sys shows the namespace it was mounted in)."""
    out = subprocess.run(["ip", "-o", "link", "show", "up"], check=True,
                         capture_output=True, text=True).stdout
    return [line.split(":")[1].strip().split("@")[0] for line in out.splitlines() if line.strip()]


def ensure_private():
    """Re-executes the script inside a new network namespace with only
    loopback up, unless it already runs in one."""
    if os.environ.get("WIBBLET_BENCH_PRIVATE") == "1":
        if any(name != "lo" for name in interfaces_up()):
            sys.exit("refusing to run: an interface other than loopback is up")
        return
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        print("SKIP: needs root and unshare for a private network namespace")
        sys.exit(77)
    env = dict(os.environ, WIBBLET_BENCH_PRIVATE="1")
    os.execvpe("unshare", ["unshare", "--net", "--", "sh", "-c",
                           'ip link set lo up && exec "$@"', "private",
                           sys.executable, *sys.argv], env)


class Xvfb:
    """A headless X server for the run; DISPLAY points at it. With an XEmbed
    tray (trayer, where installed), as a desktop panel offers one: without a
    tray the program shows its main window, which is not how it is used.
    With wm, a window manager (openbox) as well, as on a desktop: a shown
    window is then framed, focused and answers the manager's pings."""

    def __init__(self, tray=True, wm=False):
        self.proc = None
        self.tray = None
        self.wm = None
        self.want_tray = tray
        self.want_wm = wm
        self.display = None

    def __enter__(self):
        for number in range(90, 140):
            if not os.path.exists(f"/tmp/.X11-unix/X{number}") and \
                    not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.display = f":{number}"
        self.proc = subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
             "-noreset"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            if time.time() > deadline or self.proc.poll() is not None:
                raise RuntimeError("Xvfb did not come up")
            time.sleep(0.02)
        if self.want_wm and shutil.which("openbox"):
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        if self.want_tray and shutil.which("trayer"):
            self.tray = subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request"],
                env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # Give it the tray selection before the program asks for it.
            time.sleep(0.5)
        return self

    def env(self, base=None):
        env = dict(base or os.environ)
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"
        return env

    def tray_windows(self):
        """The tray's own windows (their ids), where a tray runs."""
        if not self.tray or not shutil.which("xdotool"):
            return []
        out = subprocess.run(["xdotool", "search", "--class", "trayer"], env=self.env(),
                             capture_output=True, text=True).stdout
        return [int(w) for w in out.split()]

    def __exit__(self, *exc):
        for helper in (self.tray, self.wm):
            if helper:
                helper.terminate()
                helper.wait(10)
        if self.proc:
            self.proc.terminate()
            self.proc.wait(10)


def offscreen_env(base=None):
    env = dict(base or os.environ)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env.pop("DISPLAY", None)
    return env


def display_env(stack, platform, tray=True, wm=False):
    """The environment for a program on platform "xcb" (an Xvfb of its own,
    kept for the life of stack) or "offscreen"."""
    if platform == "xcb":
        return stack.enter_context(Xvfb(tray, wm)).env()
    return offscreen_env()


def program_copy(binary):
    """The program in a folder of its own: its settings file goes there."""
    folder = tempfile.mkdtemp(prefix="wibblet-bench-")
    target = os.path.join(folder, os.path.basename(binary))
    shutil.copy2(binary, target)
    return folder, target


def threads(pid):
    try:
        return os.listdir(f"/proc/{pid}/task")
    except OSError:
        return []


def thread_counters(pid):
    """Per thread: name, voluntary switches, nanoseconds on a CPU."""
    result = {}
    for tid in threads(pid):
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(base + "/comm") as f:
                name = f.read().strip()
            voluntary = 0
            with open(base + "/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        voluntary = int(line.split()[1])
            with open(base + "/schedstat") as f:
                cpu_ns = int(f.read().split()[0])
        except OSError:
            continue
        result[tid] = (name, voluntary, cpu_ns)
    return result


def program_pid(pid, name, timeout=5):
    """The process called name: pid itself or, when pid is a wrapper such as
    dbus-run-session, one of its children."""
    deadline = time.time() + timeout
    while True:
        candidates = [pid]
        try:
            with open(f"/proc/{pid}/task/{pid}/children") as f:
                candidates += [int(child) for child in f.read().split()]
        except OSError:
            pass
        for candidate in candidates:
            try:
                with open(f"/proc/{candidate}/comm") as f:
                    if f.read().strip() == name[:15]:
                        return candidate
            except OSError:
                pass
        if time.time() > deadline:
            return pid
        time.sleep(0.05)


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


ETH_P_ALL = 0x0003
SO_TIMESTAMPNS = 35


class Sniffer:
    """Sees every datagram on every interface of the namespace, loopback
    included, each as it goes out and as it comes in, with the kernel's time
    of passage (CLOCK_REALTIME, ns). The first sight of a datagram is when it
    went on the wire."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
        self.sock.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)

    def close(self):
        self.sock.close()

    def next_udp(self, timeout):
        """(time_ns, src, dst_port, payload) of the next IPv4 UDP datagram,
        or None once timeout seconds have passed."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                data, ancillary, _flags, _address = self.sock.recvmsg(70000, 256)
            except socket.timeout:
                return None
            stamp = time.time_ns()
            for level, kind, value in ancillary:
                if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                    seconds, nanoseconds = struct.unpack("qq", value[:16])
                    stamp = seconds * 1_000_000_000 + nanoseconds
            ip = data[14:]
            if len(ip) < 28 or ip[0] >> 4 != 4 or ip[9] != 17:
                continue
            header = (ip[0] & 0x0F) * 4
            src = socket.inet_ntoa(ip[12:16])
            dst_port = struct.unpack("!H", ip[header + 2:header + 4])[0]
            return stamp, src, dst_port, ip[header + 8:]


def command_of(payload):
    fields = payload.split(b":", 5)
    if len(fields) < 6:
        return None
    try:
        return int(fields[4])
    except ValueError:
        return None


def stop(proc, timeout=10):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


LAN_ADDRESS = "10.99.0.1"
PEER_ADDRESS = "10.99.0.2"


def setup_lan():
    """A cable inside the private namespace: wb0 (the program's side, with
    LAN_ADDRESS and PEER_ADDRESS) to wb1 (the far end, where the sniffer
    watches what goes on the wire). Programs that broadcast to the subnets
    of their interfaces get a subnet to broadcast to; loopback has none."""
    if os.environ.get("WIBBLET_BENCH_PRIVATE") != "1":
        sys.exit("setup_lan outside the private namespace")
    if "wb0" in interfaces_up():
        return
    for command in (
            ["ip", "link", "add", "wb0", "type", "veth", "peer", "name", "wb1"],
            ["ip", "addr", "add", LAN_ADDRESS + "/24", "dev", "wb0"],
            ["ip", "addr", "add", PEER_ADDRESS + "/24", "dev", "wb0"],
            ["ip", "link", "set", "wb0", "up"],
            ["ip", "link", "set", "wb1", "up"]):
        subprocess.run(command, check=True)
    # Let the link come up before anyone asks for addresses.
    deadline = time.time() + 5
    while time.time() < deadline:
        state = subprocess.run(["ip", "-o", "link", "show", "wb0"], capture_output=True,
                               text=True).stdout
        if "state UP" in state or "LOWER_UP" in state:
            break
        time.sleep(0.02)


def is_entry(payload):
    command = command_of(payload)
    return command is not None and command & 0xFF == 1


def wait_for_entry(sniffer, ports, timeout):
    """Time (CLOCK_REALTIME ns) at which the first entry to one of ports
    passed, or None."""
    deadline = time.monotonic() + timeout
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return None
        seen = sniffer.next_udp(left)
        if seen is None:
            return None
        stamp, _src, port, payload = seen
        if port in ports and is_entry(payload):
            return stamp
