#!/usr/bin/env python3
"""Times whole deployments of the stand-in product under Wine, by Kovalimber
and by the cmd batch of Windows' own tools that an admin would write instead
(scripts/bench/deploy.cmd), in pairs that alternate which of the two goes
first. Each pair is a first deployment and an upgrade with two instances of
the application open, by each of the two.

For every run it prints the wall time and the time spent in MsiExec.exe, in
closing the application and in the service's stop and start; for Kovalimber
also its own overhead: the wall time less those. Each console line is stamped
as it arrives (the tool and the batch write every line straight through), so
the time between an action's start line and the next line is the time of that
action; the batch's lines begin as the tool's do.

Figures only: nothing here passes or fails.

Usage: benchmark.py TOOL_FOLDER [PAIRS]  (WINEPREFIX set, the bench running)
"""
import os
import shutil
import subprocess
import sys
import time

PRODUCT_CODE = "{6F221571-589E-48FF-BAAE-926A6A12A5A9}"

# (start line prefix, the time until the next line counts as ...)
EXTERNAL = [
    ("Uninstall ", "installer"),
    ("Install ", "installer"),
    ("Stopping Application...", "application close"),
    ("Stopping Service...", "service stop"),
    ("Starting Service...", "service start"),
]
KINDS = ("installer", "application close", "service stop", "service start")

TOOLS = {
    "Kovalimber": ["wine", "Kovalimber.exe", "deploy.prj"],
    "batch": ["wine", "cmd", "/c", "deploy.cmd"],
}

# Targets of the upgrade with two instances open, printed beside the figures.
TARGET_RATIO = 0.8
TARGET_OVERHEAD_MS = 100


def timed_run(folder, command):
    start = time.monotonic()
    proc = subprocess.Popen(command, cwd=folder, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    stamped = []
    for raw in proc.stdout:
        stamped.append((time.monotonic() - start, raw.decode("cp437", "replace").rstrip("\r\n")))
    proc.wait()
    total = time.monotonic() - start
    spent = {}
    for i, (at, line) in enumerate(stamped):
        for prefix, kind in EXTERNAL:
            if line.startswith(prefix):
                following = stamped[i + 1][0] if i + 1 < len(stamped) else total
                spent[kind] = spent.get(kind, 0.0) + following - at
                break
    first_line = stamped[0][0] if stamped else total
    return {"total": total, "spent": spent, "code": proc.returncode, "first line": first_line,
            "overhead": total - sum(spent.values()), "lines": [line for _, line in stamped]}


def start_instance(install_dir):
    subprocess.Popen(["wine", os.path.join(install_dir, "QuorvaneApp.exe")], stdin=subprocess.DEVNULL,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)


def report(name, run):
    print(f"{name}: exit code {run['code']}, wall {run['total'] * 1000:8.0f} ms")
    for kind in KINDS:
        print(f"    {kind:<20} {run['spent'].get(kind, 0.0) * 1000:8.0f} ms")
    print(f"    {'the rest':<20} {run['overhead'] * 1000:8.0f} ms"
          f"   (of it until the first line: {run['first line'] * 1000:.0f} ms)")
    failed = [line for line in run["lines"] if "failed" in line and "Stop Service failed" not in line]
    for line in failed:
        print(f"    ! {line}")


def quiet(*command):
    subprocess.run(list(command), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def clean_machine():
    """The package removed, the service deleted, no application running."""
    quiet("wine", "taskkill", "/f", "/im", "QuorvaneApp.exe")
    quiet("wine", "msiexec", "/qn", "/x", PRODUCT_CODE)
    quiet("wine", "sc", "stop", "QuorvaneSvc")
    quiet("wine", "sc", "delete", "QuorvaneSvc")


def deploy_twice(folder, install_dir, tool):
    """A first deployment, then the upgrade while two instances of the
    application (the one the deployment started and one more) and the
    service run."""
    package = os.path.join(folder, "Quorvane.msi")
    clean_machine()
    shutil.copyfile(os.path.join(folder, "Quorvane1.msi"), package)
    first = timed_run(folder, TOOLS[tool])
    start_instance(install_dir)
    shutil.copyfile(os.path.join(folder, "Quorvane2.msi"), package)
    upgrade = timed_run(folder, TOOLS[tool])
    return {"first deployment": first, "upgrade": upgrade}


def median(values):
    values = sorted(values)
    n = len(values)
    return values[n // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2


def main():
    folder = sys.argv[1]
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    prefix = os.environ["WINEPREFIX"]
    install_dir = os.path.join(prefix, "drive_c", "Program Files (x86)", "Talwick", "Quorvane 2012")
    ratios = {"first deployment": [], "upgrade": []}
    overheads = {"first deployment": [], "upgrade": []}
    startups = {"first deployment": [], "upgrade": []}
    closes = {"Kovalimber": [], "batch": []}
    for pair in range(1, pairs + 1):
        order = ["Kovalimber", "batch"] if pair % 2 else ["batch", "Kovalimber"]
        runs = {tool: deploy_twice(folder, install_dir, tool) for tool in order}
        print(f"pair {pair} ({order[0]} first)")
        for name in ("first deployment", "upgrade"):
            for tool in ("Kovalimber", "batch"):
                report(f"  {tool}, {name}", runs[tool][name])
            ratio = runs["Kovalimber"][name]["total"] / runs["batch"][name]["total"]
            ratios[name].append(ratio)
            overheads[name].append(runs["Kovalimber"][name]["overhead"])
            startups[name].append(runs["Kovalimber"][name]["first line"])
            print(f"  {name}: Kovalimber {runs['Kovalimber'][name]['total'] * 1000:.0f} ms, "
                  f"batch {runs['batch'][name]['total'] * 1000:.0f} ms, ratio {ratio:.2f}")
        for tool in closes:
            closes[tool].append(runs[tool]["upgrade"]["spent"].get("application close", 0.0))
        print()
    clean_machine()

    print(f"over {pairs} pairs:")
    for name in ("first deployment", "upgrade"):
        print(f"  {name:<16}: median ratio Kovalimber/batch {median(ratios[name]):.2f} "
              f"(min {min(ratios[name]):.2f}, max {max(ratios[name]):.2f}); "
              f"Kovalimber's own overhead median {median(overheads[name]) * 1000:.0f} ms "
              f"(min {min(overheads[name]) * 1000:.0f}, max {max(overheads[name]) * 1000:.0f}), "
              f"of it until its first line {median(startups[name]) * 1000:.0f} ms")
    for tool, values in closes.items():
        print(f"  application close in the upgrade, {tool:<10}: median {median(values) * 1000:.0f} ms")
    print(f"  targets for the upgrade: ratio at most {TARGET_RATIO}, overhead at most {TARGET_OVERHEAD_MS} ms")


if __name__ == "__main__":
    main()
