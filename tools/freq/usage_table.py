#!/usr/bin/python3
"""The frequency table from real usage: Korean Wikipedia and Korean statute
eojeol counts, their 한글(漢字) annotations, the NIKL learner list and
libhangul's own order. The split learns from both texts pooled; the order of
spellings sums each genre's own estimate (see Scorer).

The table does two jobs for the dictionary, and the tool serves them apart:

1. Where the word ends. `split` takes the longest dictionary prefix that has a
   scored spelling, else the longest prefix. So a key that is present in the
   table, with any score, claims every text that starts with it; a key that is
   left out gives way to a shorter scored one. The tool decides, key by key,
   whether the key is a word (kept) or mostly a shorter word plus an ending
   (사고가 = 사고 + 가: left out), from a segmentation model of the eojeol
   counts, and then scores every key that must be scored for the decisions to
   hold (the keys that start with a scored key).

2. The order of a word's spellings: estimated uses per spelling. Each
   annotation stands for 1/rho uses, rho being the share of uses that writers
   annotate (measured on words with one spelling). Writers annotate the rare
   and the ambiguous readings, seldom 世界 for 세계, so the uses of the word
   that the annotations leave unexplained go to the spellings that running text
   uses unannotated: the learner-list spellings (what their rank predicts,
   the rest shared with the spellings whose compounds running text uses), or,
   for other words, the spellings whose compounds running text
   uses (한국어 韓國語 for 한국) with libhangul's first spelling favoured. A
   word's uses bound what its annotations stand for. Spellings without evidence
   keep libhangul's order, the table's tie order.

3. One-syllable words, which the lookup never reorders: scores that the build
   uses to sort their lines in the dictionary file (see
   single_character_scores).

Python 3 standard library only; the output is the same byte for byte on every
run with the same inputs."""

import argparse
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402

# EM rounds and add-alpha smoothing of the segmentation model.
EM_ROUNDS = 8
ALPHA = 0.1
# Endings that turn a learner-list word into its noun: 가능하다 可能- -> 가능 可能.
DERIVING_ENDINGS = ("하다", "되다", "히", "스럽다", "시키다", "받다", "당하다", "롭다")

# Words the learner list does not cover: their unexplained uses are shared out only when they
# are most of the word's uses (below that they are as likely the spread of annotation rates, or
# a native homograph), by the running-text uses of the word's compounds and by the annotated
# uses (+ANNOTATION_PRIOR annotations each), libhangul's first spelling (its commonest) counted
# FIRST_SPELLING_WEIGHT times, since the commonest spelling is the one writers annotate least
# (황제 皇帝 28 annotations, 黃帝 35, 15,486 uses).
UNEXPLAINED_SHARE = 0.5
ANNOTATION_PRIOR = 0.5
FIRST_SPELLING_WEIGHT = 3.0

# Annotations a compound part needs to be listed (see compound_parts).
MIN_PART_ANNOTATIONS = 2

# The last characters that make a word a name: places (성주군 星州郡), buildings, temples and
# tombs (성주사 聖住寺, 강릉 康陵), titles and clans (공주목사 公州牧使, 성주이씨 星州李氏).
NAME_SUFFIXES = frozenset("郡縣州市道府面里洞邑村驛浦港島津江川山峰嶺鎭牧"
                          "寺庵陵墓宮殿城亭祠樓臺碑齋"
                          "王公君侯伯氏帝后妃使")
# A king's reign and annals (宣祖朝, 仁宗實錄): the spelling before them is a king's name.
REIGN_RESTS = frozenset(("朝", "代"))
# Annotated longer words a spelling needs before their endings say anything of it.
MIN_NAME_EVIDENCE = 2
# Common surnames, and how often a character must be a given name's (of the annotated names of
# three syllables that begin with one, against all its uses in annotated words) for a spelling
# that begins with a surname to read as a person (張勉, 劉邦, 李植): words whose characters are
# that often given names are annotated about 0.09 of their uses, those below it about 0.05.
SURNAMES = frozenset("金李朴崔鄭姜趙尹張林韓吳徐申權黃安宋柳全洪高文梁孫裵白許劉南沈盧河丁郭成車朱"
                     "禹具閔辛任羅田嚴元千方孔玄康咸卞楊廉邊呂秋魯都蘇愼石宣薛馬吉周延房魏表明奇"
                     "潘王琴玉陸印孟諸卓秦")
GIVEN_NAME_SHARE = 0.2

HANGUL_TAIL = re.compile(r"[\uac00-\ud7a3]+$")


