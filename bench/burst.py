#!/usr/bin/env python3
"""Benchmark: a burst of chat texts through the real programs, end to end.

verbolt-host raises the lines as fast as it reads them; the window shows and translates each (Spanish -> English)
through verbolt-service. Every translation the service answers is one log line, timed here as it arrives. Prints
a Markdown table: lines per second, and the time per line near the start and near the end of the burst (flat when
the window's cost per line does not grow with the conversation).
Needs a display and a session bus; bench/window.sh provides both.
"""
import argparse
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--lines", type=int, default=10000)
    args = parser.parse_args()
    port = free_port()
    work = tempfile.TemporaryDirectory()
    with open(os.path.join(work.name, "Verbolt.ini"), "w", encoding="utf-8") as ini:
        ini.write(f"[SETTINGS]\nTextFrom=English\nTextTo=Español\nServiceHost=127.0.0.1:{port}\n"
                  f"StatsHost=127.0.0.1:{port}\n")
    env = dict(os.environ, XDG_CONFIG_HOME=work.name, XDG_STATE_HOME=work.name)

    done_at = []
    service = subprocess.Popen([f"{args.build}/service/verbolt-service", "--listen", f"127.0.0.1:{port}",
                                "--preload", "es|en"], stderr=subprocess.PIPE, text=True)
    listening = threading.Event()

    def read_log():
        for line in service.stderr:
            if "listening" in line:
                listening.set()
            elif "/translate" in line and " 200 " in line:
                done_at.append(time.monotonic())

    threading.Thread(target=read_log, daemon=True).start()
    host = subprocess.Popen([f"{args.build}/host/refhost/verbolt-host", "--callsign", "EA1ABC"],
                            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    window = None
    try:
        if not listening.wait(30):
            sys.exit("verbolt-service did not start")
        if b"ready" not in host.stderr.readline():
            sys.exit("verbolt-host did not start")
        window = subprocess.Popen([f"{args.build}/verbolt"], env=env, stderr=subprocess.DEVNULL)
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Dolmex"], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)
        before = len(done_at)
        lines = "".join(f"EA1ABC>hola amigo, ¿qué tal estás? número {i}\n" for i in range(args.lines))
        start = time.monotonic()
        host.stdin.write(lines.encode())
        host.stdin.flush()
        deadline = start + 3600
        while len(done_at) < before + args.lines and time.monotonic() < deadline and window.poll() is None:
            time.sleep(0.2)
        times = done_at[before:]
        if len(times) < args.lines:
            sys.exit(f"only {len(times)} of {args.lines} lines were translated"
                     + (f"; the window ended with status {window.returncode}" if window.poll() is not None else ""))

        def per_line(first):
            return (times[first + 99] - times[first - 1]) / 100 * 1000

        total = times[-1] - start
        print(f"{args.lines} chat texts raised at once by verbolt-host, Spanish -> English through verbolt-service.")
        print()
        print("| Lines | Total | Lines per second | Time per line at line 100 | at line "
              f"{args.lines} | Window still running |")
        print("|---:|---:|---:|---:|---:|---|")
        print(f"| {args.lines} | {total:.1f} s | {args.lines / total:.0f} | {per_line(100):.2f} ms | "
              f"{per_line(args.lines - 100):.2f} ms | {'yes' if window.poll() is None else 'no'} |")
    finally:
        for process in (window, host, service):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()


if __name__ == "__main__":
    main()
