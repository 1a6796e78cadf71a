#include "uploadlist/list_settings.h"

#include "common/folders.h"
#include "common/settings.h"

namespace parvex {

std::wstring& LastUploadFolder() {
    static std::wstring folder;
    return folder;
}

int ProcessListSettings::UseType() const { return Settings().useType; }

void ProcessListSettings::SetUseType(int type) { Settings().useType = type; }

void ProcessListSettings::LoadFolder() {
    if (store_) LastUploadFolder() = LoadSelectPath(*store_, false, std::wstring());
}

void ProcessListSettings::KeepFolder(const std::wstring& shown, const std::wstring& stored) {
    if (store_) LoadSelectPath(*store_, true, stored);
    LastUploadFolder() = shown;
}

}  // namespace parvex
