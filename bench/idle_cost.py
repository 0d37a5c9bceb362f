#!/usr/bin/env python3
"""What tolvane.exe costs while nothing happens: CPU and memory growth under Wine on a virtual display.

    bench/idle_cost.py [--exe build/windows/src/app/win32/tolvane.exe] [--seconds 60] [--runs 3]
                       [--settle 30] [--modes idle,demo] [--display :24] [--threads]

Modes (each run starts the program afresh in one private Wine prefix and stops it by its process id):
  idle    no demo rows, the mouse still, default settings
  demo    --demo, the mouse still
  lookup  --demo against the loopback geolocation and tile servers of tests/e2e/lookup_servers.py;
          during the measured time the lookup panel is opened on 40 (--addresses) different public
          addresses in turn (Ctrl+L, typed address, Enter, then Escape), evenly spread over the time
  snapshot  not the program: bench/win32/snapshot_cost.cpp (built beside it in the Windows tree)
          prints what one idle socket snapshot costs in the same prefix, and its parts

For every run the program's CPU time (user + system, all its threads) and its resident set size are
read from /proc twice: once --settle seconds after the window is up and once --seconds later. Prints
per run and then the medians, one line per mode:

    idle    cpu 0.85 % of a core   rss +0.12 MB over 60 s   (median of 3)

Beside the program's own share it prints that of the other processes of its Wine prefix (wineserver,
winedevice.exe), which do part of the work of its system calls. --threads adds the busiest threads
of each run (Wine names most of them after nothing useful, so
they are told apart by their share). The memory goals need --seconds 600. Nothing is sent anywhere
but loopback: demo mode pings nothing, and the lookups go to the loopback stand-ins.

Run on demand; it is not part of the test command. It takes runs x modes x (settle + seconds) plus
the Wine start-up.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
CLK_TCK = os.sysconf("SC_CLK_TCK")


def wine_loader():
    out = subprocess.run(["dpkg", "-L", "wine64"], capture_output=True, text=True).stdout.split()
    for path in out:
        if path.endswith("/wine64") and os.access(path, os.X_OK):
            return path
    sys.exit("idle_cost: no Wine loader (apt-get install wine64)")


def wait_for(limit, test, step=0.5):
    end = time.time() + limit
    while time.time() < end:
        if test():
            return True
        time.sleep(step)
    return False


def window_ids(env):
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tolvane$"], env=env,
                       capture_output=True, text=True)
    return r.stdout.split()


def program_pid(before, exe):
    """The Linux process that runs exe and was not there before this run."""
    want = os.path.basename(exe).lower().encode()
    for name in os.listdir("/proc"):
        if not name.isdigit() or int(name) in before:
            continue
        try:
            with open("/proc/%s/cmdline" % name, "rb") as f:
                cmd = f.read().split(b"\0")[0]
        except OSError:
            continue
        if os.path.basename(cmd.replace(b"\\", b"/")).lower() == want:
            return int(name)
    return None


def exe_pids():
    return {int(p) for p in os.listdir("/proc") if p.isdigit()}


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def count_lines(path):
    try:
        with open(path) as f:
            return sum(1 for _ in f)
    except OSError:
        return 0


def prefix_ticks(prefix, skip):
    """CPU ticks of the other processes of this Wine prefix (wineserver, winedevice.exe, ...)."""
    want = ("WINEPREFIX=" + prefix).encode()
    total = 0
    for name in os.listdir("/proc"):
        if not name.isdigit() or int(name) == skip:
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                if want not in f.read().split(b"\0"):
                    continue
            total += cpu_ticks(int(name))
        except OSError:
            pass
    return total


def thread_ticks(pid):
    ticks = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                text = f.read()
            comm = text[text.index("(") + 1:text.rindex(")")]
            fields = text.rsplit(")", 1)[1].split()
            ticks[int(tid)] = (comm, int(fields[11]) + int(fields[12]))
        except (OSError, ValueError):
            pass
    return ticks


class Lookups:
    """Opens the lookup panel on 40 addresses, evenly over `seconds`."""

    def __init__(self, env, window, seconds, count):
        self.ADDRESSES = ["%d.%d.%d.%d" % (45 + i % 7, 10 + 3 * i, 200 - 2 * i, 1 + 5 * i) for i in range(count)]
        self.env, self.window = env, window
        self.period = seconds / len(self.ADDRESSES)
        self.next_at = time.time()
        self.index = 0
        self.trace_pid = None  # with --trace: the program whose RSS is printed after each lookup

    def key(self, *keys):
        subprocess.run(["xdotool", "key", "--window", self.window] + list(keys), env=self.env)

    def step(self):
        if self.index >= len(self.ADDRESSES) or time.time() < self.next_at:
            return
        subprocess.run(["xdotool", "windowfocus", "--sync", self.window], env=self.env, timeout=5)
        self.key("ctrl+l")
        time.sleep(0.3)
        self.key("Delete")
        subprocess.run(["xdotool", "type", "--delay", "40", self.ADDRESSES[self.index]], env=self.env)
        self.key("Return")
        time.sleep(min(6.0, self.period * 0.6))  # the lookup, its map and the panel shown
        self.key("Escape")
        time.sleep(0.2)
        self.key("Escape")
        self.index += 1
        self.next_at += self.period
        if self.trace_pid:
            print("          after lookup %d: rss %.1f MB" % (self.index, rss_kb(self.trace_pid) / 1024.0), flush=True)


def run_once(args, mode, env, loader, ports):
    cmd = [loader, args.exe]
    if mode in ("demo", "lookup"):
        cmd.append("--demo")
    if mode == "lookup":
        cmd += ["--api-base=http://127.0.0.1:%d" % ports[0], "--tile-base=http://127.0.0.1:%d" % ports[1]]
    before = exe_pids()
    launcher = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pid = None
    try:
        if not wait_for(90, lambda: window_ids(env)):
            raise RuntimeError("no window within 90 s")
        pid = program_pid(before, args.exe)
        if pid is None:
            raise RuntimeError("tolvane.exe process not found")
        window = window_ids(env)[0]
        time.sleep(args.settle)
        prefix = env["WINEPREFIX"]
        t0, c0, r0, th0 = time.time(), cpu_ticks(pid), rss_kb(pid), thread_ticks(pid)
        w0 = prefix_ticks(prefix, pid)
        driver = Lookups(env, window, args.seconds, args.addresses) if mode == "lookup" else None
        if driver and args.trace:
            driver.trace_pid = pid
        end = t0 + args.seconds
        next_trace = t0 + 30
        while time.time() < end:
            if driver:
                driver.step()
            if args.trace and time.time() >= next_trace:
                print("          %4.0f s: rss %.1f MB" % (time.time() - t0, rss_kb(pid) / 1024.0), flush=True)
                next_trace += 30
            time.sleep(min(0.5, max(0.0, end - time.time())))
        t1, c1, r1, th1 = time.time(), cpu_ticks(pid), rss_kb(pid), thread_ticks(pid)
        wine = 100.0 * (prefix_ticks(prefix, pid) - w0) / CLK_TCK / (t1 - t0)
        cpu = 100.0 * (c1 - c0) / CLK_TCK / (t1 - t0)
        busiest = []
        for tid, (comm, ticks) in th1.items():
            spent = ticks - th0.get(tid, (comm, 0))[1]
            if spent > 0:
                busiest.append((100.0 * spent / CLK_TCK / (t1 - t0), tid, comm))
        busiest.sort(reverse=True)
        if driver:
            print("          lookups asked of the loopback service: %d, tile requests: %d" %
                  (count_lines(os.path.join(os.path.dirname(prefix), "api.log")),
                   count_lines(os.path.join(os.path.dirname(prefix), "tiles.log"))), flush=True)
        return cpu, (r1 - r0) / 1024.0, r1 / 1024.0, busiest, wine
    finally:
        if pid is not None:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            launcher.wait(timeout=20)
        except subprocess.TimeoutExpired:
            launcher.kill()
        wait_for(20, lambda: not window_ids(env))


def snapshot_cost(args, env, loader):
    program = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(args.exe)))),
                           "bench", "bench_snapshot_cost.exe")
    if not os.path.isfile(program):
        return "snapshot: no %s (cmake --build build/windows --target bench_snapshot_cost)" % program
    out = subprocess.run([loader, program], env=env, capture_output=True, text=True, timeout=300).stdout
    return out.replace("\r", "").rstrip()


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--exe", default=os.path.join(ROOT, "build/windows/src/app/win32/tolvane.exe"))
    p.add_argument("--seconds", type=float, default=60)
    p.add_argument("--settle", type=float, default=30)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--modes", default="idle,demo")
    p.add_argument("--display", default=":24")
    p.add_argument("--threads", action="store_true")
    p.add_argument("--trace", action="store_true", help="print the RSS every 30 s, and after each lookup")
    p.add_argument("--addresses", type=int, default=40, help="addresses the lookup mode opens (default 40)")
    args = p.parse_args()
    args.exe = os.path.abspath(args.exe)
    if not os.path.isfile(args.exe):
        sys.exit("idle_cost: no program at %s" % args.exe)
    modes = [m for m in args.modes.split(",") if m]
    for m in modes:
        if m not in ("idle", "demo", "lookup", "snapshot"):
            sys.exit("idle_cost: unknown mode %s" % m)

    work = tempfile.mkdtemp(prefix="tolvane-idle.")
    env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=args.display)
    loader = wine_loader()
    wineserver = os.path.join(os.path.dirname(loader), "wineserver")
    started = []
    try:
        if not os.path.exists("/tmp/.X11-unix/X%s" % args.display.lstrip(":")):
            started.append(subprocess.Popen(["Xvfb", args.display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            wait_for(10, lambda: subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode == 0, 0.1)
        subprocess.run([loader, "wineboot", "-i"], env=env, capture_output=True, timeout=180)
        subprocess.run([wineserver, "-p"], env=env)
        ports = (0, 0)
        if "lookup" in modes:
            started.append(subprocess.Popen([sys.executable, os.path.join(ROOT, "tests/e2e/lookup_servers.py"), work]))
            wait_for(10, lambda: os.path.exists(os.path.join(work, "ports")))
            with open(os.path.join(work, "ports")) as f:
                ports = tuple(int(v) for v in f.read().split())
        results = {}
        if "snapshot" in modes:
            print(snapshot_cost(args, env, loader), flush=True)
            modes.remove("snapshot")
        for mode in modes:
            for run in range(args.runs):
                cpu, grown, rss, busiest, wine = run_once(args, mode, env, loader, ports)
                results.setdefault(mode, []).append((cpu, grown, wine))
                print("%-7s run %d: cpu %.2f %% of a core, rss %+.2f MB (now %.1f MB); Wine's own processes %.2f %%" %
                      (mode, run + 1, cpu, grown, rss, wine), flush=True)
                if args.threads:
                    main_tid = min(t for _, t, _ in busiest) if busiest else 0
                    for share, tid, _ in busiest[:8]:
                        print("          thread %d%s %.2f %%" % (tid, " (main)" if tid == main_tid else "", share))
        if not modes:
            return
        print("--- medians of %d runs, %.0f s each, %.0f s after the window was up" % (args.runs, args.seconds, args.settle))
        for mode in modes:
            cpus = [r[0] for r in results[mode]]
            grown = [r[1] for r in results[mode]]
            wine = [r[2] for r in results[mode]]
            print("%-7s cpu %.2f %% of a core   rss %+.2f MB over %.0f s   Wine's processes %.2f %%   (runs: %s)" %
                  (mode, statistics.median(cpus), statistics.median(grown), args.seconds, statistics.median(wine),
                   ", ".join("%.2f %%/%+.2f MB" % r[:2] for r in results[mode])))
    finally:
        subprocess.run([wineserver, "-k"], env=env, capture_output=True)
        for proc in started:
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