def log(message):
    print(f"usage_table: {message}", file=sys.stderr, flush=True)


# ------------------------------------------------------------------ learner list

def learner_evidence(rows, spellings):
    """(word, hanja) -> sum of 1,000,000 / rank, and the learner words that are dictionary words."""
    weight = {}
    words = set()
    for rank, word, _pos, gloss, _level in rows:
        if gloss in spellings.get(word, ()):
            words.add(word)
        hanja, stem = gloss, word
        if hanja.endswith("-"):
            hanja = hanja[:-1]
            for ending in DERIVING_ENDINGS:
                if stem.endswith(ending) and len(stem) > len(ending):
                    stem = stem[:-len(ending)]
                    break
        if rank is not None and hanja in spellings.get(stem, ()):
            weight[(stem, hanja)] = weight.get((stem, hanja), 0.0) + 1_000_000 / rank
    return weight, words


# ------------------------------------------------------------------ segmentation model

def analyses(eojeols, spellings):
    """Eojeols that start with a dictionary word of 2+ characters: (eojeol, count, prefix lengths
    longest first). One-character prefixes never become stems, so they are no analysis."""
    out = []
    for e, c in eojeols.items():
        ks = [k for k in range(len(e), 1, -1) if e[:k] in spellings]
        if ks:
            out.append((e, c, ks))
    return out


class Model:
    """Unigram stem + ending model: P(eojeol) = sum over its word prefixes of P(stem) P(ending)."""

    def __init__(self, stems, endings):
        self.stems, self.endings = stems, endings
        self.stem_total = sum(stems.values())
        self.ending_total = sum(endings.values())
        self.stem_norm = self.stem_total + ALPHA * len(stems)
        self.ending_norm = self.ending_total + ALPHA * (len(endings) + 1)

    def p_stem(self, k):
        return (self.stems.get(k, 0.0) + ALPHA) / self.stem_norm

    def p_ending(self, x):
        return (self.endings.get(x, 0.0) + ALPHA) / self.ending_norm

    def posteriors(self, e, ks):
        w = [self.p_stem(e[:k]) * self.p_ending(e[k:]) for k in ks]
        s = sum(w)
        return [x / s for x in w]


def train(an):
    # Start: a stem is as likely as the eojeols that show it with an ending (a bare eojeol
    # could be a shorter word plus an ending, so it is no evidence yet); endings uniform per eojeol.
    stems, endings = {}, {}
    for e, c, ks in an:
        for k in ks:
            stems[e[:k]] = stems.get(e[:k], 0.0) + (c if k < len(e) else 0.0)
            endings[e[k:]] = endings.get(e[k:], 0.0) + c / len(ks)
    for r in range(EM_ROUNDS):
        model = Model(stems, endings)
        stems, endings = {}, {}
        for e, c, ks in an:
            for k, p in zip(ks, model.posteriors(e, ks)):
                stems[e[:k]] = stems.get(e[:k], 0.0) + c * p
                endings[e[k:]] = endings.get(e[k:], 0.0) + c * p
        log(f"segmentation round {r + 1}/{EM_ROUNDS}")
    final = Model(stems, endings)
    final.last_round = model  # whose posteriors gave the stems
    return final


def genre_stems(an_genre, model):
    """One genre's uses of each stem: its eojeols shared out as the model's last round shared out
    all of them, so the genres' stems add up to the model's."""
    stems = {}
    for e, c, ks in an_genre:
        for k, p in zip(ks, model.last_round.posteriors(e, ks)):
            stems[e[:k]] = stems.get(e[:k], 0.0) + c * p
    return stems


def stem_votes(an, model):
    """For each word K: uses of eojeols starting with K that the model gives to K (keep) and to
    a shorter word (give way)."""
    keep, give_way = {}, {}
    for e, c, ks in an:
        if len(ks) < 2:
            continue
        post = model.posteriors(e, ks)
        for i, k in enumerate(ks[:-1]):
            K = e[:k]
            keep[K] = keep.get(K, 0.0) + c * post[i]
            give_way[K] = give_way.get(K, 0.0) + c * sum(post[i + 1:])
    return keep, give_way


# ------------------------------------------------------------------ table

def prefix_words(K, spellings):
    """Proper prefixes of K with 2+ characters that are dictionary words, longest first."""
    return [K[:j] for j in range(len(K) - 1, 1, -1) if K[:j] in spellings]


