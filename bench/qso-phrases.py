#!/usr/bin/env python3
"""QSO lines through verbolt-service: the share of protected words that come back intact through Apertium (en→es),
the share of lines the shipped phrasebook serves per language, and what a phrasebook line costs against an
Apertium line, over a connection per line and over a kept connection, on the user's socket and on TCP.
Usage: bench/qso-phrases.py [build/service/verbolt-service]"""

import http.client
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
LANGS = 'de es fr it pt nl ru pl cs da no fi sv el bg ro ga cy mt ar hi ja zh-CN ko'.split()


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def ask(port, text, source, target):
    conn = http.client.HTTPConnection('127.0.0.1', port, timeout=60)
    query = urllib.parse.urlencode({'v': '1.0', 'q': text, 'langpair': f'{source}|{target}'})
    conn.request('GET', '/ajax/services/language/translate?' + query)
    reply = conn.getresponse()
    body = reply.read()
    conn.close()
    if reply.status != 200:
        return None
    return json.loads(body)['responseData']['translatedText']


def serve(service, conf_text, socket_path=None):
    conf = tempfile.NamedTemporaryFile(mode='w', suffix='.conf', delete=False)
    conf.write(conf_text)
    conf.close()
    port = free_port()
    env = dict(os.environ, XDG_DATA_HOME='/nonexistent')
    process = subprocess.Popen([service, '--listen', socket_path or f'127.0.0.1:{port}', '--config', conf.name],
                               env=env, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            if socket_path:
                with socket.socket(socket.AF_UNIX) as s:
                    s.connect(socket_path)
            else:
                socket.create_connection(('127.0.0.1', port), 0.2).close()
            break
        except OSError:
            time.sleep(0.1)
    return process, port, conf.name


class KeptConnection:
    """A small HTTP/1.1 client that keeps its connection while the service does, as the window's libcurl does, and
    reads a reply by its Content-Length (Python's own client would cost more than the service it measures)."""

    def __init__(self, connect):
        self.connect = connect
        self.sock = None

    def get(self, target):
        """The status of one GET; reconnects when the service has closed the connection."""
        if self.sock is None:
            self.sock = self.connect()
        self.sock.sendall(f'GET {target} HTTP/1.1\r\nHost: localhost\r\n\r\n'.encode())
        data = b''
        while b'\r\n\r\n' not in data:
            data += self.recv()
        head, _, body = data.partition(b'\r\n\r\n')
        lines = head.split(b'\r\n')
        fields = {k.strip().lower(): v.strip() for k, _, v in (line.partition(b':') for line in lines[1:])}
        length = int(fields.get(b'content-length', b'0'))
        while len(body) < length:
            body += self.recv()
        if fields.get(b'connection', b'').lower() == b'close':
            self.close()
        return int(lines[0].split()[1])

    def recv(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise ConnectionError('the service closed the connection mid-reply')
        return chunk

    def close(self):
        if self.sock is not None:
            self.sock.close()
            self.sock = None


def unix_socket(path):
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    return s


def line_times(service, served, rounds=5):
    """Per-line times (ms) of phrasebook lines over the user's socket and over TCP, each client keeping its
    connection for as long as the service does (as the window's fetcher does). The lines are asked rounds times of
    each service, without its cache (so that the phrasebook answers every time), the two taken in turn; one line
    first, not counted, for the connections and the phrasebook's first match."""
    folder = tempfile.mkdtemp()
    path = os.path.join(folder, 'service.sock')
    conf = '[routing]\norder=phrasebook\ncache=0\n'
    servers = [serve(service, conf, path), serve(service, conf)]
    clients = [KeptConnection(lambda: unix_socket(path)),
               KeptConnection(lambda: socket.create_connection(('127.0.0.1', servers[1][1]), 60))]
    times = [[], []]
    try:
        for i, (text, lang) in enumerate(served * rounds):
            query = urllib.parse.urlencode({'v': '1.0', 'q': text, 'langpair': f'en|{lang}'})
            for side in (0, 1) if i % 2 == 0 else (1, 0):
                started = time.perf_counter()
                status = clients[side].get('/ajax/services/language/translate?' + query)
                elapsed = time.perf_counter() - started
                if status != 200:
                    sys.exit(f'the phrasebook refused a line it served before: {text} en|{lang}')
                if i > 0:
                    times[side].append(elapsed * 1000)
    finally:
        for c in clients:
            c.close()
        for process, _, conf_name in servers:
            process.terminate()
            process.wait()
            os.unlink(conf_name)
        shutil.rmtree(folder, ignore_errors=True)
    return statistics.median(times[0]), statistics.median(times[1]), len(times[0])


def main():
    service = sys.argv[1] if len(sys.argv) > 1 else 'build/service/verbolt-service'
    lines = []
    with open(os.path.join(HERE, 'qso-lines-en.txt'), encoding='utf-8') as corpus:
        for row in corpus:
            row = row.rstrip('\n')
            if row and not row.startswith('#'):
                text, _, words = row.partition('\t')
                lines.append((text, [w for w in words.split('|') if w]))

    # Apertium behind the service's guard, then Apertium on its own.
    process, port, conf = serve(service, '[phrasebook]\nenabled=no\n')
    kept = total = 0
    lost = []
    started = time.perf_counter()
    for text, words in lines:
        answer = ask(port, text, 'en', 'es') or ''
        total += len(words)
        kept += sum(answer.count(w) == text.count(w) for w in words)
        lost += [w for w in words if answer.count(w) != text.count(w)]
    apertium_ms = (time.perf_counter() - started) * 1000 / len(lines)
    process.terminate()
    process.wait()
    os.unlink(conf)
    raw_kept = 0
    for text, words in lines:
        raw = subprocess.run(['apertium', 'eng-spa'], input=text, capture_output=True, text=True).stdout
        raw_kept += sum(raw.count(w) == text.count(w) for w in words)

    # The phrasebook alone.
    process, port, conf = serve(service, '[routing]\norder=phrasebook\n')
    served = {}
    served_lines = []
    started = time.perf_counter()
    asked = 0
    for lang in LANGS:
        answers = [ask(port, text, 'en', lang) for text, _ in lines]
        served[lang] = sum(a is not None for a in answers)
        served_lines += [(text, lang) for (text, _), a in zip(lines, answers) if a is not None]
        asked += len(lines)
    phrasebook_ms = (time.perf_counter() - started) * 1000 / asked
    process.terminate()
    process.wait()
    os.unlink(conf)

    socket_ms, tcp_ms, measured = line_times(service, served_lines)

    print(f'{len(lines)} lines, {total} protected words')
    print(f'protected words intact en→es: through the service {kept}/{total} ({100 * kept / total:.0f} %), '
          f'through bare Apertium {raw_kept}/{total} ({100 * raw_kept / total:.0f} %); lost: {", ".join(lost) or "none"}')
    print('lines the phrasebook serves from English: '
          + ', '.join(f'{lang} {served[lang]}/{len(lines)}' for lang in LANGS))
    print(f'one line over HTTP: phrasebook {phrasebook_ms:.2f} ms (served or refused), Apertium {apertium_ms:.1f} ms')
    print(f'a phrasebook line over a kept connection, median of {measured}: over the user\'s socket '
          f'{socket_ms:.3f} ms, over TCP {tcp_ms:.3f} ms')


if __name__ == '__main__':
    main()
