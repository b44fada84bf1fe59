"""End-to-end tests of KestromMaster.exe under Wine on the test run's X
display. The real program is started with a project on its command line and
driven from outside as a user and other programs would: the driver program
(menu commands, list views, menu states, message boxes), xdotool (keys and
clicks), a DDE client (the driver) and curl on the web port. The slave is the
simulator, over TCP on loopback and over a socat pty pair mapped to a COM
port of the Wine prefix.

Usage: test_main_window.py KESTROMMASTER_EXE DRIVER_EXE SIMULATOR [unittest arguments]
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

EXE, DRIVER, SIMULATOR = sys.argv[1:4]
WINEPREFIX = os.environ["WINEPREFIX"]
SETTINGS = os.path.join(WINEPREFIX, "drive_c", "ProgramData", "Kestrom Master",
                        "Kestrom Master.ini")

# Command ids of the menus.
EXIT, COMMS, ADD_POLL, SAVE, DELETE_POLL, RUN, EDIT_POLL = 40001, 40002, 40003, 40004, 40005, 40007, 40008
TRACK, OPEN, NEW, RECENT, SAVE_AS, ADD_ADDRESSES, ADD_POLLED = 40009, 40011, 40012, 40014, 40015, 40016, 40017
MOVE_UP, MOVE_DOWN, DO_POLL, ABOUT, LOG = 40019, 40020, 40022, 40023, 40025
OK, CANCEL, YES, NO = 1, 2, 6, 7


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def write_project(path, **fields):
    """A project file as the program writes them: UTF-16LE with a BOM."""
    project = {"Serial": False, "host": "127.0.0.1", "port": 502, "protocol": 0,
               "modbusaddress": 1, "pollrate": 100, "timeout": 500, "retries": 3,
               "webport": free_port(), "polls": [], "datamap": []}
    project.update(fields)
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + json.dumps(project).encode("utf-16-le"))
    return project


def read_project(path):
    with open(path, "rb") as f:
        data = f.read()
    return json.loads(data[2:].decode("utf-16-le"))


def poll(function, start, size, preset):
    return {"function": function, "start": start, "size": size, "formatpreset": preset}


def entry(address, kind, value="0"):
    return {"addr": address, "type": kind, "value": value}


def write_settings(text):
    """Lines end in CR LF on disk, as Windows writes them."""
    os.makedirs(os.path.dirname(SETTINGS), exist_ok=True)
    with open(SETTINGS, "w", newline="\r\n") as f:
        f.write(text)


def read_settings():
    try:
        with open(SETTINGS, encoding="latin-1") as f:
            return f.read()
    except OSError:
        return ""


def wait_until(check, seconds=15, what="the condition"):
    deadline = time.monotonic() + seconds
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)


class Simulator:
    """The slave simulator on a loopback port or a serial device."""

    def __init__(self, *arguments):
        self.process = subprocess.Popen([SIMULATOR, *arguments, "--quiet"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        self.line = self.process.stdout.readline().strip()
        match = re.search(r":(\d+)$", self.line)
        self.port = int(match.group(1)) if match else None

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Program:
    """KestromMaster.exe started with a command line, and the driver."""

    def __init__(self, command_line=None, wait=True):
        # Started by the driver, so the program gets exactly this command
        # line (wine itself would quote and escape it).
        arguments = ["wine", DRIVER, "launch", wine_path(os.path.abspath(EXE))]
        if command_line is not None:
            arguments.append(command_line)
        # The program inherits the launcher's output: not the test's pipes.
        subprocess.run(arguments, check=True, timeout=60, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if wait and subprocess.run(["wine", DRIVER, "wait", "30"]).returncode != 0:
            raise AssertionError("the main window did not appear")

    def drive(self, *arguments, check=True):
        result = subprocess.run(["wine", DRIVER, *map(str, arguments)], capture_output=True,
                                text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError(f"driver {arguments} failed ({result.returncode})")
        return result.stdout.replace("\r", "").strip()

    def rows(self, pane):
        return int(self.drive("rows", pane))

    def text(self, pane, row, column):
        return self.drive("text", pane, row, column)

    def menu(self, command):
        return self.drive("menu", command)

    def command(self, command):
        self.drive("command", command)

    def stopped(self):
        return self.menu(RUN) == "enabled unchecked Run"

    def alive(self):
        return self.drive("alive", check=False) == "yes"

    def wait_gone(self, seconds=20):
        wait_until(lambda: not self.alive(), seconds, "the program's end")

    def answer(self, title, button, expect_text=None):
        controls = self.drive("dialog", title, 10)
        if expect_text is not None and expect_text not in controls:
            raise AssertionError(f"{title!r} does not say {expect_text!r}: {controls}")
        self.drive("answer", title, button)
        return controls

    def close_without_saving(self):
        if not self.alive():
            return
        self.drive("close", check=False)
        if subprocess.run(["wine", DRIVER, "dialog", "Kestrom Master", "2"],
                          capture_output=True).returncode == 0:
            self.drive("answer", "Kestrom Master", NO, check=False)
        self.wait_gone()


def xdotool(*arguments):
    subprocess.run(["xdotool", *map(str, arguments)], check=True, timeout=20)


def focus(program):
    """Keys go where a user would type them: Wine's desktop window has the X
    focus, and a click on the main window's title bar makes it the active
    window inside it."""
    windows = subprocess.run(["xdotool", "search", "--name", "Wine desktop"], capture_output=True,
                             text=True).stdout.split()
    if windows:
        subprocess.run(["xdotool", "windowfocus", "--sync", windows[0]], timeout=20)
    left, top, right, _ = (int(v) for v in program.drive("window").split())
    xdotool("mousemove", (left + right) // 2, top + 10, "click", "1")
    time.sleep(0.3)


def http_get(port, target):
    return subprocess.run(["curl", "-s", "--max-time", "5", f"http://127.0.0.1:{port}{target}"],
                          capture_output=True, text=True).stdout


_saved_settings = None


def setUpModule():
    """The settings file belongs to the prefix's user (make run shares it):
    the tests put back what was there."""
    global _saved_settings
    _saved_settings = read_settings() if os.path.exists(SETTINGS) else None


def tearDownModule():
    if _saved_settings is None:
        if os.path.exists(SETTINGS):
            os.remove(SETTINGS)
    else:
        write_settings(_saved_settings.replace("\r\n", "\n"))


class MainWindowTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kestrom e2e ")
        self.cleanups = []
        write_settings("")

    def tearDown(self):
        for cleanup in reversed(self.cleanups):
            cleanup()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, command_line=None):
        program = Program(command_line)
        self.cleanups.append(program.close_without_saving)
        return program

    def simulator(self, *arguments):
        simulator = Simulator(*arguments)
        self.cleanups.append(simulator.stop)
        return simulator

    def project(self, name="plant project.xmb", **fields):
        path = os.path.join(self.folder, name)
        return path, write_project(path, **fields)

    def open_project(self, **fields):
        """The program started with a new project of these fields, and the path."""
        path, _ = self.project(**fields)
        return self.start(wine_path(path)), path

    def test_polling_a_slave_over_tcp_from_run_to_close(self):
        slave = self.simulator("--port", "0", "--set", "hr:0-9=100,101,102,103,104,105,106,107,108,109",
                               "--set", "coil:100-103=1,0,1,1", "--set", "float:300-301=1.5,-2.25")
        path, project = self.project(
            port=slave.port,
            polls=[poll(3, 0, 10, 1), poll(1, 100, 4, 0), poll(65, 300, 2, 2)],
            datamap=[entry(0, 2), entry(1, 2), entry(9, 2), entry(100, 1), entry(102, 1),
                     entry(300, 4), entry(301, 4)])
        # A path with blanks, given in quotes as Explorer does.
        program = self.start(f'"{wine_path(path)}"')
        self.assertEqual(program.rows("poll"), 3)
        self.assertEqual(program.text("poll", 2, 0), "65: Daniel Read Floats")
        self.assertEqual(program.rows("map"), 7)
        self.assertEqual(program.drive("status", 1), "Not Connected")
        self.assertEqual(program.menu(RUN), "enabled unchecked Run")

        # Run, with a click on the tool bar's button.
        focus(program)
        x, y = program.drive("toolpoint", RUN).split()
        xdotool("mousemove", x, y, "click", "1")
        wait_until(lambda: program.text("map", 6, 1) == "-2.25", what="the float from the slave")
        self.assertEqual([program.text("map", row, 1) for row in range(7)],
                         ["100", "101", "109", "1", "1", "1.5", "-2.25"])
        self.assertEqual(program.menu(RUN), "enabled checked Run")
        self.assertEqual(program.drive("tool", RUN), "enabled pressed")
        self.assertEqual(program.drive("tool", COMMS), "grayed released")
        wait_until(lambda: program.drive("status", 1) == "Connected", what="Connected")
        for command in (NEW, OPEN, ADD_POLL, COMMS, ADD_ADDRESSES):
            self.assertTrue(program.menu(command).startswith("grayed"), command)
        self.assertGreater(program.rows("monitor"), 4)
        self.assertEqual(program.text("monitor", 0, 2), "Attempting to connect.")
        self.assertEqual(program.text("monitor", 1, 2), "Connected")

        # Other programs read the values: DDE and the web interface.
        self.assertEqual(program.drive("dde", "00001"), "101")
        self.assertEqual(program.drive("dde", "00300"), "1.5")
        web = project["webport"]
        self.assertEqual(json.loads(http_get(web, "/9")), [{"name": 9, "value": "109"}])
        info = json.loads(http_get(web, "/9999"))
        self.assertEqual(info["app"], "plant project.xmb")
        self.assertEqual((info["connected"], info["running"]), (True, True))

        # Stop.
        program.command(RUN)
        wait_until(program.stopped, what="Run unchecked")
        self.assertEqual(program.drive("tool", RUN), "enabled released")
        wait_until(lambda: program.text("monitor", program.rows("monitor") - 1, 2) == "Connection Closed",
                   what="the closing row")
        self.assertEqual(program.drive("status", 1), "Not Connected")

        # A DDE client's poke shows in the address map.
        self.assertEqual(program.drive("dde", "00000", "55"), "ok")
        wait_until(lambda: program.text("map", 0, 1) == "55", what="the poked value in the map")

        # Do Poll sends the selected poll once.
        before = program.rows("monitor")
        program.drive("select", "poll", 1)
        program.command(DO_POLL)
        wait_until(lambda: program.stopped() and program.rows("monitor") >= before + 5,
                   what="the single poll's rows")
        added = [program.text("monitor", row, 2) for row in range(before, program.rows("monitor"))]
        self.assertEqual(added, ["Attempting to connect.", "Connected", "Poll 01: Read Coils 100 to 103",
                                 "Reply 01: Read Coils with 1 bytes of data", "Connection Closed"])

        # Save writes the values.
        program.command(SAVE)
        wait_until(lambda: read_project(path)["datamap"][2]["value"] == "109", what="the saved values")
        saved = {e["addr"]: e["value"] for e in read_project(path)["datamap"]}
        self.assertEqual(saved[301], "-2.25")

        # A web write makes the document modified: closing asks.
        self.assertEqual(json.loads(http_get(web, "/ident?item=1&value=7")), {"result": "ok"})
        wait_until(lambda: program.text("map", 1, 1) == "7", what="the written value in the map")
        write_settings("")
        program.drive("close")
        program.answer("Kestrom Master", CANCEL, expect_text="Save Changes?")
        time.sleep(1)
        self.assertTrue(program.alive(), "Cancel keeps the window")
        self.assertEqual(read_settings(), "", "and writes nothing")
        program.drive("close")
        program.answer("Kestrom Master", NO, expect_text="Save Changes?")
        program.wait_gone()
        settings = read_settings()
        self.assertRegex(settings, r"Splitter=\d+")
        self.assertIn("Recent=" + wine_path(path), settings)
        self.assertEqual(read_project(path)["datamap"][1]["value"], "101", "No saves nothing")

    def test_polling_a_slave_on_a_com_port(self):
        socat = subprocess.Popen(["socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.cleanups.append(lambda: (socat.kill(), socat.wait(), socat.stderr.close()))
        names = []
        while len(names) < 2:
            names += re.findall(r"PTY is (\S+)", socat.stderr.readline())
        link = os.path.join(WINEPREFIX, "dosdevices", "com17")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(names[0], link)
        self.cleanups.append(lambda: os.remove(link))
        self.simulator("--serial", names[1], "--baud", "19200", "--set", "hr:40-41=4321,1234")
        program, _ = self.open_project(Serial=True, comport=17, baud=19200, protocol=1, timeout=1000,
                                       polls=[poll(3, 40, 2, 1)], datamap=[entry(40, 2), entry(41, 2)])
        program.command(RUN)
        wait_until(lambda: program.text("map", 1, 1) == "1234", seconds=20, what="the RTU reply")
        self.assertEqual(program.text("map", 0, 1), "4321")
        replies = [row for row in range(program.rows("monitor"))
                   if program.text("monitor", row, 1) == "RX"]
        self.assertTrue(replies)
        self.assertRegex(program.text("monitor", replies[0], 3), r"^01 03 04 10 E1 04 D2 [0-9A-F]{2} [0-9A-F]{2}$",
                         "the reply's bytes, CRC included")
        program.command(RUN)
        wait_until(program.stopped, what="stopped")

    def test_poll_list_commands_follow_the_selection(self):
        program, _ = self.open_project(polls=[poll(3, 0, 10, 1), poll(1, 100, 8, 0), poll(4, 200, 2, 7),
                                              poll(6, 20, 1, 1)])
        # Move Up and Move Down for the first row, the last, and two at once.
        for rows, up, down in (((0,), "grayed", "enabled"), ((3,), "enabled", "grayed"),
                               ((1, 2), "grayed", "grayed")):
            program.drive("select", "poll", *rows)
            self.assertEqual([program.menu(c).split()[0] for c in (MOVE_UP, MOVE_DOWN)], [up, down], rows)
        self.assertTrue(program.menu(DELETE_POLL).startswith("enabled"))

        program.drive("select", "poll", 1)
        program.command(MOVE_DOWN)
        wait_until(lambda: program.text("poll", 2, 0) == "01: Read Coils", what="the moved poll")

        # Three polls at once, without a question; every row shows its own
        # poll afterwards.
        program.drive("select", "poll", 0, 1, 3)
        program.command(DELETE_POLL)
        wait_until(lambda: program.rows("poll") == 1, what="the deleted rows")
        self.assertEqual(program.text("poll", 0, 0), "01: Read Coils")
        program.drive("select", "poll", 0)
        program.command(EDIT_POLL)
        controls = program.drive("dialog", "Modbus Poll", 10)
        for shown in ("01: Read Coils", "100", "8"):
            self.assertIn(f" {shown}\n", controls + "\n", "Edit Poll shows the poll the row shows")
        program.drive("answer", "Modbus Poll", CANCEL)

    def test_keys_and_clicks_reach_the_menus_and_dialogs(self):
        slave = self.simulator("--port", "0", "--set", "hr:0-1=11,12")
        program, _ = self.open_project(port=slave.port, polls=[poll(3, 0, 2, 1)],
                                       datamap=[entry(0, 2), entry(1, 2)])
        focus(program)
        # Alt+C opens Control; Enter takes its one item, Run.
        xdotool("key", "alt+c")
        time.sleep(0.5)
        xdotool("key", "Return")
        wait_until(lambda: program.menu(RUN) == "enabled checked Run", what="Run through the keys")
        wait_until(lambda: program.text("map", 1, 1) == "12", what="the polled value")
        xdotool("key", "alt+c")
        time.sleep(0.5)
        xdotool("key", "Return")
        wait_until(program.stopped, what="stopped through the keys")

        # A double-click on a poll row opens Edit Poll; the start is typed.
        x, y = program.drive("rowpoint", "poll", 0).split()
        xdotool("mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
        program.drive("dialog", "Modbus Poll", 10)
        time.sleep(0.3)
        # Tab to the start address, whose text the dialog then selects.
        xdotool("key", "Tab")
        xdotool("type", "--delay", "50", "42")
        xdotool("key", "Return")
        wait_until(lambda: program.text("poll", 0, 1) == "42", what="the typed start address")
        # The edit is a change: closing now asks.
        program.drive("close")
        program.answer("Kestrom Master", NO, expect_text="Save Changes?")
        program.wait_gone()

    def test_start_up_edge_cases(self):
        # A lone quote names no project; an empty recent entry is grayed.
        write_settings("[Files]\nRecent=\n[UI]\nSplitter=-5\n")
        program = self.start('"')
        self.assertEqual(program.rows("poll"), 0)
        self.assertEqual(program.menu(RECENT), "grayed unchecked <recent file>")
        left = program.drive("rect", "poll").split()
        self.assertLessEqual(int(left[2]), 1, "a splitter of -5 stands at 0")
        program.close_without_saving()

        write_settings("[UI]\nSplitter=99999\n")
        program = self.start()
        window = [int(v) for v in program.drive("window").split()]
        polls = [int(v) for v in program.drive("rect", "poll").split()]
        monitor = [int(v) for v in program.drive("rect", "monitor").split()]
        self.assertEqual(monitor[2] - monitor[0], 0, "no room is left right of the bar")
        self.assertGreater(polls[2], (window[2] - window[0]) - 40,
                           "the bar stops short of the window's width")
        program.close_without_saving()
        self.assertRegex(read_settings(), r"Splitter=\d+")

    def test_a_run_that_ends_by_itself_leaves_the_window_editable(self):
        program, _ = self.open_project(port=free_port(), retries=2, timeout=200, polls=[poll(3, 0, 1, 1)])
        program.command(RUN)
        wait_until(lambda: program.stopped() and program.menu(ADD_POLL).startswith("enabled"),
                   what="the run's end")
        rows = [program.text("monitor", row, 2) for row in range(program.rows("monitor"))]
        self.assertEqual(rows.count("Connection Failed."), 2)
        self.assertEqual(program.drive("tool", COMMS), "enabled released")

    def test_web_ports_from_settings_dialog_and_a_taken_port(self):
        # The settings file's port serves at once and marks nothing modified.
        port = free_port()
        write_settings(f"[Connection]\nWebPort={port}\n")
        program = self.start()
        self.assertEqual(json.loads(http_get(port, "/1"))["program"], "Kestrom Master")

        # OK in Comms Parameters restarts the server on the port entered.
        moved = free_port()
        program.command(COMMS)
        program.drive("dialog", "Connection Details", 10)
        program.drive("settext", "Connection Details", 1007, moved)
        program.drive("answer", "Connection Details", OK)
        wait_until(lambda: http_get(moved, "/1"), what="the server on the new port")
        self.assertEqual(http_get(port, "/1"), "", "the old port is closed")

        # A project whose port is taken says so in the status bar.
        taken = socket.socket()
        taken.bind(("0.0.0.0", 0))
        taken.listen()
        self.cleanups.append(taken.close)
        path, _ = self.project(webport=taken.getsockname()[1])
        program.command(NEW)
        program.answer("Kestrom Master", NO, expect_text="Save Changes?")
        program.close_without_saving()
        program = self.start(wine_path(path))
        self.assertEqual(program.drive("status", 0), f"Can't listen on web port {taken.getsockname()[1]}")

    def test_yes_on_closing_saves_the_project(self):
        program, path = self.open_project(polls=[poll(3, 0, 1, 1)])
        program.drive("select", "poll", 0)
        program.command(DELETE_POLL)
        wait_until(lambda: program.rows("poll") == 0, what="the deleted poll")
        program.drive("close")
        program.answer("Kestrom Master", YES, expect_text="Save Changes?")
        program.wait_gone()
        self.assertEqual(read_project(path)["polls"], [], "Yes saved before closing")

    def test_a_project_that_cannot_be_opened_is_explained(self):
        broken = os.path.join(self.folder, "broken.xmb")
        with open(broken, "wb") as f:
            f.write(b"\xff\xfe" + "{\n\"polls\": [5]\n".encode("utf-16-le"))
        program = Program(wine_path(broken), wait=False)
        self.cleanups.append(program.close_without_saving)
        controls = program.drive("dialog", "Kestrom Master", 30)
        self.assertIn("line", controls)
        program.drive("answer", "Kestrom Master", OK)
        self.assertEqual(program.rows("poll"), 0)
        self.assertEqual(program.menu(RECENT), "grayed unchecked <recent file>")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], *sys.argv[4:]], verbosity=2)
