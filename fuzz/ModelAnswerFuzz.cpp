// The model's answers as the ranker reads them, through the model client's parsing: the structured
// ranking (Pick) and the typo-cleanup text. Whatever the model says, ranking returns the right number of distinct spellings from the
// pool, in the model's valid order first, and cleanup returns a real correction or nothing.
#include "FuzzSupport.h"

#include "base/Log.h"
#include "base/TextUtil.h"
#include "core/RankEngine.h"
#include "core/Ranker.h"
#include "support/FakeLanguageModel.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <qcoro/qcorotask.h>

namespace {

// The merge of a model answer, written out plainly.
QList<RankedCandidate> expectedRanking(const Ranker::Pick& pick, const QList<HanjaEntry>& pool, int limit)
{
    QList<RankedCandidate> out;
    QSet<qint64> taken;
    for (qsizetype p = 0; p < pick.indices.size() && out.size() < limit; ++p) {
        const qint64 k = pick.indices[p];
        if (k < 0 || k >= pool.size() || taken.contains(k)) continue;
        taken.insert(k);
        out.append({pool[k], p == 0 ? pick.reason : QString(),
                    p < pick.meanings.size() ? TextUtil::trimmed(pick.meanings[p]) : QString()});
    }
    for (qsizetype i = 0; i < pool.size() && out.size() < limit; ++i)
        if (!taken.contains(i)) out.append({pool[i], QString(), QString()});
    return out;
}

void checkRanking(const QByteArray& answer, qsizetype candidateCount, int limit)
{
    QList<HanjaEntry> candidates;
    for (qsizetype i = 0; i < candidateCount; ++i)
        candidates.append(HanjaEntry(QStringLiteral("수도"), QStringLiteral("首%1").arg(i), QStringLiteral("뜻 %1").arg(i)));
    const QList<HanjaEntry> pool = candidates.mid(0, Ranker::kPoolSize);
    const QString detail =
        QStringLiteral("pool %1, limit %2, answer %3").arg(candidateCount).arg(limit).arg(Fuzz::show(QString::fromUtf8(answer)));

    // The model client's reading of the message content, as the ranker then gets it.
    const LanguageModel::Answer<QJsonObject> parsed =
        OpenAiCompatibleModel::structuredContent(QString::fromUtf8(answer), Ranker::Pick::schema());
    const QJsonDocument doc = QJsonDocument::fromJson(answer);
    const bool plainUtf8 = QString::fromUtf8(answer).toUtf8() == answer;
    if (plainUtf8 && doc.isObject() && doc.object().contains(QStringLiteral("indices"))
        && doc.object().contains(QStringLiteral("reason")) && doc.object().contains(QStringLiteral("meanings")))
        FUZZ_CHECK(parsed.ok() && parsed.get() == doc.object(), detail);

    auto model = std::make_shared<FakeLanguageModel>();
    if (parsed.ok())
        model->queueStructured(parsed.get());
    else
        model->queueStructuredError(parsed.error());
    const Ranker::Ranking ranking = QCoro::waitFor(
        Ranker::rankWith(model, QStringLiteral("수도"), candidates, QStringLiteral("대한민국의 수도는"), limit));
    const QList<RankedCandidate>& ranked = ranking.candidates;

    const std::optional<Ranker::Pick> pick =
        parsed.ok() ? Ranker::Pick::fromJson(parsed.get()) : std::optional<Ranker::Pick>();
    const QList<RankedCandidate> expected =
        candidateCount < 2 ? expectedRanking(Ranker::Pick{}, candidates, int(candidateCount))
        : pick ? expectedRanking(*pick, pool, limit)
               : expectedRanking(Ranker::Pick{}, pool, limit);
    FUZZ_CHECK(ranked == expected, detail);
    // The header says what really ranked: the model only when its answer was used.
    if (candidateCount >= 2)
        FUZZ_CHECK(ranking.engine == (pick ? RankEngine::model : RankEngine::frequency), detail);
}

void checkCleanup(const QString& text, const QString& answer)
{
    // The answer as the model client takes it out of a chat completion body.
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")}, {QStringLiteral("content"), answer}};
    const QJsonObject body{{QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"), message}}}}};
    const LanguageModel::Answer<QString> content = OpenAiCompatibleModel::chatContent(QJsonDocument(body).toJson());
    FUZZ_CHECK(content.ok() && content.get() == answer, Fuzz::show(answer));

    auto model = std::make_shared<FakeLanguageModel>();
    model->queueText(content.get());
    Log::Collector log;
    const std::optional<QString> corrected =
        QCoro::waitFor(Ranker::cleanTyposWith(model, text, QStringLiteral("앞뒤 문맥")));

    const QString trimmed = TextUtil::trimmed(answer);
    const QString detail = QStringLiteral("text %1, answer %2").arg(Fuzz::show(text), Fuzz::show(answer));
    const auto canonical = [](const QString& s) { return TextUtil::trimmed(s).normalized(QString::NormalizationForm_C); };
    if (trimmed.isEmpty() || canonical(answer) == canonical(text))
        FUZZ_CHECK(!corrected.has_value(), detail);
    else if (corrected)
        FUZZ_CHECK(*corrected == trimmed, detail); // offered as answered
    else
        FUZZ_CHECK(log.contains(QStringLiteral("cleanTypos: not offered")), detail); // refused, and said why
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    // The first byte: how many candidates the word has (0 to 15) and the limit (1 to 4).
    const qsizetype candidates = data[0] & 0x0F;
    const int limit = 1 + ((data[0] >> 4) & 3);
    const QByteArray rest = Fuzz::bytes(data + 1, size - 1);
    checkRanking(rest, candidates, limit);
    OpenAiCompatibleModel::chatContent(rest); // any body: an answer or an error, never a crash

    // The cleanup answer: the text asked about, then after the first NUL byte the model's answer.
    const qsizetype nul = rest.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? rest : rest.first(nul));
    const QString answer = nul < 0 ? QString::fromUtf8(rest) : QString::fromUtf8(rest.sliced(nul + 1));
    checkCleanup(text, answer);
    return 0;
}
