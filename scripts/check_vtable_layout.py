#!/usr/bin/env python3
"""Compares the virtual-function tables of classes as an MSVC-built host lays them out with
the layout the MinGW build of the module gives them.

The Haven host is built with MSVC and calls the module's objects (and the module calls the
host's) through vtable slots. MinGW's g++ follows the Itanium C++ ABI, which lays vtables out
differently for the same declaration:
  * a virtual destructor takes two slots (complete, deleting) instead of MSVC's one
    "scalar deleting destructor" (which takes an unsigned flags argument);
  * MSVC groups overloaded virtuals together and puts the later-declared one first;
  * MSVC member functions return every class type through a hidden result pointer.

For each class the tool derives a probe class with one extra out-of-line virtual (which
makes both compilers emit the table), dumps the tables with
  clang++ --target=x86_64-pc-windows-msvc  -Xclang -fdump-vtable-layouts   (MSVC)
  clang++ --target=x86_64-w64-mingw32      -Xclang -fdump-vtable-layouts   (Itanium, MinGW)
cross-checks the second against x86_64-w64-mingw32-g++-posix -fdump-lang-class (the compiler
that really builds the module), and compares slot by slot.

With --expect-order FILE, the MSVC layout of each class is also compared with the operations
the interface defines, listed in FILE in their declared order: two layouts that agree with
each other can still both be wrong when a header moves, adds or removes an operation. The
file has one "[Class]" section per class (or "[Class] = Other" for a class whose table is
Other's), one operation per line: a name, "~" for the destructor, or for overloads the name
with its parameter types, e.g. "AddMember(const char*, KSMemberHandler)". MSVC's own rule
turns the declared order into slots: overloads share the place of the first one declared,
the later-declared first.

A MinGW-side declaration may spell the MSVC layout out: a virtual
"void *<anything>ScalarDeletingDestructor(unsigned int)" matches MSVC's scalar deleting
destructor, and "T *f(T *, args)" matches MSVC's "T f(args)".

Exit code: 0 when every class matches, 1 on any difference, 2 when the tool itself fails.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

MINGW_TRIPLE = "x86_64-w64-mingw32"
PROBE_PREFIX = "HveProbe_"
PROBE_KEY = "hve_probe_key"


def mingw_gcc_dir(gxx):
    """The folder of the MinGW libstdc++ headers (Debian names it 12-posix, which clang's
    own MinGW detection does not recognise)."""
    try:
        out = subprocess.run([gxx, "-print-libgcc-file-name"], capture_output=True, text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        raise ToolError(f"cannot run {gxx}: {error}")
    return os.path.dirname(out.stdout.strip())


class ToolError(Exception):
    pass


def system_includes(gcc_dir):
    return [
        "-nostdinc++",
        "-isystem", os.path.join(gcc_dir, "include", "c++"),
        "-isystem", os.path.join(gcc_dir, "include", "c++", MINGW_TRIPLE),
        "-isystem", os.path.join(gcc_dir, "include", "c++", "backward"),
        "-isystem", f"/usr/{MINGW_TRIPLE}/include",
    ]


def probe_source(headers, classes):
    lines = [f'#include "{os.path.abspath(h)}"' for h in headers]
    for cls in classes:
        probe = PROBE_PREFIX + mangle_name(cls)
        lines.append(f"struct {probe} : {cls} {{ virtual void {PROBE_KEY}(); }};")
        lines.append(f"void {probe}::{PROBE_KEY}() {{}}")
    return "\n".join(lines) + "\n"


def mangle_name(cls):
    return re.sub(r"\W", "_", cls)


def run(cmd):
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0:
        raise ToolError("command failed: " + " ".join(cmd) + "\n" + proc.stderr + proc.stdout)
    return proc.stdout + proc.stderr


# ---- parsing the dumps --------------------------------------------------------------------

SLOT_LINE = re.compile(r"^\s*(\d+) \| (.*)$")


def parse_msvc(dump, cls):
    """Slots of the probe's vftables, first table first: {vfptr index: [entry texts]}."""
    probe = PROBE_PREFIX + mangle_name(cls)
    header = re.compile(r"^VFTable for ((?:'[^']+'(?: in )?)+)")
    tables = []
    current = None
    for line in dump.splitlines():
        m = header.match(line)
        if m:
            # "VFTable for 'Base' in 'Class' in 'Probe'": the last name owns the table.
            owner = re.findall(r"'([^']+)'", m.group(1))[-1]
            current = [] if owner == probe else None
            if current is not None:
                tables.append(current)
            continue
        if line.startswith(("VFTable indices", "Vtable", "VTable")):
            current = None
            continue
        if current is not None:
            s = SLOT_LINE.match(line)
            if s:
                if not s.group(2).strip().endswith(" RTTI"):
                    current.append(s.group(2).strip())
            elif line.strip() == "":
                current = None
    return tables


