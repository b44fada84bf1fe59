"""Kill during save: the command-line program polls the simulator once and
saves a large project over itself (--do-poll 0 --save), and is killed with
SIGKILL at a random moment of that save. Afterwards the project must be the
complete old file or the complete new one, byte for byte, never a mix and
never empty; the temporary files the killed saves left are removed by the
next save that completes, and nothing else beside the project is.

  kill_save.py TRIALS [ENTRIES]     (KESTROM_CLI, KESTROM_SLAVE_SIM)
  kill_save.py --wine TRIALS [ENTRIES]  the Windows build under Wine
                                    (KESTROM_WIN_CLI, KESTROM_WINEPREFIX)

Prints the counts and ends with "N passed, M failed".
"""
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

from peers import Simulator

WINE = "--wine" in sys.argv
ARGS = [a for a in sys.argv[1:] if a != "--wine"]
TRIALS = int(ARGS[0]) if ARGS else 10
ENTRIES = int(ARGS[1]) if len(ARGS) > 1 else 65536
TEMPORARY = re.compile(r"^plant\.xmb\.~\d+-\d+$")


def program():
    if WINE:
        env = dict(os.environ, WINEPREFIX=os.environ.get("KESTROM_WINEPREFIX", ""),
                   WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        return ["wine", os.environ["KESTROM_WIN_CLI"]], env, lambda p: "Z:" + p.replace("/", "\\")
    return [os.environ.get("KESTROM_CLI", "kestrom-master-cli")], dict(os.environ), lambda p: p


def write_project(path, port):
    """Every address mapped: a project file of about 5 MB as UTF-16."""
    members = {
        "host": "127.0.0.1", "port": port, "protocol": 0, "modbusaddress": 1,
        "pollrate": 100, "timeout": 1000, "retries": 3, "webport": 8888,
        "polls": [{"function": 3, "start": 0, "size": 100, "formatpreset": 1}],
        "datamap": [{"addr": a, "type": 2, "value": "0"} for a in range(ENTRIES)],
    }
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + json.dumps(members).encode("utf-16-le"))


def temporaries(folder):
    return [n for n in os.listdir(folder) if TEMPORARY.match(n)]


def run(cli, env, project, folder, kill_after=None, in_write=False):
    """One run. With kill_after it is killed with SIGKILL that many seconds
    after its last row (the save follows the rows), or with in_write that
    many seconds after the save's temporary file appeared. Returns the
    seconds from the last row to the end and those the temporary file lived."""
    before = set(temporaries(folder))
    process = subprocess.Popen(cli + ["--no-web", "--do-poll", "0", "--save", project, project],
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env)
    closed = None
    for line in process.stdout:
        if b"Connection Closed" in line:
            closed = time.monotonic()
            break
    appeared = gone = None
    while process.poll() is None:
        now = time.monotonic()
        fresh = set(temporaries(folder)) - before
        if fresh and appeared is None:
            appeared = now
        if appeared is not None and not fresh and gone is None:
            gone = now
        if kill_after is not None:
            start = appeared if in_write else closed
            if start is not None and now - start >= kill_after:
                process.kill()
                break
        time.sleep(0.0005)
    process.wait(120)
    process.stdout.close()
    end = time.monotonic()
    written = ((gone or end) - appeared) if appeared else 0.0
    return ((end - closed) if closed else None), written


def main():
    cli, env, native_path = program()
    folder = tempfile.mkdtemp(prefix="kestrom-kill-save-")
    project = os.path.join(folder, "plant.xmb")
    bystanders = {"other.xmb.~1-0": b"x", "plant.xmb.bak": b"y", "plant.xmb.~old": b"z"}
    for name, data in bystanders.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    passed = failed = 0
    counts = {"old": 0, "new": 0}
    strays_seen = 0
    with Simulator("--quiet", "--set", "hr:0-99=4321") as slave:
        write_project(project, slave.port)
        with open(project, "rb") as f:
            old = f.read()
        save_seconds, write_seconds = run(cli, env, native_path(project), folder)
        with open(project, "rb") as f:
            new = f.read()
        if save_seconds is None or new == old or "4321" not in new.decode("utf-16-le"):
            print("the reference save did not happen")
            print("0 passed, 1 failed")
            return 1
        print(f"project {len(old)} bytes, saved {len(new)} bytes; the save took "
              f"{save_seconds:.3f} s, of which {write_seconds:.3f} s writing its temporary file")
        random.seed(20261206)
        for trial in range(TRIALS):
            with open(project, "wb") as f:
                f.write(old)
            # Half the trials strike anywhere in the save, half while the
            # temporary file is written and renamed.
            in_write = trial % 2 == 1
            window = (write_seconds if in_write else save_seconds) * 1.2
            run(cli, env, native_path(project), folder, random.uniform(0, window), in_write)
            with open(project, "rb") as f:
                now = f.read()
            kind = "old" if now == old else "new" if now == new else None
            if kind:
                counts[kind] += 1
                passed += 1
            else:
                failed += 1
                print(f"trial {trial}: the project is neither file ({len(now)} bytes)")
            strays_seen += sum(1 for n in os.listdir(folder) if TEMPORARY.match(n))
        # A save that completes clears what the killed ones left.
        with open(project, "wb") as f:
            f.write(old)
        run(cli, env, native_path(project), folder)
        left = sorted(os.listdir(folder))
        expected = sorted(["plant.xmb", *bystanders])
        if left == expected:
            passed += 1
        else:
            failed += 1
            print(f"after a complete save the folder holds {left}, expected {expected}")
    shutil.rmtree(folder)
    print(f"kill during save: {TRIALS} trials, {counts['old']} old, {counts['new']} new, "
          f"{TRIALS - counts['old'] - counts['new']} broken; temporary files left by killed "
          f"saves: {strays_seen}, after the next complete save: "
          f"{'none' if left == expected else left}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
