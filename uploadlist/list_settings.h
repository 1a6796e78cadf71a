// The settings an upload list shares with every upload control of the
// process: the use type (one budget, or general and big files) and the
// folder the choosers open at. The list is handed them by its owner and
// never reaches for the process's store itself.
#pragma once
#include <string>

#include "common/settings_store.h"

namespace parvex {

class ListSettings {
public:
    virtual ~ListSettings() = default;
    virtual int UseType() const = 0;
    virtual void SetUseType(int type) = 0;
    // The list window opens: the choosers' folder is read back from where
    // it is kept across restarts.
    virtual void LoadFolder() = 0;
    // Files or a folder were chosen: the choosers open at `shown` from now
    // on, and `stored` is kept across restarts.
    virtual void KeepFolder(const std::wstring& shown, const std::wstring& stored) = 0;
};

// Folder last used by the file and folder choosers, shared by every upload
// control of the process ("SelectPath" keeps it across restarts). Owned by
// the process; read and written by the page's thread only.
std::wstring& LastUploadFolder();

// The process's settings (Settings().useType, LastUploadFolder()) with the
// folder kept under "SelectPath" of store; no store: not kept.
class ProcessListSettings : public ListSettings {
public:
    explicit ProcessListSettings(SettingsStore* store = nullptr) : store_(store) {}
    int UseType() const override;
    void SetUseType(int type) override;
    void LoadFolder() override;
    void KeepFolder(const std::wstring& shown, const std::wstring& stored) override;

private:
    SettingsStore* store_;
};

}  // namespace parvex
