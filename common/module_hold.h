// What keeps the module that holds this code loaded. The core starts
// threads and windows that outlive the page's calls (the download session,
// the upload run); each holds the module while it lives, so that a host
// that frees unused libraries never unloads code that is still running.
// The module plugs its own count in at start; native programs have none.
#pragma once

namespace parvex {

class ModuleLifetime {
public:
    virtual ~ModuleLifetime() = default;
    virtual void Hold() = 0;
    virtual void Release() = 0;
};

// Set once by the module at start, before anything takes a hold; null (the
// default) when nothing needs holding.
void SetModuleLifetime(ModuleLifetime* lifetime);

// One hold from construction to destruction (or Release); movable, so that
// it can travel with what it keeps alive.
class ModuleHold {
public:
    ModuleHold();
    ~ModuleHold() { Release(); }
    ModuleHold(ModuleHold&& other) noexcept : lifetime_(other.lifetime_) { other.lifetime_ = nullptr; }
    ModuleHold& operator=(ModuleHold&& other) noexcept;
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;
    void Release();

private:
    ModuleLifetime* lifetime_;
};

}  // namespace parvex
