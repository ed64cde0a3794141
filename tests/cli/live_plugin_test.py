#!/usr/bin/python3
"""The programs start without the office: only the live plugin needs its libraries, and a live run
without the plugin says so plainly.

Usage: live_plugin_test.py QUILMARK [QUILMARK_GUI] [--plugin PLUGIN]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

PROGRAMS = []
PLUGIN = None
# The office's runtime libraries, as the loader names them.
OFFICE_LIBRARY = re.compile(r"lib(uno_|reg|store|cppu|sal|i18nlang|xmlreader|unoidl)|libreoffice")


def needed(path):
    """The NEEDED entries of an ELF file's dynamic section."""
    done = subprocess.run(["readelf", "-d", path], capture_output=True, text=True, check=True,
                          env={**os.environ, "LC_ALL": "C"})
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", done.stdout)


class NoOfficeLibraries(unittest.TestCase):
    def test_programs_need_no_office_library(self):
        for program in PROGRAMS:
            with self.subTest(program=os.path.basename(program)):
                entries = needed(program)
                self.assertTrue(entries, "readelf found no NEEDED entries")
                self.assertEqual([e for e in entries if OFFICE_LIBRARY.search(e)], [])

    @unittest.skipUnless(PLUGIN or "--plugin" in sys.argv, "built without the live host")
    def test_the_plugin_alone_needs_them(self):
        self.assertTrue([e for e in needed(PLUGIN) if OFFICE_LIBRARY.search(e)])

    @unittest.skipUnless(PLUGIN or "--plugin" in sys.argv, "built without the live host")
    def test_a_live_run_without_a_usable_plugin_says_why(self):
        # A copy of the program in a folder of its own, where a plugin beside it is missing or
        # broken; the environment must not point elsewhere.
        env = {k: v for k, v in os.environ.items() if k != "QUILMARK_LIVE_PLUGIN"}
        cases = [(None, "找不到 LibreOffice 连接组件"), (b"not a library", "无法载入 LibreOffice 连接组件")]
        for content, message in cases:
            with self.subTest(message=message), tempfile.TemporaryDirectory() as folder:
                program = shutil.copy(PROGRAMS[0], folder)
                if content is not None:
                    with open(os.path.join(folder, "quilmark-live.so"), "wb") as f:
                        f.write(content)
                done = subprocess.run([program, "--live", "--zone-totals"], capture_output=True,
                                      env=env)
                self.assertEqual(done.returncode, 3)
                self.assertTrue(done.stderr.decode().startswith(message), done.stderr.decode())


if __name__ == "__main__":
    args = sys.argv[1:]
    if "--plugin" in args:
        i = args.index("--plugin")
        PLUGIN = args[i + 1]
        del args[i:i + 2]
    PROGRAMS = args
    unittest.main(argv=[sys.argv[0]])
