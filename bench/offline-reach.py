#!/usr/bin/env python3
"""Measures which languages of the window's list verbolt-service translates offline.

Starts verbolt-service (Apertium only) on a free loopback port, asks it to translate a sentence between every
ordered pair of the 23 listed languages, and prints a Markdown table: each language with English both ways, one
way or not at all, the routes taken (from the service's log), and the other listed languages it reaches. With
--readme FILE, the table replaces the part of FILE between the offline-reach markers.

Usage: bench/offline-reach.py [--service PATH] [--readme README.md]
"""
import argparse
import http.client
import os
import re
import socket
import subprocess
import sys
import tempfile
import textwrap
import time
import urllib.parse

# The window's list: name, client code, a sentence in the language. Swedish and Korean, last, are in the client's
# table of codes but not in the list.
LANGUAGES = [
    ('Arabic', 'ar', 'صباح الخير يا صديقي. البيت كبير.'),
    ('Bulgarian', 'bg', 'Добро утро, приятелю. Къщата е голяма.'),
    ('Czech', 'cs', 'Dobré ráno, příteli. Dům je velký.'),
    ('Danish', 'da', 'God morgen, min ven. Huset er stort.'),
    ('Dutch', 'nl', 'Goedemorgen, mijn vriend. Het huis is groot.'),
    ('English', 'en', 'Good morning, my friend. The house is big.'),
    ('Finsk (Finnish)', 'fi', 'Hyvää huomenta, ystäväni. Talo on iso.'),
    ('French', 'fr', 'Bonjour, mon ami. La maison est grande.'),
    ('German', 'de', 'Guten Morgen, mein Freund. Das Haus ist groß.'),
    ('Greek', 'el', 'Καλημέρα, φίλε μου. Το σπίτι είναι μεγάλο.'),
    ('Hindi', 'hi', 'सुप्रभात, मेरे दोस्त। घर बड़ा है।'),
    ('Irish', 'ga', 'Maidin mhaith, a chara. Tá an teach mór.'),
    ('Italian', 'it', 'Buongiorno, amico mio. La casa è grande.'),
    ('Japanese', 'ja', 'おはよう、友よ。家は大きいです。'),
    ('Kinisisk (Chinese)', 'zh-CN', '早上好，我的朋友。房子很大。'),
    ('Maltese', 'mt', 'L-għodwa t-tajba, ħabib tiegħi. Id-dar hija kbira.'),
    ('Norwegian', 'no', 'God morgen, min venn. Huset er stort.'),
    ('Polish', 'pl', 'Dzień dobry, mój przyjacielu. Dom jest duży.'),
    ('Portuguese', 'pt', 'Bom dia, meu amigo. A casa é grande.'),
    ('Romanian', 'ro', 'Bună dimineața, prietene. Casa este mare.'),
    ('Russian', 'ru', 'Доброе утро, мой друг. Дом большой.'),
    ('Español', 'es', 'Buenos días, mi amigo. La casa es grande.'),
    ('Welsh', 'cy', "Bore da, fy ffrind. Mae'r tŷ yn fawr."),
    ('Swedish (not listed)', 'sv', 'God morgon, min vän. Huset är stort.'),
    ('Korean (not listed)', 'ko', '좋은 아침이에요, 친구. 집이 커요.'),
]
LISTED = 23
BEGIN = '<!-- offline-reach:begin -->'
END = '<!-- offline-reach:end -->'


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def translate(port, text, source, target):
    path = ('/ajax/services/language/translate?v=1.0&q=' + urllib.parse.quote(text, safe='') + '&langpair='
            + source + '|' + target)
    connection = http.client.HTTPConnection('127.0.0.1', port, timeout=60)
    try:
        connection.request('GET', path)
        response = connection.getresponse()
        body = response.read().decode('utf-8')
        status = response.status
    finally:
        connection.close()
    match = re.search(r'"translatedText":"(.*?)"\}, ', body)
    return status, match.group(1) if match else ''


def wait_ready(port, deadline):
    while time.time() < deadline:
        try:
            if translate(port, 'Hello', 'en', 'es')[0] == 200:
                return True
        except OSError:
            time.sleep(0.2)
    return False


