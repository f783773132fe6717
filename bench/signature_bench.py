"""What checking the installer's signature costs Setup.exe: Setup.exe, asked to check (the test
build's seam), downloads signed installers of the given sizes (the sample installer with data
appended, signed by the publisher under the root the build pins) and the support log's
"checked in N ms" is read after each run. Every run is
a new process, so each figure includes the first call's cost of loading and initialising the
system's trust libraries. bench/download_bench.sh prepares Wine, the certificates and the service.

    python3 bench/signature_bench.py BUILD ORIGIN SERVICE_CA SETUP_LOG MIB [MIB ...]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402
from signature_e2e_test import (CHECK, PUBLISHER, Signing, read, test_publisher_root,  # noqa: E402
                                 write)

ROUNDS = 3


def main():
    build, origin, service_ca, setup_log = sys.argv[1:5]
    sizes = [int(size) for size in sys.argv[5:]]
    service = harness.Service(origin, service_ca)
    signing = Signing(tempfile.mkdtemp(prefix="signature-bench-", dir=build))
    try:
        for part in (".pem", ".key"):
            shutil.copyfile(test_publisher_root() + part, signing.path("root" + part))
        signing.issued("publisher", PUBLISHER, "root")
        trusted = harness.wine_run(os.path.join(build, "tools", "trust_ca.exe"),
                                   [harness.windows_path(signing.path("root.pem"))])
        if trusted.returncode != 0:
            sys.exit(f"trust_ca failed: {trusted.stderr}")
        setup = os.path.join(build, "Setup.exe")
        sample = read(os.path.join(build, "tools", "sample_installer.exe"))
        for mib in sizes:
            # Data after the program's sections is covered by the digest like the rest.
            padded = write(signing.path("padded.exe"),
                           sample + os.urandom(max(0, mib * 1048576 - len(sample))))
            installer = signing.sign(padded, "publisher", f"installer-{mib}.exe")
            service.reset()
            service.installer(file=installer)
            times = []
            after_transfer = []
            for _ in range(ROUNDS):
                if os.path.exists(setup_log):
                    os.remove(setup_log)
                subprocess.run(["wine", setup], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600,
                               env=harness.wine_environment({"SETUP_SAMPLE_SHOW_MS": "0", **CHECK}))
                with open(setup_log, "rb") as f:
                    log = f.read()
                found = re.search(rb"installer signature: (.*), checked in (\d+) ms", log)
                if not found or found.group(1) != b"the pinned publisher's":
                    sys.exit(f"the {mib} MiB installer was not checked as the pinned publisher's")
                times.append(int(found.group(2)))
                # From the line that ends the transfer to the one that starts the installer: all
                # that the user waits for after the last byte.
                ended = re.search(rb"\[ *(\d+) ms\] \d+ bytes in \d+ ms\r\n", log)
                started = re.search(rb"\[ *(\d+) ms\] installer started", log)
                if not ended or not started:
                    sys.exit(f"the {mib} MiB run's log has no transfer end or no start")
                after_transfer.append(int(started.group(1)) - int(ended.group(1)))
            for name, figures in (("installer signature check", times),
                                  ("end of transfer to start", after_transfer)):
                figures.sort()
                print(f"{name:<26}, {mib:4d} MiB (new process)   "
                      f"{figures[len(figures) // 2]:6d} ms (median of {ROUNDS}; "
                      f"{figures[0]}..{figures[-1]})", flush=True)
    finally:
        shutil.rmtree(signing.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
