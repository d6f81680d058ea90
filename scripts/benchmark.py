#!/usr/bin/env python3
"""Times whole deployments of the stand-in product under Wine and prints the
tool's own overhead: the wall time of a run less the time spent in MsiExec.exe,
in the waits for the application to close (the prescribed 1000 ms pauses
included) and in the service's own stop and start.

Each console line is stamped as it arrives (the tool writes every line
straight through, unbuffered), so the time between an action's start line and
its outcome line is the time of that action.

Usage: benchmark.py TOOL_FOLDER [RUNS]  (WINEPREFIX set, the bench running)
"""
import os
import shutil
import subprocess
import sys
import time

# (start line prefix, the time until the next line counts as ...)
PRODUCT_CODE = "{6F221571-589E-48FF-BAAE-926A6A12A5A9}"

EXTERNAL = [
    ("Uninstall ", "installer"),
    ("Install ", "installer"),
    ("Stopping Application...", "application close"),
    ("Stopping Service...", "service stop"),
    ("Starting Service...", "service start"),
]


def timed_run(folder):
    start = time.monotonic()
    proc = subprocess.Popen(["wine", "Kovalimber.exe", "deploy.prj"], cwd=folder, stdout=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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
    return total, spent, proc.returncode, [line for _, line in stamped]


def start_instance(install_dir):
    subprocess.Popen(["wine", os.path.join(install_dir, "QuorvaneApp.exe")], stdin=subprocess.DEVNULL,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)


def report(name, total, spent, code):
    external = sum(spent.values())
    print(f"{name}: exit code {code}, wall {total * 1000:8.0f} ms")
    for kind in ("installer", "application close", "service stop", "service start"):
        print(f"    {kind:<20} {spent.get(kind, 0.0) * 1000:8.0f} ms")
    print(f"    {'tool overhead':<20} {(total - external) * 1000:8.0f} ms")
    return total - external


def quiet(*command):
    subprocess.run(list(command), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def clean_machine():
    """The package removed, the service deleted, no application running."""
    quiet("wine", "taskkill", "/f", "/im", "QuorvaneApp.exe")
    quiet("wine", "msiexec", "/qn", "/x", PRODUCT_CODE)
    quiet("wine", "sc", "stop", "QuorvaneSvc")
    quiet("wine", "sc", "delete", "QuorvaneSvc")


def main():
    folder = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    prefix = os.environ["WINEPREFIX"]
    install_dir = os.path.join(prefix, "drive_c", "Program Files (x86)", "Talwick", "Quorvane 2012")
    package = os.path.join(folder, "Quorvane.msi")
    overheads = {"first deployment": [], "upgrade": []}
    for run in range(1, runs + 1):
        clean_machine()
        shutil.copyfile(os.path.join(folder, "Quorvane1.msi"), package)
        total, spent, code, _ = timed_run(folder)
        overheads["first deployment"].append(report(f"run {run}, first deployment", total, spent, code))
        # The upgrade, while two instances of the application and the service run.
        start_instance(install_dir)
        shutil.copyfile(os.path.join(folder, "Quorvane2.msi"), package)
        total, spent, code, _ = timed_run(folder)
        overheads["upgrade"].append(report(f"run {run}, upgrade", total, spent, code))
    clean_machine()
    print()
    for name, values in overheads.items():
        values.sort()
        print(f"tool overhead, {name:<16}: median {values[len(values) // 2] * 1000:6.0f} ms, "
              f"min {values[0] * 1000:6.0f} ms, max {values[-1] * 1000:6.0f} ms over {runs} runs")


if __name__ == "__main__":
    main()
