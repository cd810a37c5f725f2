#!/usr/bin/python3
"""Writes data/known_endings.tsv: the rests that follow nouns in running Korean text (particles,
하다/되다 forms, 적/적인, copula forms ...), the "known endings" that the dictionary's split
prefers over a rest that cannot begin an ending (사회부터 -> 사회 + 부터, not 사회부 + 터).

- Nouns: the Sino-Korean nouns of the NIKL learner list (part of speech 명, 2 syllables or more,
  whose Hanja gloss is one of their hanja.txt spellings): plain nouns, unlike the dictionary's
  longer words (사회부, 환경처), whose own rests are no evidence of an ending.
- Every eojeol of the Korean Wikipedia counts that is such a noun followed by a Hangul rest of
  at most MAX_SYLLABLES syllables gives that rest its count and the noun.
- A rest is kept when it follows at least MIN_NOUNS different nouns and MIN_USES uses in all:
  an ending attaches to any noun, while a rest that spells the end of a longer word
  (사회부 -> 부, 환경처 -> 처) follows a few nouns only.

- The first line has an empty rest: the uses of those nouns with nothing after them (a bare
  eojeol), so that a rest can be weighed against the end of the word.

Output: rest<TAB>uses<TAB>nouns, most used first (then code point order), UTF-8, LF."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402
from common_forms import common_nouns  # noqa: E402

MAX_SYLLABLES = 4
MIN_NOUNS = 30
MIN_USES = 300


def is_hangul(text):
    return all("\uac00" <= c <= "\ud7a3" for c in text)


def endings(eojeols, nouns):
    bare = [n for n in nouns if eojeols.get(n, 0) > 0]
    uses, followed = {"": sum(eojeols[n] for n in bare)}, {"": set(bare)}
    for eojeol, count in eojeols.items():
        if not is_hangul(eojeol):
            continue
        for k in range(2, len(eojeol)):
            rest = eojeol[k:]
            if len(rest) > MAX_SYLLABLES or eojeol[:k] not in nouns:
                continue
            uses[rest] = uses.get(rest, 0) + count
            followed.setdefault(rest, set()).add(eojeol[:k])
    return sorted(((rest, uses[rest], len(followed[rest])) for rest in uses
                   if (len(followed[rest]) >= MIN_NOUNS and uses[rest] >= MIN_USES) or rest == ""),
                  key=lambda r: (-r[1], r[0]))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW)
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT)
    ap.add_argument("-o", "--output", default=os.path.join(freqlib.REPO, "data", "known_endings.tsv"))
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    nouns = set(common_nouns(freqlib.read_learner_list(args.raw), spellings, None))
    rows = endings(freqlib.read_eojeol_counts(args.raw), nouns)
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write("# rest<TAB>uses<TAB>nouns: rests that follow nouns in Korean Wikipedia (an empty rest: "
                "nothing follows); made by tools/freq/known_endings.py\n")
        f.write(f"# {freqlib.KOWIKI_CREDIT}\n")
        f.write(f"# {freqlib.LEARNER_CREDIT}\n")
        for rest, count, nouns_seen in rows:
            f.write(f"{rest}\t{count}\t{nouns_seen}\n")
    print(f"{args.output}: {len(rows) - 1} endings and the bare noun after {len(nouns)} nouns")


if __name__ == "__main__":
    main()
