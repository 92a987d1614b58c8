#!/usr/bin/env python3
"""Syncs of the logger against their bound: N incubators on pseudo-terminals (the project's
own simulator), the logger run for T seconds under strace, which counts every fsync and
fdatasync of the process and its threads. The bound is one sync per log file per second of
the run plus one per line that must reach the disk at once ("Connected", "Disconnected" and
every change of state: every line that is not one of the six readings of a record block).
Usage: count_syncs.py BUILD_DIR N SECONDS  (DOVA300_LOG_SYNC=off in the environment to count
the syncs of a run without syncing: none; DOVA300_BENCH_DIR names the folder for the logs,
which must be on a disk, not a tmpfs)."""
import os, re, shutil, signal, subprocess, sys, tempfile, time

build, n, secs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
RECORD = re.compile(r", (Left|Right) (Temperature|Set-Point), |, Gas (Flow|Set-Point), ")

sim = subprocess.Popen([os.path.join(build, "dova300-sim"), "--count", str(n)],
                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
devs = []
while len(devs) < n:
    m = re.search(r"--device (\S+)", sim.stdout.readline())
    if m: devs.append(m.group(1))

t = tempfile.mkdtemp(dir=os.environ.get("DOVA300_BENCH_DIR"))  # put it on a disk, not a tmpfs
os.makedirs(t + "/run", mode=0o700)
env = dict(os.environ, HOME=t, XDG_CONFIG_HOME=t + "/cfg", XDG_RUNTIME_DIR=t + "/run",
           LANG="C", LC_ALL="C")
args = [os.path.join(build, "dova300-logger"), "--headless", "--data-dir", t + "/data"]
for d in devs: args += ["--device", d]
summary = t + "/strace.txt"
start = time.monotonic()
tracer = subprocess.Popen(["strace", "-f", "-c", "-o", summary, "-e", "trace=fsync,fdatasync"]
                          + args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
time.sleep(secs)
logger = int(subprocess.run(["pgrep", "-P", str(tracer.pid)], capture_output=True,
                            text=True).stdout.split()[0])
os.kill(logger, signal.SIGINT)
tracer.wait(timeout=30)
elapsed = time.monotonic() - start
sim.kill(); sim.wait()

syncs = {}
for line in open(summary):
    f = line.split()
    if len(f) >= 5 and f[-1] in ("fsync", "fdatasync"):
        syncs[f[-1]] = int(f[3])
files = urgent = lines = 0
for name in os.listdir(t + "/data"):
    files += 1
    for rec in open(os.path.join(t + "/data", name), "rb").read().split(b"\r"):
        if not rec: continue
        lines += 1
        if not RECORD.search(rec.decode("latin-1")): urgent += 1
shutil.rmtree(t)
total = sum(syncs.values())
bound = files * elapsed + urgent
print(f"N={n} run {elapsed:.1f}s: {files} logs, {lines} lines, {urgent} to sync at once; "
      f"fdatasync {syncs.get('fdatasync', 0)}, fsync {syncs.get('fsync', 0)}")
print(f"syncs {total} ({total/elapsed:.1f}/s), bound {bound:.0f} ({bound/elapsed:.1f}/s): "
      f"{'within' if total <= bound else 'OVER'}")