def is_word_plus_ending(K, spellings):
    """Every spelling is a shorter word's Hanja followed by the rest in Hangul (사실은 事實은)."""
    for h in spellings[K]:
        m = HANGUL_TAIL.search(h)
        if not m:
            return False
        tail = m.group(0)
        head = h[:-len(tail)]
        if not head or not K.endswith(tail) or head not in spellings.get(K[:-len(tail)], ()):
            return False
    return True


def left_out_words(spellings, keep, give_way, learner_words):
    """Words that must not take part in splitting: they give way to a shorter word."""
    out = set()
    for K in spellings:
        if len(K) < 3 or K in learner_words or not prefix_words(K, spellings):
            continue
        if is_word_plus_ending(K, spellings):
            out.add(K)
            continue
        a, b = keep.get(K, 0.0), give_way.get(K, 0.0)
        # Unseen words stay words: the corpus says nothing against them.
        if a + b >= 0.5 and b > a:
            out.add(K)
    return out


def compound_uses(spellings, stem_uses, name_weight=1.0):
    """(word, hanja) -> running-text uses of the longer dictionary words that start with it and
    have one spelling: 한국어 韓國語 counts for 한국 韓國, 원자력 原子力 for 원자 原子. Uses as a
    stem, from the segmentation model; compounds with several spellings say nothing."""
    out = {}
    for W, lst in spellings.items():
        uses = stem_uses.get(W, 0.0)
        if len(W) < 3 or len(lst) != 1 or len(lst[0]) != len(W) or uses <= 0:
            continue
        for P in prefix_words(W, spellings):
            key = (P, lst[0][:len(P)])
            out[key] = out.get(key, 0.0) + uses * (name_weight if is_name_compound(W, lst[0], P) else 1.0)
    return out


# ------------------------------------------------------------------ names

def name_shares(spellings, ann):
    """(word, hanja) -> the share of the annotated longer words that start with it (at least
    MIN_NAME_EVIDENCE annotations) that end in a name suffix: 星州 in 성주목사 星州牧使, 성주군
    星州郡, 성주인 星州人 ... 0.62; 城主 0. Writers annotate a name far more often than a common
    word (Wikipedia gives the Hanja of nearly every historical place and person), so the share
    tells how much an annotation of the spelling stands for a name."""
    named, longer = {}, {}
    for (K, H), a in ann.items():
        if len(K) < 3 or len(K) != len(H):
            continue
        for j in range(2, len(K)):
            if H[:j] in spellings.get(K[:j], ()):
                pair = (K[:j], H[:j])
                longer[pair] = longer.get(pair, 0) + a
                if H[-1] in NAME_SUFFIXES or H[j:] in REIGN_RESTS or H.endswith("實錄"):
                    named[pair] = named.get(pair, 0) + a
    return {pair: named[pair] / n for pair, n in longer.items()
            if n >= MIN_NAME_EVIDENCE and pair in named}


def given_names(spellings, ann):
    """How often each character is a given name's (in annotated names of three syllables that begin
    with a common surname and are no dictionary words), and how often it is used in annotated words."""
    given, used = {}, {}
    for (K, H), _a in ann.items():
        if len(K) < 2 or len(K) != len(H):
            continue
        for c in H:
            used[c] = used.get(c, 0) + 1
        if len(K) == 3 and K not in spellings and H[0] in SURNAMES:
            for c in H[1:]:
                given[c] = given.get(c, 0) + 1
    return given, used


def person_names(spellings, ann):
    """The spellings of 2-3 characters that read as a person's name: a common surname, then
    characters that annotated names (three syllables, a surname first, not dictionary words) use as
    given names in GIVEN_NAME_SHARE of their uses in annotated words or more."""
    return person_names_of(spellings, ann, [(K, H) for K, lst in spellings.items() if len(K) in (2, 3) for H in lst])


def person_names_of(spellings, ann, pairs):
    """The pairs that read as a person's name (see person_names), dictionary words or not."""
    given, used = given_names(spellings, ann)
    return {(K, H) for K, H in pairs
            if len(H) == len(K) and H[0] in SURNAMES
            and all(given.get(c, 0) >= GIVEN_NAME_SHARE * used.get(c, 0) > 0 for c in H[1:])}


def learner_spellings(learner_rows, spellings):
    """Every (word, spelling) the learner list gives, ranked or not, derived nouns as their noun
    (보유하다 保有- -> 보유 保有)."""
    listed = set()
    for _rank, word, _pos, gloss, _level in learner_rows:
        hanja, stem = gloss.rstrip("-"), word
        if gloss.endswith("-"):
            for ending in DERIVING_ENDINGS:
                if stem.endswith(ending) and len(stem) > len(ending):
                    stem = stem[:-len(ending)]
                    break
        if hanja in spellings.get(stem, ()):
            listed.add((stem, hanja))
    return listed


