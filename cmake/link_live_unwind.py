#!/usr/bin/env python3
"""Links Setup.exe so that functions nothing calls go, with their unwind data.

GNU ld keeps every .pdata and .xdata input of a PE link, so a collected function left its unwind
entry behind, and the default script's KEEP(.pdata) even kept every function. This link runs
twice: the first, under cmake/setup.ld, tells which functions are collected; the second also
discards their .pdata and .xdata, and must collect exactly the same functions, so that every
function left has its unwind entry and no entry names a function that is gone.

Used as the link's launcher:  link_live_unwind.py SCRIPT -- COMPILER ARGS... -o OUT ARGS...
"""
import os
import re
import subprocess
import sys

COLLECTED = re.compile(r"removing unused section '(\.text[^'\[]*)(?:\[[^\]]*\])?' in file '([^']*)'")


def link(command, script, out):
    """Links with the script into out; returns the collected code sections, (file, suffix)."""
    run = command + ["-Wl,-T," + script, "-Wl,--print-gc-sections"]
    run[run.index("-o") + 1] = out
    result = subprocess.run(run, stderr=subprocess.PIPE, text=True)
    collected = set()
    for line in result.stderr.splitlines():
        match = COLLECTED.search(line)
        if match:
            collected.add((match.group(2), match.group(1)[len(".text"):]))
        elif "removing unused section" not in line:
            print(line, file=sys.stderr)
    if result.returncode != 0:
        sys.exit(result.returncode)
    return collected


def file_pattern(path):
    """The script's pattern for an object, or for a member as archive:member."""
    member = re.fullmatch(r"(.*)\(([^()]*)\)", path)
    if member:
        return "*" + os.path.basename(member.group(1)) + ":" + member.group(2)
    return "*" + os.path.basename(path)


def main():
    script, separator, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    assert separator == "--" and "-o" in command
    out = command[command.index("-o") + 1]
    base = open(script, encoding="utf-8").read()

    probe = out + ".probe"
    collected = link(command, script, probe)
    os.remove(probe)

    # The assembler names a function's unwind sections after its code section: .text$f gives
    # .pdata$f and .xdata$f. Only that function's .pdata refers to its .xdata.
    discards = "\n".join(
        "    %s(.pdata%s .xdata%s)" % (file_pattern(path), suffix, suffix)
        for path, suffix in sorted(collected))
    opening = "SECTIONS\n{\n"
    assert opening in base
    final_script = os.path.splitext(out)[0] + ".ld"
    with open(final_script, "w", encoding="utf-8") as f:
        f.write(base.replace(opening, opening + "  /DISCARD/ :\n  {\n" + discards + "\n  }\n", 1))

    if link(command, final_script, out) != collected:
        os.remove(out)
        sys.exit("link_live_unwind.py: the second link collected other functions than the first")


if __name__ == "__main__":
    main()
