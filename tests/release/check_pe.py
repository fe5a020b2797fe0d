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

MAX_SIZE = 64 * 1024
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll",
               "advapi32.dll"}
MACHINES = {"x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
            "x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition


def resources(pe):
    """{type id: {name id: data}} for the exe's resources (first language of each)."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            language = name.directory.entries[0]
            found.setdefault(kind.id, {})[name.id] = pe.get_data(
                language.data.struct.OffsetToData, language.data.struct.Size)
    return found


def check_headers(pe, arch, size, c):
    c.expect(pe.FILE_HEADER.Machine == MACHINES[arch], f"machine is {pe.FILE_HEADER.Machine:#x}, not {arch}")
    c.expect(pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"],
             "subsystem is not Windows GUI")
    c.expect(size <= MAX_SIZE, f"{size} bytes, more than {MAX_SIZE}")
    c.expect(pe.FILE_HEADER.TimeDateStamp == 0, "the header carries a link time: builds are not reproducible")
    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    wanted = ["DYNAMIC_BASE", "NX_COMPAT"] + (["HIGH_ENTROPY_VA"] if arch == "x64" else [])
    for flag in wanted:
        c.expect(characteristics & pefile.DLL_CHARACTERISTICS[f"IMAGE_DLLCHARACTERISTICS_{flag}"],
                 f"{flag} is not set")
    # Without relocations the loader cannot move the image, whatever DYNAMIC_BASE says.
    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    c.expect(relocations.Size > 0, "no base relocations: ASLR cannot move the image")


def check_sections(pe, c):
    writable = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
    executable = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        c.expect(not (section.Characteristics & writable and section.Characteristics & executable),
                 f"section {name} is both writable and executable")
        # Long names such as .debug_info appear as /NNN, an offset into the symbol table's strings.
        c.expect(not name.startswith((".debug", "/")), f"debug section {name} left in")
    c.expect(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0,
             "a COFF symbol table is left in: not stripped")


def check_imports(pe, c):
    dlls = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    c.expect(not dlls - SYSTEM_DLLS, f"imports from DLLs that are not Windows' own: {sorted(dlls - SYSTEM_DLLS)}")
    c.expect(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "delay-loaded imports")
    kernel32 = {imported.name for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                if entry.dll.lower() == b"kernel32.dll" for imported in entry.imports}
    # SetDefaultDllDirectories is looked up by name at run time, SetDllDirectoryW is the fallback.
    c.expect(b"SetDllDirectoryW" in kernel32 and b"GetProcAddress" in kernel32,
             "SetDllDirectoryW or GetProcAddress not imported: the DLL search is not restricted")
    c.expect(b"SetDefaultDllDirectories" not in kernel32,
             "SetDefaultDllDirectories is imported: the program will not load on Windows without it")
    c.expect(b"SetDefaultDllDirectories\0" in pe.__data__, "SetDefaultDllDirectories is never looked up")


def check_manifest(found, c):
    manifests = found.get(RT_MANIFEST, {})
    if not c.expect(list(manifests) == [1], f"manifest resources {list(manifests)}, expected one with id 1"):
        return
    try:
        root = ElementTree.fromstring(manifests[1])
    except ElementTree.ParseError as error:
        c.expect(False, f"manifest is not well-formed XML: {error}")
        return
    level = root.find(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/{ASM_V3}requestedExecutionLevel")
    c.expect(level is not None and level.get("level") == "asInvoker" and level.get("uiAccess") == "false",
             "manifest does not request asInvoker without uiAccess")
    listed = {os.get("Id") for os in root.iter(f"{COMPATIBILITY}supportedOS")}
    for guid, name in SUPPORTED_OS.items():
        c.expect(guid in listed, f"manifest does not list Windows {name} as supported")
    controls = [identity for identity in root.iter(f"{ASM_V1}assemblyIdentity")
                if identity.get("name") == "Microsoft.Windows.Common-Controls"]
    c.expect(len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
             and controls[0].get("publicKeyToken") == "6595b64144ccf1df",
             "manifest does not depend on Common Controls 6")
    aware = root.find(f".//{SETTINGS_2005}dpiAware")
    awareness = root.find(f".//{SETTINGS_2016}dpiAwareness")
    c.expect(aware is not None and aware.text == "true/pm", "manifest: dpiAware is not true/pm")
    c.expect(awareness is not None and [v.strip() for v in awareness.text.split(",")] == ["PerMonitorV2", "PerMonitor"],
             "manifest: dpiAwareness is not PerMonitorV2 falling back to PerMonitor")


def check_version(pe, version, c):
    if not c.expect(hasattr(pe, "VS_FIXEDFILEINFO") and hasattr(pe, "FileInfo"), "no version resource"):
        return
    numbers = ([int(part) for part in version.split(".")] + [0, 0, 0])[:4]
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field in ("File", "Product"):
        high, low = getattr(fixed, f"{field}VersionMS"), getattr(fixed, f"{field}VersionLS")
        c.expect([high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF] == numbers,
                 f"fixed {field}Version is not {version}")
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "flashgate",
                "OriginalFilename": "flashgate.exe", "InternalName": "flashgate",
                "CompanyName": "The flashgate developers"}
    for key, value in expected.items():
        c.expect(strings.get(key) == value, f"version {key} is {strings.get(key)!r}, not {value!r}")
    c.expect(strings.get("FileDescription"), "version FileDescription is missing")
    c.expect("The flashgate developers" in strings.get("LegalCopyright", ""),
             "version LegalCopyright does not name The flashgate developers")


def check_icon(found, c):
    groups = found.get(RT_GROUP_ICON, {})
    if not c.expect(groups, "no icon"):
        return
    group = next(iter(groups.values()))
    count = int.from_bytes(group[4:6], "little")
    # GRPICONDIRENTRY: 14 bytes each, the resource id of the image in the last two.
    ids = [int.from_bytes(group[6 + 14 * i + 12:6 + 14 * i + 14], "little") for i in range(count)]
    c.expect(count > 0 and all(i in found.get(RT_ICON, {}) for i in ids),
             "the icon names images that are not in the exe")


def check_build_paths(data, paths, c):
    for path in paths:
        for encoded in (path.encode(), path.encode("utf-16-le")):
            c.expect(encoded not in data, f"the build path {path} is inside the exe")


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
    c = Checks()
    check_headers(pe, args.arch, len(data), c)
    check_sections(pe, c)
    check_imports(pe, c)
    found = resources(pe)
    check_manifest(found, c)
    check_version(pe, args.version, c)
    check_icon(found, c)
    check_build_paths(data, args.build_path, c)
    for failure in c.failures:
        print(f"{args.exe}: {failure}")
    if c.failures:
        sys.exit(1)
    print(f"{args.exe}: {args.arch}, {len(data)} bytes, all checks passed")


if __name__ == "__main__":
    main()
