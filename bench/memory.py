#!/usr/bin/env python3
"""Memory after a conversation: verbolt-service against Apertium APy on the same modes.

Both servers get the same work (200 sentences each way en|es, es|en, en|fr, fr|en, four clients at once; APy, which
does not chain modes, gets each hop of the chain: eng|spa, spa|eng, spa|fra, fra|spa), in slices taken in turn so
that other work on the machine weighs on both alike, then sit idle. The proportional set size (PSS) and the
processes of each server's whole process tree are read right after the work, 30 s later (verbolt-service's spare
pipelines retired) and 320 s later (its idle modes stopped). Then the cost of the first text after a retirement.
verbolt-service starts cold: the Spanish and French sources come from APy.

Usage: bench/memory.py SERVICE [--out docs/benchmark.md] [--after 30,320] [--apertium-idle SPARE,MODE].
Loopback only; stops both servers.
"""
import argparse
import concurrent.futures
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import client  # noqa: E402
import section  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def tree(pid):
    """The pid and all its descendants."""
    children = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open(f'/proc/{entry}/stat') as f:
                fields = f.read().rsplit(')', 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except OSError:
            pass
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo.extend(children.get(p, []))
    return found


def footprint(pid):
    """(PSS in MB, processes) of a process tree."""
    total = 0
    pids = tree(pid)
    for p in pids:
        try:
            with open(f'/proc/{p}/smaps_rollup') as f:
                for line in f:
                    if line.startswith('Pss:'):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total / 1024, len(pids)


def verbolt_path(pair):
    return lambda s: ('/ajax/services/language/translate?v=1.0&q=' + urllib.parse.quote(s, safe='')
                      + '&langpair=' + pair)


def apy_path(pair):
    return lambda s: ('/translate?langpair=' + urllib.parse.quote(pair) + '&markUnknown=no&format=txt&q='
                      + urllib.parse.quote(s, safe=''))


def work(port, jobs):
    """jobs: (make_path, sentence); four clients at once. Returns failures."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        statuses = list(pool.map(lambda job: client.request(port, job[0](job[1]), 60)[1], jobs))
    return sum(status != 200 for status in statuses)


def apy_translate(port, pair, sentence):
    _, status, body = client.request(port, apy_path(pair)(sentence), 60)
    # APy's generator leaves "#" before words it could not inflect.
    return client.apy_text(body).replace('#', '') if status == 200 else sentence


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('service')
    parser.add_argument('--out', default='docs/benchmark.md')
    parser.add_argument('--after', default='30,320', help='seconds after the work to read the memory again')
    parser.add_argument('--apertium-idle', help='SPARE,MODE seconds for verbolt-service (its defaults: 20,300)')
    parser.add_argument('--sentences', default='bench/sentences-en.txt')
    parser.add_argument('--count', type=int, default=200)
    parser.add_argument('--slices', type=int, default=10)
    args = parser.parse_args()
    after = [float(a) for a in args.after.split(',')]
    every = [line.strip() for line in open(args.sentences, encoding='utf-8') if line.strip()]
    english = every[:args.count]
    # Texts for the timings, never sent before: the cache must not answer them.
    unseen = [every[i % len(every)] + ' ' + str(i) for i in range(6)]

    verbolt_port, apy_port = free_port(), free_port()
    home = tempfile.mkdtemp()
    config = os.path.join(home, 'verbolt-service.conf')
    with open(config, 'w') as f:
        f.write('[mymemory]\nenabled=no\n')  # offline: Apertium alone, as APy
    os.chmod(config, 0o600)
    command = [args.service, '--listen', f'127.0.0.1:{verbolt_port}', '--config', config]
    if args.apertium_idle:
        command += ['--apertium-idle', args.apertium_idle]
    load = os.getloadavg()[0]
    servers = [
        subprocess.Popen(command, stderr=subprocess.DEVNULL),
        subprocess.Popen(['/usr/bin/python3', 'bench/apy_loopback.py', str(apy_port), '/usr/share/apertium',
                          '--restart-pipe-after', '1000000'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
    ]
    try:
        deadline = time.time() + 120
        # verbolt-service is asked nothing before the work (its modes start on it); APy starts its pipelines here.
        if not (client.wait_ready(apy_port, apy_path('eng|spa')('Hello'), deadline)):
            sys.exit('APy did not come up')
        while time.time() < deadline:
            try:
                socket.create_connection(('127.0.0.1', verbolt_port), 0.2).close()
                break
            except OSError:
                time.sleep(0.1)
        spanish = [apy_translate(apy_port, 'eng|spa', s) for s in english]
        french = [apy_translate(apy_port, 'spa|fra', s) for s in spanish]
        verbolt_slices, apy_slices = [[] for _ in range(args.slices)], [[] for _ in range(args.slices)]
        for i in range(len(english)):
            k = i * args.slices // len(english)
            verbolt_slices[k] += [(verbolt_path('en|es'), english[i]), (verbolt_path('es|en'), spanish[i]),
                                  (verbolt_path('en|fr'), english[i]), (verbolt_path('fr|en'), french[i])]
            apy_slices[k] += [(apy_path('eng|spa'), english[i]), (apy_path('spa|eng'), spanish[i]),
                              (apy_path('spa|fra'), spanish[i]), (apy_path('fra|spa'), french[i])]
        failures = 0
        started = time.time()
        for k in range(args.slices):
            # Turn about, each side first in every other slice.
            order = [(verbolt_port, verbolt_slices[k]), (apy_port, apy_slices[k])]
            for port, jobs in (order if k % 2 == 0 else order[::-1]):
                failures += work(port, jobs)
        finished = time.time()
        rows = [('right after the conversation', footprint(servers[0].pid), footprint(servers[1].pid))]
        for seconds in after:
            time.sleep(max(0, finished + seconds - time.time()))
            rows.append((f'{seconds:g} s later', footprint(servers[0].pid), footprint(servers[1].pid)))

        # The first text after its mode has stopped, a warm one, and two modes started at once.
        cold = client.request(verbolt_port, verbolt_path('en|es')(unseen[5]), 60)[0] * 1000
        warm = [client.request(verbolt_port, verbolt_path('en|es')(s), 60)[0] * 1000 for s in unseen[:5]]
        two_hops = client.request(verbolt_port, verbolt_path('fr|en')(french[-1] + ' 2'), 60)[0] * 1000
    finally:
        for server in servers:
            server.terminate()
        for server in servers:
            server.wait(timeout=30)

    version = subprocess.run(['dpkg-query', '-W', '-f=${Version}', 'apertium-apy'], capture_output=True,
                             text=True).stdout
    idle = f'`--apertium-idle {args.apertium_idle}`' if args.apertium_idle else 'its default idle times (20 s for ' \
        'spare pipelines, 300 s for a mode)'
    lines = [
        '## Memory after a conversation',
        '',
        f'Measured by `bench/memory.py` on {time.strftime("%Y-%m-%d", time.gmtime())}, {os.cpu_count()} cores '
        f'(load average {load:.1f} at the start, other work on the machine included), apertium-apy {version}, '
        f'verbolt-service `{args.service}` with {idle}.',
        f'The work: {len(english)} sentences each way between English and Spanish and between English and French, '
        'four clients at once; APy, which does not chain modes, gets each hop (eng|spa, spa|eng, spa|fra, fra|spa), '
        f'so both run the same four modes. The two servers take {args.slices} slices of it in turn '
        f'({finished - started:.0f} s for both). {failures} of {8 * len(english)} requests failed. '
        'PSS (MiB) and processes of each server\'s whole process tree, read from /proc.',
        '',
        '| When | verbolt-service PSS | processes | APy PSS | processes |',
        '|---|---:|---:|---:|---:|',
    ]
    for when, (ours_mb, ours_n), (apy_mb, apy_n) in rows:
        lines.append(f'| {when} | {ours_mb:.1f} MiB | {ours_n} | {apy_mb:.1f} MiB | {apy_n} |')
    lines += [
        '',
        'The first text after a retirement pays for starting its pipeline again:',
        '',
        '| en→es text | time |',
        '|---|---|',
        f'| first after its mode stopped | {cold:.0f} ms |',
        f'| warm pipeline (median of 5) | {statistics.median(warm):.0f} ms |',
        f'| fr→en (two modes) first after both stopped | {two_hops:.0f} ms |',
    ]
    body = '\n'.join(lines) + '\n'
    section.replace(args.out, 'memory.py', body)
    print(body)


if __name__ == '__main__':
    main()
