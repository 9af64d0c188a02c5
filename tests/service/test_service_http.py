#!/usr/bin/env python3
"""QuoteServer.exe under Wine, driven by clients we did not write.

curl (the Linux one) and Python's http.client talk to the service from outside
Wine, plus raw sockets for what no polite client does (a request one byte at a
time, a silent client, a request line over 8 KiB). Every answer is checked for
its exact status line, its layout, its end marker and the close that follows it.
The load part runs 200 concurrent clients of 50 tickers each and then 10,000
requests, and checks that the service's resident memory stays flat.

Usage (ctest passes these): test_service_http.py --exe QuoteServer.exe
    --prefix WINEPREFIX --runner scripts/wine-run.sh [unittest arguments]
"""
import argparse
import datetime
import http.client
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
LEGACY = os.path.join(os.path.dirname(HERE), "fixtures", "legacy")
ARGS = None

FROZEN_NOW = "2026-12-10T17:03:20Z"  # 12:03:20PM in New York, a Thursday in the session
QUOTE_KEYS = ["id", "t", "e", "l", "l_fix", "l_cur", "s", "ltt", "lt", "lt_dts", "c", "c_fix", "cp",
              "cp_fix", "ccol", "pcls_fix"]
END_MARKER = b"}\n]\n"
DEADLINE = 60.0  # generous: Wine on a loaded two-core machine is slow


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


