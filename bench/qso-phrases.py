#!/usr/bin/env python3
"""QSO lines through verbolt-service: the share of protected words that come back intact through Apertium (en→es),
the share of lines the shipped phrasebook serves per language, and what a phrasebook line costs against an
Apertium line. Usage: bench/qso-phrases.py [build/service/verbolt-service]"""

import http.client
import json
import os
import socket
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


def serve(service, conf_text):
    conf = tempfile.NamedTemporaryFile(mode='w', suffix='.conf', delete=False)
    conf.write(conf_text)
    conf.close()
    port = free_port()
    env = dict(os.environ, XDG_DATA_HOME='/nonexistent')
    process = subprocess.Popen([service, '--listen', f'127.0.0.1:{port}', '--config', conf.name], env=env,
                               stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(('127.0.0.1', port), 0.2).close()
            break
        except OSError:
            time.sleep(0.1)
    return process, port, conf.name


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
    started = time.perf_counter()
    asked = 0
    for lang in LANGS:
        served[lang] = sum(ask(port, text, 'en', lang) is not None for text, _ in lines)
        asked += len(lines)
    phrasebook_ms = (time.perf_counter() - started) * 1000 / asked
    process.terminate()
    process.wait()
    os.unlink(conf)

    print(f'{len(lines)} lines, {total} protected words')
    print(f'protected words intact en→es: through the service {kept}/{total} ({100 * kept / total:.0f} %), '
          f'through bare Apertium {raw_kept}/{total} ({100 * raw_kept / total:.0f} %); lost: {", ".join(lost) or "none"}')
    print('lines the phrasebook serves from English: '
          + ', '.join(f'{lang} {served[lang]}/{len(lines)}' for lang in LANGS))
    print(f'one line over HTTP: phrasebook {phrasebook_ms:.2f} ms (served or refused), Apertium {apertium_ms:.1f} ms')


if __name__ == '__main__':
    main()
