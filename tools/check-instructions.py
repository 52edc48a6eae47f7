#!/usr/bin/env python3
"""Checks that programs run on an 80386 with an 80387: every instruction in their executable
sections must belong to the 80386/80387 instruction set.

Disassembles each section that holds code or may be executed (objdump, Intel syntax) and fails
on any instruction outside that set (CMOV, FCMOV, FCOMI, BSWAP, CMPXCHG, XADD, CPUID, RDTSC,
SYSENTER, long NOPs, MMX and SSE registers, ...) and on bytes that decode to no instruction.
The programs are stripped; their linker map (EXECUTABLE with .map instead of .exe, when it
exists) names the function around each address: the nearest symbol at or before it, or else
the function's own section (.text$NAME, demangled), with the object file it came from. The
map also marks the data that the linker puts into .text (the constructor and destructor
lists), which is left out. Without a map an address is named by section and offset.

Also lists what the program took from libgcc, as the map records it.

Usage: check-instructions.py [--objdump TOOL] EXECUTABLE...
"""
import bisect
import os
import re
import struct
import subprocess
import sys

from exe_checks import PE32_MAGIC, PeError, PeImage, report

SCN_CNT_CODE = 0x20
SCN_MEM_EXECUTE = 0x20000000

# The 80386's instructions (with those of the 8086, 80186 and 80286) and the 80387's, as
# objdump spells them in Intel syntax.
I386 = set("""
aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cdq clc cld cli clts cmc
cmp cmps cmpsb cmpsd cmpsw cwd cwde daa das dec div enter hlt idiv imul in inc ins insb insd insw
int int3 into iret iretd iretw ja jae jb jbe jcxz je jecxz jg jge jl jle jmp jne jno jnp jns jo
jp js lahf lar lds lea leave les lfs lgdt lgs lidt lldt lmsw lods lodsb lodsd lodsw loop loope
loopne lsl lss ltr mov movs movsb movsd movsw movsx movzx mul neg nop not or out outs outsb outsd
outsw pop popa popad popaw popf popfd popfw push pusha pushad pushaw pushf pushfd pushfw rcl rcr
ret retf rol ror sahf sal sar sbb scas scasb scasd scasw seta setae setb setbe sete setg setge
setl setle setne setno setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw stc std
sti stos stosb stosd stosw str sub test verr verw wait xchg xlat xor
""".split())
I387 = set("""
f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcom fcomp fcompp fcos fdecstp fdisi fdiv fdivp
fdivr fdivrp feni ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fist fistp
fisub fisubr fld fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex
fndisi fneni fninit fnop fnsave fnstcw fnstenv fnstsw fpatan fprem fprem1 fptan frndint frstor
fsave fscale fsetpm fsin fsincos fsqrt fst fstcw fstenv fstp fstsw fsub fsubp fsubr fsubrp ftst
fucom fucomp fucompp fwait fxam fxch fxtract fyl2x fyl2xp1
""".split())
ALLOWED = I386 | I387

# Prefixes objdump prints as words of their own before the instruction.
PREFIXES = set("rep repe repz repne repnz lock cs ds es fs gs ss data16 data32 addr16 addr32".split())

# Where a newer instruction comes from, for the message.
ORIGINS = [
    (re.compile(r"^(bswap|cmpxchg|xadd|invd|wbinvd|invlpg)$"), "80486"),
    (re.compile(r"^(cpuid)$"), "late 80486 / Pentium"),
    (re.compile(r"^(rdtsc|rdmsr|wrmsr|cmpxchg8b|rsm)$"), "Pentium"),
    (re.compile(r"^(cmov\w+|fcmov\w+|fcomip?|fucomip?|ud2|rdpmc)$"), "Pentium Pro"),
    (re.compile(r"^(sysenter|sysexit)$"), "Pentium II"),
    (re.compile(r"^(syscall|sysret)$"), "AMD K6-2"),
    (re.compile(r"^nop$"), "Pentium Pro (long NOP)"),
    (re.compile(r"^(endbr32|endbr64)$"), "CET, decodes as a long NOP (Pentium Pro)"),
]
MMX_REGISTER = re.compile(r"\bmm[0-7]\b")
SSE_REGISTER = re.compile(r"\b[xyz]mm\d+\b")

