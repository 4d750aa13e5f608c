#!/usr/bin/env python3
"""verbolt-service under load, loopback only; prints Markdown tables.

pool:  the English sentences English -> Spanish at concurrency 1 and 4, with pools of one pipeline per pair
       (--apertium-pool 1) and with pools as large as the cores, in rounds taken in turn; Apertium alone and
       nothing cached, so that every text goes through a pipeline.
held:  real requests, one at a time, while another client holds N connections open without asking anything
       (re-opening each one the service drops), against a service without held connections.

With --doc FILE, the tables also replace the part of FILE between the markers <!-- load.py pool --> and
<!-- /load.py pool --> (or held).

Usage: bench/load.py pool|held --service PATH [--doc docs/benchmark.md] [--sentences FILE] [--rounds 5]
                               [--held 500] [--requests 1000]
"""
import argparse
import contextlib
import io
import multiprocessing
import os
import selectors
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import section  # noqa: E402  (the benchmarks' shared section writer)

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
from client import request, run, verbolt_path, wait_ready


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Service:
    """verbolt-service on a free loopback port; one_pipeline keeps its pools to one pipeline per pair; apertium_only
    leaves the phrasebook, the online engines and the cache out."""

    def __init__(self, binary, one_pipeline=False, apertium_only=False):
        self.port = free_port()
        self.log = tempfile.TemporaryFile()
        command = [binary, '--listen', f'127.0.0.1:{self.port}']
        if apertium_only:
            self.config = tempfile.NamedTemporaryFile('w', suffix='.conf')
            self.config.write('[routing]\ncache=0\n[phrasebook]\nenabled=no\n[mymemory]\nenabled=no\n')
            self.config.flush()
            os.chmod(self.config.name, 0o600)
            command += ['--config', self.config.name]
        if one_pipeline:
            command += ['--apertium-pool', '1']
        self.process = subprocess.Popen(command, stderr=self.log)
        if not wait_ready(self.port, verbolt_path('Hello'), time.time() + 60):
            sys.exit('verbolt-service did not answer')

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.log.close()


def percentile(values, p):
    values = sorted(values)
    return values[max(0, int(round(p / 100 * len(values))) - 1)]


def pool(binary, sentences, rounds):
    names = ('one pipeline per pair', f'up to {os.cpu_count()} per pair (cores)')
    services = [Service(binary, one_pipeline=True, apertium_only=True), Service(binary, apertium_only=True)]
    results = {(name, c): [] for name in names for c in (1, 4)}
    try:
        for service in services:
            # Warm up at concurrency 4, so that a pool grows before measuring.
            run(service.port, verbolt_path, sentences, 4, 60)
        # Turn about, so that other work on the machine weighs on both alike.
        for _ in range(rounds):
            for name, service in zip(names, services):
                for concurrency in (1, 4):
                    results[name, concurrency].append(run(service.port, verbolt_path, sentences, concurrency, 60))
    finally:
        for service in services:
            service.stop()

    def median(name, concurrency, key):
        return statistics.median(r[key] for r in results[name, concurrency])

    print(f'{len(sentences)} English sentences, English -> Spanish, {rounds} rounds taken in turn; medians of the '
          f'rounds; latency in ms, throughput in sentences/s.\n')
    print('| Pool | Concurrency | Median | p95 | Throughput | Failures |')
    print('|---|---:|---:|---:|---:|---:|')
    for name in names:
        for concurrency in (1, 4):
            failures = sum(r['failures'] for r in results[name, concurrency])
            print(f"| {name} | {concurrency} | {median(name, concurrency, 'median'):.1f} | "
                  f"{median(name, concurrency, 'p95'):.1f} | {median(name, concurrency, 'throughput'):.0f} | "
                  f"{failures} |")
    ratios = sorted(b['throughput'] / a['throughput'] for a, b in zip(results[names[0], 4], results[names[1], 4]))
    print(f"\n- Concurrency 4: throughput {statistics.median(ratios):.2f} times that of one pipeline per pair "
          f"(rounds: {', '.join(f'{r:.2f}' for r in ratios)}).")


