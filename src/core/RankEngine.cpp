#include "core/RankEngine.h"

#include "core/LanguageModels.h"

QCoro::Task<std::shared_ptr<LanguageModel>> availableModel()
{
    std::shared_ptr<LanguageModel> model = LanguageModels::shared();
    if (model && co_await model->isAvailable()) co_return model;
    co_return std::shared_ptr<LanguageModel>();
}

QCoro::Task<RankEngine> engineInForce()
{
    const std::shared_ptr<LanguageModel> model = co_await availableModel();
    co_return model ? RankEngine::model : RankEngine::frequency;
}
