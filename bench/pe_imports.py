"""What a Windows executable imports, read from its PE import directory:
{DLL name as written: [function names]} (an import by ordinal as "#N").

    python3 pe_imports.py FILE.exe     prints each DLL and its function count
"""
import struct
import sys
from pathlib import Path

# DLLs that MinGW's compiler runtime brings when it is linked dynamically:
# they ship with the compiler, never with Windows.
COMPILER_RUNTIME_PREFIXES = ("libstdc++", "libgcc", "libwinpthread", "libssp", "libatomic", "libgomp")


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine = struct.unpack_from("<H", data, pe + 4)[0]
        self.section_count = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        self.optional = pe + 24
        self.pe32_plus = struct.unpack_from("<H", data, self.optional)[0] == 0x20B
        self.section_table = self.optional + optional_size

    def directory(self, index):
        """(RVA, size) of a data directory entry."""
        first = self.optional + (112 if self.pe32_plus else 96)
        return struct.unpack_from("<II", self.data, first + 8 * index)

    def offset(self, rva):
        for i in range(self.section_count):
            header = self.section_table + 40 * i
            virtual_size, address, raw_size, raw = struct.unpack_from("<IIII", self.data, header + 8)
            if address <= rva < address + max(virtual_size, raw_size):
                return rva - address + raw
        raise ValueError(f"RVA {rva:#x} is in no section")

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        rva, _ = self.directory(1)
        result = {}
        if rva == 0:
            return result
        thunk_size, ordinal_flag = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        descriptor = self.offset(rva)
        while True:
            lookup, _, _, name_rva, address_table = struct.unpack_from("<IIIII", self.data, descriptor)
            if name_rva == 0:
                return result
            names = result.setdefault(self.c_string(name_rva), [])
            entry = self.offset(lookup or address_table)
            while True:
                thunk = struct.unpack_from("<Q" if self.pe32_plus else "<I", self.data, entry)[0]
                if thunk == 0:
                    break
                if thunk & ordinal_flag:
                    names.append(f"#{thunk & 0xFFFF}")
                else:
                    names.append(self.c_string((thunk & 0x7FFFFFFF) + 2))  # past the hint
                entry += thunk_size
            descriptor += 20


def imports(path):
    return PeFile(Path(path).read_bytes()).imports()


def foreign_dlls(dll_names, system_folder):
    """The DLLs of the list that are no part of Windows: a compiler runtime,
    or anything the system folder (a Wine prefix's system32 or syswow64,
    which hold Windows' own DLLs) does not have."""
    present = {p.name.lower() for p in Path(system_folder).iterdir()}
    return [name for name in dll_names
            if name.lower().startswith(COMPILER_RUNTIME_PREFIXES) or name.lower() not in present]


if __name__ == "__main__":
    for dll, functions in imports(sys.argv[1]).items():
        print(f"{dll} {len(functions)}")
