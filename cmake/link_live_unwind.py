#!/usr/bin/env python3
"""Links Setup.exe so that functions nothing calls go, with their unwind data.

GNU ld keeps every .pdata and .xdata input of a PE link, so a collected function left its unwind
entry behind, and the default script's KEEP(.pdata) even kept every function. This link runs
twice: the first, under cmake/setup.ld, tells which functions are collected; the second also
discards their .pdata and .xdata, and must collect exactly the same functions, so that every
function left has its unwind entry and no entry names a function that is gone.

Then identical unwind blocks are shared (cmake/pack_unwind.py).

Used as the link's launcher:  link_live_unwind.py SCRIPT -- COMPILER ARGS... -o OUT ARGS...
"""
import os
import re
import subprocess
import sys

import pack_unwind

# An unwind section in the map: its name, address, size and file (the name may stand alone on its line).
UNWIND_INPUT = re.compile(r"^ (\.xdata\S*)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+) ([^\n]+)$", re.MULTILINE)
COLLECTED = re.compile(r"removing unused section '(\.text[^'\[]*)(?:\[[^\]]*\])?' in file '([^']*)'")


def link(command, script, out, map_file=None):
    """Links with the script into out; returns the collected code sections, (file, suffix)."""
    run = command + ["-Wl,-T," + script, "-Wl,--print-gc-sections"]
    if map_file:
        run.append("-Wl,-Map," + map_file)
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
    collected = link(command, script, probe, probe + ".map")
    with open(probe, "rb") as f:
        image_base, handler_blocks = pack_unwind.blocks_with_handlers(f.read())
    with open(probe + ".map", encoding="utf-8", errors="replace") as f:
        unwind_inputs = UNWIND_INPUT.findall(f.read())
    os.remove(probe)
    os.remove(probe + ".map")

    # The unwind sections that hold a block with a handler go first: such a block stays where the
    # link puts it, and so does everything before it (cmake/pack_unwind.py).
    first = []
    for name, address, size, path in unwind_inputs:
        start = int(address, 16) - image_base
        if any(start <= block < start + int(size, 16) for block in handler_blocks):
            first.append("    KEEP(%s(%s))" % (file_pattern(path.strip()), name))

    # The assembler names a function's unwind sections after its code section: .text$f gives
    # .pdata$f and .xdata$f. Only that function's .pdata refers to its .xdata.
    discards = "\n".join(
        "    %s(.pdata%s .xdata%s)" % (file_pattern(path), suffix, suffix)
        for path, suffix in sorted(collected))
    opening = "SECTIONS\n{\n"
    assert opening in base
    final_script = os.path.splitext(out)[0] + ".ld"
    unwind = "    KEEP(*(.xdata*))\n"
    assert unwind in base
    final = base.replace(opening, opening + "  /DISCARD/ :\n  {\n" + discards + "\n  }\n", 1)
    final = final.replace(unwind, "\n".join(first + [unwind]), 1)
    with open(final_script, "w", encoding="utf-8") as f:
        f.write(final)

    if link(command, final_script, out) != collected:
        os.remove(out)
        sys.exit("link_live_unwind.py: the second link collected other functions than the first")

    # Functions that open alike have alike unwind blocks: one copy serves them all.
    with open(out, "rb") as f:
        linked = f.read()
    try:
        packed, saved, blocks, kept = pack_unwind.pack(linked)
    except ValueError as error:
        os.remove(out)
        sys.exit("link_live_unwind.py: %s" % error)
    with open(out, "wb") as f:
        f.write(packed)
    print("link_live_unwind.py: %d unwind blocks, %d kept, %d bytes fewer" % (blocks, kept, saved))


if __name__ == "__main__":
    main()
