#!/usr/bin/env python3
"""Checks the unwind data of a linked 64-bit Windows program, stripped or not.

Windows finds how to unwind a frame in the exception directory (.pdata): one entry per function,
its code range and its unwind block. A C++ exception, a crash report and a debugger all walk the
stack through it. A function without an entry is taken for a leaf whose return address is on the
top of the stack, so one that pushes, reserves stack or calls and has no entry breaks every walk
that passes through it. Checked here:

  - the table: sorted, no two entries overlapping, each inside an executable section, each naming
    an unwind block inside the image;
  - the code: every instruction that calls or moves the stack pointer lies inside some entry's
    range (read from the disassembly, since a stripped image has no function names); a leaf that
    only jumps, returns and uses its registers needs none;
  - the C++ exception tables: a block whose handler is GCC's personality carries the function's
    exception table (the LSDA) after the handler's address. Its call sites must lie inside the
    function, and every type it catches must resolve to a type record inside the image: a table
    moved away from the place it was linked at resolves its types to whatever lies there now.

    check_unwind.py [--objdump OBJDUMP] IMAGE

Prints a summary; exits 1 naming each offending address.
"""
import argparse
import bisect
import re
import struct
import subprocess
import sys

EXCEPTION_DIRECTORY = 3
SCN_CNT_CODE = 0x20
SCN_MEM_EXECUTE = 0x20000000
UNW_FLAG_EHANDLER, UNW_FLAG_UHANDLER, UNW_FLAG_CHAININFO = 1, 2, 4

# DWARF exception-header encodings, as GCC writes them into an LSDA.
DW_EH_PE_OMIT = 0xFF
DW_EH_PE_INDIRECT = 0x80
FORMATS = {0x00: ("<Q", 8), 0x02: ("<H", 2), 0x03: ("<I", 4), 0x04: ("<Q", 8),
           0x0A: ("<h", 2), 0x0B: ("<i", 4), 0x0C: ("<q", 8)}
DW_EH_PE_ULEB128, DW_EH_PE_SLEB128 = 0x01, 0x09
DW_EH_PE_ABSPTR, DW_EH_PE_PCREL = 0x00, 0x10


