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
TKIND_DISPATCH, CC_STDCALL = 4, 4


class Library:
    def __init__(self, path):
        self.pe = pefile.PE(path)
        self.machine = self.pe.FILE_HEADER.Machine
        self.exports = sorted(e.name.decode() for e in self.pe.DIRECTORY_ENTRY_EXPORT.symbols)
        self.imports = [i.dll.decode().lower() for i in self.pe.DIRECTORY_ENTRY_IMPORT]

    def resource(self, kind, number):
        """The data of a resource, its type given by name or number; None when missing."""
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if (entry.name and str(entry.name) == kind) or entry.id == kind:
                for item in entry.directory.entries:
                    if item.id == number:
                        data = item.directory.entries[0].data.struct
                        return self.pe.get_data(data.OffsetToData, data.Size)
        return None

    def version_strings(self):
        return {key.decode(): value.decode() for info in self.pe.FileInfo for block in info
                if block.Key == b"StringFileInfo" for table in block.StringTable for key, value in table.entries.items()}


class TypeLibrary:
    """The type-information table of an MSFT type library: kind, flags and functions of each entry."""

    def __init__(self, data):
        self.data = data
        word = lambda at: struct.unpack_from("<I", data, at)[0]
        self.word = word
        varflags, self.count = word(0x14), word(0x20)
        self.syskind = varflags & 0xF
        table = word(0x54 + (4 if varflags & 0x100 else 0) + 4 * self.count)
        self.infos = [table + i * 0x64 for i in range(self.count)]

    def kind(self, info):
        return self.word(info) & 0xF

    def flags(self, info):
        return self.word(info + 0x30)

    def calling_conventions(self, info):
        record = self.word(info + 0x04) + 4
        for _ in range(self.word(info + 0x18) & 0xFFFF):
            yield (self.word(record + 16) >> 8) & 0xF
            record += self.word(record) & 0xFFFF


def each_build():
    """Each build: its name, its tree, its machine type and its type library's system kind."""
    return [(name, TREES[name], machine, syskind) for name, (machine, syskind) in BUILDS.items()]


class LibraryFiles(unittest.TestCase):
    def test_the_server_exports_its_four_entry_points_undecorated_and_imports_only_system_libraries(self):
        for build, tree, machine, _ in each_build():
            with self.subTest(build=build):
                library = Library(f"{tree}/Kestrix.dll")
                self.assertEqual(library.machine, machine)
                self.assertEqual(library.exports,
                                 ["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"])
                self.assertLessEqual(set(library.imports), SYSTEM_LIBRARIES)

    def test_the_digest_library_exports_mdfile_undecorated(self):
        for build, tree, machine, _ in each_build():
            with self.subTest(build=build):
                library = Library(f"{tree}/digest/aamd532.dll")
                self.assertEqual(library.machine, machine)
                self.assertEqual(library.exports, ["MDFile"])
                self.assertLessEqual(set(library.imports), {"kernel32.dll", "bcrypt.dll", "msvcrt.dll"})

    def test_the_embedded_type_library_is_the_compiled_one_for_its_own_target(self):
        for build, tree, _, syskind in each_build():
            with self.subTest(build=build):
                embedded = Library(f"{tree}/Kestrix.dll").resource("TYPELIB", 1)
                with open(f"{tree}/generated/kestrix.tlb", "rb") as compiled:
                    self.assertEqual(embedded, compiled.read())
                self.assertEqual(embedded[:4], b"MSFT")
                self.assertEqual(TypeLibrary(embedded).syskind, syskind)

    def test_every_interface_is_a_hidden_dual_automation_interface_with_stdcall_functions(self):
        # The flags as the file stores them: hidden, dual, non-extensible, automation and dispatchable.
        for build, tree, _, _ in each_build():
            with self.subTest(build=build):
                library = TypeLibrary(Library(f"{tree}/Kestrix.dll").resource("TYPELIB", 1))
                dispatch = [info for info in library.infos if library.kind(info) == TKIND_DISPATCH]
                self.assertEqual(len(dispatch), 51)
                self.assertEqual({hex(library.flags(info)) for info in dispatch}, {"0x11d0"})
                conventions = [c for info in library.infos for c in library.calling_conventions(info)]
                self.assertGreaterEqual(len(conventions), 54)
                self.assertEqual(set(conventions), {CC_STDCALL})

    def test_the_server_carries_its_version_strings(self):
        for build, tree, _, _ in each_build():
            with self.subTest(build=build):
                self.assertEqual(Library(f"{tree}/Kestrix.dll").version_strings(),
                                 {"FileVersion": "1.00", "ProductVersion": "1.00", "InternalName": "Kestrix",
                                  "ProductName": "Kestrix", "OriginalFilename": "Kestrix.dll", "OLESelfRegister": ""})
                # The digest library carries the same one version number.
                digest = Library(f"{tree}/digest/aamd532.dll").version_strings()
                self.assertEqual((digest["FileVersion"], digest["ProductName"]), ("1.00", "Kestrix"))


if __name__ == "__main__":
    TREES = dict(zip(BUILDS, sys.argv[1:3]))
    unittest.main(argv=sys.argv[:1])
