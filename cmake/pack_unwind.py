#!/usr/bin/env python3
"""Shares identical unwind blocks in a linked PE image.

Every function with an unwind entry gets its own unwind block from the assembler, yet most
functions open the same way (push two registers, reserve 40 bytes): about half the blocks are
copies of another one. Two blocks whose bytes are the same in the linked image describe the same
unwinding, their handler and handler data included (those are image-relative addresses, already
resolved), so one copy can serve both.

The linker script puts the unwind blocks last in .rdata. Here every block that a function-table
entry names is kept once, the entries are pointed at the kept copies, and .rdata ends earlier; the
sections after it move down in the file, keeping their addresses. Only the function table refers
to the blocks (no base relocation lands in them, checked); anything unexpected stops the build.

Used by cmake/link_live_unwind.py on the linked file:  pack_unwind.py IMAGE
"""
import struct
import sys

EXCEPTION_DIRECTORY = 3
SECURITY_DIRECTORY = 4
BASE_RELOC_DIRECTORY = 5
UNW_FLAG_CHAININFO = 4


class Image:
    def __init__(self, data):
        self.data = bytearray(data)
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        self.sections_count, = struct.unpack_from("<H", data, self.pe + 6)
        self.symbols_at = self.pe + 12
        optional_size, = struct.unpack_from("<H", data, self.pe + 20)
        self.optional = self.pe + 24
        if struct.unpack_from("<H", data, self.optional)[0] != 0x20B:
            raise ValueError("not a PE32+ image")
        self.image_base, = struct.unpack_from("<Q", data, self.optional + 24)
        self.file_alignment, = struct.unpack_from("<I", data, self.optional + 36)
        self.directories = self.optional + 112
        self.section_table = self.optional + optional_size

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def sections(self):
        for i in range(self.sections_count):
            at = self.section_table + 40 * i
            virtual_size, rva, raw_size, raw_at = struct.unpack_from("<IIII", self.data, at + 8)
            yield at, virtual_size, rva, raw_size, raw_at

    def section_of(self, rva):
        for section in self.sections():
            _, virtual_size, start, _, _ = section
            if start <= rva < start + virtual_size:
                return section
        raise ValueError("address %#x is in no section" % rva)

    def offset(self, rva):
        _, _, start, _, raw_at = self.section_of(rva)
        return raw_at + rva - start


def relocated_addresses(image):
    rva, size = image.directory(BASE_RELOC_DIRECTORY)
    if size == 0:
        return
    at = image.offset(rva)
    end = at + size
    while at + 8 <= end:
        page, block_size = struct.unpack_from("<II", image.data, at)
        if block_size < 8:
            raise ValueError("malformed base relocations")
        for i in range(8, block_size, 2):
            entry, = struct.unpack_from("<H", image.data, at + i)
            if entry >> 12:
                yield page + (entry & 0xFFF)
        at += block_size


