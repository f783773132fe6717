#!/usr/bin/env python3
"""Nothing includes upwards: the three layers (bootstrap/ on widgets/ on framework/) and, inside
bootstrap/, the program's floors. A folder may include itself and what lies below it; folders on
one floor do not include each other, so each concern can change without the others'.

    check_floors.py [ROOT]      (prints every offending include; exit 1 when there is one)
"""
import pathlib
import re
import subprocess
import sys

# Lowest first. A folder may include its own floor's folder and every folder of a lower floor.
FLOORS = [
    ["framework"],
    ["widgets"],
    ["bootstrap/vocabulary"],  # outcomes, progress texts, short text, code page, settings
    ["bootstrap/files"],  # files Setup writes where others can, long paths, the temp folder
    ["bootstrap/log"],  # the support log
    ["bootstrap/network", "bootstrap/trust"],  # the HTTPS client; the installer's trust checks
    ["bootstrap/run"],  # the setup run: query, download, verify, start
    ["bootstrap/app"],  # the entry, the window and its look
]
# The program's own floors stand on the framework only; the window is what draws with widgets,
# and only it embeds resources.
EXTRA = {"bootstrap/app": {"resources"}}
# Headers made at configure time (build_settings.h, origins.h) are included without a folder.
GENERATED = {"build_settings.h": "bootstrap/vocabulary", "origins.h": "bootstrap/app"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def floor_of(folder):
    for level, folders in enumerate(FLOORS):
        if folder in folders:
            return level
    return None


def folder_of(path):
    """The layer or floor a repository path belongs to, or None for anything else."""
    parts = pathlib.PurePosixPath(path).parts
    if len(parts) >= 2 and parts[0] == "bootstrap":
        return "bootstrap/" + parts[1] if len(parts) >= 3 else "bootstrap"
    return parts[0] if parts else None


def allowed(source, target):
    if source == target or target in EXTRA.get(source, set()):
        return True
    if source.startswith("bootstrap/") and target == "widgets":
        return source == "bootstrap/app"
    mine, theirs = floor_of(source), floor_of(target)
    return mine is not None and theirs is not None and theirs < mine


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parents[1])
    listed = subprocess.run(
        ["git", "-C", str(root), "ls-files", "--cached", "--others", "--exclude-standard",
         "framework", "widgets", "bootstrap"],
        check=True, capture_output=True, text=True).stdout.split()
    sources = [p for p in listed if p.endswith((".h", ".cpp")) and (root / p).is_file()]
    faults = []
    for path in sources:
        source = folder_of(path)
        if floor_of(source) is None:
            faults.append(f"{path}: not in a known folder (add it to FLOORS in this check)")
            continue
        for number, line in enumerate((root / path).read_text().splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            name = match.group(1)
            target = GENERATED.get(name) or folder_of(name)
            if "/" not in name and name not in GENERATED:
                continue  # a header beside the file (none today), or a system one in quotes
            if not allowed(source, target):
                faults.append(f"{path}:{number}: {source} includes {name} ({target})")
    if not sources:
        print("no source files found", file=sys.stderr)
        return 1
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print("includes above go upwards or sideways: see the floors at the top of "
              "tests/check_floors.py and docs/ARCHITECTURE.md", file=sys.stderr)
        return 1
    print(f"{len(sources)} files include only their own floor and the ones below")
    return 0


if __name__ == "__main__":
    sys.exit(main())
