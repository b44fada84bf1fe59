#!/usr/bin/python3
"""Puts one release archive together.

  package.py win   --version V --source ROOT --strip STRIP --output ZIP KestromMaster.exe kestrom-master-cli.exe
  package.py linux --version V --source ROOT --strip STRIP --output TGZ kestrom-master-cli kestrom-slave-sim

The archive holds one folder named after it: the programs (stripped of their
symbols), the user guide as HTML and Markdown with its pictures, the demo
project, a README and the licence texts of the libraries linked into the
programs, copied from the installed Debian packages. Anything missing stops
the packing with a message naming it; the archive is written under a
temporary name and renamed, so a failed run never leaves a half archive.
"""
import argparse
import html
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

# Licence texts of what the programs contain, per archive: (file in the
# archive, installed file it is copied from, what it covers).
LICENCES = {
    "win": [
        ("cpp-httplib.txt", "/usr/share/doc/libcpp-httplib-dev/copyright",
         "cpp-httplib, the HTTP server of the web interface (MIT licence)"),
        ("mingw-w64-runtime.txt", "/usr/share/doc/mingw-w64-x86-64-dev/copyright",
         "the MinGW-w64 runtime and its winpthreads library, linked into both programs"),
        ("gcc-runtime-libraries.txt", "/usr/share/doc/g++-mingw-w64-x86-64-posix/copyright",
         "libstdc++ and libgcc, linked into both programs under the GCC Runtime Library Exception"),
        ("GPL-3.txt", "/usr/share/common-licenses/GPL-3",
         "the GNU General Public License version 3, which the GCC Runtime Library Exception amends"),
    ],
    "linux": [
        ("cpp-httplib.txt", "/usr/share/doc/libcpp-httplib-dev/copyright",
         "cpp-httplib, the HTTP server of the web interface (MIT licence)"),
    ],
}

PROGRAMS = {
    "win": ["KestromMaster.exe", "kestrom-master-cli.exe"],
    "linux": ["kestrom-master-cli", "kestrom-slave-sim"],
}

WIN_README = """\
Kestrom Master {version} for 64-bit Windows
==========================================

Kestrom Master is a Modbus master: it polls one slave device over Modbus TCP
or over a serial port (Modbus RTU), shows every packet, keeps the values you
map and lets you write them, and hands them to other programs over DDE and
HTTP.

Nothing needs installing. Unpack this folder anywhere (a USB stick works) and
double-click KestromMaster.exe. The programs use only the DLLs that come with
Windows.

  KestromMaster.exe        the program
  kestrom-master-cli.exe   the same master without windows, for a command
                           prompt, a script or a service
  user-guide.html          the user guide: start here
  user-guide.md            the same guide as plain text
  images\\                  the guide's pictures
  examples\\demo.xmb        a demo project (File > Open)
  licences\\                licence texts of the libraries inside the programs

The slave simulator that the guide mentions (kestrom-slave-sim) is a Linux
program and is not part of this zip; it comes in the Linux archive
kestrom-master-{version}-linux-x86_64.tar.gz. To try the program without a
device, run it there, or use any Modbus slave simulator for Windows.

The program keeps its settings in
C:\\ProgramData\\Kestrom Master\\Kestrom Master.ini and writes the traffic log,
when you switch it on, to "Kestrom Master.log" in your Documents folder. To
remove it, delete this folder and those two files.
"""

LINUX_README = """\
Kestrom Master {version}: the command-line master and the slave simulator for Linux (x86-64)
============================================================================================

  bin/kestrom-master-cli   the Modbus master without windows: opens a project
                           file, polls the slave, prints every packet, serves
                           the web interface
  bin/kestrom-slave-sim    a scriptable Modbus slave (TCP or serial) to try
                           the master against: bin/kestrom-slave-sim --help
  user-guide.html          the user guide (also user-guide.md)
  examples/demo.xmb        the demo project
  licences/                licence texts of the libraries inside the programs

The master needs cpp-httplib's shared library; on Debian 12:

  apt-get install libcpp-httplib0.11

Try it: start the simulator with changing values, then poll it with the demo
project (Ctrl-C stops the master, kill %1 the simulator):

  bin/kestrom-slave-sim --port 5020 --animate 1000 --set hr:0-9=100 \\
    --set ir:200:u32=0,70000 --set hr:40:f32cdab=3.25,-7.5 \\
    --set float:300-303=1.5 --set double:400-401=20.25 &
  bin/kestrom-master-cli examples/demo.xmb

While it runs, read a value over HTTP: curl 127.0.0.1:8888/300

The Windows program, KestromMaster.exe, comes in
kestrom-master-{version}-win64.zip.
"""

HTML_PAGE = """\
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Kestrom Master {version}: user guide</title>
<style>
body {{ font-family: "Segoe UI", Arial, sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em;
       line-height: 1.45; color: #222; }}
h1, h2, h3 {{ color: #1b3d6d; }}
h2 {{ border-bottom: 1px solid #ccd; padding-bottom: 0.2em; margin-top: 2em; }}
code, pre {{ font-family: Consolas, "DejaVu Sans Mono", monospace; background: #f3f3f6; }}
pre {{ padding: 0.6em; overflow-x: auto; }}
table {{ border-collapse: collapse; margin: 0.8em 0; }}
th, td {{ border: 1px solid #ccd; padding: 0.25em 0.6em; text-align: left; vertical-align: top; }}
th {{ background: #eef; }}
img {{ max-width: 100%; border: 1px solid #ccd; }}
.version {{ color: #666; }}
</style>
</head>
<body>
<p class="version">Kestrom Master {version}</p>
{body}
</body>
</html>
"""


