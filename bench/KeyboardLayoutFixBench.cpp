// Cost per character of the layout-fix decision and of the typo-run widening, for texts of 1k, 10k
// and 100k UTF-16 units. Both must be linear: the per-character cost at 100k within 1.5x of 1k.
//
// suggest: Latin gibberish, that is Korean words typed on the QWERTY layout ("dkssud gktpdy ..."),
//          so the whole text is composed and judged well formed.
// typoRun: one jamo selected in the middle of a single run of jamo and syllables ("ㅗ디ㅣㅐ..."),
//          so the widening walks the whole run and the decision reads all of it.

#include "core/KeyboardLayoutFix.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

// Korean words of everyday text, converted to the keys that type them.
QString latinGibberish(qsizetype size)
{
    const QStringList words = {
        QStringLiteral("안녕하세요"), QStringLiteral("오늘"), QStringLiteral("날씨가"), QStringLiteral("정말"),
        QStringLiteral("좋네요"), QStringLiteral("회의는"), QStringLiteral("내일"), QStringLiteral("오후"),
        QStringLiteral("세시에"), QStringLiteral("시작합니다"), QStringLiteral("감사합니다"), QStringLiteral("확인"),
        QStringLiteral("부탁드립니다"), QStringLiteral("읽었습니다"), QStringLiteral("괜찮아요"), QStringLiteral("닭갈비"),
        QStringLiteral("값이"), QStringLiteral("없어요"), QStringLiteral("뭐해"), QStringLiteral("까먹었어"),
    };
    std::mt19937 random(7);
    std::uniform_int_distribution<qsizetype> pick(0, words.size() - 1);
    QString text;
    while (text.size() < size) {
        text += *KeyboardLayoutFix::koreanToEnglish(words[pick(random)]);
        text += QLatin1Char(random() % 8 == 0 ? '\n' : ' ');
    }
    text.truncate(size);
    if (text.back().isSpace()) // keep the length: the trimmed text is what suggest converts
        text.back() = QLatin1Char('k');
    return text;
}

QString jamoRun(qsizetype size)
{
    const QString unit = QStringLiteral("ㅗ디ㅣㅐㅈㅐ깅");
    QString run;
    while (run.size() < size)
        run += unit;
    run.truncate(size);
    return run;
}

// Nanoseconds per call of f over one sample of at least 10 ms.
template <typename F>
double sampleNsPerCall(F&& f)
{
    long calls = 0;
    const auto start = Clock::now();
    auto elapsed = Clock::duration::zero();
    do {
        f();
        ++calls;
        elapsed = Clock::now() - start;
    } while (elapsed < std::chrono::milliseconds(10));
    return std::chrono::duration<double, std::nano>(elapsed).count() / double(calls);
}

} // namespace

int main()
{
    constexpr int sizeCount = 3;
    const qsizetype sizes[sizeCount] = {1000, 10000, 100000};
    QString latin[sizeCount];
    QString full[sizeCount];
    TextRange selection[sizeCount];

    for (int i = 0; i < sizeCount; ++i) {
        const qsizetype n = sizes[i];
        latin[i] = latinGibberish(n);
        const auto suggestion = KeyboardLayoutFix::suggest(latin[i]);
        if (!suggestion || suggestion->kind != KeyboardLayoutFix::Suggestion::Kind::korean) {
            std::fprintf(stderr, "bench text of %lld characters is not offered as Korean\n", qint64(n));
            return 1;
        }
        // The run fills the middle of the text, between two Latin words; a ㅗ in its middle is selected.
        full[i] = QStringLiteral("before ") + jamoRun(n) + QStringLiteral(" after");
        selection[i] = TextRange {7 + n / 2 - (n / 2) % 7, 1};
        const auto range = KeyboardLayoutFix::typoRun(full[i], selection[i]);
        if (!range || range->location != 7 || range->length != n) {
            std::fprintf(stderr, "typo run of %lld units was not widened to the whole run\n", qint64(n));
            return 1;
        }
    }

    // Rounds over all sizes, keeping each size's best sample: other work on a shared machine, and
    // changes of clock speed, then weigh on every size alike instead of skewing the ratio.
    double suggestPerChar[sizeCount] = {};
    double runPerChar[sizeCount] = {};
    volatile qint64 sink = 0;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < sizeCount; ++i) {
            const double n = double(sizes[i]);
            const double s = sampleNsPerCall([&] { sink = sink + KeyboardLayoutFix::suggest(latin[i])->text.size(); }) / n;
            const double r = sampleNsPerCall([&] { sink = sink + KeyboardLayoutFix::typoRun(full[i], selection[i])->length; }) / n;
            suggestPerChar[i] = round == 0 ? s : std::min(suggestPerChar[i], s);
            runPerChar[i] = round == 0 ? r : std::min(runPerChar[i], r);
        }
    }

    std::printf("%-10s %16s %16s\n", "chars", "suggest ns/char", "typoRun ns/char");
    for (int i = 0; i < sizeCount; ++i)
        std::printf("%-10lld %16.2f %16.2f\n", qint64(sizes[i]), suggestPerChar[i], runPerChar[i]);
    const double suggestRatio = suggestPerChar[2] / suggestPerChar[0];
    const double runRatio = runPerChar[2] / runPerChar[0];
    std::printf("ratio 100k/1k per char: suggest %.2f, typoRun %.2f (linear when <= 1.5)\n", suggestRatio, runRatio);
    return suggestRatio <= 1.5 && runRatio <= 1.5 ? 0 : 2;
}
