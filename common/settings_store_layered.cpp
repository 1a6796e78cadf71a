#include "settings_store_layered.h"

#include <utility>

namespace parvex {

LayeredSettingsStore::LayeredSettingsStore(std::unique_ptr<SettingsStore> machine, std::unique_ptr<SettingsStore> user)
    : machine_(std::move(machine)), user_(std::move(user)) {}

bool LayeredSettingsStore::Open() {
    Close();
    machineOpen_ = machine_->Open();
    userOpen_ = user_->Open();
    return machineOpen_ || userOpen_;
}

bool LayeredSettingsStore::Create() {
    if (!machineOpen_) machineOpen_ = machine_->Create();
    if (!machineOpen_ && !userOpen_) userOpen_ = user_->Create();
    return machineOpen_ || userOpen_;
}

StoreResult LayeredSettingsStore::Read(const std::wstring& name, std::wstring& value) {
    StoreResult user = userOpen_ ? user_->Read(name, value) : StoreResult::Error;
    if (user == StoreResult::Ok || !machineOpen_) return user;
    return machine_->Read(name, value);
}

StoreResult LayeredSettingsStore::ReadList(const std::wstring& name, std::vector<std::wstring>& values) {
    values.clear();
    bool found = false, failed = false;
    for (auto [open, store] : {std::pair{machineOpen_, machine_.get()}, std::pair{userOpen_, user_.get()}}) {
        std::vector<std::wstring> part;
        StoreResult result = open ? store->ReadList(name, part) : StoreResult::NotFound;
        found = found || result == StoreResult::Ok;
        failed = failed || result == StoreResult::Error;
        values.insert(values.end(), part.begin(), part.end());
    }
    // One hive's entries are enough to use: the other's could only add.
    return found ? StoreResult::Ok : failed ? StoreResult::Error : StoreResult::NotFound;
}

bool LayeredSettingsStore::Write(const std::wstring& name, const std::wstring& value) {
    if (machineOpen_ && machine_->Write(name, value)) {
        if (userOpen_) user_->Remove(name);
        return true;
    }
    if (!userOpen_) userOpen_ = user_->Open() || user_->Create();
    return userOpen_ && user_->Write(name, value);
}

bool LayeredSettingsStore::Remove(const std::wstring& name) {
    bool machineGone = !machineOpen_ || machine_->Remove(name);
    bool userGone = !userOpen_ || user_->Remove(name);
    return machineGone && userGone;
}

void LayeredSettingsStore::Close() {
    machine_->Close();
    user_->Close();
    machineOpen_ = userOpen_ = false;
}

}  // namespace parvex
