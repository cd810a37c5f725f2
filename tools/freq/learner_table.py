#!/usr/bin/python3
"""First frequency table: scores from the NIKL learner vocabulary list.

score = 1,000,000 / rank for every (word, Hanja) pair of the list that is an
entry of libhangul's hanja.txt; equal pairs are summed; rows without a rank are
skipped."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402


def learner_scores(rows, spellings):
    scores = {}
    for rank, word, _pos, gloss, _level in rows:
        if rank is None or gloss not in spellings.get(word, ()):
            continue
        scores[(word, gloss)] = scores.get((word, gloss), 0.0) + 1_000_000 / rank
    return scores


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW, help="folder of the raw sources (default: ../shared/data/raw)")
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT, help="libhangul hanja.txt")
    ap.add_argument("-o", "--output", default=os.path.join(freqlib.REPO, "data", "hanja_freq.tsv"))
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    scores = learner_scores(freqlib.read_learner_list(args.raw), spellings)
    freqlib.write_table(args.output, [
        "hangul<TAB>hanja<TAB>score; score = 1000000 / rank in the learner list, equal pairs summed",
        freqlib.LEARNER_CREDIT,
    ], scores)
    print(f"{args.output}: {len(scores)} pairs")


if __name__ == "__main__":
    main()