def common_shares(shares, listed):
    """The shares without the learner list's spellings: a spelling the list gives is a word a
    learner meets in everyday text (종로 鍾路, 고려 高麗, listed without a rank), never a name to
    discount."""
    return {pair: share for pair, share in shares.items() if pair not in listed}


def is_name_compound(W, H, P):
    """A compound that is its prefix word plus a name suffix (공주시 公州市 for 공주)."""
    return len(W) == len(P) + 1 and H[-1] in NAME_SUFFIXES


def annotation_rates(spellings, ann, stem_uses, shares, words=None, persons=frozenset()):
    """The median annotated share of uses over single-spelling words (annotated, 20 uses or
    more): of all of them, of those that are mostly names (name share 0.5 or more) and of those
    that read as persons. words, if given, limits the words measured (the held-out check)."""
    common, names, people = [], [], []
    for K, lst in spellings.items():
        uses = stem_uses.get(K, 0.0)
        if len(K) < 2 or len(lst) != 1 or ann.get((K, lst[0]), 0) <= 0 or uses < 20:
            continue
        if words is not None and K not in words:
            continue
        rate = ann[(K, lst[0])] / uses
        common.append(rate)
        if shares.get((K, lst[0]), 0.0) >= 0.5:
            names.append(rate)
        if (K, lst[0]) in persons:
            people.append(rate)
    common = statistics.median(common)
    # Without names measured, a name's annotation stands for as many uses as any other's.
    return (common, statistics.median(names) if names else common,
            statistics.median(people) if people else common)


def name_compound_weight(spellings, stem_uses):
    """How much a name compound's uses (공주시 公州市) say of its prefix word's own uses, against
    another compound's (한국어 韓國語): the median bare uses per compound use over single-spelling
    words whose compounds are all of one kind, the first over the second."""
    named, other = {}, {}
    for W, lst in spellings.items():
        uses = stem_uses.get(W, 0.0)
        if len(W) < 3 or len(lst) != 1 or len(lst[0]) != len(W) or uses <= 0:
            continue
        for P in prefix_words(W, spellings):
            counts = named if is_name_compound(W, lst[0], P) else other
            key = (P, lst[0][:len(P)])
            counts[key] = counts.get(key, 0.0) + uses
    ratios = ([], [])
    for K, lst in spellings.items():
        uses, key = stem_uses.get(K, 0.0), (K, lst[0])
        if len(K) < 2 or len(lst) != 1 or uses < 20:
            continue
        if key in named and key not in other:
            ratios[0].append(uses / named[key])
        elif key in other and key not in named:
            ratios[1].append(uses / other[key])
    if not ratios[0] or not ratios[1]:
        return 1.0
    return statistics.median(ratios[0]) / statistics.median(ratios[1])


class Calibration:
    """How annotations and learner ranks translate into uses in the counted text.

    rho: the median share of its uses that writers annotate, over words that have one spelling
    and are annotated at all (annotations / uses as a stem, 20 uses or more).
    per_weight: uses per unit of learner weight (1,000,000 / rank), the median over learner words
    that have one spelling (uses as a stem x rank / 1,000,000)."""

    def __init__(self, spellings, ann, learner_rows, stem_uses, shares=None, persons=frozenset()):
        rates, ranks = [], []
        for K, lst in spellings.items():
            uses = stem_uses.get(K, 0.0)
            if len(K) >= 2 and len(lst) == 1 and ann.get((K, lst[0]), 0) > 0 and uses >= 20:
                rates.append(ann[(K, lst[0])] / uses)
        for rank, word, _pos, gloss, _level in learner_rows:
            uses = stem_uses.get(word, 0.0)
            if rank is not None and len(word) >= 2 and spellings.get(word) == [gloss] and uses > 0:
                ranks.append(uses * rank / 1_000_000)
        self.rho = statistics.median(rates)
        self.per_weight = statistics.median(ranks)
        # Names: an annotation of a spelling that is a name by its share stands for fewer uses.
        self.shares, self.persons = shares or {}, persons
        self.rho_name = self.rho_person = self.rho
        if shares:
            _, self.rho_name, self.rho_person = annotation_rates(spellings, ann, stem_uses, shares, persons=persons)

    def rate(self, K, h):
        """The annotated share of uses of the spelling h of K, by how much it is a name."""
        share = self.shares.get((K, h), 0.0)
        rate = self.rho + max(0.0, self.rho_name - self.rho) * share
        return max(rate, self.rho_person) if (K, h) in self.persons else rate