def parse_itanium(dump, cls):
    """Slots of the probe's primary vtable, after the address point."""
    probe = PROBE_PREFIX + mangle_name(cls)
    lines = dump.splitlines()
    entries = None
    for i, line in enumerate(lines):
        if line.startswith(f"Vtable for '{probe}'"):
            entries = []
            for body in lines[i + 1:]:
                if body.strip() == "":
                    break
                s = SLOT_LINE.match(body)
                if s:
                    entries.append(s.group(2).strip())
            break
    if entries is None:
        return None, False
    slots = []
    seen_top = 0
    secondary = False
    for text in entries:
        if text.startswith("offset_to_top"):
            seen_top += 1
            if seen_top > 1:
                secondary = True
                break
            continue
        if text.startswith(("vcall_offset", "vbase_offset")):
            continue
        if text.endswith(" RTTI"):
            continue
        slots.append(text)
    return slots, secondary


def parse_gcc(dump, cls):
    """Slot names of the probe's vtable from g++'s class dump (names only, no signatures)."""
    probe = PROBE_PREFIX + mangle_name(cls)
    lines = dump.splitlines()
    for i, line in enumerate(lines):
        if line.strip() == f"Vtable for {probe}":
            names = []
            for body in lines[i + 2:]:
                if body.strip() == "":
                    break
                parts = body.split(None, 1)
                if len(parts) != 2:
                    continue
                names.append(parts[1].strip())
            # Drop offset-to-top and the type-info pointer in front of the address point.
            return names[2:]
    return None


class Slot:
    """One vtable entry: a method (return type, name, parameters, qualifiers) or a destructor."""

    def __init__(self, text):
        self.text = text
        self.tags = re.findall(r"\[([^\]]*)\]", text)
        core = re.sub(r"\s*\[[^\]]*\]", "", text).strip()
        self.core = core
        self.destructor = None
        self.pure = "pure" in self.tags
        close = core.rfind(")")
        depth = 0
        open_at = -1
        for i in range(close, -1, -1):
            if core[i] == ")":
                depth += 1
            elif core[i] == "(":
                depth -= 1
                if depth == 0:
                    open_at = i
                    break
        if open_at < 0:
            raise ToolError(f"cannot read vtable entry: {text}")
        self.params = normalise_params(core[open_at + 1:close])
        self.qualifiers = core[close + 1:].strip()
        prefix = core[:open_at]
        colon = prefix.rfind("::")
        self.name = prefix[colon + 2:] if colon >= 0 else prefix.split()[-1]
        start = colon
        while start > 0 and (prefix[start - 1].isalnum() or prefix[start - 1] in "_:<>"):
            start -= 1
        self.return_type = normalise_type(prefix[:start]) if colon >= 0 else ""
        if self.name.startswith("~"):
            kinds = [t for t in self.tags if t in ("complete", "deleting", "scalar deleting", "vector deleting")]
            self.destructor = kinds[0] if kinds else "destructor"

    def describe(self):
        if self.destructor:
            return f"~destructor [{self.destructor}]"
        text = f"{self.return_type} {self.name}({', '.join(self.params)})"
        if self.qualifiers:
            text += " " + self.qualifiers
        return text


def normalise_type(text):
    text = re.sub(r"\s+", " ", text.strip())
    text = re.sub(r"\s*([*&])\s*", r" \1", text)
    return text.replace(" *", "*").replace(" &", "&").strip()


