"""The Windows release zip as a user gets it.

The zip is checked for the files a user needs (the programs, the guide and its
pictures, the demo project, the licence texts), each program's DLL imports
are checked against the DLLs every Windows has, the version in the zip's name
is compared with the programs' version resource, and then the zip is unpacked
into a folder with a blank in its name and run in a fresh Wine prefix of its
own: kestrom-master-cli.exe --help runs, KestromMaster.exe opens the demo
project and shows its window, and its about box and web information object
tell the same version. Runs on the test run's X display.

Usage: test_release_zip.py ZIP VERSION DRIVER_EXE OBJDUMP [unittest arguments]
"""
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request
import zipfile

ZIP, VERSION, DRIVER, OBJDUMP = sys.argv[1:5]
TOP = os.path.basename(ZIP)[: -len(".zip")]

# The DLLs that come with every Windows the program supports. Everything else
# (the MinGW runtime DLLs above all) must be linked in.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "version.dll", "ws2_32.dll",
}

PROGRAMS = ["KestromMaster.exe", "kestrom-master-cli.exe"]
# Files the zip must hold, and the words that show a licence text is the
# right one.
REQUIRED_FILES = PROGRAMS + ["README.txt", "user-guide.html", "user-guide.md", "examples/demo.xmb",
                             "licences/README.txt"]
LICENCES = {
    "licences/cpp-httplib.txt": "Permission is hereby granted",
    "licences/mingw-w64-runtime.txt": "winpthreads",
    "licences/gcc-runtime-libraries.txt": "GCC RUNTIME LIBRARY EXCEPTION",
    "licences/GPL-3.txt": "GNU GENERAL PUBLIC LICENSE",
}


def contents_problems(zip_path):
    """What a user would miss in the zip, one text per problem."""
    problems = []
    with zipfile.ZipFile(zip_path) as z:
        names = set(z.namelist())
        outside = sorted(n for n in names if not n.startswith(TOP + "/"))
        if outside:
            problems.append(f"outside the folder {TOP}: {', '.join(outside)}")

        def read(name):
            return z.read(f"{TOP}/{name}") if f"{TOP}/{name}" in names else None

        for name in REQUIRED_FILES:
            data = read(name)
            if not data:
                problems.append(f"missing or empty: {name}")
        for name, words in LICENCES.items():
            data = read(name)
            if data is None:
                problems.append(f"licence missing: {name}")
            elif words.encode() not in data:
                problems.append(f"licence {name} does not say {words!r}")
        guide = read("user-guide.html") or b""
        for image in re.findall(rb'<img[^>]*src="([^"]+)"', guide):
            if read(image.decode()) is None:
                problems.append(f"the guide shows {image.decode()}, which is missing")
        if b"<img" not in guide:
            problems.append("the guide shows no pictures")
    return problems


def dll_imports(objdump_text):
    return re.findall(r"DLL Name: (\S+)", objdump_text)


def foreign_dlls(imports):
    return [dll for dll in imports if dll.lower() not in SYSTEM_DLLS]


def version_resource(exe_path):
    """File and product version of the version resource as "a.b.c.d" texts, and
    its FileVersion and ProductVersion strings; None without one."""
    with open(exe_path, "rb") as f:
        data = f.read()
    # The fixed part starts with its signature and its structure version.
    at = data.find(struct.pack("<II", 0xFEEF04BD, 0x00010000))
    if at < 0:
        return None
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)

    def text(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    strings = dict(re.findall(r"(FileVersion|ProductVersion)\0+([0-9.]+)\0",
                              data[at - at % 2:].decode("utf-16-le", "replace")))
    return text(file_ms, file_ls), text(product_ms, product_ls), strings


def wait_for(check, seconds=20):
    """check's first true answer within seconds, else its last: a window or a
    listener takes a moment to come up."""
    deadline = time.monotonic() + seconds
    while True:
        value = check()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.2)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


class TheReleaseZip(unittest.TestCase):
    def test_is_named_after_the_projects_version(self):
        self.assertEqual(os.path.basename(ZIP), f"kestrom-master-{VERSION}-win64.zip")

    def test_holds_the_programs_the_guide_the_demo_and_the_licences(self):
        self.assertEqual(contents_problems(ZIP), [])

    def test_check_fails_for_a_missing_file_or_licence(self):
        # A required file, a licence text, a licence's words and a picture.
        doctored = {
            "kestrom-master-cli.exe": None,
            "licences/cpp-httplib.txt": None,
            "licences/gcc-runtime-libraries.txt": b"some other text",
            "images/main-window.png": None,
        }
        with tempfile.TemporaryDirectory() as work:
            for name, replacement in doctored.items():
                with self.subTest(name=name, replacement=replacement):
                    broken = os.path.join(work, os.path.basename(ZIP))
                    with zipfile.ZipFile(ZIP) as source, zipfile.ZipFile(broken, "w") as target:
                        for item in source.infolist():
                            data = source.read(item)
                            if item.filename == f"{TOP}/{name}":
                                if replacement is None:
                                    continue
                                data = replacement
                            target.writestr(item, data)
                    problems = contents_problems(broken)
                    self.assertTrue(any(name in p for p in problems),
                                    f"doctoring {name} went unnoticed: {problems}")

    def test_programs_import_only_dlls_every_windows_has(self):
        with tempfile.TemporaryDirectory() as work, zipfile.ZipFile(ZIP) as z:
            for program in PROGRAMS:
                path = z.extract(f"{TOP}/{program}", work)
                listing = subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True, check=True)
                imports = dll_imports(listing.stdout)
                self.assertIn("KERNEL32.dll", imports, f"{program}: objdump listed no imports")
                self.assertEqual(foreign_dlls(imports), [], f"{program} needs DLLs Windows lacks")

    def test_import_check_names_the_dlls_windows_lacks(self):
        listing = ("\tDLL Name: KERNEL32.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n"
                   "\tDLL Name: libwinpthread-1.dll\n\tDLL Name: msvcrt.dll\n"
                   "\tDLL Name: libstdc++-6.dll\n\tDLL Name: Ws2_32.dll\n")
        self.assertEqual(foreign_dlls(dll_imports(listing)), ["libwinpthread-1.dll", "libstdc++-6.dll"])

    def test_version_resources_carry_the_version_of_the_name(self):
        with tempfile.TemporaryDirectory() as work, zipfile.ZipFile(ZIP) as z:
            for program in PROGRAMS:
                with self.subTest(program=program):
                    version = version_resource(z.extract(f"{TOP}/{program}", work))
                    self.assertIsNotNone(version, f"{program} has no version resource")
                    file_version, product_version, strings = version
                    self.assertEqual((file_version, product_version), (VERSION, VERSION), program)
                    self.assertEqual(strings, {"FileVersion": VERSION, "ProductVersion": VERSION}, program)


