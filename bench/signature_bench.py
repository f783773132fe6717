"""What checking the installer's signature costs Setup.exe: a signed copy of Setup.exe downloads
signed installers of the given sizes (the sample installer with data appended, signed by the same
throwaway publisher) and the support log's "checked in N ms" is read after each run. Every run is
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
from signature_e2e_test import CA_EXTENSIONS, PUBLISHER, Signing, read, write  # noqa: E402

ROUNDS = 3


def main():
    build, origin, service_ca, setup_log = sys.argv[1:5]
    sizes = [int(size) for size in sys.argv[5:]]
    service = harness.Service(origin, service_ca)
    signing = Signing(tempfile.mkdtemp(prefix="signature-bench-", dir=build))
    try:
        signing.self_signed("ca", "/CN=Setup Bench Code Signing CA", CA_EXTENSIONS)
        signing.issued("publisher", PUBLISHER, "ca")
        trusted = harness.wine_run(os.path.join(build, "tools", "trust_ca.exe"),
                                   [harness.windows_path(signing.path("ca.pem"))])
        if trusted.returncode != 0:
            sys.exit(f"trust_ca failed: {trusted.stderr}")
        os.makedirs(signing.path("setup"))
        setup = signing.sign(os.path.join(build, "Setup.exe"), "publisher", "setup/Setup.exe")
        sample = read(os.path.join(build, "tools", "sample_installer.exe"))
        for mib in sizes:
            # Data after the program's sections is covered by the digest like the rest.
            padded = write(signing.path("padded.exe"),
                           sample + os.urandom(max(0, mib * 1048576 - len(sample))))
            installer = signing.sign(padded, "publisher", f"installer-{mib}.exe")
            service.reset()
            service.installer(file=installer)
            times = []
            for _ in range(ROUNDS):
                if os.path.exists(setup_log):
                    os.remove(setup_log)
                subprocess.run(["wine", setup], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600,
                               env=harness.wine_environment({"SETUP_SAMPLE_SHOW_MS": "0"}))
                with open(setup_log, "rb") as f:
                    found = re.search(rb"installer signature: (.*), checked in (\d+) ms", f.read())
                if not found or found.group(1) != b"same publisher":
                    sys.exit(f"the {mib} MiB installer was not checked as the same publisher's")
                times.append(int(found.group(2)))
            times.sort()
            print(f"installer signature check, {mib:4d} MiB (all four checks, new process)   "
                  f"{times[len(times) // 2]:6d} ms (median of {ROUNDS}; {times[0]}..{times[-1]})",
                  flush=True)
    finally:
        shutil.rmtree(signing.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
