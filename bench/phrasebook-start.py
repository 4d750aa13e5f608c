#!/usr/bin/env python3
"""The phrasebook's cold start: from starting verbolt-service (phrasebook only) to its first phrasebook answer over
TCP, and the same with its default engines; then, in process, what reading the TMX, indexing it and the first
sentence cost, and what a line costs afterwards (verbolt-phrasebook-bench, built with -DVERBOLT_BENCH=ON).
Wall times include whatever else the machine runs; the main thread's CPU time to the answer does not.
Usage: bench/phrasebook-start.py [build/bench | path/to/verbolt-service] [runs]"""

import json
import os
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))


def cpu_ms(pid):
    """The CPU time of a process's main thread so far (from the scheduler's statistics). On a machine busy with
    other work it is what the start would take on an idle one: the threads the service starts beside it (reading
    and indexing on another core) have ended by the answer and are not counted."""
    with open(f'/proc/{pid}/task/{pid}/schedstat') as stat:
        return int(stat.read().split()[0]) / 1e6


def first_answer(service, conf, text, pair):
    """Milliseconds from starting the service to its listening and to its answer to text, the CPU time its main
    thread took to the answer, and the answer."""
    env = dict(os.environ, XDG_DATA_HOME='/nonexistent')
    started = time.perf_counter()
    process = subprocess.Popen([service, '--listen', '127.0.0.1:0', '--config', conf], env=env,
                               stderr=subprocess.PIPE)
    log = b''
    port = None
    while port is None:
        ready, _, _ = select.select([process.stderr], [], [], 10)
        if not ready:
            raise RuntimeError('no "listening on" within 10 s: ' + log.decode(errors='replace'))
        chunk = os.read(process.stderr.fileno(), 4096)
        if not chunk:
            raise RuntimeError('the service ended: ' + log.decode(errors='replace'))
        log += chunk
        for line in log.decode(errors='replace').splitlines():
            if 'listening on 127.0.0.1:' in line:
                port = int(line.rsplit(':', 1)[1].split()[0])
    listening = time.perf_counter()
    query = urllib.parse.urlencode({'v': '1.0', 'q': text, 'langpair': pair})
    with socket.create_connection(('127.0.0.1', port)) as conn:
        conn.sendall(f'GET /ajax/services/language/translate?{query} HTTP/1.1\r\nHost: 127.0.0.1\r\n'
                     'Connection: close\r\n\r\n'.encode())
        reply = b''
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                break
            reply += chunk
    answered = time.perf_counter()
    cpu = cpu_ms(process.pid)
    process.terminate()
    process.wait()
    body = json.loads(reply.split(b'\r\n\r\n', 1)[1])
    return (listening - started) * 1000, (answered - started) * 1000, cpu, body['responseData']['translatedText']


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else 'build/bench'
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    service = build if os.path.isfile(build) else os.path.join(build, 'service', 'verbolt-service')
    bench = os.path.join(build, 'bench', 'phrasebook', 'verbolt-phrasebook-bench')
    text, pair = 'Good morning, my name is Hans.', 'en|de'
    for name, conf_text in (('phrasebook only', '[routing]\norder=phrasebook\n'), ('default engines', '')):
        with tempfile.NamedTemporaryFile('w', suffix='.conf', delete=False) as conf:
            conf.write(conf_text)
        os.chmod(conf.name, 0o600)
        try:
            first_answer(service, conf.name, text, pair)  # the binary and its libraries in the page cache
            times = [first_answer(service, conf.name, text, pair) for _ in range(runs)]
        finally:
            os.unlink(conf.name)
        print(f'cold start, {name} ({runs} runs, median): listening {statistics.median(t[0] for t in times):.1f} ms, '
              f'first phrasebook answer {statistics.median(t[1] for t in times):.1f} ms '
              f'(min {min(t[1] for t in times):.1f}); CPU of its main thread to the answer '
              f'{statistics.median(t[2] for t in times):.1f} ms (min {min(t[2] for t in times):.1f}); '
              f'answer: {times[0][3]}')
    if os.path.isdir(build) and os.path.exists(bench):
        corpus = os.path.join(HERE, 'qso-lines-en.txt')
        print(subprocess.run([bench, os.path.join(HERE, '..', 'service', 'phrasebook', 'qso.tmx'), corpus],
                             capture_output=True, text=True, check=True).stdout, end='')


if __name__ == '__main__':
    main()