def spelling_scores(K, lst, ann, learner, compounds, stem_uses, cal):
    """Estimated uses of each spelling of K.

    Annotated uses: each annotation stands for 1/rho uses. The uses of K that the annotations
    leave unexplained go to the spellings that running text uses without annotating them: the
    learner-list spellings when there are any, what their rank predicts; what is left beyond that
    goes by those predictions and the uses of each spelling's compounds, for the list holds the
    commonest 6,000 or so words, not every spelling in use (사상: 史上 is listed, 思想 not; 사상가
    思想家 and 사상적 思想的 are common); else, when
    most uses are unexplained, every spelling by the uses of its compounds plus its annotated
    uses, libhangul's first spelling's counted FIRST_SPELLING_WEIGHT times. K's uses also bound
    what its annotations stand for: where annotations and learner ranks together claim more
    than K's uses, the annotations give way, down to one use each (부자 occurs 1,510 times;
    父子 has 53 annotations, 1/rho = 2,070 uses; 富者 has learner rank 3150, 1,349 uses)."""
    annotated = [ann.get((K, h), 0) for h in lst]
    rates = [cal.rate(K, h) for h in lst]
    annotated_uses = [a / r for a, r in zip(annotated, rates)]
    uses = stem_uses.get(K, 0.0)
    explained = sum(annotated_uses)
    unexplained = max(0.0, uses - explained)
    weights = [learner.get((K, h), 0.0) for h in lst]
    total = sum(weights)
    scale = 1.0
    predicted = total * cal.per_weight
    if total and explained > 0 and explained + predicted > uses:
        scale = max(uses - predicted, sum(annotated)) / explained
    if total:
        # Beyond the learner ranks' predictions: by them and by the compounds' uses.
        predictions = [w * cal.per_weight for w in weights]
        excess = max(0.0, unexplained - predicted)
        owners = [p + compounds.get((K, h), 0.0) for h, p in zip(lst, predictions)]
        return [a * scale + p + excess * o / sum(owners)
                for a, p, o in zip(annotated_uses, predictions, owners)]
    if unexplained > UNEXPLAINED_SHARE * uses:
        owners = [compounds.get((K, h), 0.0)
                  + (a / r + ANNOTATION_PRIOR / cal.rho) * (FIRST_SPELLING_WEIGHT if i == 0 else 1.0)
                  for i, (h, a, r) in enumerate(zip(lst, annotated, rates))]
        owners = [o / sum(owners) for o in owners]
    else:
        owners = [0.0] * len(lst)
    return [a + unexplained * share for a, share in zip(annotated_uses, owners)]


def order_of(values):
    return sorted(range(len(values)), key=lambda i: (-values[i], i))


def rounded(values):
    """One decimal when that keeps the order, four otherwise."""
    short = [round(v, 1) for v in values]
    return short if order_of(short) == order_of(values) else values


def listed(values):
    """The spellings that must be written for the order to hold. Unwritten ones sort after the
    written ones, in libhangul's order, so the tail of the order that is already in libhangul's
    order (every zero among it) is left out."""
    order = order_of(values)
    cut = len(order) - 1
    while cut > 0 and order[cut - 1] < order[cut]:
        cut -= 1
    return sorted(order[:cut])


def scored_for_splitting(table, spellings, out_words):
    """The words that must be scored for splitting: the table's, every word that a left-out word
    starts with (to win over it), and every word that starts with a scored word (else the shorter
    one would take its text)."""
    scored = {K for K, _ in table}
    for K in out_words:
        scored.update(P for P in prefix_words(K, spellings) if P not in out_words)
    for K in sorted((k for k in spellings if len(k) >= 2), key=len):
        if K in scored or K in out_words:
            continue
        if any(P in scored for P in prefix_words(K, spellings)):
            scored.add(K)
    return scored


class Genre:
    """One genre's evidence for the order of spellings: its annotations, uses and calibration,
    all from its own counts as they are, and the weight of its estimates in the sum."""

    def __init__(self, ann, stems, compounds, cal, weight=1.0):
        self.ann, self.stems, self.compounds, self.cal = ann, stems, compounds, cal
        self.weight = weight