class Fault(Exception):
    pass


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Fault("not an MZ executable")
        pe, = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Fault("not a PE image")
        count, = struct.unpack_from("<H", data, pe + 6)
        optional_size, = struct.unpack_from("<H", data, pe + 20)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x20B:
            raise Fault("not a PE32+ image")
        self.base, = struct.unpack_from("<Q", data, optional + 24)
        self.size, = struct.unpack_from("<I", data, optional + 56)
        directories, = struct.unpack_from("<I", data, optional + 108)
        self.exception = ((0, 0) if directories <= EXCEPTION_DIRECTORY else
                          struct.unpack_from("<II", data, optional + 112 + 8 * EXCEPTION_DIRECTORY))
        self.sections = []
        for i in range(count):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            virtual_size, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            flags, = struct.unpack_from("<I", data, at + 36)
            self.sections.append((name, rva, max(virtual_size, raw_size), raw_size, raw_at, flags))

    def section_of(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        return None

    def executable(self, rva):
        section = self.section_of(rva)
        return bool(section and section[5] & (SCN_CNT_CODE | SCN_MEM_EXECUTE))

    def read(self, rva, size):
        """The bytes at rva as loaded (zeros past a section's file data)."""
        section = self.section_of(rva)
        if section is None or rva + size > section[1] + section[2]:
            raise Fault("%#x (%d bytes) is not inside the image" % (self.base + rva, size))
        _, start, _, raw_size, raw_at, _ = section
        out = bytearray()
        for r in range(rva, rva + size):
            out.append(self.data[raw_at + r - start] if r - start < raw_size else 0)
        return bytes(out)

    def u8(self, rva):
        return self.read(rva, 1)[0]

    def unpack(self, fmt, rva):
        return struct.unpack(fmt, self.read(rva, struct.calcsize(fmt)))


def function_table(image, faults):
    """The exception directory's entries, (begin, end, unwind block), after checking the table."""
    rva, size = image.exception
    if size == 0:
        faults.append("the image has no exception directory")
        return [], 0
    if size % 12:
        faults.append("the exception directory's size %d is not a multiple of 12" % size)
    entries = [image.unpack("<III", rva + 12 * i) for i in range(size // 12)]
    # GNU ld keeps the entry of a function that --gc-sections collected, with the function's
    # range zeroed, sorted first: it covers no address, so no lookup ever finds it.
    empty = sum(1 for entry in entries if entry[:2] == (0, 0))
    entries = [entry for entry in entries if entry[:2] != (0, 0)]
    previous = None
    for begin, end, unwind in entries:
        where = "entry %#x-%#x" % (image.base + begin, image.base + end)
        if begin >= end:
            faults.append("%s is empty or reversed" % where)
        section = image.section_of(begin)
        if not image.executable(begin) or section is None or end > section[1] + section[2]:
            faults.append("%s does not lie inside an executable section" % where)
        if unwind % 4 or image.section_of(unwind) is None:
            faults.append("%s names the unwind block %#x, which is not a 4-byte aligned address "
                          "inside the image" % (where, image.base + unwind))
        if previous and begin < previous[0]:
            faults.append("%s comes after %#x: the table is not sorted" %
                          (where, image.base + previous[0]))
        elif previous and begin < previous[1]:
            faults.append("%s overlaps the entry %#x-%#x" %
                          (where, image.base + previous[0], image.base + previous[1]))
        previous = (begin, end)
    return entries, empty


def unwind_block(image, rva):
    """(flags, end of the codes, handler or None) of the unwind block at rva."""
    header, prologue, codes, frame = image.unpack("<BBBB", rva)
    if header & 7 not in (1, 2):
        raise Fault("unwind block %#x has version %d" % (image.base + rva, header & 7))
    flags = header >> 3
    after_codes = rva + 4 + 2 * (codes + codes % 2)
    image.read(rva, after_codes - rva)
    handler = None
    if flags & UNW_FLAG_CHAININFO:
        begin, end, unwind = image.unpack("<III", after_codes)
        if not image.executable(begin) or unwind % 4 or image.section_of(unwind) is None:
            raise Fault("unwind block %#x chains to a bad entry" % (image.base + rva))
    elif flags & (UNW_FLAG_EHANDLER | UNW_FLAG_UHANDLER):
        handler, = image.unpack("<I", after_codes)
        if not image.executable(handler):
            raise Fault("unwind block %#x names the handler %#x, which is not code" %
                        (image.base + rva, image.base + handler))
    return flags, after_codes, handler


# One line of objdump -d: address, bytes, instruction. Continuation lines have no instruction.
LINE = re.compile(r"^\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )+)\s*\t([^\t#<]*)")
STACK_POINTER = re.compile(r"%(rsp|esp|sp)$")
# What writes its last operand; compares and tests only read theirs.
READS_ONLY = re.compile(r"^(cmp|test|bt)")


def disassembly(objdump, path, start=None, stop=None):
    command = [objdump, "-d", "-w", path]
    if start is not None:
        command += ["--start-address=%#x" % start, "--stop-address=%#x" % stop]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise Fault("%s failed: %s" % (objdump, result.stderr.strip()))
    for line in result.stdout.splitlines():
        match = LINE.match(line)
        if match and match.group(3).strip():
            yield int(match.group(1), 16), match.group(3).strip(), len(match.group(2)) // 3


def moves_stack_or_calls(instruction):
    parts = instruction.split(None, 1)
    mnemonic = parts[0]
    operands = parts[1].strip() if len(parts) > 1 else ""
    if mnemonic in ("rex.W", "data16", "cs", "ds", "lock", "rep", "repz", "repnz", "notrack",
                    "bnd") and operands:
        return moves_stack_or_calls(operands)
    if re.match(r"^(call|lcall|push|pop|enter|leave)", mnemonic):
        return True
    return bool(STACK_POINTER.search(operands) and not READS_ONLY.match(mnemonic))


# Hand-written routines of the toolchain's libraries that have no unwind entry, known by their whole
# code: libgcc's stack probe (___chkstk_ms) pushes the two registers it works with, and the C
# runtime's nearbyint (mingw-w64 math/x86/nearbyint.S) saves the x87 control word on the stack.
# Neither calls anything or faults but on a stack overflow, and neither is ours to give an entry;
# anything else without an entry that moves the stack is still a fault.
UNENTERED_ROUTINES = {
    "___chkstk_ms": bytes.fromhex(
        "5150483d00100000488d4c241872194881e90010000048830900482d00100000483d0010000077e7"
        "4829c1488309005859c3"),
    "nearbyint": bytes.fromhex(
        "f20f114424f0dd4424f05051d93c24488b04244883c8204889442408d96c2408d9fc9bdbe2d92c2459"
        "58dd5c24f0f20f104424f0c3"),
}


def data_in_code(image, start, end):
    """The constructor and destructor lists that GNU ld's PE script places in .text: -1, the
    functions' addresses, 0. Read as instructions, their bytes could pass for a push."""
    code = image.read(start, end - start)
    found = []
    at = code.find(b"\xff" * 8)
    while at >= 0:
        stop = at + 8
        while stop + 8 <= len(code):
            word, = struct.unpack_from("<Q", code, stop)
            stop += 8
            if word == 0:
                found.append((start + at, start + stop))
                break
            if not image.executable(word - image.base):
                break
        at = code.find(b"\xff" * 8, stop)
    return found


def check_code(image, path, objdump, entries, faults):
    """Instructions that call or move the stack pointer outside every entry's range."""
    begins = [e[0] for e in entries]

    def covered(rva):
        i = bisect.bisect_right(begins, rva) - 1
        return i >= 0 and rva < entries[i][1]

    instructions = {va - image.base: (text, size) for va, text, size in disassembly(objdump, path)}
    # The code outside every entry, in pieces that start where an entry, or data, ends.
    pieces = []
    excused = []
    for section in image.sections:
        if not section[5] & (SCN_CNT_CODE | SCN_MEM_EXECUTE):
            continue
        start, end = section[1], section[1] + section[3]
        gaps = []
        at = start
        for begin, stop, _ in entries:
            if begin < start or begin >= end:
                continue
            if at < begin:
                gaps.append((at, begin))
            at = max(at, stop)
        if at < end:
            gaps.append((at, end))
        for gap_start, gap_end in gaps:
            at = gap_start
            for data_start, data_end in data_in_code(image, gap_start, gap_end):
                if at < data_start:
                    pieces.append((at, data_start))
                excused.append((data_start, data_end, "constructor list"))
                at = data_end
            if at < gap_end:
                pieces.append((at, gap_end))
            block = image.read(gap_start, gap_end - gap_start)
            for name, code in UNENTERED_ROUTINES.items():
                found = block.find(code)
                if found >= 0:
                    excused.append((gap_start + found, gap_start + found + len(code), name))
    # The sweep stays in step with the code inside the functions; after an entry or a list ends,
    # the next code must start exactly there, or the sweep read it from the middle of something.
    starts = sorted(instructions)
    for piece_start, piece_end in pieces:
        i = bisect.bisect_right(starts, piece_start) - 1
        last_end = starts[i] + instructions[starts[i]][1] if i >= 0 else 0
        if i < 0 or starts[i] == piece_start or last_end <= piece_start:
            continue  # in step: an instruction starts the piece, or none runs into it
        for r in starts[i + 1:bisect.bisect_left(starts, piece_end)]:
            del instructions[r]
        instructions.update((va - image.base, (text, size)) for va, text, size in disassembly(
            objdump, path, image.base + piece_start, image.base + piece_end))
    for data_start, data_end, name in excused:
        if name == "constructor list":
            for r in [r for r in instructions if data_start <= r < data_end]:
                del instructions[r]

    offenders = {}
    piece_starts = [p[0] for p in pieces]
    for rva in sorted(instructions):
        text = instructions[rva][0]
        if covered(rva) or not moves_stack_or_calls(text):
            continue
        if any(start <= rva < end for start, end, _ in excused):
            continue
        i = bisect.bisect_right(piece_starts, rva) - 1
        offenders.setdefault(pieces[i][0], []).append((rva, text))
    for piece, found in sorted(offenders.items()):
        listed = ", ".join("%s at %#x" % (" ".join(t.split()), image.base + r)
                           for r, t in found[:4])
        more = " and %d more" % (len(found) - 4) if len(found) > 4 else ""
        faults.append("code at %#x has no unwind entry, yet: %s%s" %
                      (image.base + piece, listed, more))
    routines = sorted({name for _, _, name in excused if name != "constructor list"})
    return len(instructions), routines


def is_gcc_personality(image, handler, path, objdump, cache):
    """GCC's personality routines for SEH hand their own routine (a code address) to one common
    dispatcher as its fifth argument: lea ROUTINE(%rip),%reg; mov %reg,0x20(%rsp); call. The C
    runtime's handler (an import thunk here) reads scope tables instead of an LSDA."""
    if handler not in cache:
        lines = [t for _, t, _ in disassembly(objdump, path, image.base + handler,
                                              image.base + handler + 48)][:8]
        found = False
        for i, text in enumerate(lines):
            match = re.match(r"^lea\s+-?0x[0-9a-f]+\(%rip\),(%r\w+)\s*$", text)
            if match and i + 1 < len(lines) and re.match(
                    r"^mov\s+%s,0x20\(%%rsp\)" % match.group(1), lines[i + 1]):
                found = any(t.startswith("call") for t in lines[i + 2:])
                break
        cache[handler] = found
    return cache[handler]


class Reader:
    def __init__(self, image, rva):
        self.image, self.at = image, rva

    def u8(self):
        self.at += 1
        return self.image.u8(self.at - 1)

    def _leb(self):
        """The bits of a LEB128 number, how many there are, and its last byte."""
        value = shift = 0
        while True:
            byte = self.u8()
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                return value, shift, byte

    def uleb(self):
        return self._leb()[0]

    def sleb(self):
        value, bits, last = self._leb()
        return value - (1 << bits) if last & 0x40 else value

    def encoded(self, encoding):
        """(raw value, address it was read from)."""
        where = self.at
        kind = encoding & 0x0F
        if kind == DW_EH_PE_ULEB128:
            return self.uleb(), where
        if kind == DW_EH_PE_SLEB128:
            return self.sleb(), where
        if kind not in FORMATS:
            raise Fault("LSDA value encoding %#x at %#x is not one GCC writes" %
                        (encoding, self.image.base + where))
        fmt, size = FORMATS[kind]
        value, = self.image.unpack(fmt, self.at)
        self.at += size
        return value, where


def encoded_size(encoding):
    if encoding & 0x0F not in FORMATS:
        raise Fault("type table encoding %#x has no fixed size" % encoding)
    return FORMATS[encoding & 0x0F][1]


def resolve_type(image, encoding, value, where):
    """The RVA a type-table entry names, or raises."""
    application = encoding & 0x70
    if application == DW_EH_PE_PCREL:
        target = where + value
    elif application == DW_EH_PE_ABSPTR:
        target = value - image.base
    else:
        raise Fault("type table encoding %#x at %#x is not absolute or pc-relative" %
                    (encoding, image.base + where))
    if not 0 <= target < image.size or image.section_of(target) is None:
        raise Fault("the type entry at %#x names %#x, outside the image's sections" %
                    (image.base + where, image.base + target))
    if encoding & DW_EH_PE_INDIRECT:
        slot = target
        pointer, = image.unpack("<Q", slot)
        target = pointer - image.base
        if not 0 <= target < image.size or image.section_of(target) is None:
            raise Fault("the type entry at %#x names the slot %#x, which holds %#x, outside the "
                        "image's sections" % (image.base + where, image.base + slot, pointer))
    # A type record is data: its first word is its class's virtual table, inside the image.
    if image.executable(target):
        raise Fault("the type entry at %#x names %#x, which is code, not a type record" %
                    (image.base + where, image.base + target))
    vtable, = image.unpack("<Q", target)
    if not 0 <= vtable - image.base < image.size or image.section_of(vtable - image.base) is None:
        raise Fault("the type entry at %#x names %#x, whose first word %#x is no address in the "
                    "image: not a type record" % (image.base + where, image.base + target, vtable))
    return target


def check_lsda(image, rva, begin, end):
    """Checks one GCC exception table; returns (call sites, type entries checked)."""
    r = Reader(image, rva)
    lpstart_encoding = r.u8()
    landing_base = begin
    if lpstart_encoding != DW_EH_PE_OMIT:
        value, where = r.encoded(lpstart_encoding)
        landing_base = (where + value if lpstart_encoding & 0x70 == DW_EH_PE_PCREL else
                        value - image.base)
    ttype_encoding = r.u8()
    ttype_base = None
    if ttype_encoding != DW_EH_PE_OMIT:
        offset = r.uleb()
        ttype_base = r.at + offset
    site_encoding = r.u8()
    sites_length = r.uleb()
    sites_end = r.at + sites_length
    actions_start = sites_end
    sites = 0
    filters = set()
    length = end - begin
    while r.at < sites_end:
        start, _ = r.encoded(site_encoding)
        size, _ = r.encoded(site_encoding)
        pad, _ = r.encoded(site_encoding)
        action = r.uleb()
        sites += 1
        if start + size > length or size == 0:
            raise Fault("the call site %#x+%#x of the function %#x lies outside its %#x bytes" %
                        (image.base + begin + start, size, image.base + begin, length))
        if pad and not (begin <= landing_base + pad < end):
            raise Fault("the landing pad %#x of the function %#x lies outside it" %
                        (image.base + landing_base + pad, image.base + begin))
        if action:
            a = Reader(image, actions_start + action - 1)
            for _ in range(1000):
                type_filter = a.sleb()
                record = a.at
                next_offset = a.sleb()
                if type_filter:
                    filters.add(type_filter)
                if next_offset == 0:
                    break
                a.at = record + next_offset
            else:
                raise Fault("the action chain of %#x does not end" % (image.base + begin))
    if r.at != sites_end:
        raise Fault("the call-site table of the function %#x overruns its length" %
                    (image.base + begin))
    indexes = set()
    for type_filter in filters:
        if type_filter > 0:
            indexes.add(type_filter)
        else:
            # A negative filter names a throw() list: zero-terminated type indexes after the table.
            allowed = Reader(image, ttype_base + (-type_filter - 1))
            while True:
                index = allowed.uleb()
                if index == 0:
                    break
                indexes.add(index)
    if indexes and ttype_base is None:
        raise Fault("the function %#x catches types but its LSDA has no type table" %
                    (image.base + begin))
    checked = 0
    for index in sorted(indexes):
        size = encoded_size(ttype_encoding)
        where = ttype_base - index * size
        value, _ = Reader(image, where).encoded(ttype_encoding)
        checked += 1
        if value == 0:
            continue  # catch (...)
        resolve_type(image, ttype_encoding, value, where)
    return sites, checked


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("image")
    args = parser.parse_args()
    with open(args.image, "rb") as f:
        image = Image(f.read())
    name = args.image.rsplit("/", 1)[-1]

    faults = []
    entries, empty = function_table(image, faults)
    blocks = {}
    for begin, end, unwind in entries:
        blocks.setdefault(unwind, []).append((begin, end))
    instructions, routines = check_code(image, args.image, args.objdump, entries, faults)

    personalities = {}
    lsdas = sites = types = other_handlers = 0
    for unwind, functions in sorted(blocks.items()):
        try:
            flags, after_codes, handler = unwind_block(image, unwind)
        except Fault as fault:
            faults.append(str(fault))
            continue
        if handler is None:
            continue
        if not is_gcc_personality(image, handler, args.image, args.objdump, personalities):
            other_handlers += 1
            continue
        for begin, end in functions:
            try:
                found_sites, found_types = check_lsda(image, after_codes + 4, begin, end)
            except Fault as fault:
                faults.append("LSDA %#x: %s" % (image.base + after_codes + 4, fault))
                continue
            lsdas += 1
            sites += found_sites
            types += found_types
    if not any(personalities.values()):
        # The program throws C++ exceptions; no table at all means the handler went unrecognised.
        faults.append("no unwind block names GCC's C++ personality: its exception tables were "
                      "not found")

    print("%s: %d function entries (and %d empty), %d unwind blocks, %d instructions read, "
          "%d LSDAs (%d call sites, %d type entries checked), %d blocks with another handler; "
          "without entries by design: %s" %
          (name, len(entries), empty, len(blocks), instructions, lsdas, sites, types,
           other_handlers, ", ".join(routines) or "none"))
    if faults:
        for fault in faults:
            print("FAULT: " + fault)
        sys.stdout.flush()
        sys.exit("%s: %d faults in its unwind data" % (name, len(faults)))
    print("%s: unwind data consistent" % name)


if __name__ == "__main__":
    try:
        main()
    except Fault as fault:
        sys.exit("check_unwind.py: %s" % fault)