def normalise_params(text):
    text = text.strip()
    if text in ("", "void"):
        return []
    params, depth, current = [], 0, ""
    for ch in text:
        if ch in "<(":
            depth += 1
        elif ch in ">)":
            depth -= 1
        if ch == "," and depth == 0:
            params.append(normalise_type(current))
            current = ""
        else:
            current += ch
    params.append(normalise_type(current))
    return params


SCALAR_DELETING_SHIM = re.compile(r"ScalarDeletingDestructor$")


def slots_match(msvc, mingw):
    """(matches, note) for one MSVC slot against one MinGW slot."""
    if msvc.destructor == "scalar deleting":
        if mingw.destructor:
            return False, f"MSVC has one scalar deleting destructor here; MinGW has the {mingw.destructor} destructor"
        if SCALAR_DELETING_SHIM.search(mingw.name) and mingw.params == ["unsigned int"] \
                and mingw.return_type == "void*":
            return True, "scalar deleting destructor spelled out for MinGW"
        return False, "MSVC has the scalar deleting destructor here"
    if mingw.destructor or msvc.destructor:
        return False, "destructor against method"
    if msvc.name != mingw.name:
        return False, "different operation"
    if msvc.params == mingw.params and msvc.qualifiers == mingw.qualifiers:
        if msvc.return_type == mingw.return_type:
            return True, ""
        return False, "different return type"
    # "T *f(T *, args)" on the MinGW side stands for MSVC's "T f(args)" with its hidden result.
    if mingw.return_type == msvc.return_type + "*" and mingw.params == [msvc.return_type + "*"] + msvc.params \
            and msvc.qualifiers == mingw.qualifiers:
        return True, "hidden result pointer spelled out for MinGW"
    return False, "different parameters"


def class_return_types(compiler_cmd, headers, types):
    """The subset of return types that are classes (or unions), which MSVC returns from member
    functions through a hidden pointer and MinGW in registers when they are small."""
    if not types:
        return set()
    lines = [f'#include "{os.path.abspath(h)}"' for h in headers]
    for n, t in enumerate(sorted(types)):
        lines.append(f'static_assert(!__is_class({t}) && !__is_union({t}), "HVE_CLASS_RETURN_{n}");')
    with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as f:
        f.write("\n".join(lines) + "\n")
        path = f.name
    try:
        proc = subprocess.run(compiler_cmd + ["-fsyntax-only", path], capture_output=True, text=True)
    finally:
        os.unlink(path)
    found = set(int(n) for n in re.findall(r"HVE_CLASS_RETURN_(\d+)", proc.stderr))
    return {t for n, t in enumerate(sorted(types)) if n in found}


# ---- the declared order -------------------------------------------------------------------

class ExpectedOperation:
    def __init__(self, text):
        self.text = text
        m = re.match(r"^\s*(~|[A-Za-z_]\w*)\s*(?:\((.*)\))?\s*$", text)
        if not m:
            raise ToolError(f"cannot read expected operation: {text}")
        self.name = m.group(1)
        self.params = normalise_params(m.group(2)) if m.group(2) is not None else None

    def matches(self, slot):
        if self.name == "~":
            return slot.destructor is not None
        if slot.destructor or slot.name != self.name:
            return False
        return self.params is None or self.params == slot.params


def read_expected_orders(path):
    """{class: [ExpectedOperation]} in declared order."""
    sections, aliases, current = {}, {}, None
    with open(path) as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            m = re.match(r"^\[(\w+)\]\s*(?:=\s*(\w+))?$", line)
            if m:
                current = m.group(1)
                if m.group(2):
                    aliases[current] = m.group(2)
                    current = None
                else:
                    sections[current] = []
                continue
            if current is None:
                raise ToolError(f"{path}:{number}: operation outside a class section")
            sections[current].append(ExpectedOperation(line))
    for alias, target in aliases.items():
        if target not in sections:
            raise ToolError(f"{path}: [{alias}] refers to the unknown class {target}")
        sections[alias] = sections[target]
    return sections


def msvc_slot_order(declared):
    """MSVC's slots for operations declared in this order: each overload set at the place of
    its first declaration, its members in reverse declaration order."""
    slots, placed = [], set()
    for op in declared:
        if op.name in placed:
            continue
        placed.add(op.name)
        group = [o for o in declared if o.name == op.name]
        slots.extend(reversed(group) if op.name != "~" else group)
    return slots


