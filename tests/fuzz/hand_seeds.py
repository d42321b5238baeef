#!/usr/bin/env python3
# Writes the hand-made seeds of the plug-in's fuzz targets, each carrying a host's malformed
# input that the targets' promises must survive:
#   hand_seeds.py dispatcher tests/fuzz/corpus/dispatcher_fuzz/null_records
#   hand_seeds.py events tests/fuzz/corpus/events_fuzz/malformed_lists
# The bytes follow FuzzedDataProvider's layout: strings read from the front, integers from the
# back (the last byte first, most significant first), in the order the target consumes them.
import sys
class Seed:
    def __init__(self): self.front = bytearray(); self.tail = bytearray()
    def range(self, lo, hi, v, bits=32):
        r, n, off = hi - lo, 0, 0
        while off < bits and (r >> off) > 0: n += 1; off += 8
        x = v - lo
        assert 0 <= x <= r
        self.tail += x.to_bytes(n, 'big') if n else b''
    def bool(self, b): self.range(0, 255, 1 if b else 0, 8)
    def integral(self, v, bits): self.tail += (v % (1 << bits)).to_bytes(bits // 8, 'big')
    def string(self, s): self.front += s.replace(b'\\', b'\\\\') + b'\\\x01'
    def bytes(self): return bytes(self.front) + bytes(reversed(self.tail))

# Every opcode that writes or reads through ptr, with no buffer (the record readers through
# index -2).
def dispatcher_null_records():
    s = Seed()
    s.bool(False)  # the instance without an editor
    for opcode in [5, 6, 7, 8, 4, 45, 47, 48, 29, 25, 23, 24]:
        s.range(0, 9, 4)  # DispatchOne
        s.range(0, 79 + 2, opcode)
        special = opcode in (4, 25, 24)
        s.bool(True); s.range(-2, 1601, -2 if special else 1)
        s.bool(True); s.range(-2, 20, 0, 64)
        s.bool(False); s.range(0, 7, 1); s.bool(True)  # opt 0
        if opcode == 25:
            s.range(0, 48, 0); s.range(0, 31, 5)
        elif opcode in (4, 24):
            s.string(b'')
        else:
            s.range(0, 15, 0)  # null ptr
    return s.bytes()

# A list of a note (byteSize 0), null entries and a SysEx; then the same with a negative and an
# absurd count.
def events_malformed_lists():
    s = Seed()
    s.range(0, 15, 0)  # program 0
    for _ in range(6): s.integral(0x80000000, 32)  # mode, tempo, arpeggio: mid values
    for corrupt, extra in [(5, None), (0, 3), (1, 0x7fffffff)]:
        s.range(0, 7, 1)  # no parameter change
        s.range(0, 48, 4)
        # a note on with byteSize 0, a null entry, a SysEx, a null entry
        s.range(0, 15, 2); s.integral(0, 32); s.range(0, 511, 0)
        s.bool(True); s.range(0, 5, 0); s.range(0, 15, 0); s.integral(60, 8); s.integral(100, 8)
        for kind in (4, 0, 4):
            s.range(0, 15, kind); s.range(0, 511, 0)
            s.bool(True); s.range(0, 5, 1); s.range(0, 15, 0); s.integral(60, 8); s.integral(0, 8)
        s.range(0, 31, corrupt)
        if corrupt == 0: s.range(1, 2**31 - 1, extra)
        if corrupt == 1: s.range(1 << 17, 2**31 - 1, extra)
        s.range(0, 1024, 64); s.bool(True)
    return s.bytes()

which, out = sys.argv[1], sys.argv[2]
open(out, 'wb').write({'dispatcher': dispatcher_null_records, 'events': events_malformed_lists}[which]())
