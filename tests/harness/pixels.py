"""Pictures of the screen, whatever read them: pixels, parts, colours, and PNG files written with
the standard library."""

import collections
import os
import struct
import zlib


class Image:
    """width x height pixels, rgb holding three bytes a pixel, row by row."""

    def __init__(self, width, height, rgb):
        if len(rgb) != 3 * width * height:
            raise ValueError("%d bytes for %dx%d pixels" % (len(rgb), width, height))
        self.width, self.height, self.rgb = width, height, bytes(rgb)

    def crop(self, rect):
        """The part at (x, y, width, height) of this image."""
        x, y, w, h = rect
        if x < 0 or y < 0 or x + w > self.width or y + h > self.height:
            raise ValueError("%r lies outside a %dx%d image" % (rect, self.width, self.height))
        rows = (self.rgb[3 * (row * self.width + x):3 * (row * self.width + x + w)]
                for row in range(y, y + h))
        return Image(w, h, b"".join(rows))

    def pixels(self):
        """Every pixel as an (r, g, b) tuple, row by row."""
        return [tuple(self.rgb[i:i + 3]) for i in range(0, len(self.rgb), 3)]

    def colours(self):
        """How often each colour occurs."""
        return collections.Counter(self.pixels())

    def save_png(self, path):
        def chunk(kind, payload):
            body = kind + payload
            return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

        row_bytes = 3 * self.width
        rows = b"".join(b"\x00" + self.rgb[y * row_bytes:(y + 1) * row_bytes]
                        for y in range(self.height))
        png = (b"\x89PNG\r\n\x1a\n"
               + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
               + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        with open(path, "wb") as out:
            out.write(png)
        return path