def checksum(data, checksum_at):
    total = 0
    padded = bytes(data) + b"\0" * (len(data) % 2)
    for i in range(0, len(padded), 2):
        if checksum_at <= i < checksum_at + 4:
            continue
        total += padded[i] | padded[i + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def blocks_with_handlers(data):
    """The image's base and the addresses of its unwind blocks that name a handler."""
    image = Image(data)
    table_rva, table_size = image.directory(EXCEPTION_DIRECTORY)
    found = set()
    for i in range(table_size // 12):
        block, = struct.unpack_from("<I", image.data, image.offset(table_rva) + 12 * i + 8)
        if (image.data[image.offset(block)] >> 3) & 3:
            found.add(block)
    return image.image_base, found


def pack(data):
    """Returns the image with its unwind blocks shared, and the bytes it saved."""
    image = Image(data)
    if image.directory(SECURITY_DIRECTORY)[1]:
        raise ValueError("a signed image cannot be packed")
    table_rva, table_size = image.directory(EXCEPTION_DIRECTORY)
    if table_size == 0:
        return bytes(data), 0, 0, 0
    table_at = image.offset(table_rva)
    entries = [table_at + 12 * i + 8 for i in range(table_size // 12)]
    blocks = sorted({struct.unpack_from("<I", image.data, e)[0] for e in entries})

    header_at, virtual_size, section_rva, raw_size, raw_at = image.section_of(blocks[0])
    region_end = section_rva + virtual_size
    if blocks[-1] >= region_end or blocks[0] % 4:
        raise ValueError("the unwind blocks are not the end of one section")
    if any(blocks[0] <= rva < region_end for rva in relocated_addresses(image)):
        raise ValueError("a base relocation lands in the unwind blocks")

    def block_bytes(i):
        start = blocks[i]
        end = blocks[i + 1] if i + 1 < len(blocks) else region_end
        at = image.offset(start)
        return bytes(image.data[at:at + end - start])

    handlers = []
    for i, start in enumerate(blocks):
        block = block_bytes(i)
        if len(block) < 4 or block[0] & 7 != 1 or (block[0] >> 3) & UNW_FLAG_CHAININFO:
            raise ValueError("unexpected unwind block at %#x" % start)
        # A block is its header and codes (an even number of slots), then with a handler the
        # handler's address and its data, whose length only the handler knows (a C++ function's
        # exception table, a scope table for the C runtime's handler). Without a handler the
        # block must be exactly that long, so that nothing else is taken for part of one.
        size = 4 + 2 * (block[2] + block[2] % 2)
        has_handler = bool((block[0] >> 3) & 3)
        if len(block) < size + (4 if has_handler else 0) or (not has_handler and len(block) != size):
            raise ValueError("the unwind block at %#x has %d bytes" % (start, len(block)))
        handlers.append(has_handler)

    # A handler's data may refer to other data relative to its own place (the type table of a
    # C++ exception table does), so a block with a handler never moves, nor does anything before
    # it. The link puts those blocks first (cmake/link_live_unwind.py); the blocks after the last
    # of them hold nothing but their codes and may move and be shared.
    first_movable = max((i + 1 for i, h in enumerate(handlers) if h), default=0)
    placed = {}  # block bytes -> address of the copy kept
    moved = {}  # old address -> new address
    for i in range(first_movable):
        moved[blocks[i]] = blocks[i]
        if not handlers[i]:
            placed.setdefault(block_bytes(i), blocks[i])
    packing_start = blocks[first_movable] if first_movable < len(blocks) else region_end
    packed_region = bytearray()
    for i in range(first_movable, len(blocks)):
        block = block_bytes(i)
        if block not in placed:
            placed[block] = packing_start + len(packed_region)
            packed_region += block
        moved[blocks[i]] = placed[block]
    for e in entries:
        old, = struct.unpack_from("<I", image.data, e)
        struct.pack_into("<I", image.data, e, moved[old])

    region_at = image.offset(packing_start) if packing_start < region_end else raw_at + virtual_size
    new_virtual_size = packing_start + len(packed_region) - section_rva
    alignment = image.file_alignment
    new_raw_size = -(-new_virtual_size // alignment) * alignment
    saved = raw_size - new_raw_size
    section_bytes = bytearray(image.data[raw_at:region_at]) + packed_region
    section_bytes += b"\0" * (new_raw_size - len(section_bytes))

    out = bytearray(image.data[:raw_at]) + section_bytes + image.data[raw_at + raw_size:]
    struct.pack_into("<I", out, header_at + 8, new_virtual_size)
    struct.pack_into("<I", out, header_at + 16, new_raw_size)
    for at, _, _, _, later_raw_at in image.sections():
        if later_raw_at > raw_at:
            struct.pack_into("<I", out, at + 20, later_raw_at - saved)
    symbols, = struct.unpack_from("<I", out, image.symbols_at)
    if symbols > raw_at:
        struct.pack_into("<I", out, image.symbols_at, symbols - saved)
    initialized, = struct.unpack_from("<I", out, image.optional + 8)
    struct.pack_into("<I", out, image.optional + 8, initialized - saved)
    checksum_at = image.optional + 64
    if struct.unpack_from("<I", out, checksum_at)[0]:
        struct.pack_into("<I", out, checksum_at, checksum(out, checksum_at))
    entry_rvas = [table_rva + 12 * i + 8 for i in range(len(entries))]
    check(Image(data), Image(out), entry_rvas, packing_start,
          {blocks[i]: block_bytes(i) for i in range(len(blocks))})
    return bytes(out), saved, len(blocks), len(set(moved.values()))


def check(before, after, entries, packing_start, blocks):
    """Every section reads as before, but for the unwind blocks and the function table's links to
    them; every entry of the table names a block with its old bytes."""
    def masked(image):
        copy = bytearray(image.data)
        for rva in entries:
            at = image.offset(rva)
            copy[at:at + 4] = b"\0\0\0\0"
        return copy

    old_data, new_data = masked(before), masked(after)
    for (_, _, rva, old_raw, old_at), (_, size, _, _, new_at) in zip(before.sections(),
                                                                      after.sections()):
        kept = min(size, old_raw)
        if rva <= packing_start < rva + old_raw:
            kept = packing_start - rva
        if old_data[old_at:old_at + kept] != new_data[new_at:new_at + kept]:
            raise ValueError("packing changed the section at %#x" % rva)
    for rva in entries:
        old, = struct.unpack_from("<I", before.data, before.offset(rva))
        new, = struct.unpack_from("<I", after.data, after.offset(rva))
        at = after.offset(new)
        if after.data[at:at + len(blocks[old])] != blocks[old]:
            raise ValueError("the function-table entry at %#x lost its unwind block" % rva)


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = f.read()
    try:
        packed, saved, blocks, kept = pack(data)
    except ValueError as error:
        sys.exit("pack_unwind.py: %s: %s" % (path, error))
    with open(path, "wb") as f:
        f.write(packed)
    print("pack_unwind.py: %d unwind blocks, %d kept, %d bytes fewer" % (blocks, kept, saved))


if __name__ == "__main__":
    main()
