"""Small test images written by hand: binary PPM (P6) files and damaged files."""

import os
import shutil
import struct
import tempfile
import unittest


def pattern(width, height):
    """An RGB gradient, row by row, as a list of (r, g, b)."""
    return [((x * 255) // max(1, width - 1), (y * 255) // max(1, height - 1), (x * 7 + y * 13) % 256)
            for y in range(height) for x in range(width)]


def write_ppm(path, width, height, pixels):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(bytes(c for px in pixels for c in px))
    return path


def with_red(pixels, indexes):
    """A copy of pixels with the listed pixels set to pure red."""
    out = list(pixels)
    for i in indexes:
        out[i] = (255, 0, 0)
    return out


def write_set(folder):
    """The usual fixtures in folder; returns a dict of name -> path (bytes-free str)."""
    w, h = 16, 8
    base = pattern(w, h)
    paths = {
        "base": write_ppm(os.path.join(folder, "base.ppm"), w, h, base),
        "copy": write_ppm(os.path.join(folder, "copy.ppm"), w, h, base),
        "spots": write_ppm(os.path.join(folder, "spots.ppm"), w, h, with_red(base, [0, 17, 34, 51, 68])),
        "inverted": write_ppm(os.path.join(folder, "inverted.ppm"), w, h,
                              [(255 - r, 255 - g, 255 - b) for r, g, b in base]),
        "big": write_ppm(os.path.join(folder, "big.ppm"), 2 * w, 2 * h, pattern(2 * w, 2 * h)),
    }
    broken = os.path.join(folder, "broken.png")
    with open(broken, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + b"\x00" * 5)
    paths["broken"] = broken
    paths["missing"] = os.path.join(folder, "missing.ppm")
    return paths


class FixtureCase(unittest.TestCase):
    """A test case with the usual fixtures in a fresh folder: self.dir, self.p."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="ranvique-test-")
        cls.p = write_set(cls.dir)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)
