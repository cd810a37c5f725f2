#!/usr/bin/python3
"""Checks of usage_table.py's name discount and of the scores it gives words the table leaves in
libhangul's order, on small made-up inputs. Python 3 standard library only:
    /usr/bin/python3 -m unittest discover -s tools/freq -p 'test_*.py'"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import usage_table as ut  # noqa: E402


def calibration(rho=0.02, rho_name=0.06, shares=None):
    cal = ut.Calibration.__new__(ut.Calibration)
    cal.rho, cal.rho_name, cal.per_weight, cal.shares = rho, rho_name, 4.0, shares or {}
    cal.rho_person, cal.persons = rho, set()
    return cal


def scorer(stems, ann=None, compounds=None, cal=None):
    """One genre's evidence."""
    return ut.Scorer([ut.Genre(ann or {}, stems, compounds or {}, cal or calibration())], {})


def stem_of(text, spellings, scored):
    """The split's stem: the longest word with a score, else the longest word."""
    longest = 0
    for k in range(len(text), 1, -1):
        if text[:k] in spellings:
            longest = longest or k
            if text[:k] in scored:
                return k
    return longest


class NameTest(unittest.TestCase):
    SPELLINGS = {"성주": ["城主", "星州"], "성주군": ["星州郡"], "성주신": ["城主神"]}

    def test_share_counts_longer_words_that_end_in_a_name_suffix(self):
        ann = {("성주군", "星州郡"): 3, ("성주목사", "星州牧使"): 1, ("성주인", "星州人"): 2,
               ("성주신", "城主神"): 5, ("성주", "星州"): 40}
        shares = ut.name_shares(self.SPELLINGS, ann)
        self.assertAlmostEqual(shares[("성주", "星州")], 4 / 6)
        self.assertNotIn(("성주", "城主"), shares)  # longer words, none a name

    def test_one_longer_annotation_says_nothing(self):
        self.assertEqual(ut.name_shares(self.SPELLINGS, {("성주군", "星州郡"): 1}), {})

    def test_a_names_annotations_stand_for_fewer_uses(self):
        lst, ann = ["城主", "星州"], {("성주", "城主"): 20, ("성주", "星州"): 30}
        plain = ut.spelling_scores("성주", lst, ann, {}, {}, {"성주": 100.0}, calibration())
        named = ut.spelling_scores("성주", lst, ann, {}, {}, {"성주": 100.0},
                                   calibration(shares={("성주", "星州"): 1.0}))
        self.assertEqual(ut.order_of(plain), [1, 0])
        self.assertEqual(ut.order_of(named), [0, 1])

    def test_a_surname_and_given_names_read_as_a_person(self):
        # 勉 and 植 are used as given names in annotated names; 面 only in other words.
        ann = {("장우면", "張宇勉"): 1, ("이중식", "李重植"): 1, ("이면식", "李勉植"): 1,
               ("장면", "場面"): 1, ("이면", "裏面"): 1}
        spellings = {"장면": ["場面", "張勉"], "이식": ["移植", "李植"], "장식": ["裝飾", "張植"], "이면": ["裏面"]}
        persons = ut.person_names(spellings, ann)
        self.assertEqual(persons, {("장면", "張勉"), ("이식", "李植"), ("장식", "張植")})
        cal = calibration(rho_name=0.05)
        cal.rho_person, cal.persons = 0.1, persons
        self.assertEqual(cal.rate("장면", "張勉"), 0.1)
        self.assertEqual(cal.rate("장면", "場面"), 0.02)

    def test_learner_spellings_are_never_names(self):
        rows = [(10, "보유하다", "동", "保有-", "A"), (None, "종로", "고", "鍾路", "B")]
        spellings = {"보유": ["補遺", "保有"], "종로": ["宗老", "鍾路"]}
        listed = ut.learner_spellings(rows, spellings)
        self.assertEqual(listed, {("보유", "保有"), ("종로", "鍾路")})
        shares = {("보유", "保有"): 0.6, ("종로", "鍾路"): 0.5, ("보유", "補遺"): 0.7}
        self.assertEqual(ut.common_shares(shares, listed), {("보유", "補遺"): 0.7})

    def test_name_compounds_measured_against_others(self):
        # 가가's bare uses are 2 per name-compound use, 나나's 8 per other compound use.
        spellings = {"가가": ["家家"], "가가군": ["家家郡"], "나나": ["羅羅"], "나나어": ["羅羅語"]}
        uses = {"가가": 200.0, "가가군": 100.0, "나나": 800.0, "나나어": 100.0}
        self.assertAlmostEqual(ut.name_compound_weight(spellings, uses), 0.25)
        self.assertEqual(ut.name_compound_weight({"나나": ["羅羅"], "나나어": ["羅羅語"]}, uses), 1.0)


