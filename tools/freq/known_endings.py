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
- A word end: a rest that is mostly the last syllable of a longer word and the ending after it
  (도는 after 경기, 제주: 경기도 + 는). It is marked when most of its uses follow a noun that makes
  a dictionary word with its first syllable, what follows that syllable is a known ending (or
  nothing), and the rest is rarer than a longer word followed by that ending would be: uses of
  the rest < LONGER * uses of the ending, where LONGER is how often the dictionary words made of
  one of these nouns and one more syllable are used against the nouns themselves (each word
  counted as its eojeols that are the word followed by a known ending or by nothing). The split
  then takes the longer word (기린도는: 기린도 + 는); a rest used as an ending in its own right
  (적인, 적으로, 인이다) stays an ending.

Output: rest<TAB>uses<TAB>nouns<TAB>word end (1 or 0), most used first (then code point order),
UTF-8, LF."""

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


def word_ends(eojeols, nouns, words, rows):
    """The rests of rows that are mostly a longer word's last syllable and its ending, and the
    ratio LONGER of the docstring."""
    uses = {rest: count for rest, count, _ in rows}
    # Each word's uses: its eojeols that are the word followed by a known ending or by nothing.
    word_uses, longer = {}, {}
    for eojeol, count in eojeols.items():
        if not is_hangul(eojeol):
            continue
        for k in range(2, len(eojeol) + 1):
            word, rest = eojeol[:k], eojeol[k:]
            if rest in uses and word in words:
                word_uses[word] = word_uses.get(word, 0) + count
            if rest and word in nouns and word + rest[0] in words:
                longer[rest] = longer.get(rest, 0) + count
    pairs = [(n, w) for w in words if len(w) >= 3 and (n := w[:-1]) in nouns]
    ratio = sum(word_uses.get(w, 0) for _, w in pairs) / sum(word_uses.get(n, 0) for n, _ in pairs)
    marked = {rest for rest, count, _ in rows
              if rest and 2 * longer.get(rest, 0) > count and rest[1:] in uses
              and count < ratio * uses[rest[1:]]}
    return marked, ratio


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW)
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT)
    ap.add_argument("-o", "--output", default=os.path.join(freqlib.REPO, "data", "known_endings.tsv"))
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    nouns = set(common_nouns(freqlib.read_learner_list(args.raw), spellings, None))
    eojeols = freqlib.read_eojeol_counts(args.raw)
    rows = endings(eojeols, nouns)
    marked, ratio = word_ends(eojeols, nouns, set(spellings), rows)
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write("# rest<TAB>uses<TAB>nouns<TAB>word end: rests that follow nouns in Korean Wikipedia (an empty "
                "rest: nothing follows; word end 1: mostly a longer word's last syllable and its ending); "
                "made by tools/freq/known_endings.py\n")
        f.write(f"# {freqlib.KOWIKI_CREDIT}\n")
        f.write(f"# {freqlib.LEARNER_CREDIT}\n")
        for rest, count, nouns_seen in rows:
            f.write(f"{rest}\t{count}\t{nouns_seen}\t{int(rest in marked)}\n")
    print(f"{args.output}: {len(rows) - 1} endings and the bare noun after {len(nouns)} nouns; "
          f"{len(marked)} word ends (longer words used {ratio:.4f} times as often as their nouns)")


if __name__ == "__main__":
    main()
