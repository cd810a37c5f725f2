#pragma once

#include "platform/LanguageModel.h"

#include <memory>

// The model in use; none means that no model is available.
namespace LanguageModels {
std::shared_ptr<LanguageModel> shared();
void setShared(std::shared_ptr<LanguageModel> model);
} // namespace LanguageModels
