#!/usr/bin/env python3
"""Compiles one source with its functions packed end to end instead of 16 bytes apart.

The assembler gives every code section of a PE object an alignment of 16 bytes and pads it to a
multiple of that; with one section per function, Setup.exe carried about 7 KiB of padding. Here the
compiler writes assembly, each code section is declared with an alignment of one byte, and the
assembler makes the object. Code that asks for an alignment of its own (.p2align) still gets it.

A function that calls nothing and neither pushes nor reserves anything on the stack also leaves
out its unwind entry (16 bytes, about 350 functions): Windows unwinds a function without an entry
as such a leaf, its return address on the top of the stack. Exceptions are thrown from calls, so
none passes through such a function.

Used as the compile's launcher:  compile_packed.py CHECKSUM COMPILER ARGS... -o OBJECT -c SOURCE
(CHECKSUM: the script's own, so that the build compiles again when the script changes)
"""
import os
import re
import subprocess
import sys

# ".section .text$f,"x"", as GCC writes it: a digit in the flags sets the section's alignment, as a
# power of two. Only where a section first appears: a later digit would undo the alignment that
# the code has asked for since (member functions ask for 2 bytes, their pointers need the low bit).
CODE_SECTION = re.compile(r'^(\t\.section\t(\.text[^,\s]*),"x)(")$', re.MULTILINE)


def packed(assembly):
    seen = set()

    def first_one_byte_aligned(match):
        if match.group(2) in seen:
            return match.group(0)
        seen.add(match.group(2))
        return match.group(1) + "0" + match.group(3)

    return CODE_SECTION.sub(first_one_byte_aligned, assembly)


SEH_PROC = re.compile(r"^\t\.seh_proc\t")
SEH_LEAF = {"\t.seh_endprologue", "\t.seh_endproc"}


def without_leaf_unwind(assembly):
    lines = assembly.split("\n")
    out = []
    i = 0
    while i < len(lines):
        if not SEH_PROC.match(lines[i]):
            out.append(lines[i])
            i += 1
            continue
        end = lines.index("\t.seh_endproc", i)
        body = lines[i + 1:end + 1]
        leaf = not any(line.startswith("\t.seh_") and line not in SEH_LEAF or
                       line.startswith("\tcall") for line in body)
        out.extend(line for line in [lines[i]] + body if not (leaf and
                                                                (SEH_PROC.match(line) or line in SEH_LEAF)))
        i = end + 1
    return "\n".join(out)


def main():
    command = sys.argv[2:]
    if "-c" not in command or "-o" not in command:
        os.execvp(command[0], command)
    out = command[command.index("-o") + 1]
    assembly = out + ".s"
    to_assembly = [("-S" if arg == "-c" else arg) for arg in command]
    to_assembly[to_assembly.index("-o") + 1] = assembly
    result = subprocess.run(to_assembly)
    if result.returncode != 0:
        sys.exit(result.returncode)
    with open(assembly, encoding="latin-1") as f:
        text = f.read()
    with open(assembly, "w", encoding="latin-1") as f:
        f.write(without_leaf_unwind(packed(text)))
    result = subprocess.run([command[0], "-c", assembly, "-o", out])
    os.remove(assembly)
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
