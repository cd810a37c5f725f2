#include "core/LanguageModels.h"

#include <mutex>

namespace LanguageModels {
namespace {
std::mutex g_mutex;
// None installed means no model: every ranking takes the frequency order and nothing is sent.
std::shared_ptr<LanguageModel> g_model;
} // namespace

std::shared_ptr<LanguageModel> shared()
{
    std::lock_guard lock(g_mutex);
    return g_model;
}

void setShared(std::shared_ptr<LanguageModel> model)
{
    std::lock_guard lock(g_mutex);
    g_model = std::move(model);
}
} // namespace LanguageModels