class GenreTest(unittest.TestCase):
    def test_each_genres_uses_are_explained_by_its_own_annotations(self):
        # Wikipedia annotates 詔書, statutes use 조서 five times as often and annotate neither.
        lst = ["調書", "詔書"]
        wiki = ut.Genre({("조서", "詔書"): 22}, {"조서": 500.0}, {}, calibration(rho=0.03))
        statutes = ut.Genre({}, {"조서": 2400.0}, {}, calibration(rho=0.05))
        self.assertEqual(ut.order_of(ut.Scorer([wiki], {}).scores("조서", lst)), [1, 0])
        pooled = ut.Genre({("조서", "詔書"): 22}, {"조서": 2900.0}, {}, calibration(rho=0.03))
        self.assertEqual(ut.order_of(ut.Scorer([pooled], {}).scores("조서", lst)), [1, 0])
        self.assertEqual(ut.order_of(ut.Scorer([wiki, statutes], {}).scores("조서", lst)), [0, 1])

    def test_a_genres_weight_scales_its_estimates_not_its_calibration(self):
        # 感謝 is the learner word; statutes annotate 監査 and write 감사 less than Wikipedia.
        # Weighted as much as Wikipedia's text, the statutes' estimates decide.
        lst, learner = ["感謝", "監査"], {("감사", "感謝"): 500.0}
        wiki = ut.Genre({("감사", "監査"): 2}, {"감사": 2400.0}, {}, calibration())
        st_cal = calibration()
        st_cal.per_weight = 0.1
        statutes = ut.Genre({("감사", "監査"): 30}, {"감사": 700.0}, {}, st_cal)
        self.assertEqual(ut.order_of(ut.Scorer([wiki, statutes], learner).scores("감사", lst)), [0, 1])
        statutes.weight = 5.0
        scores = ut.Scorer([wiki, statutes], learner).scores("감사", lst)
        self.assertEqual(ut.order_of(scores), [1, 0])
        self.assertAlmostEqual(scores[1], 2 / 0.02 + 5 * 650)


class UnorderedWordsTest(unittest.TestCase):
    # 사기 is unscored, 사기꾼 starts with it; 사고 is scored and 사고가 is left out.
    SPELLINGS = {"사기": ["史記", "詐欺"], "사기꾼": ["詐欺꾼"], "사기업": ["私企業"],
                 "사고": ["事故", "思考"], "사고가": ["思考家"], "사고력": ["思考力"]}

    def test_part_uses_order_the_word_and_no_split_changes(self):
        table = {("사고", "思考"): 50.0}
        out_words = {"사고가"}
        before = ut.scored_for_splitting(table, self.SPELLINGS, out_words)
        parts = {("사기", "詐欺"): (400.0, 0.0)}
        count = ut.score_unordered_words(table, self.SPELLINGS, out_words,
                                         scorer({"사기": 300.0, "사고": 900.0}), parts)
        after = ut.scored_for_splitting(table, self.SPELLINGS, out_words)
        self.assertEqual(count, 1)
        self.assertEqual(ut.order_of([table.get(("사기", h), 0.0) for h in self.SPELLINGS["사기"]]), [1, 0])
        self.assertIn("사기", after)
        for text in ("사기를", "사기꾼이", "사기업을", "사고가", "사고력은", "사고를"):
            self.assertEqual(stem_of(text, self.SPELLINGS, before), stem_of(text, self.SPELLINGS, after), text)

    def test_words_without_evidence_keep_libhangul_order(self):
        table = {}
        ut.score_unordered_words(table, self.SPELLINGS, set(), scorer({"사기": 300.0}), {})
        self.assertEqual(list(table), [("사기", "史記")])


if __name__ == "__main__":
    unittest.main()