class Scorer:
    """Estimated uses of each spelling, summed over the genres: each genre's uses are explained by
    its own annotations (statutes annotate 起算 and 選任, never 調書, which they use far more often than
    Wikipedia writes 詔書), so a genre's unannotated uses go to the spellings it uses unannotated."""

    def __init__(self, genres, learner):
        self.genres, self.learner = genres, learner

    def scores(self, K, lst, extra=None):
        total = [0.0] * len(lst)
        for g in self.genres:
            evidence = g.compounds
            if extra is not None:
                evidence = {(K, h): g.compounds.get((K, h), 0.0) + extra.get((K, h), 0.0) for h in lst}
            values = spelling_scores(K, lst, g.ann, self.learner, evidence, g.stems, g.cal)
            total = [t + g.weight * v for t, v in zip(total, values)]
        return total

    def uses(self, K):
        return sum(g.weight * g.stems.get(K, 0.0) for g in self.genres)


def build(spellings, eojeols, ann, learner_rows, seen=None, genres=None):
    """genres: (eojeols, annotations, weight of its estimates) of each genre, counted as they are,
    when eojeols and ann are their sum."""
    learner, learner_words = learner_evidence(learner_rows, spellings)
    an = analyses(eojeols, spellings)
    log(f"{len(an)} eojeol types start with a dictionary word")
    model = train(an)
    keep, give_way = stem_votes(an, model)
    out_words = left_out_words(spellings, keep, give_way, learner_words)
    shares, persons = name_shares(spellings, ann), person_names(spellings, ann)
    cal = Calibration(spellings, ann, learner_rows, model.stems, shares, persons)
    learner_pairs = learner_spellings(learner_rows, spellings)
    cal.shares, cal.persons = common_shares(shares, learner_pairs), persons - learner_pairs
    name_weight = name_compound_weight(spellings, model.stems)
    compounds = compound_uses(spellings, model.stems, name_weight)
    log(f"annotated share of uses {cal.rho:.5f}, of names {cal.rho_name:.5f}, of persons "
        f"{cal.rho_person:.5f} ({len(persons)} spellings); name compounds' "
        f"weight {name_weight:.3f}; uses per learner weight {cal.per_weight:.4f}")
    if not genres:
        scorer = Scorer([Genre(ann, model.stems, compounds, cal)], learner)
    else:
        kinds = []
        for g_eojeols, g_ann, g_weight in genres:
            stems = genre_stems(analyses(g_eojeols, spellings), model)
            g_cal = Calibration(spellings, g_ann, learner_rows, stems, shares, persons)
            g_cal.shares, g_cal.persons = cal.shares, cal.persons
            kinds.append(Genre(g_ann, stems, compound_uses(spellings, stems, name_weight), g_cal, g_weight))
            log(f"a genre: annotated share of uses {g_cal.rho:.5f}, of names {g_cal.rho_name:.5f}, of persons "
                f"{g_cal.rho_person:.5f}; uses per learner weight {g_cal.per_weight:.4f}")
        scorer = Scorer(kinds, learner)

    table = {}
    # Spelling order: listed only where the evidence changes libhangul's order.
    for K, lst in spellings.items():
        if len(K) < 2 or len(lst) < 2 or K in out_words:
            continue
        values = scorer.scores(K, lst)
        if order_of(values) != list(range(len(lst))):
            values = rounded(values)
            for i in listed(values):
                table[(K, lst[i])] = values[i]
    parts = compound_parts(spellings, ann, cal, seen=seen)
    unordered = score_unordered_words(table, spellings, out_words, scorer, parts)
    log(f"{unordered} more words in use scored, with their spellings' uses as compound parts")
    for K in scored_for_splitting(table, spellings, out_words):
        if any((K, h) in table for h in spellings[K]):
            continue
        lst = spellings[K]
        value = scorer.scores(K, lst)[0] if len(lst) > 1 else model.stems.get(K, 0.0)
        table[(K, lst[0])] = round(value, 1)
    return table, out_words, cal, parts


def single_character_scores(spellings, ann, cal):
    """One-syllable words: the lookup never reorders them, so their order is the dictionary file's,
    which the build sorts by these scores. A syllable's spellings go by how often writers annotate
    the syllable alone (고(故), 전(前), 대(對)); spellings annotated equally often, most never,
    by how often the character spells that syllable inside annotated words (水 before 隨 for 수),
    a tie-break worth less than one annotation."""
    inside = {}
    for (K, H), a in ann.items():
        if len(K) >= 2 and len(K) == len(H):
            for k, h in zip(K, H):
                inside[(k, h)] = inside.get((k, h), 0) + a
    table = {}
    for K, lst in spellings.items():
        if len(K) != 1 or len(lst) < 2:
            continue
        top = max(inside.get((K, h), 0) for h in lst)
        values = [(ann.get((K, h), 0) + inside.get((K, h), 0) / (top + 1)) / cal.rho for h in lst]
        if order_of(values) != list(range(len(lst))):
            values = rounded(values)
            for i in listed(values):
                table[(K, lst[i])] = values[i]
    return table


