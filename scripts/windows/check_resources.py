#!/usr/bin/env python3
"""Checks what makes a Windows executable the program's own: its icon (16 to 256 px), its version information
and its manifest, read with wrestool (icoutils). Prints what it found; exit 1 when something is missing.

    check_resources.py EXE VERSION VERSION_QUAD      e.g. quillon.exe 2.002 2.2.0.0
"""
import re
import struct
import subprocess
import sys


def resource(exe, kind):
    return subprocess.run(["wrestool", "-x", "--raw", f"--type={kind}", exe], capture_output=True,
                          check=True).stdout


def main():
    exe, version, quad = sys.argv[1:4]
    problems = []

    group = resource(exe, 14)  # the icon's directory: 6 bytes, then 14 per picture
    count = struct.unpack_from("<H", group, 4)[0] if len(group) >= 6 else 0
    sizes = sorted(group[6 + 14 * i] or 256 for i in range(count))
    if sizes != [16, 24, 32, 48, 64, 256]:
        problems.append(f"icon sizes {sizes}")

    info = resource(exe, 16)
    at = info.find(struct.pack("<I", 0xFEEF04BD))
    numbers = ""
    if at >= 0:
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", info, at + 8)
        numbers = f"{file_ms >> 16}.{file_ms & 0xFFFF}.{file_ls >> 16}.{file_ls & 0xFFFF}"
        if (file_ms, file_ls) != (product_ms, product_ls):
            problems.append("file and product versions differ")
    if numbers != quad:
        problems.append(f"version numbers {numbers or 'missing'}")
    text = info.decode("utf-16-le", errors="replace")
    for key, value in (("CompanyName", "Velmora"), ("ProductName", "Quillon"), ("FileVersion", version),
                       ("ProductVersion", version), ("OriginalFilename", exe.rsplit("/", 1)[-1])):
        # The key, its padding to four bytes, the value.
        if not re.search(re.escape(key) + "\0+" + re.escape(value) + "\0", text):
            problems.append(f"{key} is not {value}")

    manifest = resource(exe, 24).decode("utf-8", errors="replace")
    for wanted in ("PerMonitorV2", "<longPathAware", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "asInvoker"):
        if wanted not in manifest:
            problems.append(f"manifest without {wanted}")

    if problems:
        print("; ".join(problems))
        sys.exit(1)
    print(f"icon {'/'.join(map(str, sizes))} px, version {numbers} \"{version}\" Velmora, manifest PerMonitorV2 "
          "longPathAware Windows 10/11")


main()