class Server:
    """One QuoteServer.exe under Wine on a free port; its output is collected."""

    def __init__(self, *extra):
        self.port = free_port()
        cmd = [ARGS.runner, ARGS.prefix, ARGS.exe, "--port", str(self.port)] + list(extra)
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     cwd=os.path.dirname(ARGS.exe))
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        if not self.wait_for(lambda: any("listening on port" in l for l in self.output()), DEADLINE):
            self.kill()
            raise RuntimeError("QuoteServer did not start: %r" % self.output())

    def _read(self):
        for raw in self.proc.stdout:
            with self.lock:
                self.lines.append(raw.decode("latin-1").rstrip("\r\n"))

    def output(self):
        with self.lock:
            return list(self.lines)

    @staticmethod
    def wait_for(condition, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if condition():
                return True
            time.sleep(0.05)
        return condition()

    def windows_pid(self):
        """The Unix process that runs QuoteServer.exe (Wine keeps one per Windows process)."""
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmdline = f.read().split(b"\0")
            except OSError:
                continue
            if any(b"QuoteServer.exe" in part for part in cmdline) and str(self.port).encode() in cmdline:
                return int(entry)
        return None

    def rss_kib(self):
        pid = self.windows_pid()
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise RuntimeError("no VmRSS")

    def stop(self):
        """Ctrl+C: the service stops through its console handler and exits 0."""
        pid = self.windows_pid()
        if pid:
            os.kill(pid, signal.SIGINT)
        try:
            code = self.proc.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.kill()
            return None
        self._close_output()
        return code

    def _close_output(self):
        self.reader.join(DEADLINE)
        self.proc.stdout.close()

    def kill(self):
        pid = self.windows_pid()
        if pid:
            os.kill(pid, signal.SIGKILL)
        self.proc.kill()
        self.proc.wait()
        self._close_output()


def exchange(port, data, timeout=DEADLINE, pause=0.0):
    """Sends data (all at once, or one byte at a time with a pause), reads until the
    server closes. Returns (answer bytes, seconds until the close)."""
    start = time.monotonic()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        if pause:
            for i in range(len(data)):
                s.sendall(data[i:i + 1])
                time.sleep(pause)
        elif data:
            s.sendall(data)
        chunks = []
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            chunks.append(chunk)
    return b"".join(chunks), time.monotonic() - start


def split_answer(answer):
    head, sep, body = answer.partition(b"\r\n\r\n")
    if not sep:
        raise AssertionError("no end of header in %r" % answer[:200])
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return lines[0], headers, body


def parse_quote_body(test, body):
    """Checks the legacy line layout exactly and returns the records as dicts."""
    text = body.decode("latin-1")
    test.assertTrue(text.startswith("// [\n"), text[:40])
    test.assertTrue(body.endswith(END_MARKER) or text == "// [\n]\n", text[-40:])
    lines = text.split("\n")
    test.assertEqual("", lines[-1])
    lines = lines[1:-2]  # without "// [" and "]"
    records = []
    i = 0
    while i < len(lines):
        test.assertEqual("{" if not records else ",{", lines[i])
        record = {}
        for n, key in enumerate(QUOTE_KEYS):
            line = lines[i + 1 + n]
            m = re.fullmatch(r'(,?)"([a-z_]+)" : "([^"\n]*)"', line)
            test.assertIsNotNone(m, line)
            test.assertEqual("" if n == 0 else ",", m.group(1), line)
            test.assertEqual(key, m.group(2), line)
            record[key] = m.group(3)
        test.assertEqual("}", lines[i + 1 + len(QUOTE_KEYS)])
        records.append(record)
        i += len(QUOTE_KEYS) + 2
    return records


def cents(text):
    whole, _, frac = text.replace(",", "").partition(".")
    sign = -1 if whole.startswith("-") else 1
    return sign * (abs(int(whole)) * 100 + int(frac))


class SimulatedService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server("--now", FROZEN_NOW)

    @classmethod
    def tearDownClass(cls):
        code = cls.server.stop()
        out = cls.server.output()
        assert code == 0, "exit code %r, output tail %r" % (code, out[-5:])
        assert any(l.startswith("QuoteServer stopped:") for l in out), out[-5:]

    def assertClosedAnswer(self, answer, status_line):
        status, headers, body = split_answer(answer)
        self.assertEqual(status_line, status)
        self.assertEqual(str(len(body)), headers.get("content-length"))
        self.assertEqual("close", headers.get("connection"))
        return headers, body

    def test_curl_quote_and_history(self):
        for extra in ([], ["--http1.0"]):
            url = "http://127.0.0.1:%d/finance/info?client=ig&q=GOOG,msft,BRK.B," % self.server.port
            done = subprocess.run(["curl", "-sS", "-i", "--max-time", "60"] + extra + [url],
                                  capture_output=True, timeout=DEADLINE + 10)
            self.assertEqual(0, done.returncode, done.stderr)
            headers, body = self.assertClosedAnswer(done.stdout, "HTTP/1.0 200 OK")
            self.assertTrue(headers["content-type"].startswith("text/javascript"))
            records = parse_quote_body(self, body)
            self.assertEqual(["GOOG", "msft", "BRK.B"], [r["t"] for r in records])

            url = "http://127.0.0.1:%d/finance/historical?q=goog&output=csv" % self.server.port
            done = subprocess.run(["curl", "-sS", "-i", "--max-time", "60"] + extra + [url],
                                  capture_output=True, timeout=DEADLINE + 10)
            self.assertEqual(0, done.returncode, done.stderr)
            headers, body = self.assertClosedAnswer(done.stdout, "HTTP/1.0 200 OK")
            self.assertTrue(headers["content-type"].startswith("text/csv"))
            self.assertNotIn(b"\r", body)
            rows = body.decode().split("\n")
            self.assertEqual("Date,Open,High,Low,Close,Volume", rows[0])
            self.assertEqual("10-Dec-26", rows[1].split(",")[0])
            self.assertEqual("", rows[-1])
            self.assertGreaterEqual(len(rows) - 2, 250)

        # curl's own verdict on an error answer: --fail gives exit code 22.
        done = subprocess.run(["curl", "-sS", "--fail", "--max-time", "60",
                               "http://127.0.0.1:%d/finance/quote?q=A" % self.server.port],
                              capture_output=True, timeout=DEADLINE + 10)
        self.assertEqual(22, done.returncode)

    def test_http_client_sees_one_answer_then_the_close(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=DEADLINE)
        conn.request("GET", "/finance/info?client=ig&q=aapl,IBM,")
        r = conn.getresponse()
        self.assertEqual((10, 200, "OK"), (r.version, r.status, r.reason))
        self.assertTrue(r.will_close)
        body = r.read()
        self.assertEqual(int(r.getheader("Content-Length")), len(body))
        self.assertTrue(body.endswith(END_MARKER))
        records = parse_quote_body(self, body)
        self.assertEqual(["aapl", "IBM"], [x["t"] for x in records])
        conn.close()

        conn = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=DEADLINE)
        conn.request("GET", "/finance/historical?q=IBM")
        r = conn.getresponse()
        self.assertEqual((10, 200), (r.version, r.status))
        self.assertTrue(r.read().startswith(b"Date,Open,High,Low,Close,Volume\n"))
        conn.close()

        conn = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=DEADLINE)
        conn.request("POST", "/finance/info?client=ig&q=A", body=b"x=1")
        r = conn.getresponse()
        self.assertEqual((400, "Bad Request", b"Bad Request\n"), (r.status, r.reason, r.read()))
        conn.close()

    def test_program_request_exactly_and_values_agree_with_history(self):
        answer, _ = exchange(self.server.port, b"GET /finance/info?client=ig&q=GOOG,XYZ,goog, HTTP/1.0\r\n\r\n")
        headers, body = self.assertClosedAnswer(answer, "HTTP/1.0 200 OK")
        self.assertTrue(answer.endswith(END_MARKER))
        self.assertIn(b"// [\n{", body)
        records = parse_quote_body(self, body)
        self.assertEqual(["GOOG", "XYZ", "goog"], [r["t"] for r in records])
        goog, xyz, goog2 = records
        self.assertEqual({k: v for k, v in goog.items() if k != "t"}, {k: v for k, v in goog2.items() if k != "t"})
        for r in (goog, xyz):
            self.assertIn(r["e"], ("NASDAQ", "NYSE", "NYSEARCA", "NYSEMKT"))
            self.assertRegex(r["id"], r"^[1-9][0-9]{5}$")
            self.assertEqual("Dec 10, 12:03PM EST", r["lt"])
            self.assertEqual("12:03PM EST", r["ltt"])
            self.assertEqual("2026-12-10T12:03:15Z", r["lt_dts"])
            last, prev = cents(r["l_fix"]), cents(r["pcls_fix"])
            self.assertEqual(last, cents(r["l"]))
            self.assertEqual(last, cents(r["l_cur"]))
            change = last - prev
            self.assertEqual(change, cents(r["c"]))
            self.assertEqual(change, cents(r["c_fix"]))
            self.assertEqual(r["c"][0] == "+", change > 0)
            self.assertEqual({1: "chg", -1: "chr", 0: "chb"}[(change > 0) - (change < 0)], r["ccol"])
            self.assertAlmostEqual(change * 100.0 / prev, cents(r["cp"]) / 100.0, delta=0.006)
            # The history agrees: newest close is the price, the one before it the previous close.
            hist, _ = exchange(self.server.port,
                               b"GET /finance/historical?q=%s&output=csv HTTP/1.0\r\n\r\n" % r["t"].encode())
            _, _, csv = split_answer(hist)
            rows = [line.split(",") for line in csv.decode().split("\n")[1:-1]]
            self.assertEqual(last, cents(rows[0][4]))
            self.assertEqual(prev, cents(rows[1][4]))
            dates = [datetime.datetime.strptime(row[0], "%d-%b-%y").date() for row in rows]
            self.assertEqual(sorted(dates, reverse=True), dates)
            self.assertEqual(len(set(dates)), len(dates))
            self.assertTrue(all(d.weekday() < 5 for d in dates))
            self.assertGreater(dates[-1], dates[0] - datetime.timedelta(days=365))
            for row in rows:
                o, h, lo, c = (cents(v) for v in row[1:5])
                self.assertTrue(0 < lo <= min(o, c) <= max(o, c) <= h, row)
                self.assertRegex(",".join(row[1:5]), r"^\d+\.\d\d,\d+\.\d\d,\d+\.\d\d,\d+\.\d\d$")

    def test_errors_are_short_and_closed(self):
        long_line = b"GET /finance/info?client=ig&q=" + b"A," * 4200 + b" HTTP/1.0\r\n\r\n"
        cases = [
            ("unknown path", b"GET /finance/news HTTP/1.0\r\n\r\n", "HTTP/1.0 404 Not Found"),
            ("root", b"GET / HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.0 404 Not Found"),
            ("history of an impossible ticker", b"GET /finance/historical?q=a/b&output=csv HTTP/1.0\r\n\r\n",
             "HTTP/1.0 404 Not Found"),
            ("POST", b"POST /finance/info?q=A HTTP/1.0\r\n\r\n", "HTTP/1.0 400 Bad Request"),
            ("no version", b"GET /finance/info?q=A\r\n", "HTTP/1.0 400 Bad Request"),
            ("missing q", b"GET /finance/info?client=ig HTTP/1.0\r\n\r\n", "HTTP/1.0 400 Bad Request"),
            ("history as html", b"GET /finance/historical?q=A&output=html HTTP/1.0\r\n\r\n",
             "HTTP/1.0 400 Bad Request"),
            ("binary garbage", b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\n\n", "HTTP/1.0 400 Bad Request"),
            ("request line over 8 KiB", long_line, "HTTP/1.0 400 Bad Request"),
        ]
        for label, request, status in cases:
            with self.subTest(label):
                answer, _ = exchange(self.server.port, request)
                headers, body = self.assertClosedAnswer(answer, status)
                self.assertEqual(b"Not Found\n" if "404" in status else b"Bad Request\n", body)
                self.assertEqual("text/plain", headers["content-type"])

    def test_random_bytes_never_break_it(self):
        import random
        rng = random.Random(1234)
        for i in range(40):
            junk = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 3000)))
            if i % 3 == 0:
                junk = b"GET /finance/info?client=ig&q=" + junk + b" HTTP/1.0"
            answer, _ = exchange(self.server.port, junk + b"\r\n\r\n")
            with self.subTest(i=i):
                status = split_answer(answer)[0]
                self.assertIn(status, ("HTTP/1.0 200 OK", "HTTP/1.0 400 Bad Request", "HTTP/1.0 404 Not Found"))
        answer, _ = exchange(self.server.port, b"GET /finance/info?client=ig&q=IBM, HTTP/1.0\r\n\r\n")
        self.assertTrue(answer.endswith(END_MARKER))

    def test_request_sent_one_byte_at_a_time(self):
        request = b"GET /finance/info?client=ig&q=IBM,T, HTTP/1.0\r\n\r\n"
        answer, _ = exchange(self.server.port, request, pause=0.01)
        _, body = self.assertClosedAnswer(answer, "HTTP/1.0 200 OK")
        self.assertEqual(["IBM", "T"], [r["t"] for r in parse_quote_body(self, body)])
        whole, _ = exchange(self.server.port, request)
        self.assertEqual(whole, answer)

    def test_silent_clients_get_400_after_10_s_while_others_are_served(self):
        results = {}

        def silent(name, data):
            results[name] = exchange(self.server.port, data, timeout=DEADLINE)

        threads = [threading.Thread(target=silent, args=("nothing", b"")),
                   threading.Thread(target=silent, args=("no line end", b"GET /finance/info?q=A HTTP/1.0"))]
        for t in threads:
            t.start()
        time.sleep(1.0)
        served = []
        while any(t.is_alive() for t in threads) and len(served) < 5:
            start = time.monotonic()
            answer, _ = exchange(self.server.port, b"GET /finance/info?client=ig&q=A, HTTP/1.0\r\n\r\n")
            self.assertTrue(answer.endswith(END_MARKER))
            served.append(time.monotonic() - start)
        for t in threads:
            t.join(DEADLINE)
        self.assertEqual(5, len(served), "others were not served while the silent clients waited")
        for name in ("nothing", "no line end"):
            answer, seconds = results[name]
            self.assertClosedAnswer(answer, "HTTP/1.0 400 Bad Request")
            self.assertGreaterEqual(seconds, 9.5, name)
            self.assertLess(seconds, 30, name)

    def test_log_has_one_line_per_request(self):
        marker = "LM%d" % (os.getpid() % 100000)
        exchange(self.server.port, ("GET /finance/info?client=ig&q=%s, HTTP/1.0\r\n\r\n" % marker).encode())
        exchange(self.server.port, b"GET /nowhere HTTP/1.0\r\n\r\n")
        pattern = re.compile(r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ 127\.0\.0\.1:\d+ "(.*)" (\d{3}) (\d+)$')

        def lines():
            return [pattern.match(l) for l in self.server.output() if marker in l or "/nowhere" in l]

        self.assertTrue(Server.wait_for(lambda: len(lines()) == 2, 10), self.server.output()[-5:])
        quote, missing = lines()
        self.assertEqual(("/finance/info?client=ig&q=%s," % marker, "200"), quote.groups()[:2])
        self.assertEqual(("/nowhere", "404"), missing.groups()[:2])
        self.assertGreater(int(quote.group(3)), 300)  # one whole record


class CsvService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="quoteserver_data_")
        for name in ("AAPL", "DIS", "GOOG"):
            shutil.copy(os.path.join(LEGACY, "history-%s-2012-04-03-to-2017-04-28.csv" % name),
                        os.path.join(cls.dir, "%s.csv" % name))
        with open(os.path.join(cls.dir, "TWO.csv"), "w") as f:
            f.write("2026-12-09,1,1,1,20.00,5\n2026-12-10,1,1,1,20.00,6\n")
        cls.server = Server("--data", wine_path(cls.dir))

    @classmethod
    def tearDownClass(cls):
        code = cls.server.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)
        assert code == 0, code

    def test_quotes_from_the_latest_two_closes(self):
        answer, _ = exchange(self.server.port,
                             b"GET /finance/info?client=ig&q=aapl,NOFILE,GOOG,two, HTTP/1.0\r\n\r\n")
        status, _, body = split_answer(answer)
        self.assertEqual("HTTP/1.0 200 OK", status)
        records = {r["t"]: r for r in parse_quote_body(self, body)}
        self.assertEqual(["aapl", "GOOG", "two"], list(records))
        aapl = records["aapl"]
        self.assertEqual(("143.65", "143.79", "-0.14", "chr", "Apr 28, 4:00PM EDT"),
                         (aapl["l"], aapl["pcls_fix"], aapl["c"], aapl["ccol"], aapl["lt"]))
        self.assertEqual("2017-04-28T16:00:00Z", aapl["lt_dts"])
        self.assertEqual(("20.00", "0.00", "chb", "Dec 10, 4:00PM EST"),
                         (records["two"]["l"], records["two"]["c"], records["two"]["ccol"], records["two"]["lt"]))

    def test_history_is_the_files_last_year_and_404_without_a_file(self):
        for name in ("AAPL", "DIS", "GOOG"):
            with open(os.path.join(LEGACY, "history-%s-2012-04-03-to-2017-04-28.csv" % name), "rb") as f:
                lines = f.read().decode("utf-8-sig").split("\n")
            answer, _ = exchange(self.server.port,
                                 b"GET /finance/historical?q=%s&output=csv HTTP/1.0\r\n\r\n" % name.lower().encode())
            status, _, body = split_answer(answer)
            self.assertEqual("HTTP/1.0 200 OK", status)
            # Byte for byte the file's header and its newest 252 rows (29-Apr-16 to 28-Apr-17).
            self.assertEqual("\n".join(lines[:253]) + "\n", body.decode())
        answer, _ = exchange(self.server.port, b"GET /finance/historical?q=NOFILE&output=csv HTTP/1.0\r\n\r\n")
        self.assertEqual("HTTP/1.0 404 Not Found", split_answer(answer)[0])
        answer, _ = exchange(self.server.port, b"GET /finance/historical?q=CON&output=csv HTTP/1.0\r\n\r\n")
        self.assertEqual("HTTP/1.0 404 Not Found", split_answer(answer)[0])


