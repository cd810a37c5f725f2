"""Readers shared by the frequency-table tools: libhangul's hanja.txt and the
raw sources under ../shared/data/raw. Python 3 standard library only."""

import hashlib
import os
import re
import sys
import unicodedata

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_RAW = os.path.normpath(os.path.join(REPO, "..", "shared", "data", "raw"))
DEFAULT_HANJA_TXT = "/usr/share/libhangul/hanja/hanja.txt"
LEARNER_FILE = "nikl-2003-learning-vocab.tsv"
EOJEOL_FILE = "kowiki-eojeol-counts.tsv"
ANNOTATION_FILE = "kowiki-hanja-annotations.tsv"
STATUTE_EOJEOL_FILE = "statute-eojeol-counts.tsv"
STATUTE_ANNOTATION_FILE = "statute-hanja-annotations.tsv"
SUPPLEMENT_FILE = "hanja_supplement.tsv"

# The inputs the committed table was made from; another version still works, with a warning.
KNOWN_SHA256 = {
    LEARNER_FILE: "6d21d22fe3afd228fe2433bc31aaf9b7e0b3fb544a560744873d0c78d712b74a",
    EOJEOL_FILE: "5c1fbed1ada2396a9ac235c3905203a90066945eb09d9cda665d2aab3a141c66",
    ANNOTATION_FILE: "c36090a584e896a663f2c3249a2ee4a518d2d3067e3032afe94da5cdaac283c9",
    "hanja.txt": "25d258588a37816fdcd49b86195087bdb4374132dc8088c2cfefbb03d9b348f4",
    STATUTE_EOJEOL_FILE: "5bdd4e2822025fb577ddff388a23516b084c533d9fa57fb5275aea32a568de6a",
    STATUTE_ANNOTATION_FILE: "5fbcd2918b2524af9454db4faf8f030cd2fc3d9bbb2780d22d9d350c96611d1e",
}

LEARNER_CREDIT = "출처: 국립국어원, 「한국어 학습용 어휘 목록」(2003), 공공누리 제1유형"
KOWIKI_CREDIT = "출처: 한국어 위키백과 (2020년 8월 덤프), CC BY-SA 3.0"
STATUTE_CREDIT = "출처: 대한민국 법령 (legalize-kr 저장소 스냅샷), 저작권법 제7조에 따른 비보호 저작물"


def fail(message):
    print(f"hanja_freq: {message}", file=sys.stderr)
    sys.exit(1)


def require_file(path, what):
    if not os.path.isfile(path):
        fail(f"{what} not found: {path}\n"
             "  The raw sources live beside the repository in ../shared/data/raw "
             "(not part of the repository); pass --raw DIR to point elsewhere.")
    check_sha256(path)
    return path


def check_sha256(path):
    name = os.path.basename(path)
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    expected = KNOWN_SHA256.get(name)
    if expected and digest != expected:
        print(f"hanja_freq: warning: {path} has sha256 {digest}, the committed table was made "
              f"from {expected}; the output will differ", file=sys.stderr)
    return digest


def read_dictionary(path):
    """hanja.txt as an ordered list of (hangul, hanja) entries.

    Same rules as the build's converter: '#' lines are comments, an entry is
    split at its first two ':' only, lines without a Hanja field are skipped."""
    if not os.path.isfile(path):
        fail(f"dictionary source not found: {path} (install libhangul-data)")
    check_sha256(path)
    entries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            parts = line.split(":", 2)
            if len(parts) < 2 or parts[1] == "":
                continue
            entries.append((parts[0], parts[1]))
    return entries


def read_supplement(path):
    """data/hanja_supplement.tsv as (hangul, hanja) entries, in file order. After hanja.txt's
    entries, spellings_by_word puts a known word's new spellings after its own and new words after
    libhangul's, as the build's converter does."""
    if not os.path.isfile(path):
        fail(f"supplement not found: {path} (tools/freq/supplement.py writes it)")
    entries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if line.startswith("#") or len(fields) != 3:
                continue
            entries.append((unicodedata.normalize("NFC", fields[0]), fields[1]))
    return entries