LINE = re.compile(r"^\s*([0-9a-f]+):\t[0-9a-f ]+\t(.*)$")


def executable_sections(path):
    """(name, start address, size) of each section of the PE image that holds or runs code."""
    with open(path, "rb") as f:
        image = PeImage(f.read())
    if image.magic != PE32_MAGIC:
        raise PeError("not a PE32 image")
    # Beyond the raw data the loader fills with zeros.
    return [(section.name, image.image_base + section.address,
             min(section.virtual_size or section.raw_size, section.raw_size))
            for section in image.sections if section.flags & (SCN_CNT_CODE | SCN_MEM_EXECUTE)]


class LinkerMap:
    """What a GNU ld map tells about addresses: labels (symbols and input sections, each with
    its object file) and the ranges of data that the link script puts between code."""

    INPUT_SECTION = re.compile(r"^ (\S+)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.*))?$")
    PLACEMENT = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.*)$")
    SYMBOL = re.compile(r"^\s+0x([0-9a-f]+)\s+(\S.*)$")
    DATA_STATEMENT = re.compile(r"^(LONG|SHORT|BYTE|QUAD|SQUAD)\b")
    # Input sections of pointers that ld's PE script puts into .text.
    DATA_SECTION = re.compile(r"^\.(ctors|dtors|ctor|dtor|init_array|fini_array)(\.|$)")

    def __init__(self, path):
        self.labels = []      # (address, name, mangled?, object)
        self.data = []        # (start, end)
        self.libgcc = []      # members taken from libgcc.a
        pending = None
        in_map = False
        with open(path, encoding="utf-8", errors="replace") as lines:
            for line in lines:
                line = line.rstrip("\n")
                if not in_map:
                    in_map = line.startswith("Linker script and memory map")
                    continue
                if line.startswith("LOAD ") or line.startswith(" *"):
                    continue
                match = self.INPUT_SECTION.match(line)
                if match and not line.startswith("  "):
                    if match.group(2) is None:
                        pending = match.group(1)
                    else:
                        self.input_section(match.group(1), int(match.group(2), 16),
                                           int(match.group(3), 16), match.group(4))
                        pending = None
                    continue
                if pending:
                    match = self.PLACEMENT.match(line)
                    if match:
                        self.input_section(pending, int(match.group(1), 16),
                                           int(match.group(2), 16), match.group(3))
                    pending = None
                    continue
                match = self.PLACEMENT.match(line)
                if match and self.DATA_STATEMENT.match(match.group(3)):
                    start = int(match.group(1), 16)
                    self.data.append((start, start + int(match.group(2), 16)))
                    continue
                match = self.SYMBOL.match(line)
                if match:
                    name = match.group(2).strip()
                    if " = " in name:
                        name = name.split(" = ", 1)[0].strip()
                    if re.match(r"^[A-Za-z_$?@.][^ ]*$|^.*\)$", name) and name != ".":
                        self.labels.append((int(match.group(1), 16), name, False, self.last_object))
        self.labels.sort(key=lambda label: (label[0], label[2]))
        self.addresses = [label[0] for label in self.labels]

    last_object = ""

    def input_section(self, name, address, size, source):
        source = source.strip()
        self.last_object = source
        if size == 0:
            return
        if self.DATA_SECTION.match(name):
            self.data.append((address, address + size))
        if "libgcc.a(" in source and source not in self.libgcc:
            self.libgcc.append(source)
        # A function's own section (-ffunction-sections) carries its mangled name.
        label = name.split("$", 1)[1] if "$" in name else ""
        self.labels.append((address, label or "(%s)" % name, bool(label), source))

    def is_data(self, address):
        return any(start <= address < end for start, end in self.data)

    def name(self, address, demangled):
        """The label at or before `address`, as "name+offset (object)"."""
        i = bisect.bisect_right(self.addresses, address) - 1
        if i < 0:
            return None
        label_address, name, mangled, source = self.labels[i]
        if mangled:
            name = demangled.get(name, name)
        offset = address - label_address
        return "%s%s (%s)" % (name, "+0x%x" % offset if offset else "", short_object(source))


def short_object(source):
    """libkavlin_inflate.a(inflate.cpp.obj) or main.cpp.obj, without the folders."""
    archive, _, member = source.partition("(")
    return os.path.basename(archive) + ("(" + member if member else "")