class CommandLine(unittest.TestCase):
    def run_server(self, *args):
        return subprocess.run([ARGS.runner, ARGS.prefix, ARGS.exe] + list(args), capture_output=True,
                              timeout=DEADLINE, cwd=os.path.dirname(ARGS.exe))

    def test_port_in_use_and_bad_options_end_with_a_message(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            done = self.run_server("--port", str(taken.getsockname()[1]))
        self.assertEqual(1, done.returncode)
        self.assertIn(b"the port is in use", done.stderr)
        for args, message in ((["--port", "0"], b"not a port number"), (["--port", "70000"], b"not a port number"),
                              (["--data", "/no/such/folder"], b"no such folder"),
                              (["--now", "yesterday"], b"not a time"), (["--what"], b"Usage:")):
            done = self.run_server(*args)
            self.assertEqual(2, done.returncode, args)
            self.assertIn(message, done.stderr, args)


def local_address():
    """A non-loopback address of this machine, or None."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.connect(("10.255.255.255", 1))
            address = s.getsockname()[0]
        except OSError:
            return None
    return None if address.startswith("127.") else address


class RemotePeers(unittest.TestCase):
    """A connection to this machine's network address comes from that address,
    not from 127.0.0.1: the service refuses it unless told to serve the network."""

    def setUp(self):
        self.address = local_address()
        if not self.address:
            self.skipTest("no network address besides loopback")

    def ask(self, server):
        with socket.create_connection((self.address, server.port), timeout=DEADLINE) as s:
            s.sendall(b"GET /finance/info?client=ig&q=IBM, HTTP/1.0\r\n\r\n")
            data = b""
            try:
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    data += chunk
            except ConnectionResetError:
                pass
        return data

    def test_refused_by_default_served_with_allow_remote(self):
        server = Server()
        try:
            self.assertEqual(b"", self.ask(server))
            answer, _ = exchange(server.port, b"GET /finance/info?client=ig&q=IBM, HTTP/1.0\r\n\r\n")
            self.assertTrue(answer.endswith(END_MARKER))  # loopback is still served
        finally:
            self.assertEqual(0, server.stop())
        self.assertTrue(any(re.search(r"0 dropped, 1 refused", l) for l in server.output()), server.output()[-3:])
        server = Server("--allow-remote")
        try:
            answer = self.ask(server)
            self.assertTrue(answer.startswith(b"HTTP/1.0 200 OK\r\n"))
            self.assertTrue(answer.endswith(END_MARKER))
            self.assertTrue(Server.wait_for(
                lambda: any(l.split(" ")[1].startswith(self.address + ":") for l in server.output()
                            if l[:1].isdigit()), 10))
        finally:
            self.assertEqual(0, server.stop())


class Load(unittest.TestCase):
    def test_200_concurrent_clients_then_10000_requests_in_flat_memory(self):
        server = Server()
        try:
            tickers = ",".join("T%03d" % i for i in range(50))
            request = ("GET /finance/info?client=ig&q=%s, HTTP/1.0\r\n\r\n" % tickers).encode()
            results = [None] * 200
            barrier = threading.Barrier(200)

            def client(i):
                try:
                    barrier.wait(DEADLINE)
                    results[i] = exchange(server.port, request, timeout=120)[0]
                except Exception as e:  # recorded, checked below
                    results[i] = e

            threads = [threading.Thread(target=client, args=(i,)) for i in range(200)]
            for t in threads:
                t.start()
            for t in threads:
                t.join(300)
            failures = [r for r in results if not isinstance(r, bytes)]
            self.assertEqual([], failures[:3])
            for answer in results:
                status, headers, body = split_answer(answer)
                self.assertEqual("HTTP/1.0 200 OK", status)
                self.assertEqual(str(len(body)), headers["content-length"])
                self.assertTrue(body.endswith(END_MARKER))
                self.assertEqual(50, body.count(b'\n,"t" : "T'))

            # Memory: warm up, measure, 10,000 requests of every kind, measure again.
            kinds = [b"GET /finance/info?client=ig&q=A,B,C,D,E, HTTP/1.0\r\n\r\n",
                     b"GET /finance/historical?q=IBM&output=csv HTTP/1.0\r\n\r\n",
                     b"GET /missing HTTP/1.0\r\n\r\n",
                     request]

            def run(count, workers=16):
                errors = []
                counter = iter(range(count))
                lock = threading.Lock()

                def worker():
                    while True:
                        with lock:
                            i = next(counter, None)
                        if i is None:
                            return
                        try:
                            answer, _ = exchange(server.port, kinds[i % len(kinds)], timeout=120)
                            if not answer.startswith(b"HTTP/1.0 "):
                                errors.append(answer[:40])
                        except Exception as e:
                            errors.append(e)

                pool = [threading.Thread(target=worker) for _ in range(workers)]
                for t in pool:
                    t.start()
                for t in pool:
                    t.join()
                return errors

            self.assertEqual([], run(1000)[:3])
            before = server.rss_kib()
            start = time.monotonic()
            self.assertEqual([], run(10000)[:3])
            elapsed = time.monotonic() - start
            after = server.rss_kib()
            sys.stderr.write("\n10,000 requests in %.1f s; resident memory %d KiB before, %d KiB after\n"
                             % (elapsed, before, after))
            self.assertLess(after - before, 4096, "resident memory grew by %d KiB" % (after - before))
        finally:
            self.assertEqual(0, server.stop())
        out = server.output()
        stopped = [l for l in out if l.startswith("QuoteServer stopped:")]
        self.assertEqual(1, len(stopped))
        m = re.match(r"QuoteServer stopped: (\d+) answered, (\d+) dropped, (\d+) refused", stopped[0])
        self.assertEqual(("0", "0"), m.group(2, 3))
        self.assertEqual(200 + 1000 + 10000, int(m.group(1)))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--runner", required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.exe = os.path.abspath(ARGS.exe)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