def compare_with_declared(cls, msvc_slots, declared):
    """Prints where the MSVC table departs from the declared operations; answers the count."""
    expected = msvc_slot_order(declared)
    problems = 0
    for index in range(max(len(expected), len(msvc_slots))):
        want = expected[index] if index < len(expected) else None
        have = msvc_slots[index] if index < len(msvc_slots) else None
        if want and have and want.matches(have):
            continue
        have_text = have.describe() if have else "nothing"
        want_text = want.text if want else "nothing (a slot the interface does not define)"
        print(f"!! ORDER slot {index}: MSVC has {have_text}; the interface declares {want_text} here")
        problems += 1
    return problems


# ---- comparing ---------------------------------------------------------------------------

def compare_class(cls, msvc_tables, mingw_slots, secondary, gcc_names, class_returns, declared=None):
    """Prints the slot table of one class; answers the number of differences."""
    problems = 0
    print(f"== {cls}")
    if not msvc_tables:
        print("   MSVC: no vftable found (class has no virtual functions?)")
        return 1
    if len(msvc_tables) > 1 or secondary:
        print("!! DIFF multiple inheritance: more than one vtable pointer; only the first table is compared")
        problems += 1
    msvc = [Slot(t) for t in msvc_tables[0] if PROBE_KEY not in t]
    mingw = [Slot(t) for t in mingw_slots if PROBE_KEY not in t]

    width = max([len(s.describe()) for s in msvc] + [20])
    print(f"   {'slot':>5} {'':>5}  {'MSVC':<{width}}  MinGW")
    by_value = []
    shimmed_destructor = False
    i = j = 0
    while i < len(msvc) or j < len(mingw):
        left = msvc[i] if i < len(msvc) else None
        right = mingw[j] if j < len(mingw) else None
        rows = 1
        if left is None and right is not None and right.destructor and shimmed_destructor:
            # The MinGW branch may keep a real virtual destructor, declared last, so that the
            # spelled-out scalar deleting destructor can "delete this" the most-derived object.
            # Its two slots lie past the end of the table the MSVC side knows.
            ok, note = True, "MinGW-only destructor slot past the MSVC table"
        elif left and right and left.destructor == "scalar deleting" and right.destructor == "complete" \
                and j + 1 < len(mingw) and mingw[j + 1].destructor == "deleting":
            # Shown as one row so that the rest of the table lines up; the shift it causes
            # still breaks every later slot.
            ok = False
            note = "one MSVC slot, two MinGW slots (complete, deleting): every later slot is off by one"
            rows = 2
        elif left and right:
            ok, note = slots_match(left, right)
            if ok and left.destructor == "scalar deleting":
                shimmed_destructor = True
            if left.return_type in class_returns and right.return_type == left.return_type:
                by_value.append(left.name)
        else:
            ok, note = False, "slot missing on one side"
        mark = "  ok" if ok else "DIFF"
        ltext = left.describe() if left else "-"
        rtext = right.describe() if right else "-"
        if rows == 2:
            rtext = "~destructor [complete] + [deleting]"
        lslot = str(i) if left else "-"
        rslot = (f"{j}+{j + 1}" if rows == 2 else str(j)) if right else "-"
        line = f"   {lslot:>5} {rslot:>5}  {ltext:<{width}}  {rtext}"
        if note:
            line += f"    <{mark.strip()}: {note}>"
        print(("   " if ok else "!! ") + line[3:])
        if not ok:
            problems += 1
        i += 1 if left else 0
        j += rows if right else 0

    if declared is not None:
        problems += compare_with_declared(cls, msvc, declared)

    for name in by_value:
        print(f"!! DIFF {name}: returns a class type by value; MSVC passes a hidden "
              "result pointer (this in RCX, result in RDX), MinGW does not")
        problems += 1

    if gcc_names is not None:
        gcc = [n for n in gcc_names if PROBE_KEY not in n]
        if len(gcc) != len(mingw):
            print(f"!! DIFF g++ gives {len(gcc)} slots, clang's Itanium layout {len(mingw)}")
            problems += 1
        else:
            for i, (name, slot) in enumerate(zip(gcc, mingw)):
                if name == "0" and slot.destructor:
                    continue  # implicit destructors are not emitted by a syntax-only run
                if "__cxa_pure_virtual" in name and slot.pure:
                    continue
                short = name.rsplit("::", 1)[-1]
                wanted = slot.name if not slot.destructor else short
                if short != wanted and not (slot.destructor and short.startswith("~")):
                    print(f"!! DIFF slot {i}: g++ has {name}, clang's Itanium layout {slot.describe()}")
                    problems += 1
    print(f"   {'matches' if problems == 0 else f'{problems} difference(s)'}")
    return problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--header", action="append", default=[], help="header to include (repeatable)")
    parser.add_argument("--class", dest="classes", action="append", default=[], help="class to check (repeatable)")
    parser.add_argument("-I", dest="includes", action="append", default=[], help="include folder")
    parser.add_argument("-D", dest="defines", action="append", default=[], help="preprocessor definition")
    parser.add_argument("--clang", default="clang++")
    parser.add_argument("--gxx", default=f"{MINGW_TRIPLE}-g++-posix")
    parser.add_argument("--expect-order", help="file with the declared operations of every class")
    parser.add_argument("--no-gcc", action="store_true", help="skip the g++ cross-check")
    parser.add_argument("--expect", choices=["match", "differ"], default="match",
                        help="the outcome that makes the exit code 0 (differ is for self-tests)")
    args = parser.parse_args(argv)
    if not args.header or not args.classes:
        parser.error("give at least one --header and one --class")

    try:
        orders = read_expected_orders(args.expect_order) if args.expect_order else None
        if orders is not None:
            missing = [c for c in args.classes if c not in orders]
            if missing:
                raise ToolError(f"{args.expect_order} declares no operations for {', '.join(missing)}")
        gcc_dir = mingw_gcc_dir(args.gxx)
        common = ["-std=c++17", "-w"] + [f"-I{d}" for d in args.includes] + [f"-D{d}" for d in args.defines]
        sysinc = system_includes(gcc_dir)
        # MSVC's ABI, but the GNU dialect and MinGW's own headers: no MSVC headers exist here.
        msvc_cmd = [args.clang, "--target=x86_64-pc-windows-msvc", "-fgnuc-version=12", "-fno-ms-compatibility",
                    "-fdeclspec"] + sysinc + common
        mingw_cmd = [args.clang, f"--target={MINGW_TRIPLE}"] + sysinc + common
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, "probe.cpp")
            with open(src, "w") as f:
                f.write(probe_source(args.header, args.classes))
            dump_flags = ["-S", "-emit-llvm", "-o", os.devnull, "-Xclang", "-fdump-vtable-layouts", src]
            msvc_dump = run(msvc_cmd + dump_flags)
            mingw_dump = run(mingw_cmd + dump_flags)
            gcc_dump = None
            if not args.no_gcc:
                class_file = os.path.join(tmp, "probe.class")
                run([args.gxx, "-std=c++17", "-w", "-fsyntax-only", f"-fdump-lang-class={class_file}"]
                    + [f"-I{d}" for d in args.includes] + [f"-D{d}" for d in args.defines] + [src])
                with open(class_file) as f:
                    gcc_dump = f.read()

        problems = 0
        for cls in args.classes:
            msvc_tables = parse_msvc(msvc_dump, cls)
            mingw_slots, secondary = parse_itanium(mingw_dump, cls)
            if mingw_slots is None:
                raise ToolError(f"no Itanium vtable found for {cls}")
            returns = {Slot(t).return_type for t in (msvc_tables[0] if msvc_tables else [])
                       if PROBE_KEY not in t and not Slot(t).destructor}
            returns = {t for t in returns if t and not t.endswith(("*", "&")) and t != "void"}
            class_returns = class_return_types(msvc_cmd, args.header, returns)
            gcc_names = parse_gcc(gcc_dump, cls) if gcc_dump is not None else None
            declared = orders[cls] if orders is not None else None
            problems += compare_class(cls, msvc_tables, mingw_slots, secondary, gcc_names, class_returns, declared)
    except ToolError as error:
        print(f"check_vtable_layout: {error}", file=sys.stderr)
        return 2

    print(f"vtable layout: {problems} difference(s) in {len(args.classes)} class(es)")
    if args.expect == "match":
        return 0 if problems == 0 else 1
    return 0 if problems > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
