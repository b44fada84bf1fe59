"""Two long checks of the command-line program's web interface against the
simulator, each bounded in time and sending only to 127.0.0.1:

  web_stress.py idle [SECONDS]   256 idle and trickling connections held open
      (closed ones are opened again) while a normal request is timed every
      100 ms: each must be answered within 100 ms, polling must keep its
      period, and the program's memory must stay bounded.
  web_stress.py soak [SECONDS [sanitizer]]   polling at poll rate 0, a load generator on
      the web interface, "ident" writes and subscribe/updates churn at once
      (meant for the ThreadSanitizer build): no sanitizer report, every
      update delivered while somebody reads them (checked after the soak),
      the change list capped at 10,000 when nobody does, and memory flat
      (not judged with "sanitizer", whose own records grow).

KESTROM_CLI and KESTROM_SLAVE_SIM name the programs. Prints the figures and
ends with "N passed, M failed".
"""
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
from peers import Simulator, free_port, stop  # noqa: E402

CLI = os.environ.get("KESTROM_CLI", "kestrom-master-cli")
results = []


def check(ok, text):
    results.append(ok)
    print(("ok    " if ok else "FAIL  ") + text, flush=True)


def write_project(folder, slave_port, pollrate):
    members = {
        "host": "127.0.0.1", "port": slave_port, "protocol": 0, "modbusaddress": 1,
        "pollrate": pollrate, "timeout": 1000, "retries": 3, "webport": 8888,
        "polls": [{"function": 3, "start": 0, "size": 10, "formatpreset": 1},
                  {"function": 6, "start": 20, "size": 1, "formatpreset": 1}],
        "datamap": [{"addr": a, "type": 2, "value": "0"} for a in list(range(10)) + [20, 500]],
    }
    path = os.path.join(folder, "web.xmb")
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + json.dumps(members).encode("utf-16-le"))
    return path


