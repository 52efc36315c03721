"""A Windows program file read with the standard library: its subsystem, its resources, and the
icons among them compared with an .ico file's images."""

import struct

RT_ICON, RT_GROUP_ICON = 3, 14


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not a Windows program: no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a Windows program: no PE header")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + {0x10B: 96, 0x20B: 112}[magic]  # PE32, PE32+
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        self.sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * k)
                         for k in range(sections)]  # size in memory, address, size, file offset
        resource_address = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.resources = {}
        if resource_address:
            self._read_directory(self._offset(resource_address), 0, ())

    def _offset(self, address):
        for size, start, raw_size, file_offset in self.sections:
            if start <= address < start + max(size, raw_size):
                return file_offset + address - start
        raise ValueError("address %#x lies in no section" % address)

    def _read_directory(self, base, at, path):
        """Walks type, name and language; keeps the first language of each (type, name)."""
        named, numbered = struct.unpack_from("<12xHH", self.data, base + at)
        for k in range(named + numbered):
            key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * k)
            if key & 0x80000000:
                length = struct.unpack_from("<H", self.data, base + (key & 0x7FFFFFFF))[0]
                start = base + (key & 0x7FFFFFFF) + 2
                key = self.data[start:start + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                self._read_directory(base, target & 0x7FFFFFFF, path + (key,))
            elif path[:2] not in self.resources:
                address, size = struct.unpack_from("<II", self.data, base + target)
                self.resources[path[:2]] = self.data[self._offset(address):
                                                     self._offset(address) + size]

    def icon_groups(self):
        """Each icon of the program as it is listed: (width, height, colours, planes, bits per
        pixel, image bytes) of every image, in the order of the group's entries."""
        groups = []
        for (kind, _), group in sorted(self.resources.items(), key=str):
            if kind != RT_GROUP_ICON:
                continue
            count = struct.unpack_from("<4xH", group)[0]
            images = []
            for k in range(count):
                width, height, colours, planes, bits, _, number = struct.unpack_from(
                    "<BBBxHHIH", group, 6 + 14 * k)
                images.append((width, height, colours, planes, bits,
                               self.resources.get((RT_ICON, number))))
            groups.append(images)
        return groups


def ico_images(data):
    """An .ico file's images as icon_groups lists them."""
    reserved, kind, count = struct.unpack_from("<HHH", data)
    if (reserved, kind) != (0, 1):
        raise ValueError("not an icon file")
    images = []
    for k in range(count):
        width, height, colours, planes, bits, size, offset = struct.unpack_from(
            "<BBBxHHII", data, 6 + 16 * k)
        images.append((width, height, colours, planes, bits, data[offset:offset + size]))
    return images