class Holder(threading.Thread):
    """Holds count connections open without sending anything; re-opens each one the service closes."""

    def __init__(self, port, count):
        super().__init__(daemon=True)
        self.port, self.count = port, count
        self.selector = selectors.DefaultSelector()
        self.stopping = threading.Event()
        self.reopened = 0

    def open_one(self):
        s = socket.socket()
        s.setblocking(False)
        s.connect_ex(('127.0.0.1', self.port))
        self.selector.register(s, selectors.EVENT_READ)

    def run(self):
        for _ in range(self.count):
            self.open_one()
        while not self.stopping.is_set():
            for key, _ in self.selector.select(timeout=0.1):
                try:
                    data = key.fileobj.recv(4096)
                except OSError:
                    data = b''
                if data:
                    continue  # an answer (408) before the close
                self.selector.unregister(key.fileobj)
                key.fileobj.close()
                self.reopened += 1
                self.open_one()
        for key in list(self.selector.get_map().values()):
            key.fileobj.close()


def hold(port, count, stop, reopened):
    holder = Holder(port, count)
    holder.start()
    stop.wait()
    holder.stopping.set()
    holder.join()
    reopened.value = holder.reopened


def held(binary, sentences, count, requests):
    rows = []
    for holding in (0, count):
        service = Service(binary)
        try:
            for sentence in sentences[:20]:
                request(service.port, verbolt_path(sentence), 30)
            # Another program: in this one it would compete with the requests for Python's interpreter lock.
            reopened = multiprocessing.Value('q', 0)
            stop = multiprocessing.Event()
            holder = multiprocessing.Process(target=hold, args=(service.port, holding, stop, reopened))
            holder.start()
            time.sleep(3)  # past the head time limit: the held connections have been dropped and re-opened
            latencies, failures = [], 0
            start = time.perf_counter()
            for i in range(requests):
                try:
                    elapsed, status, _ = request(service.port, verbolt_path(sentences[i % len(sentences)]), 30)
                except OSError:
                    status = 0
                if status == 200:
                    latencies.append(elapsed * 1000)
                else:
                    failures += 1
            wall = time.perf_counter() - start + 3
            stop.set()
            holder.join()
            rows.append((holding, latencies, failures, reopened.value, wall))
        finally:
            service.stop()
    print(f'{requests} requests, English -> Spanish, one at a time, while another client holds connections open '
          f'without sending anything and re-opens each one that is closed; latency in ms of the answered ones; a '
          f'failure is an answer other than 200 or a connection closed without one.\n')
    print('| Held connections | Median | p99 | Max | Failures | Held connections re-opened |')
    print('|---:|---:|---:|---:|---:|---:|')
    for holding, latencies, failures, reopened, wall in rows:
        if not latencies:
            print(f'| {holding} | — | — | — | {failures} | {reopened} in {wall:.0f} s |')
            continue
        print(f'| {holding} | {statistics.median(latencies):.1f} | {percentile(latencies, 99):.1f} | '
              f'{max(latencies):.1f} | {failures} | {reopened} in {wall:.0f} s |')


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('what', choices=['pool', 'held'])
    parser.add_argument('--service', required=True)
    parser.add_argument('--doc')
    parser.add_argument('--sentences', default=os.path.join(os.path.dirname(__file__), 'sentences-en.txt'))
    parser.add_argument('--held', type=int, default=500)
    parser.add_argument('--requests', type=int, default=1000)
    parser.add_argument('--rounds', type=int, default=5)
    args = parser.parse_args()
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        print(f'`{os.path.relpath(args.service)}`, {os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f} at '
              f'the start (other work on the machine included), {time.strftime("%Y-%m-%d", time.gmtime())}.\n')
        sentences = [line.strip() for line in open(args.sentences, encoding='utf-8') if line.strip()]
        if args.what == 'pool':
            pool(args.service, sentences, args.rounds)
        else:
            held(args.service, sentences, args.held, args.requests)
    print(out.getvalue(), end='')
    if args.doc:
        section.replace(args.doc, f'load.py {args.what}', out.getvalue())


if __name__ == '__main__':
    main()
