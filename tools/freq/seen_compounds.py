#!/usr/bin/python3
"""Writes data/seen_compounds.tsv: the compounds the dictionary lacks, spelled as writers spelled
them: every annotated word of Korean Wikipedia and of Korean statutes of 3+ syllables that is no key
of libhangul's hanja.txt (토지거래허가구역 土地去來許可區域, 이순신 李舜臣), with each spelling's annotations.

- Every pair is kept, a single annotation too: every pair passed the reading check already, and
  where a word was annotated twice or more, one annotation held out is the spelling most seen in
  the others for 80 % of the annotations even when that spelling was seen only once (91 % when
  seen three times or more), far above what the parts' spellings guess for such words.
- A word that also reads as a dictionary word followed by (the start of) a known ending (이상의:
  이상 + 의, 유명한: 유명 + 한, 국민보: 국민 + 보다) is left out when running text uses it as that.
  Its eojeols that read both ways (이상의 bare, 국민보다) are weighed against those followed by
  another known ending, which only the compound explains (일본군은). A noun is followed by a known
  ending r_noun times as often as it stands bare, a dictionary noun with its ending r_ending
  times; a word whose eojeols lean to the second (below the rates' geometric mean) is left out
  (이상의 李尙毅: 12,651 bare, 6 followed), one that leans to the first is kept (일본군 日本軍:
  1,727 and 4,035). Both rates are counted here from the eojeol counts, over the learner list's
  Sino-Korean nouns and the known endings of data/known_endings.tsv.
  Where the rest is a 하다/되다 form (이동한: 이동 + 한), the endings it runs on into count for the
  dictionary word too (이동한다 is 이동 + 한다, not 이동한 李東漢 + 다).
- A word that running text follows with a stem's connective endings (고, 며, 면서, 지만, 도록) more
  often than with a noun's particles is a verb's or the copula's stem, not a noun, and is left out
  (지나가 支那街: 지나가고, 지나가며; 선거이 宣居怡: 선거이며).

- A kept word can still read, in a given text, as its longest dictionary word followed by a known
  ending (정신보다: 정신 + 보다 far more often than 정신보 鄭臣保 + 다). So that the lookup can weigh the two
  readings, a word whose rest after that dictionary word begins a known ending gets a fourth field:
  how often running text uses it as a stem, per million uses of the dictionary word, both from the
  eojeol counts by the segmentation model of usage_table.py with the seen words among its stems.

Output: hangul<TAB>hanja<TAB>annotations[<TAB>stem uses per million of its dictionary word's], by
Hangul in code point order, a word's spellings most annotated first (then code point order), UTF-8,
LF."""

import argparse
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402
import usage_table as ut  # noqa: E402
from common_forms import common_nouns  # noqa: E402

MIN_SYLLABLES = 3
# The first syllables of 하다/되다 forms that run on into longer endings (한 → 한다, 해 → 해서). 함, 합
# and 됨 are left out: after a noun they are as often the suffix 艦, 盒 (독도함 獨島艦).
VERB_FORM_STARTS = set("하한할해했되된될돼됐")
# Connective endings that follow a verb's or the copula's stem, never a noun (지나가고, 선거이며), and
# particles that follow a noun.
STEM_ENDINGS = ("고", "며", "면서", "지만", "도록")
NOUN_PARTICLES = ("의", "을", "를", "에", "에서", "에게", "과", "와", "으로", "로", "은", "이")
# The largest share written (a 32-bit count in the lookup).
SHARE_CAP = 4_000_000_000


def is_hangul(text):
    return all("\uac00" <= c <= "\ud7a3" for c in text)


def read_endings(path):
    endings = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            fields = line.rstrip("\n").split("\t")
            if fields[0]:
                endings.append(fields[0])
    if not endings:
        freqlib.fail(f"no known endings in {path} (run tools/freq/known_endings.py)")
    return endings


def followed(eojeols, word, endings):
    """Uses of word followed by a known ending, in the eojeol counts."""
    return sum(eojeols.get(word + e, 0) for e in endings)


def rates(eojeols, nouns, endings):
    """(known endings after a noun per bare use, known endings after a noun + ending per use of it)."""
    bare = sum(eojeols.get(n, 0) for n in nouns)
    after = sum(followed(eojeols, n, endings) for n in nouns)
    with_ending = after_ending = 0
    for n in nouns:
        for e in endings:
            uses = eojeols.get(n + e, 0)
            if uses:
                with_ending += uses
                after_ending += followed(eojeols, n + e, endings)
    return after / bare, after_ending / with_ending


def ending_completions(endings):
    """The endings by their beginnings: the rests y that complete a start x into a known ending x + y."""
    completions = {}
    for e in endings:
        for i in range(1, len(e) + 1):
            completions.setdefault(e[:i], []).append(e[i:])
    return completions


