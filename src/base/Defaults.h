#pragma once

#include "base/DefaultsStore.h"

#include <memory>

// The store in use: the JSON file in the XDG config dir unless another one was installed
// (tests and the simulator install in-memory or temporary stores).
namespace Defaults {
DefaultsStore& shared();
void setShared(std::shared_ptr<DefaultsStore> store);
// $XDG_CONFIG_HOME/sorelwick/defaults.json, with ~/.config when the variable is unset or relative.
QString defaultPath();
} // namespace Defaults
