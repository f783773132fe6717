"""The download benchmark's rounds and figures; bench/download_bench.sh prepares Wine, the
certificates and the service, then runs this.

Every figure comes from one clock, the service's request log: a transfer is timed from the
download request's arrival to the moment the service sent its last byte, for Setup.exe and for the
bare WinInet loop alike, so neither side carries process start-up or teardown. Start-up is process
start to the arrival of the install-location query. Peak memory is the Wine process's high-water
mark (VmHWM of its Linux process, which `wine` execs into).
"""
import json
import os
import shutil
import ssl
import statistics
import subprocess
import sys
import time
import urllib.request

QUERY_PREFIX = "/validate/"
INSTALLER_PATH = "/DOWNLOADS/SETUP-SAMPLE.EXE"


def newest_installer_folder(temp_dir):
    folders = [os.path.join(temp_dir, name) for name in os.listdir(temp_dir)
               if name.startswith("Setup-") and os.path.isdir(os.path.join(temp_dir, name))]
    if not folders:
        sys.exit("Setup made no installer folder")
    return max(folders, key=lambda folder: os.stat(folder).st_mtime_ns)


def main():
    build, mib, rounds, origin, ca, payload, temp_dir = sys.argv[1:8]
    mib, rounds = float(mib), int(rounds)
    context = ssl.create_default_context(cafile=ca)

    def control(name):
        with urllib.request.urlopen(f"{origin}/_control/{name}", context=context) as reply:
            return reply.read()

    def run(command, prepare=None):
        """Runs a Windows program under Wine: (start time, max RSS in MiB, log entries).
        prepare, if given, sets the service's behaviour after its reset."""
        control("reset")
        if prepare:
            prepare()
        start = time.time()
        process = subprocess.Popen(["wine", *command], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # VmHWM only grows, so its last reading before the exit is the process's peak (a last
        # rise inside the final 10 ms would be missed; the download ends long before the exit).
        peak_kib = 0
        while process.poll() is None:
            try:
                with open(f"/proc/{process.pid}/status") as status:
                    for line in status:
                        if line.startswith("VmHWM:"):
                            peak_kib = max(peak_kib, int(line.split()[1]))
            except OSError:
                pass
            time.sleep(0.01)
        # The handler notes "done" just after its last byte; give it a moment to get there.
        for _ in range(100):
            log = json.loads(control("log"))
            if all("done" in entry for entry in log):
                break
            time.sleep(0.02)
        return start, peak_kib / 1024, log

    def entry(log, predicate, what):
        found = [e for e in log if predicate(e["path"])]
        if not found:
            sys.exit(f"no {what} reached the service")
        return found[0]

    def transfer_mibs(log):
        e = entry(log, lambda p: p.upper() == INSTALLER_PATH, "download request")
        return mib / (e["done"] - e["time"])

    def startup_ms(start, log):
        return (entry(log, lambda p: p.startswith(QUERY_PREFIX), "query")["time"] - start) * 1000

    setup_exe = os.path.join(build, "Setup.exe")
    loop_exe = os.path.join(build, "bench", "wininet_loop.exe")
    floor_exe = os.path.join(build, "bench", "window_floor.exe")
    url = origin + INSTALLER_PATH
    ratios, setup_speeds, loop_speeds, announced_ratios = [], [], [], []
    setup_starts, floor_starts, setup_peaks, floor_peaks = [], [], [], []
    with open(payload, "rb") as f:
        expected = f.read()
    # The programs alternate round by round: a slow spell of the shared machine hits all of them.
    for round_no in range(1, rounds + 1):
        start, setup_peak, log = run([setup_exe])
        # Setup downloads into a new folder of its own each run: the one just made, then gone.
        folder = newest_installer_folder(temp_dir)
        with open(os.path.join(folder, "Install.exe"), "rb") as f:
            if f.read() != expected:
                sys.exit("Install.exe differs from the payload")
        shutil.rmtree(folder, ignore_errors=True)
        setup_speed, setup_start = transfer_mibs(log), startup_ms(start, log)
        # The same with the SHA-256 in the answer: two digests made while the file is written.
        _, _, log = run([setup_exe], lambda: control("answer?sha256=right"))
        shutil.rmtree(newest_installer_folder(temp_dir), ignore_errors=True)
        announced_speed = transfer_mibs(log)
        _, _, log = run([loop_exe, url, "C:\\bench-loop.bin"])
        loop_speed = transfer_mibs(log)
        start, floor_peak, log = run([floor_exe, origin + "/validate/installurl.php?get=url",
                                      "C:\\bench-floor.bin"])
        floor_start = startup_ms(start, log)
        transfer_mibs(log)  # the floor must have downloaded too
        ratio = setup_speed / loop_speed
        announced_ratios.append(announced_speed / loop_speed)
        print(f"round {round_no}: Setup.exe {setup_speed:6.1f} MiB/s, bare loop {loop_speed:6.1f} "
              f"MiB/s, ratio {ratio:.2f} (SHA-256 announced {announced_ratios[-1]:.2f}); start-up {setup_start:.0f} ms vs floor "
              f"{floor_start:.0f} ms; peak {setup_peak:.1f} MiB vs floor {floor_peak:.1f} MiB",
              flush=True)
        ratios.append(ratio)
        setup_speeds.append(setup_speed)
        loop_speeds.append(loop_speed)
        setup_starts.append(setup_start)
        floor_starts.append(floor_start)
        setup_peaks.append(setup_peak)
        floor_peaks.append(floor_peak)

    # The resume: a 64 MiB installer cut at 90 % on the first attempt (Setup's real back-off), and
    # how much the whole download took off the network, by the service's count of body bytes sent.
    resume_size = 64 * 1024 * 1024
    cut = resume_size * 9 // 10
    _, _, log = run([setup_exe], lambda: control(
        f"installer?size={resume_size}&close_after={cut}&cut_times=1"))
    attempts = [e for e in log if e["path"].upper() == INSTALLER_PATH]
    fetched = sum(e.get("sent", 0) for e in attempts)
    with open(os.path.join(newest_installer_folder(temp_dir), "Install.exe"), "rb") as f:
        if f.read() != control("installer_bytes"):
            sys.exit("Install.exe after the resume differs from the installer")

    med = statistics.median
    print(f"download of {mib:.0f} MiB over loopback HTTPS, {rounds} alternating rounds, each "
          "timed from the request's arrival to the service's last byte")
    print(f"  Setup.exe (window, pumping, updates)   {med(setup_speeds):8.1f} MiB/s (median)")
    print(f"  bare WinInet loop under Wine           {med(loop_speeds):8.1f} MiB/s (median)")
    print(f"  Setup.exe / bare loop                  median {med(ratios):.2f}, min {min(ratios):.2f}, "
          f"max {max(ratios):.2f}   (target: median >= 0.95)")
    print(f"  the same, the answer's SHA-256 given   median {med(announced_ratios):.2f}, "
          f"min {min(announced_ratios):.2f}, max {max(announced_ratios):.2f}")
    setup_start, floor_start = med(setup_starts), med(floor_starts)
    print(f"process start to query at the service    Setup.exe {setup_start:.0f} ms, minimal window "
          f"program {floor_start:.0f} ms: {setup_start - floor_start:+.0f} ms   (target <= +50 ms)")
    setup_peak, floor_peak = med(setup_peaks), med(floor_peaks)
    print(f"peak memory during the download          Setup.exe {setup_peak:.1f} MiB, minimal window "
          f"program with the same loop {floor_peak:.1f} MiB: {setup_peak - floor_peak:+.1f} MiB   "
          "(target <= +8 MiB)")
    print(f"resume of 64 MiB cut at 90 %              {fetched / resume_size:.3f} x its size "
          f"fetched in {len(attempts)} requests, statuses "
          f"{[e.get('status') for e in attempts]}   (target <= 1.02)")


if __name__ == "__main__":
    main()