def measure(service):
    port = free_port()
    with tempfile.TemporaryFile(mode='w+') as log, tempfile.NamedTemporaryFile('w', suffix='.conf') as config:
        # Apertium alone: not the user's engines, nor MyMemory (on by default), nor the phrasebook, which would
        # answer the sample sentences itself.
        config.write('[routing]\norder=apertium\n')
        config.flush()
        process = subprocess.Popen([service, '--listen', f'127.0.0.1:{port}', '--config', config.name], stderr=log)
        try:
            if not wait_ready(port, time.time() + 60):
                sys.exit('verbolt-service did not answer')
            works = {}
            for _, source, text in LANGUAGES:
                for _, target, _ in LANGUAGES:
                    if source != target:
                        status, translation = translate(port, text, source, target)
                        works[source, target] = status == 200 and translation.strip() != ''
        finally:
            process.terminate()
            process.wait(timeout=30)
        log.seek(0)
        routes = {}
        for line in log:
            match = re.match(r'apertium route (\S+)\|(\S+): (.*)$', line.strip())
            if match:
                routes[match.group(1), match.group(2)] = match.group(3)
    return works, routes


def phrase_counts(service):
    """The shipped phrasebook's phrases per language, as `--list-pairs` counts them."""
    # The shipped file alone, not the phrases this user added.
    env = dict(os.environ, XDG_DATA_HOME='/nonexistent')
    listing = subprocess.run([service, '--list-pairs'], capture_output=True, text=True, env=env).stdout
    found = re.search(r'per language: (.*)', listing)
    if not found:
        return {}
    return {code: count for code, count in (item.split() for item in found.group(1).split(', '))}


def table(works, routes, service):
    phrases = phrase_counts(service)
    codes = [code for _, code, _ in LANGUAGES]
    listed = codes[:LISTED]
    names = {code: name for name, code, _ in LANGUAGES}

    def route(source, target):
        if not works[source, target]:
            return '—'
        return routes.get((source, target), '?').replace(' > ', ' → ')

    def reach(code):
        into, out = works['en', code], works[code, 'en']
        return 'both ways' if into and out else 'one way' if into or out else 'no'

    def partners(code, outgoing):
        found = [c for c in codes if c != code and c != 'en'
                 and (works[code, c] if outgoing else works[c, code])]
        return ', '.join(found) if found else '—'

    verdicts = {code: reach(code) for code in codes if code != 'en'}
    counted = [verdicts[code] for code in listed if code != 'en']
    pairs = sum(works[s, t] for s in listed for t in listed if s != t)
    summary = (
        f'Measured by `bench/offline-reach.py` on {time.strftime("%Y-%m-%d", time.gmtime())} with the pairs of '
        f'`scripts/apertium-pairs.txt` (`{os.path.relpath(service)}`): a sentence in each language sent to every '
        f'other one. Of the 22 languages besides English, '
        f'**{counted.count("both ways")} translate both ways with English, {counted.count("one way")} one way, '
        f'{counted.count("no")} not at all**; {pairs} of the {LISTED * (LISTED - 1)} ordered pairs of listed '
        f'languages translate.')
    lines = [
        textwrap.fill(summary, 110, break_on_hyphens=False, break_long_words=False),
        '',
        '| Language | Code | QSO phrases | With English | English → it | It → English | Also into | Also from |',
        '|---|---|---|---|---|---|---|---|',
    ]
    for code in codes:
        if code == 'en':
            continue
        lines.append(f'| {names[code]} | `{code}` | {phrases.get(code, "—")} | {verdicts[code]} | {route("en", code)} | {route(code, "en")} | '
                     f'{partners(code, True)} | {partners(code, False)} |')
    lines.append('')
    lines.append(textwrap.fill('"QSO phrases": the phrases of the shipped phrasebook in that language, translated '
                               'offline into and from every other one with the phrase (`verbolt-service '
                               '--list-pairs` counts them). Routes are the Apertium modes a text goes through; "Also into" and "Also from" are '
                               'the other listed languages (besides English) it translates into and from.', 110))
    return '\n'.join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--service', default=os.environ.get('VERBOLT_SERVICE', 'build/dev/service/verbolt-service'))
    parser.add_argument('--readme')
    args = parser.parse_args()
    if not os.access(args.service, os.X_OK):
        sys.exit(f'no verbolt-service at {args.service} (--service or VERBOLT_SERVICE)')
    works, routes = measure(args.service)
    text = table(works, routes, args.service)
    print(text)
    if args.readme:
        with open(args.readme, encoding='utf-8') as f:
            readme = f.read()
        start, end = readme.index(BEGIN) + len(BEGIN), readme.index(END)
        with open(args.readme, 'w', encoding='utf-8') as f:
            f.write(readme[:start] + '\n' + text + '\n' + readme[end:])


if __name__ == '__main__':
    main()