def spellings_by_word(entries):
    """hangul -> list of distinct Hanja spellings, in file order."""
    out = {}
    for hangul, hanja in entries:
        lst = out.setdefault(hangul, [])
        if hanja not in lst:
            lst.append(hanja)
    return out


_HOMOGRAPH = re.compile(r"\d+$")


def read_learner_list(raw_dir):
    """Rows of the NIKL learner list as (rank or None, word, pos, gloss, level).

    The word loses its homograph number (수도09 -> 수도). The gloss is composed (NFC): the list
    writes initial-sound readings with CJK compatibility ideographs (歷史 with U+F98C), which are
    canonically the unified ones that hanja.txt uses."""
    path = require_file(os.path.join(raw_dir, LEARNER_FILE), "learner list")
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    lines = [l for l in text.replace("\r\n", "\n").split("\n") if l]
    header = lines[0].split("\t")
    if header != ["순위", "단어", "품사", "풀이", "등급"]:
        fail(f"unexpected header in {path}: {header}")
    rows = []
    for n, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != 5:
            print(f"hanja_freq: {LEARNER_FILE}:{n}: {len(fields)} fields, skipped", file=sys.stderr)
            continue
        rank, word, pos, gloss, level = fields
        rank = int(rank) if rank.isdigit() and int(rank) > 0 else None
        rows.append((rank, _HOMOGRAPH.sub("", unicodedata.normalize("NFC", word)), pos,
                     unicodedata.normalize("NFC", gloss.strip()), level))
    return rows


def read_counts(path, columns):
    """A TAB-separated count file whose last column is an integer: {key tuple or str: count}."""
    counts = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, start=1):
            fields = line.rstrip("\n").split("\t")
            if len(fields) != columns or not fields[-1].isdigit():
                print(f"hanja_freq: {os.path.basename(path)}:{n}: malformed line, skipped", file=sys.stderr)
                continue
            key = fields[0] if columns == 2 else tuple(fields[:-1])
            counts[key] = counts.get(key, 0) + int(fields[-1])
    return counts


def read_eojeol_counts(raw_dir):
    return read_counts(require_file(os.path.join(raw_dir, EOJEOL_FILE), "eojeol counts"), 2)


def read_annotation_counts(raw_dir):
    return read_counts(require_file(os.path.join(raw_dir, ANNOTATION_FILE), "annotation counts"), 3)


def read_statute_eojeol_counts(raw_dir):
    return read_counts(require_file(os.path.join(raw_dir, STATUTE_EOJEOL_FILE), "statute eojeol counts"), 2)


def read_statute_annotation_counts(raw_dir):
    return read_counts(require_file(os.path.join(raw_dir, STATUTE_ANNOTATION_FILE), "statute annotation counts"), 3)


def genre_weight(weight, base, other):
    """The weight of the other genre's counts: "equal" makes its counted text as large as the
    base genre's (each genre's usage counts as much), else a number."""
    if weight == "equal":
        return sum(base.values()) / sum(other.values())
    return float(weight)


def mixed(base, other, weight):
    """base + weight x other, keys in a fixed order (base's, then other's new ones)."""
    out = dict(base)
    for key, count in other.items():
        out[key] = out.get(key, 0) + weight * count
    return out


def format_score(x):
    """Fixed, platform-independent spelling of a score (4 decimals at most)."""
    s = f"{x:.4f}".rstrip("0").rstrip(".")
    return s if s not in ("", "-0") else "0"


def write_table(path, comments, scores):
    """scores: {(hangul, hanja): float, or a tuple of them}; written sorted by code point, LF, UTF-8."""
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for c in comments:
            f.write(f"# {c}\n")
        for (hangul, hanja) in sorted(scores):
            values = scores[(hangul, hanja)]
            values = values if isinstance(values, tuple) else (values,)
            f.write("\t".join([hangul, hanja] + [format_score(v) for v in values]) + "\n")
