#include "core/Ranker.h"

#include "base/Log.h"
#include "core/PickHistory.h"
#include "core/RankEngine.h"
#include "base/TextUtil.h"

#include <QJsonArray>
#include <QSet>

#include <cmath>

namespace {

const QString kIndices = QStringLiteral("indices");
const QString kReason = QStringLiteral("reason");
const QString kMeanings = QStringLiteral("meanings");

const QString kContextHeading = QStringLiteral("앞뒤 문맥:");
const QString kTextHeading = QStringLiteral("고칠 텍스트:");

// Loose jamo typed apart and keys typed in the English layout become syllables: counted in jamo,
// a real correction keeps about the length of its text.
qsizetype jamoLength(const QString& text) { return text.normalized(QString::NormalizationForm_KD).size(); }

// Why a model's answer cannot be a correction of the text (both trimmed), or nothing.
std::optional<QString> unusableCorrection(const QString& answer, const QString& text, const QString& context)
{
    for (const QString& heading : {kContextHeading, kTextHeading})
        if (answer.contains(heading) && !text.contains(heading))
            return QStringLiteral("the answer repeats the prompt's heading \"%1\"").arg(heading);
    // A model that echoes its prompt, or corrects the whole context instead of the text, brings
    // along what stands around the text; a part the text itself holds proves nothing.
    const qsizetype at = context.indexOf(text);
    const QStringList around = at < 0 ? QStringList{context} : QStringList{context.left(at), context.mid(at + text.size())};
    for (const QString& side : around) {
        const QString part = TextUtil::trimmed(side);
        if (TextUtil::characterCount(part) >= 2 && !text.contains(part) && answer.contains(part))
            return QStringLiteral("the answer holds the context around the text (\"%1\")").arg(TextUtil::displayCut(part));
    }
    // Spacing adds a space every other syllable at most, a typo fix changes a jamo or two; twice
    // the length either way, with room for short texts, is no correction but a different text:
    // an explanation added, or half the text gone.
    const qsizetype answerLength = jamoLength(answer), textLength = jamoLength(text);
    if (answerLength > 2 * textLength + 10 || textLength > 2 * answerLength + 10)
        return QStringLiteral("the answer is %1 jamo long for a text of %2").arg(answerLength).arg(textLength);
    return std::nullopt;
}

QList<RankedCandidate> plain(const QList<HanjaEntry>& entries, qsizetype count)
{
    QList<RankedCandidate> result;
    count = std::clamp<qsizetype>(count, 0, entries.size());
    result.reserve(count);
    for (qsizetype i = 0; i < count; ++i) result.append(RankedCandidate{entries[i], QString(), QString()});
    return result;
}

} // namespace

QJsonObject Ranker::Pick::schema()
{
    // No description of the object itself and no value constraints: only the three properties.
    const QJsonObject indices{
        {QStringLiteral("type"), QStringLiteral("array")},
        {QStringLiteral("items"), QJsonObject{{QStringLiteral("type"), QStringLiteral("integer")}}},
        {QStringLiteral("description"),
         QStringLiteral("문맥에 가장 알맞은 후보의 번호. 0부터 시작. 알맞은 순서대로 최대 3개.")}};
    const QJsonObject reason{{QStringLiteral("type"), QStringLiteral("string")},
                             {QStringLiteral("description"), QStringLiteral("첫 번째 선택의 근거를 한국어 한 문장으로.")}};
    const QJsonObject meanings{
        {QStringLiteral("type"), QStringLiteral("array")},
        {QStringLiteral("items"), QJsonObject{{QStringLiteral("type"), QStringLiteral("string")}}},
        {QStringLiteral("description"),
         QStringLiteral("indices와 같은 순서로, 각 한자어의 뜻을 한국어로 아주 짧게(12자 이내, 명사구). "
                        "예: '나라의 중앙 도시'.")}};
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"), QJsonObject{{kIndices, indices}, {kReason, reason}, {kMeanings, meanings}}},
        // Also the order in which the properties are generated.
        {QStringLiteral("required"), QJsonArray{kIndices, kReason, kMeanings}},
        {QStringLiteral("additionalProperties"), false}};
}