class Program:
    """The program on a free web port; its rows are read into a list."""

    def __init__(self, project, env=None, rows_file=None):
        """With rows_file the rows go to that file instead of being read as
        they come (a reader that falls behind would hold the program back)."""
        self.web_port = free_port()
        self.rows_file = rows_file
        self.process = subprocess.Popen([CLI, "--web-port", str(self.web_port), project],
                                        stdin=subprocess.DEVNULL,
                                        stdout=rows_file or subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env)
        self.sent = []  # monotonic times of the TX rows
        self.stderr = []
        self.readers = [threading.Thread(target=self._errors, daemon=True)]
        if not rows_file:
            self.readers.append(threading.Thread(target=self._rows, daemon=True))
        for reader in self.readers:
            reader.start()
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not self.answers():
            time.sleep(0.1)

    def _rows(self):
        for line in self.process.stdout:
            if line[13:16] == b"TX ":
                self.sent.append(time.monotonic())

    def _errors(self):
        for line in self.process.stderr:
            self.stderr.append(line.decode("latin-1"))

    def answers(self):
        try:
            return get(self.web_port, "/", timeout=1) is not None
        except OSError:
            return False

    def resident_kib(self):
        with open(f"/proc/{self.process.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def stop(self):
        status = stop(self.process, timeout=30)
        for reader in self.readers:  # everything the program wrote, to its end
            reader.join(10)
        return status


def get(port, target, timeout=5.0):
    """One GET on its own connection; the body (JSON) or None."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(f"GET {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return json.loads(body) if head.startswith(b"HTTP/1.1 200") else None


class Session:
    """A kept-alive connection, as a page polling the interface uses one."""

    def __init__(self, port):
        self.port = port
        self.sock = None

    def get(self, target):
        for _ in range(2):  # the server may have closed an idle one
            try:
                if self.sock is None:
                    self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=10)
                self.sock.sendall(f"GET {target} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
                return self._answer()
            except OSError:
                self.close()
        return None

    def _answer(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise OSError("closed")
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        length = int([h.split(b":")[1] for h in head.split(b"\r\n")
                      if h.lower().startswith(b"content-length")][0])
        while len(body) < length:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise OSError("closed")
            body += chunk
        if b"connection: close" in head.lower():
            self.close()
        return json.loads(body)

    def close(self):
        if self.sock:
            self.sock.close()
        self.sock = None


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * share))] if ordered else 0


def poll_periods(sent, since):
    times = [t for t in sent if t >= since]
    return [b - a for a, b in zip(times, times[1:])]


def hold(port, count, seconds):
    """Holds `count` connections open for `seconds`: half send nothing, half
    trickle a head one byte a second; both kinds are opened again when the
    server closes them. Runs in a process of its own, so its work never
    delays the requests that are timed."""
    held, opened = [], 0
    end = time.monotonic() + seconds
    announced = False
    while time.monotonic() < end:
        alive = []
        for s, trickle in held:
            try:
                if trickle:
                    s.send(b"G")
                alive.append((s, trickle))
            except OSError:
                s.close()
        held = alive
        while len(held) < count:
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", port))
            held.append((s, opened % 2 == 1))
            opened += 1
        if not announced:
            print(f"holding {count}", flush=True)
            announced = True
        time.sleep(1.0)
    print(f"opened {opened} connections in all", flush=True)
    for s, _ in held:
        s.close()


def timed_requests(port, seconds):
    """A normal request every 100 ms: the times in ms and how many were wrong."""
    timings, wrong = [], 0
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        t0 = time.monotonic()
        try:
            answer = get(port, "/3", timeout=5)
        except OSError:
            answer = None
        timings.append((time.monotonic() - t0) * 1000)
        wrong += 0 if answer and answer[0]["name"] == 3 else 1
        time.sleep(0.1)
    return timings, wrong


def idle(seconds):
    folder = tempfile.mkdtemp(prefix="kestrom-idle-")
    with Simulator("--quiet", "--animate", "200") as slave:
        program = Program(write_project(folder, slave.port, 100))
        check(program.answers(), f"the web interface answers on port {program.web_port}")
        # The same requests without any held connection first: what the
        # machine itself adds.
        start = time.monotonic()
        calm, _ = timed_requests(program.web_port, 10)
        calm_periods = poll_periods(program.sent, start)
        rss_before = program.resident_kib()
        holder = subprocess.Popen([sys.executable, os.path.abspath(__file__), "hold",
                                   str(program.web_port), "256", str(seconds + 5)],
                                  stdout=subprocess.PIPE, text=True)
        check(holder.stdout.readline().startswith("holding"), "256 connections held open")
        time.sleep(1.5)
        start = time.monotonic()
        timings, wrong = timed_requests(program.web_port, seconds)
        periods = poll_periods(program.sent, start)
        peak = program.resident_kib()
        opened = holder.stdout.readline().strip()
        holder.wait(30)
        status = program.stop()
    print(f"idle connections: 256 held open (half trickling, {opened.split()[1]} opened as the "
          f"server closed them) for {seconds} s; {len(timings)} requests answered in median "
          f"{percentile(timings, 0.5):.1f} ms, 99th percentile {percentile(timings, 0.99):.1f} "
          f"ms, slowest {max(timings):.1f} ms (without them: median "
          f"{percentile(calm, 0.5):.1f} ms, slowest {max(calm):.1f} ms); poll period median "
          f"{percentile(calm_periods, 0.5) * 1000:.0f} ms without, "
          f"{percentile(periods, 0.5) * 1000:.0f} ms with them (slowest "
          f"{max(periods) * 1000:.0f} ms); memory {rss_before} KiB before, {peak} KiB with them")
    check(wrong == 0, f"every request answered with its value ({wrong} wrong)")
    check(max(timings) < 100, f"every request answered within 100 ms ({max(timings):.1f} ms)")
    check(len(periods) > seconds * 5 and
          percentile(periods, 0.5) < percentile(calm_periods, 0.5) * 1.2 + 0.01,
          "polling keeps its period")
    check(peak < rss_before + 16 * 1024, "memory stays bounded (under 16 MiB more)")
    check(status == 0, f"the program stopped cleanly (status {status})")


def soak(seconds, under_sanitizer=False):
    folder = tempfile.mkdtemp(prefix="kestrom-soak-")
    suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake",
                                "tsan.supp")
    env = dict(os.environ, TSAN_OPTIONS="halt_on_error=0 exitcode=66 second_deadlock_stack=1 "
               f"suppressions={suppressions}")
    with Simulator("--quiet", "--animate", "10") as slave:
        rows = open(os.path.join(folder, "rows.txt"), "wb")
        began = time.monotonic()
        program = Program(write_project(folder, slave.port, 0), env, rows)
        check(program.answers(), f"the web interface answers on port {program.web_port}")
        port = program.web_port
        stop_flag = threading.Event()
        counts = {"reads": 0, "idents": 0, "updates": 0, "subscribes": 0, "failed": 0}
        count_lock = threading.Lock()

        def count(name, ok=True):
            with count_lock:
                counts[name if ok else "failed"] += 1

        def reader(n):
            session = Session(port)
            while not stop_flag.is_set():
                answer = session.get(f"/{n % 10}")
                count("reads", answer is not None)
                n += 1
            session.close()

        def identer():
            session = Session(port)
            value = 0
            while not stop_flag.is_set():
                value = (value + 1) % 65536
                answer = session.get(f"/ident?item=20&value={value}")
                count("idents", answer == {"result": "ok"})
            session.close()

        def churner():
            session = Session(port)
            n = 0
            while not stop_flag.is_set():
                if n % 20 == 0:
                    items = "&".join(f"item={a}" for a in range(n % 7, 10 + n % 5))
                    count("subscribes", session.get(f"/subscribe?{items}&item=20") is not None)
                else:
                    count("updates", session.get("/updates") is not None)
                n += 1
            session.close()

        churn_seconds = seconds
        threads = [threading.Thread(target=reader, args=(i,)) for i in range(4)]
        threads += [threading.Thread(target=identer), threading.Thread(target=churner)]
        start = time.monotonic()
        rss = []
        for t in threads:
            t.start()
        while time.monotonic() - start < churn_seconds:
            time.sleep(1)
            rss.append(program.resident_kib())
        stop_flag.set()
        for t in threads:
            t.join()

        # Every change of a subscribed address is delivered while a client
        # reads the updates; nobody reading, the newest 10,000 are kept.
        session = Session(port)
        session.get("/subscribe?item=500")
        session.get("/updates")
        writes, seen, last = 3000, [], None
        writer = Session(port)
        for value in range(1, writes + 1):
            writer.get(f"/ident?item=500&value={value}")
            if value % 50 == 0:
                seen += [int(v["value"]) for v in session.get("/updates")["values"]]
        deadline = time.monotonic() + 5
        while len(seen) < writes and time.monotonic() < deadline:
            seen += [int(v["value"]) for v in session.get("/updates")["values"]]
            time.sleep(0.05)
        ordered = all(a <= b for a, b in zip(seen, seen[1:]))
        for value in range(1, 12001):
            writer.get(f"/ident?item=500&value={value}")
        time.sleep(2)
        capped = session.get("/updates")["values"]
        last = capped[-1]["value"] if capped else None
        writer.close()
        session.close()
        status = program.stop()
        polling = time.monotonic() - began
        rows.close()
        with open(rows.name, "rb") as f:
            requests = sum(1 for line in f if line[13:16] == b"TX ")
        os.unlink(rows.name)
    reports = [line for line in program.stderr if "ThreadSanitizer" in line or "ERROR" in line]
    if reports or status != 0:
        log = os.path.join(tempfile.gettempdir(), "kestrom-soak-stderr.txt")
        with open(log, "w") as f:
            f.writelines(program.stderr)
        print(f"the program's standard error is in {log}")
    # Flat: the second half of the run adds less than a tenth (caches and the
    # bounded queues fill during the first half).
    middle = rss[len(rss) // 2] if rss else 0
    grown = (rss[-1] - middle) if rss else 0
    print(f"soak: {churn_seconds} s at poll rate 0: {requests} requests to the slave in "
          f"the whole run of {polling:.0f} s ({requests / polling:.0f} a second), web: {counts['reads']} "
          f"reads, {counts['idents']} idents, {counts['subscribes']} subscribes, "
          f"{counts['updates']} updates, {counts['failed']} failed; memory "
          f"{middle} KiB half way, {rss[-1] if rss else 0} KiB at the end; {len(seen)} of {writes} changes delivered in order: {ordered}; "
          f"12,000 unread changes kept as {len(capped)}, the newest {last}; memory every 5 s "
          f"(KiB): {' '.join(str(k) for k in rss[4::5])}")
    check(not reports, "no sanitizer report" + (":\n" + "".join(reports[:20]) if reports else ""))
    check(status == 0, f"the program stopped cleanly (status {status})")
    check(counts["failed"] == 0, f"every web request answered ({counts['failed']} failed)")
    check(len(seen) == writes and ordered, f"every change delivered once and in order "
          f"({len(seen)} of {writes})")
    check(len(capped) == 10000 and last == "12000", "unread changes capped at the newest 10,000")
    if under_sanitizer:
        print("memory: not judged under a sanitizer, whose own records grow with the run")
    else:
        check(grown < middle * 0.1, f"memory flat (grew {grown} KiB in the second half)")


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "idle"
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else (30 if mode == "idle" else 60)
    if mode == "hold":
        hold(int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]))
        return 0
    if mode == "soak":
        soak(seconds, "sanitizer" in sys.argv[3:])
    else:
        idle(seconds)
    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