class PackingError(Exception):
    pass


def guide_images(markdown_text):
    """The pictures the guide shows, as paths relative to its folder."""
    return sorted(set(re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", markdown_text)))


def render_guide(markdown_text, version):
    try:
        import markdown
    except ImportError as error:
        raise PackingError("the HTML guide needs Python's markdown module "
                           "(Debian package python3-markdown)") from error
    body = markdown.markdown(markdown_text, extensions=["tables", "fenced_code", "toc"],
                             output_format="html5")
    return HTML_PAGE.format(version=html.escape(version), body=body)


def windows_text(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def copy_program(source, target, strip):
    if not os.path.isfile(source):
        raise PackingError(f"program not built: {source}")
    result = subprocess.run([strip, "-o", target, source], capture_output=True, text=True)
    if result.returncode != 0:
        raise PackingError(f"{strip} failed on {source}: {result.stderr.strip()}")
    os.chmod(target, 0o755)


def write_text(path, text, windows):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(windows_text(text) if windows else text)


def stage(kind, args, folder):
    """Lays the archive's files out in folder."""
    windows = kind == "win"
    expected = PROGRAMS[kind]
    if [os.path.basename(p) for p in args.programs] != expected:
        raise PackingError(f"expected the programs {', '.join(expected)}, got {', '.join(args.programs)}")
    bin_folder = folder if windows else os.path.join(folder, "bin")
    os.makedirs(bin_folder, exist_ok=True)
    for program in args.programs:
        copy_program(program, os.path.join(bin_folder, os.path.basename(program)), args.strip)

    guide_path = os.path.join(args.source, "docs", "user-guide.md")
    try:
        with open(guide_path, encoding="utf-8") as f:
            guide = f.read()
    except OSError as error:
        raise PackingError(f"the user guide is missing: {guide_path}") from error
    write_text(os.path.join(folder, "user-guide.md"), guide, windows)
    write_text(os.path.join(folder, "user-guide.html"), render_guide(guide, args.version), windows)
    for image in guide_images(guide):
        source = os.path.normpath(os.path.join(args.source, "docs", image))
        if not os.path.isfile(source):
            raise PackingError(f"the guide shows {image}, which is missing ({source})")
        target = os.path.join(folder, image)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source, target)

    os.makedirs(os.path.join(folder, "examples"), exist_ok=True)
    shutil.copyfile(os.path.join(args.source, "examples", "demo.xmb"),
                    os.path.join(folder, "examples", "demo.xmb"))

    index = ["Licence texts of the libraries inside the programs, copied from the",
             "Debian packages the programs were built with:", ""]
    for name, source, covers in LICENCES[kind]:
        try:
            with open(source, encoding="utf-8") as f:
                text = f.read()
        except OSError as error:
            raise PackingError(f"licence text missing: {source} (for {name})") from error
        if not text.strip():
            raise PackingError(f"licence text empty: {source} (for {name})")
        write_text(os.path.join(folder, "licences", name), text, windows)
        index.append(f"  {name}: {covers}")
    write_text(os.path.join(folder, "licences", "README.txt"), "\n".join(index) + "\n", windows)

    readme = (WIN_README if windows else LINUX_README).format(version=args.version)
    write_text(os.path.join(folder, "README.txt"), readme, windows)


def archive(kind, folder, output):
    """Writes the folder into the archive, its files in name order."""
    top = os.path.basename(folder)
    files = []
    for here, dirs, names in os.walk(folder):
        dirs.sort()
        files += [os.path.join(here, name) for name in sorted(names)]
    partial = output + ".partial"
    if kind == "win":
        with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
            for path in files:
                z.write(path, os.path.join(top, os.path.relpath(path, folder)))
    else:
        with tarfile.open(partial, "w:gz") as t:
            t.add(folder, top)
    os.replace(partial, output)


def archive_folder_name(output):
    name = os.path.basename(output)
    for suffix in (".zip", ".tar.gz"):
        if name.endswith(suffix):
            return name[: -len(suffix)]
    raise PackingError(f"the archive must end in .zip or .tar.gz: {name}")


def main():
    parser = argparse.ArgumentParser(description="Puts one release archive together.")
    parser.add_argument("kind", choices=sorted(PROGRAMS))
    parser.add_argument("--version", required=True)
    parser.add_argument("--source", required=True, help="the repository")
    parser.add_argument("--strip", required=True, help="the strip program for these programs")
    parser.add_argument("--output", required=True)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", args.version):
        parser.error(f"a version has four numbers: {args.version}")
    if args.version not in os.path.basename(args.output):
        parser.error(f"the archive's name must carry the version {args.version}")
    try:
        os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
        with tempfile.TemporaryDirectory() as work:
            folder = os.path.join(work, archive_folder_name(args.output))
            stage(args.kind, args, folder)
            archive(args.kind, folder, args.output)
    except PackingError as error:
        print(f"package.py: {error}", file=sys.stderr)
        return 1
    print(args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
