#!/usr/bin/env python3
"""Static checks of the shipped plug-in DLL (stripped, as players get it).

Symbols come from the unstripped build in the symbols archive beside it,
used only after its loaded sections are shown to be the same bytes.
  check_dll.py [--symbols UNSTRIPPED_DLL_OR_SYMBOLS_ZIP] [DLL]
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
OBJDUMP = "i686-w64-mingw32-objdump"
NM = "i686-w64-mingw32-nm"

# The game's code and data this DLL reaches at fixed addresses of runtime
# 1.8.151.0: they must stay literal, never rebased with the DLL.
FIXED_GAME_ADDRESSES = {
    "release": 0x00921EA0,
    "set member": 0x00920560,
    "UI heap word": 0x01B4012C,
}
HANDLERS = ("SKSEScaleform_SaveFile", "SKSEScaleform_ConvertWin1251ToUTF8")
# Forbidden in every function: MMX, AVX (VEX/EVEX forms, wider registers,
# mask registers), MXCSR writes, non-temporal stores, emms.
FORBIDDEN_PATTERN = re.compile(
    r"%mm\d|%[yz]mm\d|%k[0-7]\b|\tv\w+\s.*%xmm\d|\t(ldmxcsr|fxrstor\w*|xrstor\w*|movnt\w*|maskmov\w*|f?emms)\b")
# SSE code, allowed only in the functions of scripts/dll-sse2-functions.txt:
# any XMM register, and the SSE instructions that name none.
SSE_PATTERN = re.compile(r"%xmm\d|\t(sfence|lfence|mfence|clflush\w*|prefetch\w*|stmxcsr)\b")
STACK_OPERAND = re.compile(r"\(%e[sb]p\b")
# An absolute memory operand: the constant pool (not $immediate, not indexed).
ABSOLUTE_OPERAND = re.compile(r"(?<![$\w])0x([0-9a-f]+)(?![\w(])")
# The incoming frame (EBP) stays as the caller left it: only moves that take
# any alignment may reach it.
UNALIGNED_MOVE = re.compile(r"\t(movdqu|movup[sd]|mov[dq]|movs[sd]|mov[lh]p[sd]|pinsrw|pextrw)\s")
REALIGNMENT = re.compile(r"\tand\s+\$0xfffffff0,%esp$")

# Windows releases in order, as dll-imports.txt names them; the game ran on
# Windows XP SP3, so nothing may need a later one.
WINDOWS_VERSIONS = ["2000", "XP", "XP-SP1", "XP-SP2", "XP-SP3", "Vista", "7", "8", "8.1", "10", "11"]
OLDEST_WINDOWS = "XP-SP3"
OLDEST_WINDOWS_NUMBER = (5, 1)

IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_FILE_DLL = 0x2000
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
SCN_EXECUTE = 0x20000000
SCN_WRITE = 0x80000000


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, message):
        print(("ok:   " if ok else "FAIL: ") + message)
        if ok:
            self.passed += 1
        else:
            self.failed += 1
        return ok


class Image:
    """A PE32 image read from its file."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: not a PE image")
        self.machine, count, _, symtab, _, optional_size, self.characteristics = \
            struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", self.data, optional)[0]
        self.image_base = struct.unpack_from("<I", self.data, optional + 28)[0]
        self.os_version = struct.unpack_from("<HH", self.data, optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", self.data, optional + 48)
        self.dll_characteristics = struct.unpack_from("<H", self.data, optional + 70)[0]
        self.directories = [struct.unpack_from("<II", self.data, optional + 96 + 8 * i)
                            for i in range(16)]
        strings = symtab + 18 * struct.unpack_from("<I", self.data, pe + 16)[0] if symtab else 0
        self.sections = []
        for i in range(count):
            at = optional + optional_size + 40 * i
            name = self.data[at:at + 8].rstrip(b"\0").decode()
            if name.startswith("/") and strings:  # long name in the string table
                start = strings + int(name[1:])
                name = self.data[start:self.data.index(b"\0", start)].decode()
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", self.data, at + 8)
            flags = struct.unpack_from("<I", self.data, at + 36)[0]
            self.sections.append(dict(name=name, vsize=vsize, va=va, rawsize=rawsize,
                                      raw=raw, flags=flags))

    def section_bytes(self, section):
        size = min(section["vsize"], section["rawsize"])
        return self.data[section["raw"]:section["raw"] + size]

    def loaded_bytes(self, section):
        """The section as loaded: file offsets in the debug directory zeroed,
        since stripping moves the sections within the file."""
        content = bytearray(self.section_bytes(section))
        rva, size = self.directories[6]
        for i in range(size // 28):
            at = rva + 28 * i + 24 - section["va"]
            if 0 <= at < len(content):
                content[at:at + 4] = bytes(4)
        return bytes(content)

    def offset_of(self, rva):
        for s in self.sections:
            if s["va"] <= rva < s["va"] + max(s["vsize"], s["rawsize"]):
                return s["raw"] + rva - s["va"]
        raise ValueError(f"RVA {rva:#x} outside every section")

    def word(self, rva):
        return struct.unpack_from("<I", self.data, self.offset_of(rva))[0]

    def string(self, rva):
        at = self.offset_of(rva)
        return self.data[at:self.data.index(b"\0", at)].decode()

    def exports(self):
        rva, _ = self.directories[0]
        count, _, _, names = struct.unpack_from("<IIII", self.data, self.offset_of(rva) + 20)
        return sorted(self.string(self.word(names + 4 * i)) for i in range(count))

    def imports(self):
        found = set()
        rva, _ = self.directories[1]
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, self.offset_of(rva))
            if name == 0:
                return found
            dll = self.string(name).lower()
            entry = lookup or thunks
            while self.word(entry):
                value = self.word(entry)
                found.add(f"{dll} " + (f"#{value & 0xFFFF}" if value & 0x80000000
                                       else self.string(value + 2)))
                entry += 4
            rva += 20

    def relocated_rvas(self):
        rvas = set()
        rva, size = self.directories[5]
        at, end = self.offset_of(rva), self.offset_of(rva) + size
        while at < end:
            page, block = struct.unpack_from("<II", self.data, at)
            if block == 0:
                break
            for i in range((block - 8) // 2):
                entry = struct.unpack_from("<H", self.data, at + 8 + 2 * i)[0]
                if entry >> 12:
                    rvas.add(page + (entry & 0xFFF))
            at += block
        return rvas

    def build_id(self):
        rva, size = self.directories[6]
        for i in range(size // 28):
            kind, _, address = struct.unpack_from("<III", self.data, self.offset_of(rva + 28 * i) + 12)
            if kind == 2:  # CodeView: "RSDS", GUID, age
                at = self.offset_of(address)
                return self.data[at + 4:at + 24].hex()
        return None

    def tls_callbacks(self):
        rva, size = self.directories[9]
        if not size:
            return []
        callbacks_va = self.word(rva + 12)
        found = []
        while callbacks_va and self.word(callbacks_va - self.image_base):
            found.append(self.word(callbacks_va - self.image_base))
            callbacks_va += 4
        return found


class Symbols:
    def __init__(self, path):
        listing = subprocess.run([NM, "-C", path], check=True, capture_output=True, text=True).stdout
        self.by_name = {}
        self.code_by_address = {}
        fallback = {}
        for line in listing.splitlines():
            parts = line.split(" ", 2)
            if len(parts) < 3 or not parts[0]:  # undefined symbols have no address
                continue
            address, kind, name = int(parts[0], 16), parts[1], parts[2]
            self.by_name.setdefault(name, address)
            if kind in "Tt" and not name.startswith("."):
                self.code_by_address.setdefault(address, name)
            elif kind in "Tt":  # code known only by its section, as in libstdc++
                fallback.setdefault(address, re.sub(r"^\.text\.[a-z]+\.", "", name))
        for address, name in fallback.items():
            self.code_by_address.setdefault(address, name)

    def address(self, name):
        return self.by_name.get(name)

    def name_at(self, address):
        return self.code_by_address.get(address, f"0x{address:08x}")


def disassemble(path, start=None, stop=None, demangle=False):
    command = [OBJDUMP, "-d", "--no-show-raw-insn" if start is not None or demangle else "-w", path]
    if demangle:
        command += ["-C", "-w"]
    if start is not None:
        command += [f"--start-address={start:#x}", f"--stop-address={stop:#x}"]
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def function_returns(path, symbols, address):
    """The return instructions of the function starting at address."""
    following = sorted(a for a in symbols.code_by_address if a > address)
    end = following[0] if following else address + 4096
    body = disassemble(path, address, end)
    return re.findall(r"\tret[ ]*(\S*)", body)


def expected_lines(name):
    with open(os.path.join(HERE, name)) as f:
        return {line.strip() for line in f if line.strip() and not line.startswith("#")}


def imports_with_versions():
    """The reviewed imports, 'dll function', each with its first Windows."""
    versions = {}
    for line in expected_lines("dll-imports.txt"):
        dll, function, version = (line.split() + ["", ""])[:3]
        versions[f"{dll} {function}"] = version
    return versions


def check_import_versions(report, versions):
    too_new = [f"{name} ({version or 'no version'})" for name, version in sorted(versions.items())
               if version not in WINDOWS_VERSIONS
               or WINDOWS_VERSIONS.index(version) > WINDOWS_VERSIONS.index(OLDEST_WINDOWS)]
    report.check(not too_new, f"imports: every one in Windows {OLDEST_WINDOWS}"
                 + (f" (not: {', '.join(too_new)})" if too_new else ""))


def check_exact_list(report, found, list_name, what, listed=None):
    """found must be exactly the reviewed list: anything new fails until listed."""
    listed = expected_lines(list_name) if listed is None else listed
    for extra in sorted(found - listed):
        report.check(False, f"{what}: not in scripts/{list_name}: {extra}")
    for gone in sorted(listed - found):
        report.check(False, f"{what}: listed in scripts/{list_name} but absent: {gone}")
    if found == listed:
        report.check(True, f"{what}: exactly the {len(listed)} listed in scripts/{list_name}")


def load_symbols_file(dll, given, workdir):
    candidate = given or os.path.join(os.path.dirname(dll), "quiverleaf_extensions-symbols.zip")
    if candidate.endswith(".zip"):
        with zipfile.ZipFile(candidate) as archive:
            archive.extract("quiverleaf_extensions.dll", workdir)
        return os.path.join(workdir, "quiverleaf_extensions.dll")
    return candidate


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dll", nargs="?",
                        default=os.path.join(HERE, "..", "dist", "quiverleaf_extensions.dll"))
    parser.add_argument("--symbols", help="unstripped DLL, or the symbols zip (default: beside DLL)")
    args = parser.parse_args()
    report = Report()
    try:
        image = Image(args.dll)
    except (OSError, ValueError, struct.error) as error:
        report.check(False, f"readable PE image: {error}")
        return finish(report)

    # Header.
    report.check(image.machine == 0x14C and image.magic == 0x10B, "PE32 image for i386")
    report.check(image.characteristics & IMAGE_FILE_DLL, "marked as a DLL")
    report.check(not image.characteristics & IMAGE_FILE_RELOCS_STRIPPED and image.directories[5][1] > 0,
                 "base relocations present")
    report.check(image.dll_characteristics & DYNAMIC_BASE and image.dll_characteristics & NX_COMPAT,
                 "DYNAMIC_BASE and NX_COMPAT set")
    writable_code = [s["name"] for s in image.sections
                     if s["flags"] & SCN_EXECUTE and s["flags"] & SCN_WRITE]
    report.check(not writable_code, "no section both writable and executable"
                 + (f" (found: {', '.join(writable_code)})" if writable_code else ""))

    # Interface to the loader.
    exports = image.exports()
    report.check(exports == ["SKSEPlugin_Load", "SKSEPlugin_Query"],
                 f"exports exactly SKSEPlugin_Load SKSEPlugin_Query (found: {' '.join(exports)})")
    versions = imports_with_versions()
    check_exact_list(report, image.imports(), "dll-imports.txt", "imports", set(versions))
    check_import_versions(report, versions)
    for what, version in (("operating system", image.os_version), ("subsystem", image.subsystem_version)):
        report.check(version <= OLDEST_WINDOWS_NUMBER,
                     f"{what} version {version[0]}.{version[1]} at most "
                     f"{OLDEST_WINDOWS_NUMBER[0]}.{OLDEST_WINDOWS_NUMBER[1]} (Windows XP)")

    resource = next((image.section_bytes(s) for s in image.sections if s["name"] == ".rsrc"), b"")
    text = resource.decode("utf-16-le", errors="replace")
    value = {key: re.search(key + r"\0+([^\0]*)", text) for key in
             ("ProductName", "ProductVersion", "FileVersion", "SourceCommit")}
    report.check(all(value.values()) and value["ProductName"].group(1) == "quiverleaf_extensions"
                 and value["ProductVersion"].group(1) == "3" and value["FileVersion"].group(1) == "3"
                 and re.fullmatch(r"[0-9a-f]{40}(-modified)?", value["SourceCommit"].group(1)),
                 "version resource: quiverleaf_extensions, version 3, source commit "
                 + (value["SourceCommit"].group(1) if value["SourceCommit"] else "missing"))

    # Code: nothing that a processor or the game's state may not bear.
    listing = disassemble(args.dll)
    forbidden = [line.strip() for line in listing.splitlines()
                 if "\t" in line and FORBIDDEN_PATTERN.search(line)]
    report.check(not forbidden, "no MMX, AVX, MXCSR write, non-temporal store or emms"
                 + (f" (first: {forbidden[0]})" if forbidden else ""))

    # The game's fixed addresses stay literal: present and never relocated.
    relocated = image.relocated_rvas()
    for what, address in FIXED_GAME_ADDRESSES.items():
        pattern = struct.pack("<I", address)
        places = []
        for line in listing.splitlines():
            match = re.match(r"\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )+)\s*\t(.*)", line)
            if not match or f"0x{address:x}" not in match.group(3):
                continue
            code = bytes.fromhex(match.group(2))
            if pattern in code:
                places.append(int(match.group(1), 16) - image.image_base + code.index(pattern))
        report.check(places and not relocated.intersection(places),
                     f"{what} address 0x{address:08X} used as a literal "
                     f"{len(places)} time(s), never relocated")

    # Everything below needs symbols: proven to belong to these bytes first.
    with tempfile.TemporaryDirectory() as workdir:
        try:
            symbols_path = load_symbols_file(args.dll, args.symbols, workdir)
            unstripped = Image(symbols_path)
        except (OSError, KeyError, ValueError, zipfile.BadZipFile) as error:
            report.check(False, f"symbols for {args.dll}: {error}")
            return finish(report)
        loaded = {s["name"]: s for s in unstripped.sections}
        same = image.build_id() is not None and image.build_id() == unstripped.build_id()
        same = same and all(s["name"] in loaded and s["va"] == loaded[s["name"]]["va"] and
                            image.loaded_bytes(s) == unstripped.loaded_bytes(loaded[s["name"]])
                            for s in image.sections)
        if not report.check(same, "symbols file has the same build id and section bytes"):
            return finish(report)
        symbols = Symbols(symbols_path)

        for handler in HANDLERS:
            table = symbols.address(f"MsvcHandlerVtable<{handler}>::table")
            if not report.check(table is not None, f"{handler}: handler table found"):
                continue
            slots = [image.word(table - image.image_base + 4 * i) for i in range(2)]
            names = [symbols.name_at(slot) for slot in slots]
            report.check(names[0].startswith(f"MsvcHandlerVtable<{handler}>::ScalarDeletingDestructor("),
                         f"{handler} slot 0: {names[0]}")
            report.check(names[1].startswith(f"MsvcHandlerVtable<{handler}>::HandleCall("),
                         f"{handler} slot 1: {names[1]}")
            for slot, name in zip(slots, names):
                returns = function_returns(symbols_path, symbols, slot)
                report.check(returns and all(r == "$0x4" for r in returns),
                             f"{name.split('(')[0]} returns with ret $0x4 (thiscall, one argument)")

        for name in ("SKSEPlugin_Query", "SKSEPlugin_Load", "RegisterScaleform(UiMovie*, UiValue*)"):
            address = symbols.address(name)
            returns = function_returns(symbols_path, symbols, address) if address else []
            report.check(returns and all(r == "" for r in returns),
                         f"{name.split('(')[0]} returns with a plain ret (cdecl)")

        # Load-time actions: TLS callbacks and static constructors, by name.
        actions = {f"tls-callback {symbols.name_at(a)}" for a in image.tls_callbacks()}
        constructors = symbols.address("__CTOR_LIST__")
        if report.check(constructors is not None, "static constructor list found"):
            at = constructors + 4  # after the -1 that opens the list
            while image.word(at - image.image_base):
                actions.add(f"constructor {symbols.name_at(image.word(at - image.image_base))}")
                at += 4
        check_exact_list(report, actions, "dll-load-actions.txt", "load-time actions")
        check_sse_functions(report, symbols_path)
    return finish(report)


def functions_of(path):
    """(name, [instruction lines]) for each function of the disassembly."""
    functions = []
    for line in disassemble(path, demangle=True).splitlines():
        label = re.match(r"[0-9a-f]+ <(.*)>:$", line)
        if label:
            functions.append((re.sub(r" \[clone [^]]*\]", "", label.group(1)), []))
        elif functions and re.match(r"\s*[0-9a-f]+:\t", line):
            functions[-1][1].append(line.rstrip())
    return functions


def check_sse_functions(report, path):
    """SSE code only in the listed functions (and their compiler copies); there
    no XMM stack operand unless the function realigned ESP before it (the game
    calls in with ESP only 4-byte aligned), and constant-pool operands 16-byte
    aligned. The listed functions' SSE2 is chosen at run time."""
    listed = expected_lines("dll-sse2-functions.txt")
    found = set()
    for name, lines in functions_of(path):
        owner = next((f for f in listed if name.startswith(f + "(")), None)
        sse = [line for line in lines if SSE_PATTERN.search(line)]
        if owner is None:
            if sse:
                report.check(False, f"SSE code outside scripts/dll-sse2-functions.txt, in {name}: "
                             + sse[0].split(":", 1)[1].strip())
            continue
        found.add(owner)
        realigned = False
        faults = []
        for line in lines:
            realigned = realigned or bool(REALIGNMENT.search(line))
            if not SSE_PATTERN.search(line):
                continue
            instruction = line.split(":", 1)[1].strip()
            if STACK_OPERAND.search(line) and not (realigned and ("(%esp" in line or UNALIGNED_MOVE.search(line))):
                faults.append(f"stack operand without realigned ESP: {instruction}")
            if any(int(a, 16) % 16 for a in ABSOLUTE_OPERAND.findall(line.split("\t")[-1])):
                faults.append(f"constant-pool operand not 16-byte aligned: {instruction}")
        report.check(not faults, f"{name}: XMM stack operands only after realigning ESP, constant-pool "
                     f"operands 16-byte aligned" + (f" (first fault: {faults[0]})" if faults else ""))
    for absent in sorted(listed - found):
        report.check(False, f"listed in scripts/dll-sse2-functions.txt but absent: {absent}")
    if found == listed:
        report.check(True, f"SSE code only in the {len(listed)} functions of scripts/dll-sse2-functions.txt")


def finish(report):
    print(f"{report.passed} passed, {report.failed} failed: dll static checks")
    return 0 if report.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
