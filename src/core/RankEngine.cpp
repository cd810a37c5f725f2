#include "core/RankEngine.h"

#include "base/Notifier.h"
#include "core/LanguageModels.h"

namespace {
std::optional<RankEngine> g_lastAnswer; // main thread only
} // namespace

QCoro::Task<std::shared_ptr<LanguageModel>> availableModel()
{
    std::shared_ptr<LanguageModel> model = LanguageModels::shared();
    const bool available = model && co_await model->isAvailable();
    g_lastAnswer = available ? RankEngine::model : RankEngine::frequency;
    Notifier::shared().post(engineDidAnswer);
    co_return available ? model : std::shared_ptr<LanguageModel>();
}

QCoro::Task<RankEngine> engineInForce()
{
    const std::shared_ptr<LanguageModel> model = co_await availableModel();
    co_return model ? RankEngine::model : RankEngine::frequency;
}

std::optional<RankEngine> lastEngineAnswer() { return g_lastAnswer; }