def score_unordered_words(table, spellings, out_words, scorer, parts):
    """Scores the words of 2+ characters and 2+ spellings that running text uses and that the
    table leaves in libhangul's order, their spellings' uses as parts of the compounds the
    dictionary lacks (성주 星州 in 성주목사 星州牧使) counted as compound uses too: a spelling seen in
    compounds is a spelling in use. Words still in libhangul's order get their first spelling's
    line. Scoring a word changes no split: no word it starts with is scored (else the closure
    below would have scored it) and none of its longer words is left out (else it would be
    scored as their prefix), and the closure scores every longer word, so every text keeps its
    longest word as the stem. Returns how many words it scored."""
    scored = {K for K, _ in table}
    count = 0
    for K, lst in spellings.items():
        uses = scorer.uses(K)
        if len(K) < 2 or len(lst) < 2 or uses <= 0 or K in scored or K in out_words:
            continue
        count += 1
        values = scorer.scores(K, lst, {(K, h): parts.get((K, h), (0.0,))[0] for h in lst})
        if order_of(values) == list(range(len(lst))):
            table[(K, lst[0])] = round(values[0], 1)
            continue
        values = rounded(values)
        for i in listed(values):
            table[(K, lst[i])] = values[i]
    return count


def compound_parts(spellings, ann, cal, by_place=True, seen=None):
    """Uses of each (word, spelling) as a part of the compounds the dictionary lacks: (uses as a
    part, of them uses as the last part); without by_place, the uses as a part only, wherever it
    stands (the earlier table, for comparison).

    Every annotated word of 3+ syllables that is not a dictionary word is cut into dictionary words
    whose spellings spell its Hanja, the fewest parts (then the longest first part), at least one
    of 2+ syllables; each part gets the word's annotations, as uses (1/rho each). One-syllable
    parts count too: they are the suffixes such compounds end in (가림군 嘉林郡: 가림 + 군 郡).
    Where the part stands tells its spelling apart: the last syllable of a compound is mostly a
    suffix (국상시 國喪時, 성주사 聖住寺), the same syllable inside it mostly not, so the uses at the
    end are counted apart. A part seen in one annotation only, at the end or elsewhere, is left
    out there: the dictionary's order, which the lookup counts as one sighting, says as much
    (부과 附課 in 附課生 once, against 賦課). With genres weighted, `seen` holds the annotations
    as counted, which decide what is a single one; `ann` the weighted ones, which are the uses."""
    sets = {K: set(lst) for K, lst in spellings.items()}
    inside, last = {}, {}
    seen_inside, seen_last = {}, {}
    for (K, H), a in ann.items():
        if len(K) < 3 or len(K) != len(H) or K in sets:
            continue
        best = None

        def cut(i, parts):
            nonlocal best
            if best is not None and len(parts) >= len(best):
                return
            if i == len(K):
                if any(len(p) >= 2 for p, _ in parts):
                    best = list(parts)
                return
            for k in range(len(K), i, -1):
                if K[i:k] in sets and H[i:k] in sets[K[i:k]]:
                    parts.append((K[i:k], H[i:k]))
                    cut(k, parts)
                    parts.pop()

        cut(0, [])
        for j, part in enumerate(best or ()):
            counts = last if j == len(best) - 1 else inside
            counts[part] = counts.get(part, 0) + a
            times = seen_last if j == len(best) - 1 else seen_inside
            times[part] = times.get(part, 0) + (seen[(K, H)] if seen is not None else a)
    out = {}
    if not by_place:
        for part in set(inside) | set(last):
            a = inside.get(part, 0) + last.get(part, 0)
            if a >= MIN_PART_ANNOTATIONS:
                out[part] = a / cal.rho
        return out
    for part in set(inside) | set(last):
        a_inside, a_last = inside.get(part, 0), last.get(part, 0)
        a_inside = a_inside if seen_inside.get(part, 0) >= MIN_PART_ANNOTATIONS else 0
        a_last = a_last if seen_last.get(part, 0) >= MIN_PART_ANNOTATIONS else 0
        if a_inside or a_last:
            out[part] = ((a_inside + a_last) / cal.rho, a_last / cal.rho)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW, help="folder of the raw sources (default: ../shared/data/raw)")
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT, help="libhangul hanja.txt")
    ap.add_argument("-o", "--output", default=os.path.join(freqlib.REPO, "data", "hanja_freq.tsv"))
    ap.add_argument("--parts-output", default=os.path.join(freqlib.REPO, "data", "compound_parts.tsv"))
    ap.add_argument("--supplement", default=os.path.join(freqlib.REPO, "data", freqlib.SUPPLEMENT_FILE),
                    help='the words hanja.txt lacks (tools/freq/supplement.py), or "none"')
    ap.add_argument("--statute-weight", default="equal",
                    help='weight of the statutes\' estimates of the spellings\' uses, each made from their own '
                         'counts: "equal" (their text counts as much as Wikipedia\'s, the default), a number; '
                         '0 leaves the statutes out')
    ap.add_argument("--split-statute-weight", default="1",
                    help='weight of the statute counts pooled with Wikipedia\'s for the split and the compound '
                         'parts: 1 (their text counted as it is, the default), "equal", a number')
    args = ap.parse_args()

    started = time.time()
    entries = freqlib.read_dictionary(args.dict)
    if args.supplement != "none":
        # Its new words only: its other spellings of hanja.txt's words stay unscored, after the
        # word's own (supplement.py).
        known = {hangul for hangul, _ in entries}
        entries += [(hangul, hanja) for hangul, hanja in freqlib.read_supplement(args.supplement) if hangul not in known]
    spellings = freqlib.spellings_by_word(entries)
    learner_rows = freqlib.read_learner_list(args.raw)
    eojeols = freqlib.read_eojeol_counts(args.raw)
    ann = freqlib.read_annotation_counts(args.raw)
    seen, genres, credits = None, None, [freqlib.KOWIKI_CREDIT]
    if args.statute_weight not in ("0", "0.0"):
        # Usage from two genres: statutes write the terms of law and administration that
        # Wikipedia, which favours names, places and history, seldom uses.
        st_eojeols = freqlib.read_statute_eojeol_counts(args.raw)
        st_ann = freqlib.read_statute_annotation_counts(args.raw)
        # Each genre's estimates come from its own counts as they are (a calibration is a median
        # over words with enough uses, which scaled counts would change), then weighted: weighted
        # as their text, the statutes' 1.6 k uses of 출연 hardly count beside Wikipedia's 22 k of 出演.
        weight = freqlib.genre_weight(args.statute_weight, eojeols, st_eojeols)
        split_weight = freqlib.genre_weight(args.split_statute_weight, eojeols, st_eojeols)
        log(f"statute estimates weighted {weight:.4f}, their counts in the split {split_weight:.4f}")
        seen = freqlib.mixed(ann, st_ann, 1)
        genres = [(eojeols, ann, 1.0), (st_eojeols, st_ann, weight)]
        eojeols = freqlib.mixed(eojeols, st_eojeols, split_weight)
        ann = freqlib.mixed(ann, st_ann, split_weight)
        credits.append(freqlib.STATUTE_CREDIT)
    table, out_words, cal, parts = build(spellings, eojeols, ann, learner_rows, seen, genres)
    table.update(single_character_scores(spellings, ann, cal))
    freqlib.write_table(args.output, [
        "hangul<TAB>hanja<TAB>score: estimated uses in 620 files of Korean Wikipedia (2020)"
        + (f" and Korean statutes (their estimates weighted {args.statute_weight}, their counts in the split "
           f"{args.split_statute_weight})" if seen is not None else "")
        + "; made by tools/freq/usage_table.py",
        *credits,
        freqlib.LEARNER_CREDIT,
    ], table)
    parts = {k: (round(v[0], 1), round(v[1], 1)) for k, v in parts.items()}
    freqlib.write_table(args.parts_output, [
        "hangul<TAB>hanja<TAB>uses<TAB>last: dictionary words as parts of the compounds it lacks, "
        "estimated uses in 620 files of Korean Wikipedia (2020), and of them the uses as the "
        "compound's last part; made by tools/freq/usage_table.py",
        *credits,
    ], parts)
    log(f"{args.output}: {len(table)} pairs, {len({k for k, _ in table})} words; "
        f"{len(out_words)} words left out of splitting; {args.parts_output}: {len(parts)} parts; "
        f"{time.time() - started:.0f} s")


if __name__ == "__main__":
    main()
