#!/usr/bin/env python3
"""Instructions a qemu-i386 run executed between the end of count_begin and
the call of count_end, from its log of `-d in_asm,exec,nochain`: each
executed translation block (one "Trace" line) counts the instructions that
its "IN:" listing shows. A `rep` string instruction counts once per
iteration, as qemu runs each iteration as a block of its own.
  count_instructions.py LOG BEGIN END [PROGRAM]
BEGIN and END are the two functions' addresses (hex). With PROGRAM, the
static executable the log comes from, a line per function follows the
total: its instructions and its name, the largest first.
"""
import bisect
import re
import subprocess
import sys

ADDRESS = re.compile(r"^0x([0-9a-f]+):\s")
TRACE = re.compile(r"^Trace \d+: 0x[0-9a-f]+ \[[0-9a-f]+/([0-9a-f]+)/[0-9a-f]+/[0-9a-f]+\]")


def function_names(program):
    """Addresses and names of the program's functions, in address order."""
    listing = subprocess.run(["nm", "-n", program], capture_output=True, text=True, check=True).stdout
    found = []
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[1] in "tT":
            found.append((int(fields[0], 16), fields[2]))
    return found


def main(path, begin, end, program=None):
    functions = function_names(program) if program else []
    starts = [address for address, _ in functions]
    per_function = {}
    listed = {}  # block address -> instructions, from the latest listing
    block, size = None, 0
    counting, total, blocks = False, 0, 0
    with open(path, errors="replace") as log:
        for line in log:
            if line.startswith("IN:"):
                block, size = None, 0
                continue
            match = ADDRESS.match(line)
            if match:
                if block is None:
                    block = int(match.group(1), 16)
                size += 1
                continue
            if block is not None and not line.strip():
                listed[block] = size
                block, size = None, 0
                continue
            match = TRACE.match(line)
            if not match:
                continue
            if block is not None:
                listed[block] = size
                block, size = None, 0
            address = int(match.group(1), 16)
            if address == begin:
                counting, total, blocks = True, 0, 0
                continue
            if address == end:
                print(total, blocks)
                for count, name in sorted(((c, n) for n, c in per_function.items()), reverse=True):
                    print(f"  {count:>10} {name}")
                return 0
            if counting:
                total += listed[address]
                blocks += 1
                if functions:
                    name = functions[bisect.bisect_right(starts, address) - 1][1]
                    per_function[name] = per_function.get(name, 0) + listed[address]
    print("no count_end in the log", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2], 16), int(sys.argv[3], 16), *sys.argv[4:5]))
