#!/usr/bin/env python3
"""An hour (or --minutes) of the show runner on a pseudo-terminal.

Starts `kestrova-cli run` on a show file with an idle and a show, sends an
OSC trigger every --interval seconds, decodes every Mini-SSC command that
arrives on the pty and records when each frame came, and samples the
runner's resident memory and open descriptors. At the end it stops the
runner with SIGTERM and prints (and writes with --out) a JSON summary:
memory after the first cycle against the rest, descriptors, frame periods
(median, p99, max), gaps longer than a frame and a half, the exit status.

  bench/soak_runner.py --cli build/src/cli/kestrova-cli \
      --project examples/waving-robot.kva --minutes 60 --out soak.json
"""
import argparse, json, os, pty, signal, socket, statistics, subprocess, sys, tempfile, threading, time, tty


def osc_message(address, *names):
    def pad(b):
        return b + b"\0" * (4 - len(b) % 4)
    types = "," + "s" * len(names)
    return pad(address.encode()) + pad(types.encode()) + b"".join(pad(n.encode()) for n in names)


def free_udp_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def proc_sample(pid):
    rss = None
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    return rss, len(os.listdir(f"/proc/{pid}/fd"))


def percentile(values, p):
    if not values:
        return None
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--project", required=True)
    ap.add_argument("--idle", help="the idle project (the show project when not given)")
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--interval", type=float, default=20)
    ap.add_argument("--fps", type=int, default=15)
    ap.add_argument("--out")
    a = ap.parse_args()

    work = tempfile.mkdtemp(prefix="kestrova-soak-")
    port = free_udp_port()
    show = {
        "framesPerSecond": a.fps,
        "idle": os.path.abspath(a.idle or a.project),
        "shows": [os.path.abspath(a.project)],
        "triggers": [{"type": "osc", "port": port}],
        "cooldownSeconds": 5,
        "warmUpSeconds": 1,
        "log": os.path.join(work, "runner.log"),
    }
    show_path = os.path.join(work, "show.json")
    with open(show_path, "w") as f:
        json.dump(show, f)

    master, slave = pty.openpty()
    tty.setraw(master)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    runner = subprocess.Popen([a.cli, "run", show_path, "--device", os.ttyname(slave)],
                              stdin=subprocess.DEVNULL, stderr=open(os.path.join(work, "stderr.txt"), "w"), env=env)

    reads = []           # (arrival time, commands) of each read
    bad = {"bytes": 0}   # bytes that were not part of a command
    commands = {"n": 0}
    stop = threading.Event()

    def read():
        pending = b""
        while not stop.is_set():
            try:
                data = os.read(master, 4096)
            except OSError:
                return
            now = time.monotonic()
            if not data:
                return
            pending += data
            n = 0
            while len(pending) >= 3:
                if pending[0] == 0xFF and pending[1] < 0xFF:
                    n += 1
                    pending = pending[3:]
                else:
                    bad["bytes"] += 1
                    pending = pending[1:]
            commands["n"] += n
            reads.append((now, n))

    threading.Thread(target=read, daemon=True).start()
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    samples = []  # (seconds since start, rss kB, fds)
    start = time.monotonic()
    end = start + a.minutes * 60
    next_trigger = start + 3
    next_sample = start
    triggers = []
    while time.monotonic() < end and runner.poll() is None:
        now = time.monotonic()
        if now >= next_trigger:
            sock.sendto(osc_message("/kestrova/trigger"), ("127.0.0.1", port))
            triggers.append(now)
            next_trigger += a.interval
        if now >= next_sample:
            samples.append((now - start,) + proc_sample(runner.pid))
            next_sample += 5
        time.sleep(0.05)

    runner.send_signal(signal.SIGTERM)
    try:
        code = runner.wait(timeout=10)
    except subprocess.TimeoutExpired:
        runner.kill()
        code = "killed"
    stop.set()

    period = 1.0 / a.fps
    # A frame is one write of the same number of commands; a read that
    # holds several frames (the reader was late) counts as that many.
    per_frame = statistics.mode(n for _, n in reads if n > 0) if reads else 1
    frames = []
    for t, n in reads:
        frames.extend([t] * max(1, round(n / per_frame)))
    gaps = [b - a_ for a_, b in zip(frames, frames[1:])]
    first_cycle_end = 3 + a.interval  # after the first show and its cooldown
    after = [s for s in samples if s[0] >= first_cycle_end]
    with open(show["log"]) as f:
        log = f.read()
    summary = {
        "minutes": round((time.monotonic() - start) / 60, 2),
        "triggers_sent": len(triggers),
        "shows_started": log.count("Show start:"),
        "shows_ended": log.count("Show end:"),
        "frames": len(frames),
        "commands_per_frame": per_frame,
        "reads_holding_several_frames": sum(1 for _, n in reads if n > 1.5 * per_frame),
        "commands": commands["n"],
        "stray_bytes": bad["bytes"],
        "frame_period_ms": round(period * 1000, 3),
        "gap_median_ms": round(statistics.median(gaps) * 1000, 3) if gaps else None,
        "gap_p99_ms": round(percentile(gaps, 99) * 1000, 3) if gaps else None,
        "gap_p999_ms": round(percentile(gaps, 99.9) * 1000, 3) if gaps else None,
        "gap_max_ms": round(max(gaps) * 1000, 3) if gaps else None,
        "gaps_over_1_5_periods": sum(1 for g in gaps if g > 1.5 * period),
        "rss_kb_after_first_cycle": after[0][1] if after else None,
        "rss_kb_max_after_first_cycle": max(s[1] for s in after) if after else None,
        "rss_kb_last": samples[-1][1] if samples else None,
        "fds_first": samples[0][2] if samples else None,
        "fds_after_first_cycle": after[0][2] if after else None,
        "fds_last": samples[-1][2] if samples else None,
        "late_frames_logged": log.count("late frame"),
        "errors_logged": log.count("Error"),
        "exit_status": code,
        "work_folder": work,
    }
    if after:
        summary["rss_growth_kb"] = summary["rss_kb_max_after_first_cycle"] - summary["rss_kb_after_first_cycle"]
    text = json.dumps(summary, indent=2)
    print(text)
    if a.out:
        with open(a.out, "w") as f:
            f.write(text + "\n")
    with open(os.path.join(work, "samples.csv"), "w") as f:
        f.write("seconds,rss_kb,fds\n")
        for s in samples:
            f.write(f"{s[0]:.1f},{s[1]},{s[2]}\n")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
