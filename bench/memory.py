#!/usr/bin/env python3
"""Memory after a conversation: verbolt-service against Apertium APy on the same modes.

Both servers get the same work (sentences en|es, es|en, en|fr, fr|en at once from four clients; APy, which does not
chain modes, gets each hop of the chain: eng|spa, spa|eng, spa|fra, fra|spa), then sit idle. The proportional set
size (PSS) and the processes of each server's whole process tree are read right after the work, once
verbolt-service's spare pipelines have retired, and once its idle modes have stopped. Then the cost of the first
text after a retirement: the same sentence warm, and again once its mode has been stopped.

Usage: bench/memory.py SERVICE [--out docs/benchmark.md] [--spare S] [--mode S]. Loopback only; stops both servers.
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('service')
    parser.add_argument('--out', default='docs/benchmark.md')
    parser.add_argument('--spare', type=float, default=5)
    parser.add_argument('--mode', type=float, default=15)
    parser.add_argument('--sentences', default='bench/sentences-en.txt')
    parser.add_argument('--count', type=int, default=40)
    args = parser.parse_args()
    every = [line.strip() for line in open(args.sentences, encoding='utf-8') if line.strip()]
    english = every[:args.count]
    # Texts for the timings, never sent before: the cache must not answer them.
    unseen = every[args.count:args.count + 7]

    verbolt_port, apy_port = free_port(), free_port()
    home = tempfile.mkdtemp()
    config = os.path.join(home, 'verbolt-service.conf')
    with open(config, 'w') as f:
        f.write('[mymemory]\nenabled=no\n')  # offline: Apertium alone, as APy
    os.chmod(config, 0o600)
    servers = [
        subprocess.Popen([args.service, '--listen', f'127.0.0.1:{verbolt_port}', '--config', config,
                          '--apertium-idle', f'{args.spare},{args.mode}'], stderr=subprocess.DEVNULL),
        subprocess.Popen(['/usr/bin/python3', 'bench/apy_loopback.py', str(apy_port), '/usr/share/apertium',
                          '--restart-pipe-after', '1000000'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
    ]
    try:
        deadline = time.time() + 120
        if not (client.wait_ready(verbolt_port, verbolt_path('en|es')('Hello'), deadline)
                and client.wait_ready(apy_port, apy_path('eng|spa')('Hello'), deadline)):
            sys.exit('a server did not come up')
        # Spanish and French sources, from the English ones.
        spanish = [client.verbolt_text(client.request(verbolt_port, verbolt_path('en|es')(s), 60)[2]) for s in english]
        french = [client.verbolt_text(client.request(verbolt_port, verbolt_path('en|fr')(s), 60)[2])
                  for s in english + unseen[6:]]
        time.sleep(args.mode + 2)  # both start the measured work from the same state: nothing warm but APy's
        verbolt_jobs, apy_jobs = [], []
        for i in range(len(english)):
            verbolt_jobs += [(verbolt_path('en|es'), english[i]), (verbolt_path('es|en'), spanish[i]),
                             (verbolt_path('en|fr'), english[i]), (verbolt_path('fr|en'), french[i])]
            apy_jobs += [(apy_path('eng|spa'), english[i]), (apy_path('spa|eng'), spanish[i]),
                         (apy_path('spa|fra'), spanish[i]), (apy_path('fra|spa'), french[i])]
        failures = work(verbolt_port, verbolt_jobs) + work(apy_port, apy_jobs)
        rows = [('right after the conversation', footprint(servers[0].pid), footprint(servers[1].pid))]
        time.sleep(args.spare + 1.5)
        rows.append((f'idle {args.spare + 1.5:g} s (spares retired)', footprint(servers[0].pid),
                     footprint(servers[1].pid)))
        time.sleep(args.mode - args.spare + 1.5)
        rows.append((f'idle {args.mode + 3:g} s (modes stopped)', footprint(servers[0].pid),
                     footprint(servers[1].pid)))

        # The first text after a retirement: warm, then once its mode has stopped.
        client.request(verbolt_port, verbolt_path('en|es')(english[1]), 60)
        warm = [client.request(verbolt_port, verbolt_path('en|es')(s), 60)[0] * 1000 for s in unseen[:5]]
        time.sleep(args.mode + 2)
        cold = client.request(verbolt_port, verbolt_path('en|es')(unseen[5]), 60)[0] * 1000
        two_hops = client.request(verbolt_port, verbolt_path('fr|en')(french[-1]), 60)[0] * 1000
    finally:
        for server in servers:
            server.terminate()
        for server in servers:
            server.wait(timeout=30)

    version = subprocess.run(['dpkg-query', '-W', '-f=${Version}', 'apertium-apy'], capture_output=True,
                             text=True).stdout
    lines = [
        '## Memory after a conversation',
        '',
        f'Measured by `bench/memory.py` on {time.strftime("%Y-%m-%d", time.gmtime())}, {os.cpu_count()} cores, '
        f'apertium-apy {version}, verbolt-service `{args.service}` with `--apertium-idle {args.spare:g},{args.mode:g}` '
        '(the defaults are 20 s for spare pipelines and 300 s for a mode; shortened here so the run is short).',
        f'The work: {len(english)} sentences each way between English and Spanish and between English and French, '
        'four clients at once; APy, which does not chain modes, gets each hop (eng|spa, spa|eng, spa|fra, fra|spa), '
        f'so both run the same four modes. {failures} of {8 * len(english)} requests failed. '
        'PSS and processes of each server\'s whole process tree, read from /proc.',
        '',
        '| When | verbolt-service PSS | processes | APy PSS | processes |',
        '|---|---|---|---|---|',
    ]
    for when, (ours_mb, ours_n), (apy_mb, apy_n) in rows:
        lines.append(f'| {when} | {ours_mb:.0f} MB | {ours_n} | {apy_mb:.0f} MB | {apy_n} |')
    lines += [
        '',
        'The first text after a retirement pays for starting its pipeline again:',
        '',
        '| en→es text | time |',
        '|---|---|',
        f'| warm pipeline (median of 5) | {statistics.median(warm):.0f} ms |',
        f'| first after its mode stopped | {cold:.0f} ms |',
        f'| fr→en (two modes) first after both stopped | {two_hops:.0f} ms |',
    ]
    body = '\n'.join(lines) + '\n'
    section.replace(args.out, 'memory.py', body)
    print(body)


if __name__ == '__main__':
    main()
