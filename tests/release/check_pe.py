#!/usr/bin/env python3
"""Checks that a built flashgate.exe is fit to ship in a BIOS package:

    check_pe.py EXE --arch x86|x64 --version X.Y.Z [--build-path DIR ...]

Prints one line per failed check and exits 1 if any failed.
"""
import argparse
import sys
import xml.etree.ElementTree as ElementTree

try:
    import pefile
except ImportError:
    sys.exit("error: the Python module pefile is missing: install Debian's python3-pefile "
             "(scripts/test does this) and run this with /usr/bin/python3")

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll", "advapi32.dll"}
MACHINES = {"x86": 0x14C, "x64": 0x8664}
SUPPORTED_OS = {  # Vista, 7, 8, 8.1, 10 and 11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}
RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
NS = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
      "c": "urn:schemas-microsoft-com:compatibility.v1", "s5": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
      "s16": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)
    return condition


def resources(pe):
    """{type id: {name id: data}}, first language of each."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []:
        for name in kind.directory.entries:
            entry = name.directory.entries[0].data.struct
            found.setdefault(kind.id, {})[name.id] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def check_image(pe, data, arch):
    expect(pe.FILE_HEADER.Machine == MACHINES[arch], f"machine is {pe.FILE_HEADER.Machine:#x}, not {arch}")
    expect(pe.OPTIONAL_HEADER.Subsystem == 2, "subsystem is not Windows GUI")
    expect(len(data) <= 64 * 1024, f"{len(data)} bytes, more than 64 KiB")
    expect(pe.FILE_HEADER.TimeDateStamp == 0, "the header carries a link time: builds are not reproducible")
    for flag in ["DYNAMIC_BASE", "NX_COMPAT"] + (["HIGH_ENTROPY_VA"] if arch == "x64" else []):
        expect(pe.OPTIONAL_HEADER.DllCharacteristics & pefile.DLL_CHARACTERISTICS[f"IMAGE_DLLCHARACTERISTICS_{flag}"],
               f"{flag} is not set")
    # Without relocations the loader cannot move the image, whatever DYNAMIC_BASE says.
    expect(pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size > 0, "no base relocations: ASLR cannot move the image")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        expect(section.Characteristics & 0xA0000000 != 0xA0000000, f"section {name} is both writable and executable")
        # Long names such as .debug_info appear as /NNN, an offset into the symbol table's strings.
        expect(not name.startswith((".debug", "/")), f"debug section {name} left in")
    expect(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0,
           "a COFF symbol table is left in: not stripped")


def check_imports(pe, data):
    imports = {entry.dll.decode().lower(): {i.name for i in entry.imports}
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    expect(not set(imports) - SYSTEM_DLLS, f"imports from DLLs that are not Windows' own: {sorted(set(imports) - SYSTEM_DLLS)}")
    expect(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "delay-loaded imports")
    kernel32 = imports.get("kernel32.dll", set())
    expect({b"SetDllDirectoryW", b"GetProcAddress"} <= kernel32,
           "SetDllDirectoryW or GetProcAddress not imported: the DLL search is not restricted")
    # Looked up by name at run time: missing before KB2533623, and needed on one rare path only.
    for name in (b"SetDefaultDllDirectories", b"ShellExecuteExW"):
        expect(name not in kernel32 and name + b"\0" in data, f"{name.decode()} is imported, or never looked up")


def check_manifest(found):
    manifests = found.get(RT_MANIFEST, {})
    if not expect(list(manifests) == [1], f"manifest resources {list(manifests)}, expected one with id 1"):
        return
    try:
        root = ElementTree.fromstring(manifests[1])
    except ElementTree.ParseError as error:
        expect(False, f"manifest is not well-formed XML: {error}")
        return
    level = root.find("v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel", NS)
    expect(level is not None and (level.get("level"), level.get("uiAccess")) == ("asInvoker", "false"),
           "manifest does not request asInvoker without uiAccess")
    expect(SUPPORTED_OS <= {os.get("Id") for os in root.iterfind(".//c:supportedOS", NS)},
           "manifest does not list Vista, 7, 8, 8.1 and 10/11 as supported")
    controls = [(i.get("version"), i.get("publicKeyToken")) for i in root.iterfind(".//v1:assemblyIdentity", NS)
                if i.get("name") == "Microsoft.Windows.Common-Controls"]
    expect(controls == [("6.0.0.0", "6595b64144ccf1df")], "manifest does not depend on Common Controls 6")
    aware, awareness = root.find(".//s5:dpiAware", NS), root.find(".//s16:dpiAwareness", NS)
    expect(aware is not None and aware.text == "true/pm", "manifest: dpiAware is not true/pm")
    expect(awareness is not None and [v.strip() for v in awareness.text.split(",")] == ["PerMonitorV2", "PerMonitor"],
           "manifest: dpiAwareness is not PerMonitorV2 falling back to PerMonitor")


def check_version(pe, version):
    if not expect(hasattr(pe, "VS_FIXEDFILEINFO") and hasattr(pe, "FileInfo"), "no version resource"):
        return
    numbers = ([int(part) for part in version.split(".")] + [0, 0, 0])[:4]
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field in ("File", "Product"):
        high, low = getattr(fixed, f"{field}VersionMS"), getattr(fixed, f"{field}VersionLS")
        expect([high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF] == numbers, f"fixed {field}Version is not {version}")
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] for table in getattr(info, "StringTable", [])
               for k, v in table.entries.items()}
    company = "The flashgate developers"
    for key, value in {"FileVersion": version, "ProductVersion": version, "ProductName": "flashgate",
                       "OriginalFilename": "flashgate.exe", "InternalName": "flashgate", "CompanyName": company,
                       "FileDescription": strings.get("FileDescription") or "(some text)"}.items():
        expect(strings.get(key) == value, f"version {key} is {strings.get(key)!r}, not {value!r}")
    expect(company in strings.get("LegalCopyright", ""), f"version LegalCopyright does not name {company}")


def check_icon(found):
    groups = found.get(RT_GROUP_ICON, {})
    if not expect(groups, "no icon"):
        return
    group = next(iter(groups.values()))
    count = int.from_bytes(group[4:6], "little")
    # GRPICONDIRENTRY: 14 bytes each, the resource id of the image in the last two.
    ids = [int.from_bytes(group[18 + 14 * i:20 + 14 * i], "little") for i in range(count)]
    expect(count > 0 and all(i in found.get(RT_ICON, {}) for i in ids), "the icon names images that are not in the exe")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--arch", choices=sorted(MACHINES), required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--build-path", action="append", default=[])
    args = parser.parse_args()
    with open(args.exe, "rb") as exe:
        data = exe.read()
    pe = pefile.PE(data=data)
    check_image(pe, data, args.arch)
    check_imports(pe, data)
    found = resources(pe)
    check_manifest(found)
    check_version(pe, args.version)
    check_icon(found)
    for path in args.build_path:
        expect(path.encode() not in data and path.encode("utf-16-le") not in data, f"the build path {path} is inside the exe")
    print("\n".join(f"{args.exe}: {failure}" for failure in failures) if failures
          else f"{args.exe}: {args.arch}, {len(data)} bytes, all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