class TheUnpackedZipInAFreshWinePrefix(unittest.TestCase):
    """One run through, as a user meets the program: unpack, start, look."""

    def setUp(self):
        # A blank in the path, as in a user's Downloads folder.
        self.work = tempfile.mkdtemp(prefix="kestrom release ")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        with zipfile.ZipFile(ZIP) as z:
            z.extractall(self.work)
        self.folder = os.path.join(self.work, TOP)
        self.env = dict(os.environ, WINEPREFIX=os.path.join(self.work, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # The prefix's own server, persistent until the cleanup ends it; its
        # output goes nowhere, so it never holds the test runner's pipes.
        os.makedirs(self.env["WINEPREFIX"])
        self.wine(["wineserver", "-p"])
        self.addCleanup(self.wine, ["wineserver", "-k"])
        self.wine(["wineboot", "-i"], timeout=120)

    def wine(self, arguments, timeout=60, **options):
        options.setdefault("stdout", subprocess.DEVNULL)
        options.setdefault("stderr", subprocess.DEVNULL)
        return subprocess.run(arguments, env=self.env, stdin=subprocess.DEVNULL, timeout=timeout, **options)

    def drive(self, *arguments):
        # The driver's output goes to a file: programs it starts must not
        # inherit a pipe.
        with tempfile.TemporaryFile() as out:
            result = self.wine(["wine", DRIVER, *map(str, arguments)], stdout=out)
            out.seek(0)
            return result.returncode, out.read().decode("latin-1").replace("\r", "").strip()

    def test_the_programs_run_and_tell_one_version(self):
        with tempfile.TemporaryFile() as out:
            help_run = self.wine(["wine", os.path.join(self.folder, "kestrom-master-cli.exe"), "--help"],
                                 stdout=out)
            out.seek(0)
            help_text = out.read().decode("latin-1")
        self.assertEqual(help_run.returncode, 0, help_text)
        self.assertIn("Usage: kestrom-master-cli", help_text)

        # The shipped demo project, with a web port that is free here.
        web = free_port()
        demo = os.path.join(self.work, "demo.xmb")
        with open(os.path.join(self.folder, "examples", "demo.xmb"), "rb") as f:
            text = f.read().decode("utf-16")
        text, found = re.subn(r"webport: \d+", f"webport: {web}", text)
        self.assertEqual(found, 1, "the demo project names no web port")
        with open(demo, "wb") as f:
            f.write(text.encode("utf-16"))

        exe = wine_path(os.path.join(self.folder, "KestromMaster.exe"))
        status, _ = self.drive("launch", exe, '"' + wine_path(demo) + '"')
        self.assertEqual(status, 0, "KestromMaster.exe could not be started")
        status, _ = self.drive("wait", 30)
        self.assertEqual(status, 0, "the main window did not appear")
        self.assertTrue(wait_for(lambda: self.on_screen("^Kestrom Master$")),
                        "the main window is not on the screen")
        self.assertEqual(self.drive("rows", "poll")[1], "7", "the demo project's polls are not listed")

        info = wait_for(lambda: self.information(web))
        self.assertIsNotNone(info, "the web port did not answer")
        self.assertEqual((info["program"], info["app"], info["version"]), ("Kestrom Master", "demo.xmb", VERSION))

        major, minor, _, build = VERSION.split(".")
        self.drive("command", 40023)
        status, controls = self.drive("dialog", "About", 15)
        self.assertEqual(status, 0, "the about box did not open")
        self.assertIn(f"Kestrom Master v{major}.{minor}r{build}", controls)
        self.drive("answer", "About", 1)

        self.drive("close")
        self.assertTrue(wait_for(lambda: self.drive("alive")[1] == "no", 15), "the window did not close")

    @staticmethod
    def on_screen(title):
        """Whether a window so titled is mapped on the X display: the window
        exists for Windows a moment before X shows it."""
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], capture_output=True,
                              text=True, stdin=subprocess.DEVNULL).stdout.strip() != ""

    @staticmethod
    def information(port):
        """The web information object; None while nothing listens."""
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/9999", timeout=5) as answer:
                return json.loads(answer.read())
        except OSError:
            return None


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
