// The machine's settings key with the user's over it. A value is read from
// the user's key before the machine's. A write goes to the machine's key as
// it always did; when the machine's key refuses it (an ordinary user under
// HKEY_LOCAL_MACHINE), to the user's key instead; when the machine's key
// takes it, the user's value of that name is removed, so that an older
// choice never shadows a newer one. A list value is the machine's and the
// user's together.
#pragma once
#include <memory>

#include "settings_store.h"

namespace parvex {

class LayeredSettingsStore : public SettingsStore {
public:
    LayeredSettingsStore(std::unique_ptr<SettingsStore> machine, std::unique_ptr<SettingsStore> user);
    ~LayeredSettingsStore() override { Close(); }
    // Open when either key opens; Create creates the machine's key, or the
    // user's when the machine's cannot be made.
    bool Open() override;
    bool Create() override;
    StoreResult Read(const std::wstring& name, std::wstring& value) override;
    StoreResult ReadList(const std::wstring& name, std::vector<std::wstring>& values) override;
    bool Write(const std::wstring& name, const std::wstring& value) override;
    bool Remove(const std::wstring& name) override;
    void Close() override;

private:
    std::unique_ptr<SettingsStore> machine_, user_;
    bool machineOpen_ = false, userOpen_ = false;
};

}  // namespace parvex