std::optional<Ranker::Pick> Ranker::Pick::fromJson(const QJsonObject& object)
{
    const QJsonValue indices = object.value(kIndices);
    const QJsonValue reason = object.value(kReason);
    const QJsonValue meanings = object.value(kMeanings);
    if (!indices.isArray() || !reason.isString() || !meanings.isArray()) return std::nullopt;

    Pick pick;
    for (const QJsonValue& v : indices.toArray()) {
        if (!v.isDouble()) return std::nullopt;
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d)) return std::nullopt;
        // Whole numbers beyond any pool are kept out of range rather than overflowing.
        pick.indices.append(qint64(std::clamp(d, -9007199254740992.0, 9007199254740992.0)));
    }
    pick.reason = reason.toString();
    for (const QJsonValue& v : meanings.toArray()) {
        if (!v.isString()) return std::nullopt;
        pick.meanings.append(v.toString());
    }
    return pick;
}

QCoro::Task<QList<RankedCandidate>> Ranker::rank(QString word, QList<HanjaEntry> candidates, QString context,
                                                 int limit)
{
    // Fewer than two spellings leave nothing to ask about.
    std::shared_ptr<LanguageModel> model;
    if (candidates.size() >= 2 && limit > 0) model = co_await availableModel();
    const Ranking ranking = co_await rankWith(model, word, candidates, context, limit);
    co_return ranking.candidates;
}

QCoro::Task<Ranker::Ranking> Ranker::rankWith(std::shared_ptr<LanguageModel> model, QString word,
                                              QList<HanjaEntry> candidates, QString context, int limit)
{
    const RankEngine decided = model ? RankEngine::model : RankEngine::frequency;
    if (candidates.size() < 2) co_return Ranking{plain(candidates, candidates.size()), decided};

    const QList<HanjaEntry> pool = candidates.mid(0, kPoolSize);
    if (model && limit > 0) {
        std::optional<QList<RankedCandidate>> ranked = co_await rankWithModel(model, word, pool, context, limit);
        if (ranked) co_return Ranking{*ranked, RankEngine::model};
    }
    co_return Ranking{plain(pool, limit), model && limit > 0 ? RankEngine::frequency : decided};
}

QCoro::Task<std::optional<QList<RankedCandidate>>> Ranker::rankWithModel(std::shared_ptr<LanguageModel> model,
                                                                         QString word, QList<HanjaEntry> pool,
                                                                         QString context, int limit)
{
    QStringList lines;
    for (qsizetype i = 0; i < pool.size(); ++i)
        lines.append(QString::number(i) + QStringLiteral(". ") + pool[i].hanja().toString());

    const QString instructions = QStringLiteral("당신은 한국어 한자 병기 전문가입니다. 주어진 문맥에서 한글 단어 '") + word
        + QStringLiteral("'가 뜻하는 한자어를 후보 목록 중에서만 고릅니다.\n"
                         "후보 목록에 없는 한자는 절대 만들지 않습니다. 번호로만 답합니다.");
    const QString prompt = QStringLiteral("문맥:\n") + context + QStringLiteral("\n\n단어: ") + word
        + QStringLiteral("\n\n후보:\n") + lines.join(QLatin1Char('\n'))
        + QStringLiteral("\n\n문맥에 가장 알맞은 후보 번호를 알맞은 순서대로 최대 ") + QString::number(limit)
        + QStringLiteral("개 고르세요.");

    const LanguageModel::Answer<QJsonObject> answer = co_await model->respondStructured(instructions, prompt,
                                                                                        Pick::schema());
    if (!answer.ok()) {
        Log::write(QStringLiteral("model server error: ") + answer.error());
        co_return std::nullopt;
    }
    const std::optional<Pick> pick = Pick::fromJson(answer.get());
    if (!pick) {
        Log::write(QStringLiteral("model server error: the answer does not convert into Pick "
                                  "(indices, reason and meanings expected)"));
        co_return std::nullopt;
    }

    QList<RankedCandidate> result;
    QSet<qint64> taken;
    for (qsizetype p = 0; p < pick->indices.size() && result.size() < limit; ++p) {
        const qint64 k = pick->indices[p];
        if (k < 0 || k >= pool.size() || taken.contains(k)) continue;
        taken.insert(k);
        // Meanings go by position in indices, so a skipped index also skips its meaning.
        const QString meaning = p < pick->meanings.size() ? TextUtil::trimmed(pick->meanings[p]) : QString();
        result.append(RankedCandidate{pool[k], p == 0 ? pick->reason : QString(), meaning});
    }
    for (const HanjaEntry& entry : pool) {
        if (result.size() >= limit) break;
        const bool present = std::any_of(result.cbegin(), result.cend(),
                                         [&](const RankedCandidate& r) { return r.entry == entry; });
        if (!present) result.append(RankedCandidate{entry, QString(), QString()});
    }
    if (result.isEmpty()) co_return std::nullopt;
    co_return result;
}

