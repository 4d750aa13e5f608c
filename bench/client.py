#!/usr/bin/env python3
"""Sends the same sentences through verbolt-service and Apertium APy and prints a Markdown table.

Latency is measured per request (connect to last byte); throughput is sentences per second of wall time.
Loopback only: both URLs must point at 127.0.0.1.
"""
import argparse
import concurrent.futures
import http.client
import json
import statistics
import sys
import time
import urllib.parse


def request(port, path, timeout):
    start = time.perf_counter()
    connection = http.client.HTTPConnection('127.0.0.1', port, timeout=timeout)
    try:
        connection.request('GET', path)
        response = connection.getresponse()
        body = response.read()
        status = response.status
    finally:
        connection.close()
    return time.perf_counter() - start, status, body


def verbolt_path(sentence):
    return ('/ajax/services/language/translate?v=1.0&q=' + urllib.parse.quote(sentence, safe='')
            + '&langpair=en|es')


def apy_path(sentence):
    return ('/translate?langpair=' + urllib.parse.quote('eng|spa') + '&markUnknown=no&format=txt&q='
            + urllib.parse.quote(sentence, safe=''))


def verbolt_text(body):
    text = body.decode('utf-8')
    start = text.index('"translatedText":"') + len('"translatedText":"')
    return text[start:text.index('"},', start)]


def apy_text(body):
    return json.loads(body)['responseData']['translatedText']


def wait_ready(port, path, deadline):
    while time.time() < deadline:
        try:
            _, status, _ = request(port, path, 5)
            if status == 200:
                return True
        except OSError:
            pass
        time.sleep(0.2)
    return False


def run(port, make_path, sentences, concurrency, timeout):
    latencies = []
    failures = 0
    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(max_workers=concurrency) as pool:
        for elapsed, status, _ in pool.map(lambda s: request(port, make_path(s), timeout), sentences):
            latencies.append(elapsed)
            failures += status != 200
    wall = time.perf_counter() - start
    latencies.sort()
    return {
        'median': statistics.median(latencies) * 1000,
        'p95': latencies[max(0, int(round(0.95 * len(latencies))) - 1)] * 1000,
        'throughput': len(sentences) / wall,
        'failures': failures,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--verbolt-port', type=int, required=True)
    parser.add_argument('--apy-port', type=int, required=True)
    parser.add_argument('--sentences', required=True)
    parser.add_argument('--concurrency', default='1,4')
    parser.add_argument('--timeout', type=float, default=30)
    parser.add_argument('--ready-timeout', type=float, default=120)
    args = parser.parse_args()

    sentences = [line.strip() for line in open(args.sentences, encoding='utf-8') if line.strip()]
    deadline = time.time() + args.ready_timeout
    if not wait_ready(args.verbolt_port, verbolt_path('Hello'), deadline):
        sys.exit('verbolt-service did not answer')
    if not wait_ready(args.apy_port, apy_path('Hello'), deadline):
        sys.exit('APy did not answer')

    # Warm both: every sentence once, and check that they agree on what they translate.
    differ = 0
    differ_beyond_marks = 0
    for sentence in sentences:
        ours = verbolt_text(request(args.verbolt_port, verbolt_path(sentence), args.timeout)[2])
        theirs = apy_text(request(args.apy_port, apy_path(sentence), args.timeout)[2])
        differ += ours.strip() != theirs.strip()
        # APy generates with -g and strips only the "*" marks, so "#" (generation gaps) stays in its text.
        differ_beyond_marks += ours.strip() != theirs.replace('#', '').strip()

    rows = []
    for concurrency in [int(c) for c in args.concurrency.split(',')]:
        ours = run(args.verbolt_port, verbolt_path, sentences, concurrency, args.timeout)
        theirs = run(args.apy_port, apy_path, sentences, concurrency, args.timeout)
        rows.append((concurrency, ours, theirs))

    print(f'{len(sentences)} English sentences, English -> Spanish, loopback; latency in ms, throughput in '
          f'sentences/s.\n')
    print('| Concurrency | Server | Median | p95 | Throughput | Failures |')
    print('|---:|---|---:|---:|---:|---:|')
    for concurrency, ours, theirs in rows:
        for name, r in (('verbolt-service', ours), ('Apertium APy', theirs)):
            print(f"| {concurrency} | {name} | {r['median']:.1f} | {r['p95']:.1f} | {r['throughput']:.0f} | "
                  f"{r['failures']} |")
    print()
    for concurrency, ours, theirs in rows:
        print(f"- Concurrency {concurrency}: verbolt-service median latency is "
              f"{ours['median'] / theirs['median']:.2f} of APy's "
              f"({theirs['median'] / ours['median']:.1f} times faster).")
    print(f'- Translations that differ between the two servers: {differ} of {len(sentences)}; '
          f'{differ_beyond_marks} once the "#" generation marks APy leaves in are removed.')


if __name__ == '__main__':
    main()
