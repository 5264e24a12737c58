#!/usr/bin/env python3
"""Runs the vtable layout check on sample headers whose outcome is known, so that a wrong
comparison (a difference missed, or a match refused) shows up before the check is trusted
with the module's own boundary classes."""

import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "scripts", "check_vtable_layout.py")
SAMPLES = os.path.join(HERE, "samples")

# header -> {class: (expected to match, texts that must appear in the class's report)}
CASES = {
    "com_style.h": {
        "ComStyleBase": (True, []),
        "ComStyleDerived": (True, ["void GetSize(Size&) const"]),
    },
    "plugin_naive.h": {
        "NaivePlugin": (False, ["one MSVC slot, two MinGW slots (complete, deleting)",
                                "different parameters", "Origin: returns a class type by value"]),
        "ReturnsByValue": (False, ["Origin: returns a class type by value"]),
        "OverloadsOnly": (False, ["bool Add(unsigned int, const char*)  bool Add(const char*)"]),
        "TwoBases": (False, ["multiple inheritance"]),
    },
    "plugin_shim.h": {
        "ShimPlugin": (True, ["scalar deleting destructor spelled out for MinGW",
                              "hidden result pointer spelled out for MinGW"]),
        "HalfShim": (False, ["different parameters"]),
        "ShimWithTrailingDestructor": (True, ["MinGW-only destructor slot past the MSVC table"]),
    },
    "declared_order.h": {
        "MovedPair": (False, ["ORDER slot 1: MSVC has void Read(); the interface declares Close"]),
        "AddedSlot": (False, ["ORDER slot 1: MSVC has void Flush()"]),
        "RemovedSlot": (False, ["ORDER slot 1: MSVC has nothing; the interface declares Close"]),
        "SwappedOverloads": (False, ["ORDER slot 0: MSVC has bool Add(const char*)"]),
        "AsDeclared": (True, []),
    },
}
# Samples checked against the operations declared for them.
DECLARED_ORDERS = {"declared_order.h": "declared_order.txt"}


def reports(output):
    """Splits the tool's output into {class: report text}."""
    output = re.sub(r"^vtable layout: .*$", "", output, flags=re.M)
    parts = re.split(r"^== (\S+)\n", output, flags=re.M)
    return {parts[i]: parts[i + 1] for i in range(1, len(parts) - 1, 2)}


def main():
    failures = []
    for header, classes in CASES.items():
        cmd = [sys.executable, TOOL, "--header", os.path.join(SAMPLES, header)]
        if header in DECLARED_ORDERS:
            cmd += ["--expect-order", os.path.join(SAMPLES, DECLARED_ORDERS[header])]
        for cls in classes:
            cmd += ["--class", cls]
        proc = subprocess.run(cmd, capture_output=True, text=True)
        if proc.returncode == 2:
            failures.append(f"{header}: the tool failed:\n{proc.stderr}")
            continue
        found = reports(proc.stdout)
        all_match = all(expect for expect, _ in classes.values())
        if (proc.returncode == 0) != all_match:
            failures.append(f"{header}: exit code {proc.returncode}, expected {'0' if all_match else '1'}")
        for cls, (expect_match, texts) in classes.items():
            report = found.get(cls)
            if report is None:
                failures.append(f"{header}: no report for {cls}")
                continue
            matched = report.rstrip().endswith("matches")
            if matched != expect_match:
                failures.append(f"{cls}: expected {'a match' if expect_match else 'differences'}:\n{report}")
            for text in texts:
                if text not in report:
                    failures.append(f"{cls}: report lacks '{text}':\n{report}")
        print(proc.stdout)
    for failure in failures:
        print("FAILED: " + failure)
    print(f"{len(failures)} failure(s) in {sum(len(c) for c in CASES.values())} sample classes")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