QCoro::Task<std::optional<QString>> Ranker::cleanTypos(QString text, QString context)
{
    const std::shared_ptr<LanguageModel> model = co_await availableModel();
    const std::optional<QString> corrected = co_await cleanTyposWith(model, text, context);
    co_return corrected;
}

QCoro::Task<std::optional<QString>> Ranker::cleanTyposWith(std::shared_ptr<LanguageModel> model, QString text,
                                                           QString context)
{
    if (!model) co_return std::nullopt;

    const QString instructions = QStringLiteral("당신은 한국어 교정 도우미입니다. 주어진 텍스트의 오탈자, 띄어쓰기, 맞춤법만 고칩니다.\n"
                                                "문체·어미·내용은 바꾸지 않고, 설명 없이 고친 텍스트만 출력합니다.");
    const QString prompt = kContextHeading + QLatin1Char('\n') + context + QStringLiteral("\n\n") + kTextHeading
        + QLatin1Char('\n') + text;
    const LanguageModel::Answer<QString> answer = co_await model->respondText(instructions, prompt);
    if (!answer.ok()) {
        Log::write(QStringLiteral("cleanTypos error: ") + answer.error());
        co_return std::nullopt;
    }
    const QString corrected = TextUtil::trimmed(answer.get());
    if (corrected.isEmpty()) co_return std::nullopt;
    // The row goes back between the selection's own blanks, so blanks around the input are no
    // change; nor is a decomposed copy of it (canonical equivalence).
    const auto canonical = [](const QString& s) { return TextUtil::trimmed(s).normalized(QString::NormalizationForm_C); };
    if (canonical(corrected) == canonical(text)) co_return std::nullopt;
    if (const auto why = unusableCorrection(canonical(corrected), canonical(text), context.normalized(QString::NormalizationForm_C))) {
        Log::write(QStringLiteral("cleanTypos: not offered, ") + *why);
        co_return std::nullopt;
    }
    co_return corrected;
}

QList<HanjaEntry> Ranker::merge(const QList<RankedCandidate>& ranked, const QList<HanjaEntry>& entries,
                                qsizetype cap)
{
    QList<HanjaEntry> list;
    QSet<HanjaEntry> top;
    for (const RankedCandidate& r : ranked) {
        if (list.size() >= cap) break;
        list.append(r.entry);
        top.insert(r.entry);
    }
    for (const HanjaEntry& entry : entries) {
        if (list.size() >= cap) break;
        if (!top.contains(entry)) list.append(entry);
    }
    return list;
}

QHash<QString, QString> Ranker::modelMeanings(const QList<RankedCandidate>& ranked)
{
    QHash<QString, QString> meanings;
    for (const RankedCandidate& r : ranked) {
        const QString key = r.entry.hanja().toString();
        if (!meanings.contains(key)) meanings.insert(key, r.meaning);
    }
    return meanings;
}

Ranker::Arrangement Ranker::arrangeByFrequency(const QString& word, const QList<HanjaEntry>& entries)
{
    const QList<RankedCandidate> top = plain(entries, 3);
    return Arrangement{PickHistory::shared().reorder(merge(top, entries), word, false), modelMeanings(top),
                       RankEngine::frequency};
}

QCoro::Task<Ranker::Arrangement> Ranker::arrange(std::shared_ptr<LanguageModel> model, QString word,
                                                QList<HanjaEntry> entries, QString context)
{
    if (!model) co_return arrangeByFrequency(word, entries);
    const Ranking ranking = co_await rankWith(model, word, entries, context, 3);
    const QList<HanjaEntry> merged = merge(ranking.candidates, entries);
    // When the model failed, the learned order decides the top, as without a model.
    const bool keepFirst = ranking.engine == RankEngine::model;
    co_return Arrangement{PickHistory::shared().reorder(merged, word, keepFirst), modelMeanings(ranking.candidates),
                          ranking.engine};
}
