"""Compare two image files with the quillmar-ranvique library.

    >>> import ranvique
    >>> ranvique.similarity("expected.png", "actual.png")
    98.95050048828125
    >>> ranvique.stats("expected.png", "actual.png")
    Stats(identical=False, similarity=98.95, different_pixels=1928, total_pixels=64000)
    >>> ranvique.diff("expected.png", "actual.png", "diff.png")
    >>> ranvique.perceptual("expected.png", "actual.png")
    78.125

Paths may be str, bytes or path-like; they reach the library encoded with the
file system encoding. Every failure raises RanviqueError carrying the
library's message. The library keeps its message and its statistics text once
per process, so the calls of this module are serialised: each message belongs
to the call that failed.

The library is looked for, in this order: the file named by the environment
variable RANVIQUE_LIBRARY (only there, when it is set); next to this package
(the package folder itself, then the folder it was installed beside); the
system's library path.
"""

import ctypes
import json
import os
import sys
import threading
from typing import NamedTuple

__version__ = "0.1.0"
__all__ = ["similarity", "stats", "diff", "perceptual", "Stats", "RanviqueError",
           "LibraryNotFoundError", "library_path", "ENV_LIBRARY"]

ENV_LIBRARY = "RANVIQUE_LIBRARY"
_ABI = __version__.split(".")[0]

if sys.platform == "win32":
    _NAMES = ["quillmar-ranvique.dll"]
elif sys.platform == "darwin":
    _NAMES = ["libquillmar-ranvique.%s.dylib" % _ABI, "libquillmar-ranvique.dylib"]
else:
    _NAMES = ["libquillmar-ranvique.so.%s" % _ABI, "libquillmar-ranvique.so"]


class RanviqueError(Exception):
    """A comparison failed; `message` is the library's text, `function` the call."""

    def __init__(self, function, message):
        super().__init__(message)
        self.function = function
        self.message = message


class LibraryNotFoundError(OSError):
    """The library could not be loaded; the text lists every place tried."""


class Stats(NamedTuple):
    """One pixel comparison (similarity rounded to two decimals, as in the library's text)."""
    identical: bool
    similarity: float
    different_pixels: int
    total_pixels: int


_lock = threading.Lock()
_lib = None
_lib_path = None


def _reset_lock_in_child():
    global _lock
    _lock = threading.Lock()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_reset_lock_in_child)


def _candidates():
    """(description, path or name) pairs in the order they are tried."""
    here = os.path.dirname(os.path.abspath(__file__))
    found = [(os.path.join(here, name), os.path.join(here, name)) for name in _NAMES]
    try:
        from . import _installed
        libdir = os.path.normpath(os.path.join(here, _installed.LIBRARY_DIR))
        found += [(os.path.join(libdir, name), os.path.join(libdir, name)) for name in _NAMES]
    except ImportError:
        pass
    found.append(("%s on the system library path" % _NAMES[0], _NAMES[0]))
    return found


def _declare(lib):
    c_path = ctypes.c_char_p
    lib.ranvique_init.argtypes = []
    lib.ranvique_init.restype = ctypes.c_int
    lib.ranvique_cleanup.argtypes = []
    lib.ranvique_cleanup.restype = None
    lib.ranvique_last_error.argtypes = []
    lib.ranvique_last_error.restype = ctypes.c_char_p
    lib.ranvique_similarity.argtypes = [c_path, c_path]
    lib.ranvique_similarity.restype = ctypes.c_float
    lib.ranvique_stats.argtypes = [c_path, c_path]
    lib.ranvique_stats.restype = ctypes.c_char_p  # copied into bytes on return
    lib.ranvique_diff.argtypes = [c_path, c_path, c_path]
    lib.ranvique_diff.restype = ctypes.c_int
    lib.ranvique_perceptual.argtypes = [c_path, c_path]
    lib.ranvique_perceptual.restype = ctypes.c_float
    return lib


def _load():
    """The loaded library; called with _lock held."""
    global _lib, _lib_path
    if _lib is not None:
        return _lib
    explicit = os.environ.get(ENV_LIBRARY)
    if explicit:
        try:
            lib = ctypes.CDLL(explicit)
        except OSError as e:
            raise LibraryNotFoundError("cannot load the quillmar-ranvique library named by %s=%s: %s"
                                       % (ENV_LIBRARY, explicit, e)) from None
        _lib, _lib_path = _declare(lib), explicit
        return _lib
    tried = []
    for description, target in _candidates():
        if os.path.sep in target and not os.path.exists(target):
            tried.append("  %s: no such file" % description)
            continue
        try:
            lib = ctypes.CDLL(target)
        except OSError as e:
            tried.append("  %s: %s" % (description, e))
            continue
        _lib, _lib_path = _declare(lib), target
        return _lib
    raise LibraryNotFoundError("cannot find the quillmar-ranvique library; tried:\n%s\n"
                               "Set %s to the library file." % ("\n".join(tried), ENV_LIBRARY))


def library_path():
    """The file (or name) the library was loaded from, loading it if needed."""
    with _lock:
        _load()
        return _lib_path


def _path(p, what):
    try:
        b = os.fsencode(p)
    except TypeError:
        raise TypeError("%s must be str, bytes or os.PathLike, not %s" % (what, type(p).__name__)) from None
    if b"\0" in b:
        raise ValueError("%s: embedded null byte" % what)
    return b


def _failure(function, lib):
    return RanviqueError(function, os.fsdecode(lib.ranvique_last_error()))


def _score(function, a, b):
    with _lock:
        lib = _load()
        v = getattr(lib, "ranvique_" + function)(a, b)
        if v < 0.0:
            raise _failure(function, lib)
    return v


def similarity(primary, secondary):
    """Pixel similarity of secondary to primary on the primary's canvas, 0.0 to 100.0."""
    return _score("similarity", _path(primary, "primary"), _path(secondary, "secondary"))


def stats(primary, secondary):
    """The pixel comparison as a Stats record."""
    a, b = _path(primary, "primary"), _path(secondary, "secondary")
    with _lock:
        lib = _load()
        text = lib.ranvique_stats(a, b)
        if text is None:
            raise _failure("stats", lib)
    record = json.loads(text.decode("ascii"))
    return Stats(bool(record["identical"]), float(record["similarity"]),
                 int(record["different_pixels"]), int(record["total_pixels"]))


def diff(primary, secondary, output):
    """Writes the difference image to output (PNG, or BMP/JPEG by its extension)."""
    a, b = _path(primary, "primary"), _path(secondary, "secondary")
    out = _path(output, "output")
    with _lock:
        lib = _load()
        if not lib.ranvique_diff(a, b, out):
            raise _failure("diff", lib)


def perceptual(first, second):
    """Perceptual score of two images of any sizes, 0.0 to 100.0."""
    return _score("perceptual", _path(first, "first"), _path(second, "second"))
