#!/usr/bin/env python3
"""scripts/check-dll.sh refuses two broken copies of the shipped DLL, each
patched alike in the stripped DLL and in its symbols, and for that reason
alone: one SSE2 function without its stack realignment (its XMM stack
operands then meet ESP as the game leaves it), and SSE code in a function
that is not listed.
  tests/shipped/check-dll-refusals.py SHIPPED_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import check_dll  # noqa: E402

NOP3 = bytes.fromhex("0f1f00")
PXOR = bytes.fromhex("660fefc0")  # pxor %xmm0,%xmm0


def realignment_in_sse_function(path, image):
    """The RVA of `and $-16,%esp` in a listed function that keeps XMM values on the stack."""
    listed = check_dll.expected_lines("dll-sse2-functions.txt")
    for name, lines in check_dll.functions_of(path):
        if not any(name.startswith(f + "(") for f in listed):
            continue
        if not any(check_dll.SSE_PATTERN.search(line) and check_dll.STACK_OPERAND.search(line) for line in lines):
            continue
        for line in lines:
            if check_dll.REALIGNMENT.search(line):
                return name, int(line.split(":")[0], 16) - image.image_base
    return None, None


def function_start(path, image, wanted):
    listing = subprocess.run([check_dll.NM, "-C", path], check=True, capture_output=True, text=True).stdout
    for line in listing.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] in "Tt" and parts[2].startswith(wanted + "("):
            return int(parts[0], 16) - image.image_base
    return None


def patched_copy(work, name, stripped, unstripped, rva, patch):
    """Both DLLs with `patch` at `rva`, the symbols zipped beside the stripped one."""
    directory = os.path.join(work, name)
    os.makedirs(directory)
    dll = os.path.join(directory, "quiverleaf_extensions.dll")
    symbols = os.path.join(work, name + "-symbols.dll")
    for source, target in ((stripped, dll), (unstripped, symbols)):
        shutil.copyfile(source, target)
        at = check_dll.Image(target).offset_of(rva)
        with open(target, "r+b") as f:
            f.seek(at)
            f.write(patch)
    with zipfile.ZipFile(os.path.join(directory, "quiverleaf_extensions-symbols.zip"), "w") as archive:
        archive.write(symbols, "quiverleaf_extensions.dll")
    return dll


def expect_refusal(label, dll, reason):
    run = subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "check_dll.py"), dll],
                         capture_output=True, text=True)
    failures = [line for line in run.stdout.splitlines() if line.startswith("FAIL")]
    ok = run.returncode != 0 and len(failures) == 1 and re.search(reason, failures[0])
    print(("ok:   " if ok else "FAIL: ") + label + (f" ({failures[0][len('FAIL: '):]})" if ok else ""))
    if not ok:
        print("\n".join("    " + line for line in failures or run.stdout.splitlines()[-3:]))
    return bool(ok)


def main():
    shipped = sys.argv[1]
    stripped = os.path.join(shipped, "quiverleaf_extensions.dll")
    with tempfile.TemporaryDirectory() as work:
        unstripped = check_dll.load_symbols_file(stripped, None, work)
        image = check_dll.Image(unstripped)
        results = []
        name, rva = realignment_in_sse_function(unstripped, image)
        if rva is None:
            print("FAIL: no listed function keeps XMM values on a realigned stack, so none can lose it")
            results.append(False)
        else:
            dll = patched_copy(work, "unaligned", stripped, unstripped, rva, NOP3)
            results.append(expect_refusal(f"refused without the realignment of {name.split('(')[0]}", dll,
                                          r"stack operand without realigned ESP"))
        rva = function_start(unstripped, image, "win1251::RepairScalar")
        if rva is None:
            print("FAIL: win1251::RepairScalar not found")
            results.append(False)
        else:
            dll = patched_copy(work, "unlisted", stripped, unstripped, rva, PXOR)
            results.append(expect_refusal("refused with SSE code in the unlisted win1251::RepairScalar", dll,
                                          r"SSE code outside .*win1251::RepairScalar"))
    print(f"{results.count(True)} passed, {results.count(False)} failed: check-dll refusals")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
