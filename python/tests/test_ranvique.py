"""Tests of the ranvique Python package (standard library only).

RANVIQUE_LIBRARY names the built library; PYTHONPATH holds the package."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

import imagefiles
import ranvique

PACKAGE_DIR = os.path.dirname(os.path.abspath(ranvique.__file__))
LIBRARY = os.environ.get("RANVIQUE_LIBRARY", "")


Fixtures = imagefiles.FixtureCase


class Answers(Fixtures):
    def test_similarity(self):
        p = self.p
        self.assertEqual(ranvique.similarity(p["base"], p["copy"]), 100.0)
        self.assertEqual(ranvique.similarity(p["base"], p["spots"]), 98.72319030761719)
        self.assertEqual(ranvique.similarity(p["base"], p["big"]), 91.20940399169922)

    def test_stats_is_a_typed_record(self):
        s = ranvique.stats(self.p["base"], self.p["spots"])
        self.assertEqual(s, ranvique.Stats(False, 98.72, 5, 128))
        self.assertIs(type(s.identical), bool)
        self.assertIs(type(s.different_pixels), int)
        self.assertEqual(ranvique.stats(self.p["base"], self.p["copy"]), (True, 100.0, 0, 128))

    def test_perceptual(self):
        self.assertEqual(ranvique.perceptual(self.p["base"], self.p["spots"]), 98.4375)
        self.assertEqual(ranvique.perceptual(self.p["base"], self.p["inverted"]), 1.5625)
        self.assertEqual(ranvique.perceptual(self.p["base"], self.p["big"]), 90.625)

    def test_diff_writes_the_file(self):
        out = os.path.join(self.dir, "d.png")
        self.assertIsNone(ranvique.diff(self.p["base"], self.p["big"], out))
        with open(out, "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual((int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")), (16, 8))

    def test_str_bytes_and_path_like(self):
        base, copy = self.p["base"], self.p["copy"]
        for a, b in [(base, copy), (os.fsencode(base), os.fsencode(copy)),
                     (pathlib.Path(base), pathlib.PurePath(copy)), (base, os.fsencode(copy))]:
            with self.subTest(a=a, b=b):
                self.assertEqual(ranvique.similarity(a, b), 100.0)
                self.assertEqual(ranvique.perceptual(a, b), 100.0)

    def test_names_that_are_not_utf8(self):
        raw = os.path.join(os.fsencode(self.dir), b"caf\xe9.ppm")
        shutil.copy(self.p["base"], raw)
        self.assertEqual(ranvique.similarity(raw, self.p["copy"]), 100.0)
        self.assertEqual(ranvique.similarity(os.fsdecode(raw), self.p["copy"]), 100.0)
        with self.assertRaises(ranvique.RanviqueError) as cm:
            ranvique.similarity(raw + b"x", self.p["copy"])
        self.assertEqual(os.fsencode(cm.exception.message), b"Failed to load '" + raw + b"x': Unable to open file")


class Errors(Fixtures):
    def test_every_sentinel_raises_with_the_message(self):
        p = self.p
        no_dir = os.path.join(self.dir, "no", "d.png")
        cases = [
            (ranvique.similarity, (p["missing"], p["base"]), "Failed to load '%s': Unable to open file" % p["missing"]),
            (ranvique.stats, (p["base"], p["broken"]),
             "Failed to load '%s': PNG not supported: 1/2/4/8/16-bit only" % p["broken"]),
            (ranvique.diff, (p["base"], p["copy"], no_dir), "Failed to write diff output file '%s'" % no_dir),
            (ranvique.diff, (p["base"], p["copy"], ""), "Null or empty output image path"),
            (ranvique.perceptual, (p["base"], self.dir), "Failed to load '%s': Unable to open file" % self.dir),
        ]
        for function, args, message in cases:
            with self.subTest(function=function.__name__, args=args):
                with self.assertRaises(ranvique.RanviqueError) as cm:
                    function(*args)
                self.assertEqual(cm.exception.message, message)
                self.assertEqual(str(cm.exception), message)
                self.assertEqual(cm.exception.function, function.__name__)

    def test_bad_path_arguments_never_reach_the_library(self):
        # A NUL would cut the path short in C: refuse it as open() does.
        with self.assertRaisesRegex(ValueError, "embedded null byte"):
            ranvique.similarity(self.p["base"] + "\0.ignored", self.p["copy"])
        with self.assertRaisesRegex(ValueError, "embedded null byte"):
            ranvique.diff(self.p["base"], self.p["copy"], b"out\0.png")
        for bad in (None, 3, 1.5):
            with self.subTest(bad=bad):
                with self.assertRaises(TypeError):
                    ranvique.stats(bad, self.p["copy"])

    def test_threads_each_get_their_own_message(self):
        p = self.p
        failures = []

        def work(n):
            missing = os.path.join(self.dir, "absent-%d.ppm" % n)
            for _ in range(15):
                try:
                    ranvique.stats(p["base"], missing)
                    failures.append("no error for %s" % missing)
                except ranvique.RanviqueError as e:
                    if e.message != "Failed to load '%s': Unable to open file" % missing:
                        failures.append(e.message)
                if ranvique.stats(p["base"], p["spots"]).different_pixels != 5:
                    failures.append("stats of another call")
                if ranvique.similarity(p["base"], p["copy"]) != 100.0:
                    failures.append("similarity")

        threads = [threading.Thread(target=work, args=(n,)) for n in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])


def python_in(env_changes, code, cwd):
    env = {k: v for k, v in os.environ.items() if k not in ("RANVIQUE_LIBRARY", "PYTHONPATH", "LD_LIBRARY_PATH")}
    env.update(env_changes)
    return subprocess.run([sys.executable, "-c", code], env=env, cwd=cwd, capture_output=True, text=True, timeout=60)


@unittest.skipUnless(LIBRARY and os.path.exists(LIBRARY), "RANVIQUE_LIBRARY must name the built library")
class Finding(unittest.TestCase):
    """Where the package looks for the library, each in a fresh interpreter."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="ranvique-find-")
        self.pkg = os.path.join(self.dir, "ranvique")
        shutil.copytree(PACKAGE_DIR, self.pkg, ignore=shutil.ignore_patterns("__pycache__", "_installed.py"))
        self.code = "import ranvique; print(ranvique.library_path())"

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_next_to_itself(self):
        soname = ranvique._NAMES[0]
        shutil.copy(LIBRARY, os.path.join(self.pkg, soname))
        r = python_in({"PYTHONPATH": self.dir}, self.code, self.dir)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, os.path.join(self.pkg, soname)), r.stderr)

    def test_beside_the_install(self):
        lib = os.path.join(self.dir, "lib")
        os.mkdir(lib)
        shutil.copy(LIBRARY, os.path.join(lib, ranvique._NAMES[0]))
        with open(os.path.join(self.pkg, "_installed.py"), "w") as f:
            f.write('LIBRARY_DIR = "../lib"\n')
        r = python_in({"PYTHONPATH": self.dir}, self.code, self.dir)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, os.path.join(lib, ranvique._NAMES[0])), r.stderr)

    def test_environment_variable(self):
        r = python_in({"PYTHONPATH": self.dir, "RANVIQUE_LIBRARY": LIBRARY}, self.code, self.dir)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, LIBRARY), r.stderr)

    def test_environment_variable_that_is_wrong_is_not_passed_over(self):
        shutil.copy(LIBRARY, os.path.join(self.pkg, ranvique._NAMES[0]))
        bogus = os.path.join(self.dir, "nothing.so")
        r = python_in({"PYTHONPATH": self.dir, "RANVIQUE_LIBRARY": bogus}, self.code, self.dir)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("LibraryNotFoundError: cannot load the quillmar-ranvique library named by "
                      "RANVIQUE_LIBRARY=%s" % bogus, r.stderr)

    def test_system_library_path(self):
        libdir = os.path.join(self.dir, "system")
        os.mkdir(libdir)
        shutil.copy(LIBRARY, os.path.join(libdir, ranvique._NAMES[0]))
        r = python_in({"PYTHONPATH": self.dir, "LD_LIBRARY_PATH": libdir}, self.code, self.dir)
        self.assertEqual((r.returncode, r.stdout.strip()), (0, ranvique._NAMES[0]), r.stderr)
        r = python_in({"PYTHONPATH": self.dir, "LD_LIBRARY_PATH": libdir},
                      "import ranvique; print(ranvique.perceptual('a', 'b'))", self.dir)
        self.assertIn("RanviqueError: Failed to load 'a': Unable to open file", r.stderr)

    def test_not_found_lists_every_place_tried(self):
        r = python_in({"PYTHONPATH": self.dir}, "import ranvique; ranvique.similarity('a', 'b')", self.dir)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("cannot find the quillmar-ranvique library; tried:", r.stderr)
        for name in ranvique._NAMES:
            self.assertIn("  %s: no such file" % os.path.join(self.pkg, name), r.stderr)
        self.assertIn("  %s on the system library path: " % ranvique._NAMES[0], r.stderr)
        self.assertIn("Set RANVIQUE_LIBRARY to the library file.", r.stderr)


class Version(unittest.TestCase):
    def test_matches_the_header(self):
        header = os.environ.get("RANVIQUE_HEADER")
        if not header:
            self.skipTest("RANVIQUE_HEADER not set")
        with open(header) as f:
            v = {l.split()[1]: l.split()[2] for l in f if l.startswith("#define RANVIQUE_VERSION_")}
        self.assertEqual(ranvique.__version__, "%s.%s.%s" % (
            v["RANVIQUE_VERSION_MAJOR"], v["RANVIQUE_VERSION_MINOR"], v["RANVIQUE_VERSION_PATCH"]))


if __name__ == "__main__":
    unittest.main()
