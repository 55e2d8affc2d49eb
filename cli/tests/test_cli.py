"""Tests of the ranvique program, run as a user runs it (RANVIQUE_CLI names it)."""

import hashlib
import json
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python", "tests"))
import imagefiles  # noqa: E402

CLI = os.environ.get("RANVIQUE_CLI", "ranvique")
VERSION_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "ranvique.h")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def run(*args, stdin=None):
    if stdin is None:
        return subprocess.run([CLI, *args], stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return subprocess.run([CLI, *args], input=stdin, capture_output=True, timeout=60)


class Fixtures(imagefiles.FixtureCase):
    def check(self, args, status, stdout=None, stderr=None, stdin=None):
        r = run(*args, stdin=stdin)
        self.assertEqual(r.returncode, status, (args, r.stdout, r.stderr))
        if stdout is not None:
            self.assertEqual(r.stdout.decode(), stdout)
        if stderr is not None:
            self.assertIn(stderr, r.stderr.decode())
        return r


class Commands(Fixtures):
    def test_answers(self):
        p = self.p
        cases = [
            ("similarity", "base", "copy", "100\n"),
            ("similarity", "base", "spots", "98.72319\n"),
            ("similarity", "base", "big", "91.209404\n"),
            ("stats", "base", "copy",
             '{"identical":true,"similarity":100.00,"different_pixels":0,"total_pixels":128}\n'),
            ("stats", "base", "spots",
             '{"identical":false,"similarity":98.72,"different_pixels":5,"total_pixels":128}\n'),
            ("perceptual", "base", "spots", "98.4375\n"),
            ("perceptual", "base", "inverted", "1.5625\n"),
            ("perceptual", "base", "big", "90.625\n"),
        ]
        for command, a, b, out in cases:
            with self.subTest(command=command, a=a, b=b):
                self.check([command, p[a], p[b]], 0, stdout=out, stderr="")

    def test_diff_writes_the_primary_sized_png_and_prints_its_path(self):
        out = os.path.join(self.dir, "diff.png")
        self.check(["diff", self.p["base"], self.p["big"], out], 0, stdout=out + "\n", stderr="")
        with open(out, "rb") as f:
            head = f.read(24)
        self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual((int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")), (16, 8))

    def test_diff_bmp_by_extension(self):
        out = os.path.join(self.dir, "diff.BMP")
        self.check(["diff", self.p["base"], self.p["spots"], out], 0)
        with open(out, "rb") as f:
            self.assertEqual(f.read(2), b"BM")

    def test_errors_print_the_library_message_and_exit_2(self):
        p = self.p
        cases = [
            (["similarity", p["missing"], p["base"]], "Failed to load '%s': Unable to open file" % p["missing"]),
            (["stats", p["base"], p["broken"]],
             "Failed to load '%s': PNG not supported: 1/2/4/8/16-bit only" % p["broken"]),
            (["perceptual", p["base"], self.dir], "Failed to load '%s': Unable to open file" % self.dir),
            (["diff", p["base"], p["spots"], os.path.join(self.dir, "no", "such", "d.png")],
             "Failed to write diff output file '%s'" % os.path.join(self.dir, "no", "such", "d.png")),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = self.check(args, 2, stdout="")
                self.assertEqual(r.stderr.decode(), "ranvique: %s\n" % message)

    def test_paths_after_double_dash_may_start_with_a_dash(self):
        shutil.copy(self.p["base"], os.path.join(self.dir, "-dash.ppm"))
        r = subprocess.run([CLI, "similarity", "--", "-dash.ppm", "copy.ppm"], cwd=self.dir,
                           capture_output=True, timeout=60)
        self.assertEqual((r.returncode, r.stdout), (0, b"100\n"))


class Gates(Fixtures):
    def test_gates_set_the_exit_status(self):
        p = self.p
        # (command, pair, gate, value, status); the printed score is a valid threshold.
        cases = [
            ("similarity", "spots", "--min-similarity", "98.72319", 0),
            ("similarity", "spots", "--min-similarity", "98.7232", 1),
            ("stats", "spots", "--min-similarity", "98", 0),
            ("perceptual", "spots", "--min-similarity", "99", 1),
            ("stats", "spots", "--max-different-pixels", "5", 0),
            ("stats", "spots", "--max-different-pixels", "4", 1),
            ("similarity", "copy", "--max-different-pixels", "0", 0),
            ("similarity", "spots", "--max-different-pixels", "0", 1),
            ("perceptual", "spots", "--min-perceptual", "98.4375", 0),
            ("perceptual", "spots", "--min-perceptual", "98.5", 1),
            ("stats", "inverted", "--min-perceptual=2", 0, 1),
            ("similarity", "copy", "--min-perceptual", "100", 0),
        ]
        for command, other, gate, value, status in cases:
            args = [command, p["base"], p[other], gate] + ([value] if isinstance(value, str) else [])
            with self.subTest(args=args[3:], command=command, other=other):
                r = self.check(args, status)
                self.assertNotEqual(r.stdout, b"")  # the answer is printed either way
                self.assertEqual(b"gate failed" in r.stderr, status == 1)

    def test_gate_failure_messages(self):
        r = self.check(["similarity", self.p["base"], self.p["spots"], "--min-similarity", "99",
                        "--max-different-pixels", "1", "--min-perceptual", "99"], 1, stdout="98.72319\n")
        self.assertEqual(r.stderr.decode(),
                         "ranvique: gate failed: similarity 98.72319 is below the minimum 99\n"
                         "ranvique: gate failed: 5 pixels differ, more than the maximum 1\n"
                         "ranvique: gate failed: perceptual score 98.4375 is below the minimum 99\n")

    def test_diff_with_a_gate_still_writes_the_image(self):
        out = os.path.join(self.dir, "gated.png")
        self.check(["diff", self.p["base"], self.p["spots"], out, "--max-different-pixels", "0"], 1)
        self.assertTrue(os.path.getsize(out) > 0)

    def test_an_error_outranks_a_gate(self):
        self.check(["similarity", self.p["base"], self.p["missing"], "--min-similarity", "1"], 2,
                   stderr="Unable to open file")


class Arguments(Fixtures):
    def test_help_and_version(self):
        with open(VERSION_HEADER) as f:
            v = {l.split()[1]: l.split()[2] for l in f if l.startswith("#define RANVIQUE_VERSION_")}
        version = "ranvique %s.%s.%s\n" % (v["RANVIQUE_VERSION_MAJOR"], v["RANVIQUE_VERSION_MINOR"],
                                          v["RANVIQUE_VERSION_PATCH"])
        for args in (["--version"], ["-V"], ["stats", "--version"]):
            with self.subTest(args=args):
                self.check(args, 0, stdout=version, stderr="")
        for args in (["--help"], ["-h"], ["batch", "--help"]):
            with self.subTest(args=args):
                r = self.check(args, 0, stderr="")
                out = r.stdout.decode()
                self.assertTrue(out.startswith("usage: ranvique"))
                self.assertIn("exit status: 0 pass, 1 a gate failed, 2 error", out)

    def test_bad_arguments_give_usage_and_status_2(self):
        p = self.p
        cases = [
            ([], "no command given"),
            (["compare", p["base"], p["copy"]], "unknown command 'compare'"),
            (["similarity", p["base"], p["copy"], "--bogus"], "unknown option '--bogus'"),
            (["similarity", p["base"]], "similarity needs 2 paths (A B), given 1"),
            (["stats", p["base"], p["copy"], p["spots"]], "stats needs 2 paths (A B), given 3"),
            (["diff", p["base"], p["copy"]], "diff needs 3 paths (A B OUT), given 2"),
            (["similarity", p["base"], p["copy"], "--min-similarity"], "--min-similarity needs a value"),
            (["similarity", p["base"], p["copy"], "--min-similarity", "high"],
             "--min-similarity needs a number from 0 to 100, not 'high'"),
            (["similarity", p["base"], p["copy"], "--min-perceptual", "101"],
             "--min-perceptual needs a number from 0 to 100, not '101'"),
            (["stats", p["base"], p["copy"], "--max-different-pixels", "-1"],
             "--max-different-pixels needs a whole number from 0, not '-1'"),
            (["batch", "--jobs", "0"], "--jobs needs a whole number from 1 to 256, not '0'"),
            (["batch", "-j", "257"], "-j needs a whole number from 1 to 256, not '257'"),
            (["similarity", p["base"], p["copy"], "--jobs", "2"], "--jobs is for batch only"),
            (["batch", "a.tsv", "b.tsv"], "batch takes at most one LIST"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = self.check(args, 2, stdout="")
                err = r.stderr.decode()
                self.assertTrue(err.startswith("ranvique: %s\nusage: ranvique " % message), err)


class Batch(Fixtures):
    def write_list(self, name, lines):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(b"".join(lines))
        return path

    def mixed(self):
        """A list mixing good and broken pairs, each broken pair with its own path and message."""
        p = self.p
        large = os.path.join(self.dir, "large.ppm")
        imagefiles.write_ppm(large, 400, 300, imagefiles.pattern(400, 300))
        rows, expected = [], []
        for i in range(24):
            kind = i % 4
            if kind == 0:
                a, b = (large, large) if i == 0 else (p["base"], p["spots"])
                want = {"different_pixels": 0 if i == 0 else 5}
            elif kind == 1:
                a, b = p["base"], os.path.join(self.dir, "gone-%d.ppm" % i)
                want = {"error": "Failed to load '%s': Unable to open file" % b}
            elif kind == 2:
                bad = os.path.join(self.dir, "broken-%d.png" % i)
                shutil.copy(p["broken"], bad)
                a, b = bad, p["base"]
                want = {"error": "Failed to load '%s': PNG not supported: 1/2/4/8/16-bit only" % bad}
            else:
                a, b = p["base"], p["big"]
                want = {"perceptual": 90.625, "total_pixels": 128}
            rows.append(("%s\t%s\n" % (a, b)).encode())
            expected.append((a, b, want))
        return rows, expected

    def check_mixed(self, out, expected, first_line=1):
        objects = [json.loads(l) for l in out.decode().splitlines()]
        self.assertEqual(len(objects), len(expected))
        for n, (obj, (a, b, want)) in enumerate(zip(objects, expected)):
            self.assertEqual((obj["line"], obj["primary"], obj["secondary"]), (first_line + n, a, b))
            for key, value in want.items():
                self.assertEqual(obj.get(key), value, obj)
            self.assertEqual("error" in obj, "error" in want, obj)

    def test_mixed_pairs_each_report_their_own_message_in_input_order(self):
        rows, expected = self.mixed()
        path = self.write_list("mixed.tsv", rows)
        for jobs in ("1", "2", "5"):
            with self.subTest(jobs=jobs):
                r = self.check(["batch", "--jobs", jobs, path], 2, stderr="")
                self.check_mixed(r.stdout, expected)

    def test_good_pair_object(self):
        p = self.p
        out = os.path.join(self.dir, "batch-diff.png")
        r = self.check(["batch", "-"], 0, stdin=("%s\t%s\t%s\n" % (p["base"], p["spots"], out)).encode())
        self.assertEqual(r.stdout.decode(),
                         '{"line":1,"primary":"%s","secondary":"%s","diff":"%s","identical":false,'
                         '"similarity":98.72,"different_pixels":5,"total_pixels":128,"perceptual":98.4375}\n'
                         % (p["base"], p["spots"], out))
        self.assertTrue(os.path.getsize(out) > 0)

    def test_status_and_gates(self):
        p = self.p
        good = ("%s\t%s\n%s\t%s\n" % (p["base"], p["copy"], p["base"], p["spots"])).encode()
        self.check(["batch"], 0, stdin=good)
        r = self.check(["batch", "--max-different-pixels", "0", "--jobs", "2"], 1, stdin=good)
        self.assertEqual([json.loads(l)["pass"] for l in r.stdout.decode().splitlines()], [True, False])
        r = self.check(["batch", "--min-similarity", "98.72319"], 0, stdin=good)
        self.assertEqual([json.loads(l)["pass"] for l in r.stdout.decode().splitlines()], [True, True])
        self.check(["batch"], 0, stdin=b"", stdout="")
        self.check(["batch", os.path.join(self.dir, "no-list.tsv")], 2, stdout="", stderr="cannot read the list")

    def test_malformed_lines_crlf_and_blank_lines(self):
        p = self.p
        data = ("%s\t%s\r\n\n%s\n%s\t%s\tx.png\textra\n%s\t%s\n" %
                (p["base"], p["copy"], p["base"], p["base"], p["copy"], p["base"], p["spots"])).encode()
        data += p["base"].encode() + b"\t" + p["copy"].encode() + b"\0\n"
        r = self.check(["batch", "--jobs", "2"], 2, stdin=data)
        objects = [json.loads(l) for l in r.stdout.decode().splitlines()]
        self.assertEqual([o["line"] for o in objects], [1, 3, 4, 5, 6])
        self.assertEqual(objects[0]["secondary"], p["copy"])
        self.assertEqual(objects[0]["identical"], True)
        self.assertEqual(objects[1]["error"], "line 3: expected 2 or 3 tab-separated fields, found 1")
        self.assertEqual(objects[2]["error"], "line 4: expected 2 or 3 tab-separated fields, found 4")
        self.assertEqual(objects[3]["different_pixels"], 5)
        self.assertEqual(objects[4]["error"], "line 6: a NUL byte in the line")

    def test_nothing_read_is_written(self):
        p = self.p
        victim = os.path.join(self.dir, "victim.ppm")
        shutil.copy(p["base"], victim)
        link = os.path.join(self.dir, "victim-link.ppm")
        os.symlink(victim, link)
        fresh = os.path.join(self.dir, "fresh.png")
        rows = [("%s\t%s\t%s\n" % (victim, p["copy"], os.path.join(self.dir, "x.png"))).encode(),
                ("%s\t%s\t%s\n" % (p["base"], p["copy"], victim)).encode(),
                ("%s\t%s\t%s\n" % (p["base"], p["spots"], link)).encode(),
                ("%s\t%s\t%s\n" % (p["base"], p["spots"], fresh)).encode(),
                ("%s\t%s\t%s\n" % (p["base"], p["copy"], fresh)).encode()]
        path = self.write_list("guard.tsv", rows)
        rows.append(("%s\t%s\t%s\n" % (p["base"], p["copy"], path)).encode())
        path = self.write_list("guard.tsv", rows)
        before = {f: digest(f) for f in (victim, path, p["base"], p["copy"])}
        r = self.check(["batch", "-j", "2", path], 2)
        errors = [json.loads(l).get("error") for l in r.stdout.decode().splitlines()]
        self.assertEqual(errors, [
            None,
            "diff output '%s' is also read by this batch (line 1); not written" % victim,
            "diff output '%s' is also read by this batch (line 1); not written" % link,
            None,
            "diff output '%s' is also written by line 4; not written" % fresh,
            "diff output '%s' is the list being read; not written" % path,
        ])
        after = {f: digest(f) for f in before}
        self.assertEqual(before, after)

    def test_paths_that_are_not_utf8_round_trip(self):
        name = os.path.join(self.dir.encode(), b"caf\xe9 \"q\".ppm")
        shutil.copy(self.p["base"], name)
        r = self.check(["batch"], 0, stdin=name + b"\t" + self.p["copy"].encode() + b"\n")
        obj = json.loads(r.stdout.decode("ascii"))
        self.assertEqual(os.fsencode(obj["primary"]), name)
        self.assertTrue(obj["identical"])

    def test_progress_line_on_a_terminal_only(self):
        import pty
        p = self.p
        path = self.write_list("progress.tsv", [("%s\t%s\n" % (p["base"], p["copy"])).encode()] * 3)
        self.check(["batch", path], 0, stderr="")
        master, slave = pty.openpty()
        try:
            proc = subprocess.run([CLI, "batch", "-j", "2", path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=slave, timeout=60)
            os.close(slave)
            slave = -1
            seen = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                seen += chunk
        finally:
            os.close(master)
            if slave >= 0:
                os.close(slave)
        self.assertEqual(proc.returncode, 0)
        self.assertEqual(len(proc.stdout.splitlines()), 3)
        self.assertIn(b"ranvique: 3/3 pairs", seen)


if __name__ == "__main__":
    unittest.main()
