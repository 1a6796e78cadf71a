#include "module_hold.h"

#include <atomic>

namespace parvex {
namespace {
// Written once by the module's start, read by every thread that takes a hold.
std::atomic<ModuleLifetime*> processLifetime{nullptr};
}  // namespace

void SetModuleLifetime(ModuleLifetime* lifetime) { processLifetime = lifetime; }

ModuleHold::ModuleHold() : lifetime_(processLifetime.load()) {
    if (lifetime_) lifetime_->Hold();
}

ModuleHold& ModuleHold::operator=(ModuleHold&& other) noexcept {
    if (this != &other) {
        Release();
        lifetime_ = other.lifetime_;
        other.lifetime_ = nullptr;
    }
    return *this;
}

void ModuleHold::Release() {
    if (lifetime_) lifetime_->Release();
    lifetime_ = nullptr;
}

}  // namespace parvex
