#!/usr/bin/env python3
"""The phrasebook's reach and precision on a QSO corpus of its own (bench/qso-corpus/, written apart from the
phrase data): verbolt-service runs offline with the phrasebook alone, every corpus line is sent into English and
every English line into each language. A line is served when the service answers it (200); it is served wrongly
when the answer is none of the wordings the corpus accepts for it.

Usage: bench/phrase-precision.py [verbolt-service] [--out docs/benchmark.md] [--wrong] [--missed]
--wrong lists every wrong answer and --missed every line not served, on stderr for review."""

import argparse
import importlib.util
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LANGS = 'de es fr it pt nl ru pl cs da no fi sv el bg ro ga cy mt ar hi ja zh-CN ko'.split()

_spec = importlib.util.spec_from_file_location('qso_phrases', os.path.join(HERE, 'qso-phrases.py'))
qso = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(qso)
sys.path.insert(0, HERE)
import section  # noqa: E402


def norm(text):
    """Wordings compared as a reader would: case, punctuation and spacing aside."""
    text = text.replace('’', "'").replace('\u00a0', ' ')
    text = re.sub(r'[.,;:!?¡¿。、，！？؟،।«»"“”…]', ' ', text)
    return ' '.join(text.casefold().split())


def rows(path):
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            if line and not line.startswith('#'):
                yield line.split('\t')


def load(corpus_dir):
    meanings = {m: [w for w in words.split('|') if w] for m, words in rows(os.path.join(corpus_dir, 'meanings.tsv'))}
    corpus = {}
    for lang in ['en'] + LANGS:
        lines, refs = [], {}
        for row in rows(os.path.join(corpus_dir, f'{lang}.tsv')):
            meaning, text = row[0], row[1]
            assert meaning in meanings, (lang, meaning)
            if text.startswith('='):
                refs.setdefault(meaning, set()).add(norm(text[1:]))
                continue
            extra = [w for w in row[2].split('|') if w] if len(row) > 2 else []
            lines.append((meaning, text, extra))
            refs.setdefault(meaning, set()).add(norm(text))
        corpus[lang] = (lines, refs)
    return meanings, corpus


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('service', nargs='?', default='build/dev/service/verbolt-service')
    parser.add_argument('--out', help='Markdown file whose phrase-precision section is replaced')
    parser.add_argument('--wrong', action='store_true', help='list the wrong answers on stderr')
    parser.add_argument('--missed', action='store_true', help='list the lines not served on stderr')
    parser.add_argument('--corpus', default=os.path.join(HERE, 'qso-corpus'), help='folder of meanings.tsv and <lang>.tsv')
    args = parser.parse_args()

    meanings, corpus = load(args.corpus)
    process, port, conf = qso.serve(args.service, '[routing]\norder=phrasebook\n')
    results = {}
    asked = 0
    started = time.perf_counter()
    try:
        en_lines = corpus['en'][0]
        for lang in LANGS:
            lines, refs = corpus[lang]
            into_en = [0, 0]
            for meaning, text, extra in lines:
                answer = qso.ask(port, text, lang, 'en')
                asked += 1
                if answer is None:
                    if args.missed:
                        print(f'{lang}>en missed  {text}', file=sys.stderr)
                    continue
                into_en[0] += 1
                if norm(answer) not in {norm(w) for w in meanings[meaning] + extra}:
                    into_en[1] += 1
                    if args.wrong:
                        print(f'{lang}>en WRONG  {text}  =>  {answer}', file=sys.stderr)
            from_en = [0, 0]
            for meaning, text, _ in en_lines:
                answer = qso.ask(port, text, 'en', lang)
                asked += 1
                if answer is None:
                    if args.missed:
                        print(f'en>{lang} missed  {text}', file=sys.stderr)
                    continue
                from_en[0] += 1
                if norm(answer) not in refs.get(meaning, set()):
                    from_en[1] += 1
                    if args.wrong:
                        print(f'en>{lang} WRONG  {text}  =>  {answer}', file=sys.stderr)
            results[lang] = (len(lines), into_en, len(en_lines), from_en)
    finally:
        process.terminate()
        process.wait()
        os.unlink(conf)
    per_line_ms = (time.perf_counter() - started) * 1000 / asked

    def pct(part, whole):
        return f'{100 * part / whole:.0f} %' if whole else '-'

    revision = subprocess.run(['git', 'rev-parse', '--short', 'HEAD'], capture_output=True, text=True,
                              cwd=HERE).stdout.strip() or 'unknown'
    name = 'phrase-precision' + ('-heldout' if os.path.basename(os.path.normpath(args.corpus)) == 'heldout' else '')
    title = ('Held-out corpus' if 'heldout' in name else 'Corpus') + ', the service as built'
    out = ['### ' + title, '',
           f'Measured by `bench/phrase-precision.py` on {time.strftime("%Y-%m-%d", time.gmtime())} at commit '
           f'{revision}: verbolt-service offline with the phrasebook alone (`[routing] order=phrasebook`), on the '
           f'corpus in `{os.path.relpath(args.corpus, os.path.join(HERE, ".."))}/` ({len(meanings)} ordinary QSO formula lines a language, typed as hams '
           'type them, written apart from the phrase data). Served: the share of lines the phrasebook answers; '
           'wrong: the share of lines answered with a wording the corpus does not accept for that line '
           '(target 0).', '',
           '| language | lines → en | served | wrong | en → language | served | wrong |',
           '|---|---|---|---|---|---|---|']
    totals = [0, 0, 0, 0, 0, 0]
    for lang in LANGS:
        n, (served, wrong), m, (served_en, wrong_en) = results[lang]
        out.append(f'| {lang} | {n} | {pct(served, n)} | {pct(wrong, n)} | {m} | {pct(served_en, m)} | '
                   f'{pct(wrong_en, m)} |')
        for i, v in enumerate((n, served, wrong, m, served_en, wrong_en)):
            totals[i] += v
    out.append(f'| all | {totals[0]} | {pct(totals[1], totals[0])} | {pct(totals[2], totals[0])} | {totals[3]} | '
               f'{pct(totals[4], totals[3])} | {pct(totals[5], totals[3])} |')
    out += ['', f'One line over HTTP, served or refused: {per_line_ms:.2f} ms on average.']
    text = '\n'.join(out) + '\n'
    print(text)
    if args.out:
        section.replace(args.out, name, text)


if __name__ == '__main__':
    main()