def seen_compounds(spellings, ann, eojeols, endings, threshold, annotated=None):
    """{(hangul, hanja): annotations} and the number of words left out as word + ending.
    annotated: {hangul: its annotated occurrences in the counted text} (default: the annotations).
    An annotated occurrence stands bare in the eojeol counts (보정기간(補正期間)을 gives 보정기간 and
    을), yet the writer said it is the compound: it is no evidence of the word + ending reading."""
    ending_set = set(endings)
    words = {}
    for (hangul, hanja), count in ann.items():
        if len(hangul) < MIN_SYLLABLES or len(hanja) != len(hangul) or hangul in spellings or not is_hangul(hangul):
            continue
        words.setdefault(hangul, {})[hanja] = count
    completions = ending_completions(endings)
    table, left_out = {}, 0
    for hangul, spelled in words.items():
        # The endings after which the word's text also reads as a dictionary word + a known ending:
        # none (the bare word) where its rest is a known ending itself (이상 + 의), else those that
        # complete its rest into one (국민 + 보 + 다). Known endings hold suffixes with particles
        # (군의, 인의), so a rest that is an ending is not completed: 일본군의 is the compound's.
        ambiguous = set()
        for k in range(2, len(hangul)):
            if hangul[:k] in spellings:
                x = hangul[k:]
                if x in ending_set:
                    # A 하다/되다 form goes on (이동한다: 이동 + 한다, not 이동한 李東漢 + 다).
                    ambiguous.add("")
                    ambiguous.update(y for y in completions.get(x, ()) if x[0] in VERB_FORM_STARTS)
                else:
                    ambiguous.update(completions.get(x, ()))
        if ambiguous:
            own = annotated.get(hangul, 0) if annotated is not None else sum(spelled.values())
            as_word_and_ending = sum(eojeols.get(hangul + y, 0) for y in ambiguous if y)
            if "" in ambiguous:
                as_word_and_ending += max(0, eojeols.get(hangul, 0) - own)
            as_noun = sum(eojeols.get(hangul + e, 0) for e in endings if e not in ambiguous)
            if as_noun < threshold * as_word_and_ending:
                left_out += 1
                continue
        # Running text uses it as a stem (지나가는: 지나가 + 는, not 支那街), not as a noun.
        if sum(eojeols.get(hangul + e, 0) for e in STEM_ENDINGS) > sum(eojeols.get(hangul + e, 0) for e in NOUN_PARTICLES):
            left_out += 1
            continue
        for hanja, count in spelled.items():
            table[(hangul, hanja)] = count
    return table, left_out


def stem_shares(spellings, words, eojeols, endings):
    """{word: uses as a stem per million uses of its longest dictionary word (2+ syllables)} for the
    words whose rest after that word begins a known ending, and so also reads as that word and an
    ending. Both from the segmentation model trained with the words among the stems; a word running
    text never shows counts as the model's smoothing."""
    starts = ending_completions(endings)
    longest = {}
    for w in words:
        for k in range(len(w) - 1, 1, -1):
            if w[:k] in spellings:
                if w[k:] in starts:
                    longest[w] = w[:k]
                break
    if not longest:
        return {}
    keys = set(spellings) | set(words)
    model = ut.train(ut.analyses(eojeols, keys))
    return {w: min(SHARE_CAP, round(1_000_000 * model.p_stem(w) / model.p_stem(p))) for w, p in longest.items()}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW, help="folder of the raw sources (default: ../shared/data/raw)")
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT, help="libhangul hanja.txt")
    ap.add_argument("--endings", default=os.path.join(freqlib.REPO, "data", "known_endings.tsv"))
    ap.add_argument("-o", "--output", default=os.path.join(freqlib.REPO, "data", "seen_compounds.tsv"))
    ap.add_argument("--statute-weight", default="1",
                    help='weight of the statute eojeol counts, as for usage_table.py; 0 leaves the statutes out')
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    endings = read_endings(args.endings)
    eojeols = freqlib.read_eojeol_counts(args.raw)
    ann = freqlib.read_annotation_counts(args.raw)
    uses = ann  # annotated occurrences in the counted text
    statutes = args.statute_weight not in ("0", "0.0")
    if statutes:
        # The statutes' compounds too (장성급 將星級), each annotation one sighting; their running
        # text weighted as for the frequency table, and so their annotated occurrences in it.
        st_eojeols = freqlib.read_statute_eojeol_counts(args.raw)
        st_ann = freqlib.read_statute_annotation_counts(args.raw)
        weight = freqlib.genre_weight(args.statute_weight, eojeols, st_eojeols)
        eojeols = freqlib.mixed(eojeols, st_eojeols, weight)
        uses = freqlib.mixed(ann, st_ann, weight)
        ann = freqlib.mixed(ann, st_ann, 1)
    annotated = {}
    for (hangul, _), count in uses.items():
        annotated[hangul] = annotated.get(hangul, 0) + count
    nouns = set(common_nouns(freqlib.read_learner_list(args.raw), spellings, None))
    r_noun, r_ending = rates(eojeols, nouns, endings)
    threshold = math.sqrt(r_noun * r_ending)
    table, left_out = seen_compounds(spellings, ann, eojeols, endings, threshold, annotated)
    shares = stem_shares(spellings, {h for h, _ in table}, eojeols, endings)
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write("# hangul<TAB>hanja<TAB>annotations[<TAB>stem uses per million of its dictionary word's]: "
                "compounds the dictionary lacks as writers spelled them, in 620 files of Korean Wikipedia "
                f"(2020){' and in Korean statutes' if statutes else ''}; made by tools/freq/seen_compounds.py\n")
        f.write(f"# {freqlib.KOWIKI_CREDIT}\n")
        if statutes:
            f.write(f"# {freqlib.STATUTE_CREDIT}\n")
        for (hangul, hanja) in sorted(table, key=lambda p: (p[0], -table[p], p[1])):
            share = f"\t{shares[hangul]}" if hangul in shares else ""
            f.write(f"{hangul}\t{hanja}\t{table[(hangul, hanja)]}{share}\n")
    print(f"{args.output}: {len(table)} pairs, {len({h for h, _ in table})} words ({len(shares)} with a stem share); {left_out} words left out (a dictionary word + known ending, or a stem) "
          f"(rates {r_noun:.3f} and {r_ending:.3f}, threshold {threshold:.3f})")


if __name__ == "__main__":
    main()
