"""Checks of the built library files: what a setup program's loader and registrar see.

Usage: library_files_test.py WIN32_DIR WIN64_DIR (the build trees of both targets).
"""
import struct
import sys
import unittest

import pefile

SYSTEM_LIBRARIES = {"kernel32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "activeds.dll", "bcrypt.dll",
                    "user32.dll", "version.dll", "msvcrt.dll", "ws2_32.dll"}
# Per build: the machine type and the type library's system kind (SYS_WIN32 1, SYS_WIN64 3).
BUILDS = {"win32": (0x014C, 1), "win64": (0x8664, 3)}
# Each library: its exports, undecorated, and the most it may import.
LIBRARIES = {"Kestrix.dll": (["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"],
                             SYSTEM_LIBRARIES),
             "digest/aamd532.dll": (["MDFile"], {"kernel32.dll", "bcrypt.dll", "msvcrt.dll"})}


class Library:
    def __init__(self, path):
        self.pe = pefile.PE(path)
        self.machine = self.pe.FILE_HEADER.Machine
        self.exports = sorted(e.name.decode() for e in self.pe.DIRECTORY_ENTRY_EXPORT.symbols)
        self.imports = {i.dll.decode().lower() for i in self.pe.DIRECTORY_ENTRY_IMPORT}

    def type_library(self):
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if entry.name and str(entry.name) == "TYPELIB":
                data = entry.directory.entries[0].directory.entries[0].data.struct
                return self.pe.get_data(data.OffsetToData, data.Size)
        return None

    def file_version(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        return f"{fixed.FileVersionMS >> 16}.{fixed.FileVersionMS & 0xFFFF}.{fixed.FileVersionLS >> 16}." \
               f"{fixed.FileVersionLS & 0xFFFF}"

    def version_strings(self):
        return {key.decode(): value.decode() for info in self.pe.FileInfo for block in info
                if block.Key == b"StringFileInfo" for table in block.StringTable for key, value in table.entries.items()}


class LibraryFiles(unittest.TestCase):
    def test_each_library_is_of_its_machine_exports_undecorated_and_imports_only_system_libraries(self):
        pairs = ((build, library) for build in BUILDS.items() for library in LIBRARIES.items())
        for (build, (machine, _)), (name, (exports, allowed)) in pairs:
            with self.subTest(build=build, library=name):
                library = Library(f"{TREES[build]}/{name}")
                self.assertEqual(library.machine, machine)
                self.assertEqual(library.exports, exports)
                self.assertLessEqual(library.imports, allowed)

    def test_the_embedded_type_library_is_the_compiled_one_for_its_own_target(self):
        for build, (_, syskind) in BUILDS.items():
            with self.subTest(build=build):
                embedded = Library(f"{TREES[build]}/Kestrix.dll").type_library()
                with open(f"{TREES[build]}/generated/kestrix.tlb", "rb") as compiled:
                    self.assertEqual(embedded, compiled.read())
                self.assertEqual(embedded[:4], b"MSFT")
                self.assertEqual(struct.unpack_from("<I", embedded, 0x14)[0] & 0xF, syskind)

    def test_both_libraries_carry_the_one_version(self):
        for build in BUILDS:
            with self.subTest(build=build):
                with open(f"{TREES[build]}/file_version.txt") as written:
                    version = written.read().strip()
                kestrix, digest = Library(f"{TREES[build]}/Kestrix.dll"), Library(f"{TREES[build]}/digest/aamd532.dll")
                self.assertEqual(kestrix.version_strings(),
                                 {"FileVersion": "1.00", "ProductVersion": "1.00", "InternalName": "Kestrix",
                                  "ProductName": "Kestrix", "OriginalFilename": "Kestrix.dll", "OLESelfRegister": ""})
                self.assertEqual((digest.version_strings()["FileVersion"], digest.version_strings()["ProductName"]),
                                 (version, "Kestrix"))
                self.assertEqual((kestrix.file_version(), digest.file_version()), (version, version))


if __name__ == "__main__":
    TREES = dict(zip(BUILDS, sys.argv[1:3]))
    unittest.main(argv=sys.argv[:1])
