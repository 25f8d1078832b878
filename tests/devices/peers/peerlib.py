"""Shared bits of the device peers: time limit, ready file, records.

Every peer takes --limit SECONDS (it ends by itself then, default 30),
--ready PATH (written once it listens, holding its port; the
peer ends when a file named PATH.stop appears) and --record PATH
(the exact bytes it received, appended request by request, flushed before
it answers). SIGTERM ends it at once.
"""
import os
import signal
import sys
import threading
import time


def add_common(parser):
    parser.add_argument("--limit", type=float, default=30.0, help="seconds before the peer ends by itself")
    parser.add_argument("--ready", help="file written with the port once the peer listens")
    parser.add_argument("--record", help="file that receives the exact bytes received")


def start_limit(seconds, ready=None):
    """Ends the process after `seconds`, or as soon as the file READY.stop exists."""
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    t = threading.Timer(seconds, lambda: os._exit(0))
    t.daemon = True
    t.start()
    if ready:
        def watch():
            while not os.path.exists(ready + ".stop"):
                time.sleep(0.05)
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()


def write_ready(path, text):
    if not path:
        return
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(text) + "\n")
    os.replace(tmp, path)


_record_lock = threading.Lock()


def record(path, data):
    if not path:
        return
    with _record_lock:
        with open(path, "ab") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())


def log(*args):
    print(*args, file=sys.stderr, flush=True)
