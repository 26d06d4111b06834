"""Each Windows binary's version resource, read back from the file with pefile, against the
version header: the fixed file and product versions, and the version, product, company and
copyright strings; the file name and a description are there too.

Usage: version_resource_check.py HEADER BINARY...   (exit 77 when a binary is not built, or
pefile is missing)
"""
import os
import re
import sys

SKIPPED = 77


def header_values(path):
    values = {}
    with open(path, encoding="utf-8") as header:
        for line in header:
            match = re.match(r'#define (FXAA_\w+) (\d+|"[^"]*")\s*(/\*.*)?$', line.strip())
            if match:
                value = match.group(2)
                values[match.group(1)] = value[1:-1] if value.startswith('"') else int(value)
    return values


def resource_of(path):
    import pefile  # Debian's python3-pefile (scripts/setup.sh --windows)

    pe = pefile.PE(path)
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return fixed, strings


def differences(path, want):
    fixed, strings = resource_of(path)
    if fixed is None:
        return ["no version resource"]
    numbers = (want["FXAA_MAJOR_VERSION"], want["FXAA_MINOR_VERSION"], want["FXAA_BUG_VERSION"])
    packed = ((numbers[0] << 16) | numbers[1], numbers[2] << 16)
    found = []
    for name, got in (("FileVersion", (fixed.FileVersionMS, fixed.FileVersionLS)),
                      ("ProductVersion", (fixed.ProductVersionMS, fixed.ProductVersionLS))):
        if got != packed:
            found.append(f"fixed {name} {got[0]:#x},{got[1]:#x}, expected {packed[0]:#x},{packed[1]:#x}")
    text = ".".join(str(n) for n in numbers)
    expected = {
        "FileVersion": text,
        "ProductVersion": text,
        "ProductName": want["FXAA_PRODUCT_NAME"],
        "CompanyName": want["FXAA_COMPANY_NAME"],
        "LegalCopyright": want["FXAA_COPYRIGHT"],
        "OriginalFilename": os.path.basename(path),
    }
    for key, value in expected.items():
        if strings.get(key) != value:
            found.append(f"{key} is {strings.get(key)!r}, expected {value!r}")
    if not strings.get("FileDescription"):
        found.append("no FileDescription")
    return found


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    want = header_values(sys.argv[1])
    missing = [path for path in sys.argv[2:] if not os.path.isfile(path)]
    if missing:
        print("not built (scripts/build-windows.sh builds them):", *missing)
        return SKIPPED
    try:
        import pefile  # noqa: F401
    except ImportError:  # binaries of a build made elsewhere, as in another release's userland
        print("pefile is not installed here (Debian's python3-pefile, scripts/setup.sh --windows)")
        return SKIPPED
    failed = 0
    for path in sys.argv[2:]:
        found = differences(path, want)
        print(("FAIL " if found else "ok   ") + path)
        for line in found:
            print("     " + line)
        failed += bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
