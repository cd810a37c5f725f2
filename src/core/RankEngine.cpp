#include "core/RankEngine.h"

#include "core/LanguageModels.h"

QCoro::Task<RankEngine> engineInForce()
{
    const std::shared_ptr<LanguageModel> model = LanguageModels::shared();
    if (model && co_await model->isAvailable()) co_return RankEngine::model;
    co_return RankEngine::frequency;
}