def demangle(names):
    names = sorted({n for n in names if n.startswith("_Z")})
    if not names:
        return {}
    try:
        result = subprocess.run(["c++filt"], input="\n".join(names) + "\n", capture_output=True,
                                text=True, check=True)
    except (OSError, subprocess.CalledProcessError):
        return {}
    return dict(zip(names, result.stdout.splitlines()))


def origin(mnemonic, operands):
    for pattern, where in ORIGINS:
        if pattern.match(mnemonic):
            return where
    if SSE_REGISTER.search(operands):
        return "SSE"
    if MMX_REGISTER.search(operands):
        return "MMX"
    return "not an 80386/80387 instruction"


def verdict(text):
    """None for an 80386/80387 instruction, else the reason it is not one."""
    if text.startswith("(bad)"):
        return "bytes that decode to no instruction"
    words = text.split()
    while words and words[0] in PREFIXES and len(words) > 1:
        words.pop(0)
    if not words:
        return None
    mnemonic, operands = words[0], " ".join(words[1:])
    if SSE_REGISTER.search(operands) or MMX_REGISTER.search(operands):
        return origin(mnemonic, operands)
    if mnemonic not in ALLOWED:
        return origin(mnemonic, operands)
    if mnemonic == "nop" and operands:
        return origin(mnemonic, operands)
    return None


def disassemble(objdump, path, start, end):
    """(address, instruction text) of each instruction objdump decodes from start to end."""
    result = subprocess.run(
        [objdump, "-D", "-M", "intel", "-w",
         "--start-address=0x%x" % start, "--stop-address=0x%x" % end, path],
        capture_output=True, text=True, check=True)
    for line in result.stdout.splitlines():
        match = LINE.match(line)
        if match:
            yield int(match.group(1), 16), match.group(2).strip()


def code_ranges(start, end, data):
    """[start, end) without the data ranges that lie in it."""
    ranges = []
    position = start
    for data_start, data_end in sorted(data):
        if data_end <= position or data_start >= end:
            continue
        if data_start > position:
            ranges.append((position, data_start))
        position = max(position, data_end)
    if position < end:
        ranges.append((position, end))
    return ranges


def check(objdump, path):
    base = os.path.splitext(path)[0]
    linker_map = LinkerMap(base + ".map") if os.path.exists(base + ".map") else None
    program = os.path.basename(path)
    if linker_map is None:
        print("%s: no linker map beside it: addresses are named by section, and all of each code "
              "section is read as code" % program)
    failures = []
    findings = []
    checked = 0
    sections = executable_sections(path)
    for name, start, size in sections:
        data = linker_map.data if linker_map else []
        for range_start, range_end in code_ranges(start, start + size, data):
            for address, text in disassemble(objdump, path, range_start, range_end):
                checked += 1
                reason = verdict(text)
                if reason:
                    findings.append((address, text, reason, name, start))
    demangled = demangle(label[1] for label in linker_map.labels) if linker_map else {}
    for address, text, reason, section, section_start in findings:
        where = linker_map.name(address, demangled) if linker_map else None
        if where is None:
            where = "%s+0x%x" % (section, address - section_start)
        failures.append("%s: 0x%08x in %s: %s (%s)" % (program, address, where, text, reason))
    if linker_map:
        taken = ", ".join(short_object(member) for member in linker_map.libgcc) or "nothing"
        print("%s: taken from libgcc: %s" % (program, taken))
    print("%s: %d instructions in %s checked, %d outside the 80386/80387 set"
          % (program, checked, ", ".join(s[0] for s in sections) or "no code section",
             len(failures)))
    if not sections:
        failures.append("%s: no executable section" % program)
    return failures


def main(arguments):
    objdump = "i686-w64-mingw32-objdump"
    if len(arguments) > 2 and arguments[1] == "--objdump":
        objdump = arguments[2]
        arguments = arguments[:1] + arguments[3:]
    if len(arguments) < 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    failures = []
    for path in arguments[1:]:
        try:
            failures.extend(check(objdump, path))
        except (OSError, PeError, struct.error, subprocess.CalledProcessError) as error:
            print("%s: cannot check: %s" % (path, error), file=sys.stderr)
            return 1
    return report(failures, "not on the 80386: ", "instruction(s) that the 80386/80387 lacks",
                  "every instruction is one of the 80386/80387")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
