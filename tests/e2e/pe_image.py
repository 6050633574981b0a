"""A small reader of PE images, PE32 (32-bit) and PE32+ (64-bit): headers, the
import table and the resource tree, enough to check what hostcmd.exe and its
64-bit twin ship with. Standard library only."""

import struct


class PEImage:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b'MZ':
            raise ValueError(f'{path}: no MZ header')
        pe = struct.unpack_from('<I', d, 0x3C)[0]
        if d[pe:pe + 4] != b'PE\0\0':
            raise ValueError(f'{path}: no PE signature')
        self.machine, sections, self.timestamp, _, _, optional_size, self.characteristics = struct.unpack_from(
            '<HHIIIHH', d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', d, opt)[0]
        if self.magic not in (0x10B, 0x20B):
            raise ValueError(f'{path}: optional header magic {self.magic:#x} is neither PE32 nor PE32+')
        # PE32+ drops BaseOfData and widens ImageBase and the four stack and
        # heap sizes to 8 bytes: the fields up to DllCharacteristics stay put,
        # the data directories move 16 bytes on.
        self.pe32_plus = self.magic == 0x20B
        self.major_os, self.minor_os = struct.unpack_from('<HH', d, opt + 40)
        # Where the CheckSum field and the data directories lie in the file:
        # the bytes an Authenticode signature changes.
        self.checksum_at = opt + 64
        self.checksum = struct.unpack_from('<I', d, self.checksum_at)[0]
        self.major_subsystem, self.minor_subsystem = struct.unpack_from('<HH', d, opt + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from('<HH', d, opt + 68)
        count_at = opt + (108 if self.pe32_plus else 92)
        count = struct.unpack_from('<I', d, count_at)[0]
        self.directories_at = count_at + 4
        self.directories = [struct.unpack_from('<II', d, count_at + 4 + 8 * i) for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, vaddr, rsize, raddr = struct.unpack_from('<8sIIII', d, table + 40 * i)
            self.sections.append((name.rstrip(b'\0').decode('latin-1'), vaddr, max(vsize, rsize), raddr))

    def computed_checksum(self):
        """The image checksum as Windows computes it (ImageHlp's CheckSumMappedFile):
        the 16-bit words of the file summed with their carries folded back,
        the CheckSum field left out, plus the file's length."""
        d = self.data
        words = d[:self.checksum_at] + b'\0\0\0\0' + d[self.checksum_at + 4:] + b'\0' * (len(d) % 2)
        total = sum(struct.unpack('<%dH' % (len(words) // 2), words))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return total + len(d)

    def offset(self, rva):
        for _, vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(f'RVA {rva:#x} outside every section')

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode('latin-1')

    def imports(self):
        """{DLL name as written: [function names or '#ordinal']}"""
        result = {}
        rva = self.directories[1][0] if len(self.directories) > 1 else 0
        if not rva:
            return result
        at = self.offset(rva)
        while True:
            lookup, _, _, name_rva, address = struct.unpack_from('<IIIII', self.data, at)
            if not name_rva:
                return result
            functions = []
            thunk = self.offset(lookup or address)
            width, form = (8, '<Q') if self.pe32_plus else (4, '<I')
            ordinal_flag = 1 << (8 * width - 1)
            while True:
                entry = struct.unpack_from(form, self.data, thunk)[0]
                if not entry:
                    break
                functions.append(f'#{entry & 0xFFFF}' if entry & ordinal_flag
                                 else self.c_string((entry & 0x7FFFFFFF) + 2))
                thunk += width
            result[self.c_string(name_rva)] = functions
            at += 20

    def resources(self):
        """{(type id, name id, language id): bytes}, ids only (named entries skipped)."""
        result = {}
        rva = self.directories[2][0] if len(self.directories) > 2 else 0
        if not rva:
            return result
        base = self.offset(rva)

        def walk(directory, path):
            named, ids = struct.unpack_from('<HH', self.data, base + directory + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from('<II', self.data, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    continue
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + (name,))
                else:
                    data_rva, size = struct.unpack_from('<II', self.data, base + target)
                    start = self.offset(data_rva)
                    result[path + (name,)] = self.data[start:start + size]

        walk(0, ())
        return result


def parse_version_info(block):
    """VS_VERSIONINFO: (fixed (file, product) versions as 4-tuples, {string name: value})."""

    def node(at):
        length, value_length, kind = struct.unpack_from('<HHH', block, at)
        key_end = at + 6
        while block[key_end:key_end + 2] != b'\0\0':
            key_end += 2
        key = block[at + 6:key_end].decode('utf-16-le')
        value_at = (key_end + 2 + 3) & ~3
        return length, value_length, kind, key, value_at

    length, value_length, _, key, value_at = node(0)
    if key != 'VS_VERSION_INFO':
        raise ValueError('not a VS_VERSIONINFO block')
    signature, _, fms, fls, pms, pls = struct.unpack_from('<IIIIII', block, value_at)
    if signature != 0xFEEF04BD:
        raise ValueError('VS_FIXEDFILEINFO signature missing')
    fixed = ((fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF), (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
    strings = {}

    def children(start, end, depth):
        at = start
        while at < end:
            length, value_length, kind, key, value_at = node(at)
            if length == 0:
                break
            if depth == 2:  # a String: its value is UTF-16 text of value_length characters
                strings[key] = block[value_at:value_at + 2 * value_length].decode('utf-16-le').rstrip('\0')
            elif key == 'StringFileInfo' or depth == 1:
                children(value_at, at + length, depth + 1)
            at = (at + length + 3) & ~3

    children((value_at + value_length + 3) & ~3, length, 0)
    return fixed, strings
