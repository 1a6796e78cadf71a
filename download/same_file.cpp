#include "same_file.h"

#include "common/format.h"
#include "download_view.h"
#include "save_folder.h"

namespace parvex {

namespace {
size_t LastSeparator(const std::wstring& path) { return path.find_last_of(L"\\/"); }
}  // namespace

std::wstring NameEntryLogic::Open() {
    oldName_ = renameText_;
    renameText_.clear();
    return oldName_;
}

bool NameEntryLogic::Ok(std::wstring& editText) {
    renameText_ = editText;
    if (renameText_ == oldName_) {
        messages_.Show(L"변경되지않았습니다.", L"No Changed Filename", MbOk | MbIconStop);
        return false;
    }
    // "/" separates folders on every platform the files end up on, so it is
    // refused like "\".
    if (renameText_.find_first_of(L"\\/") != std::wstring::npos) {
        messages_.Show(L"디렉토리는 추가할수없습니다.", L"Not Add Directory in Filename", MbOk | MbIconStop);
        editText = oldName_;
        return false;
    }
    return true;
}

void SameFileLogic::Open() { state_.renameText = NameText(); }

std::wstring SameFileLogic::NameText() const {
    const std::wstring& path = state_.downloadSamePath;
    size_t sep = LastSeparator(path);
    return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

std::wstring SameFileLogic::SizeText() const { return FormatText(L"%.f", state_.downloadSameSize); }

PromptEnd SameFileLogic::Overwrite() {
    state_.downloadSameChoice = DownloadSameOverwrite;
    return PromptEnd::Ok;
}

PromptEnd SameFileLogic::Cancel() {
    state_.downloadSameChoice = DownloadSameCancel;
    return PromptEnd::Cancel;
}

PromptEnd SameFileLogic::Rename() {
    for (;;) {
        NameEntryLogic entry(state_.renameText, messages_);
        if (!names_.Run(entry)) return PromptEnd::StayOpen;
        const std::wstring& path = state_.downloadSamePath;
        size_t sep = LastSeparator(path);
        std::wstring folder = sep == std::wstring::npos ? std::wstring() : path.substr(0, sep + 1);
        std::wstring candidate = folder + state_.renameText;
        if (fs_.Exists(candidate)) {
            messages_.Show(L"파일명이 존재합니다. 다른 파일명으로 변경해주세요.", L"파일명변경", MbOk | MbIconStop);
            continue;
        }
        state_.downloadSamePath = candidate;
        state_.downloadSameChoice = DownloadSameRename;
        state_.downloadApplyToAll = false;
        return PromptEnd::Ok;
    }
}

ExistingFileDecision DecideExistingFile(ConflictState& state, FileSystem& fs, SameFilePrompt* prompt,
                                        NameEntryPrompt* names, MessageBoxHost& messages, const DownloadEntry& entry,
                                        const std::wstring& targetPath) {
    ExistingFileDecision decision;
    decision.targetPath = targetPath;
    bool ok;
    if (state.downloadApplyToAll) {
        ok = true;
    } else {
        state.downloadSamePath = targetPath;
        state.downloadSameSize = entry.size;
        if (!prompt || !names) return decision;
        SameFileLogic logic(state, fs, *names, messages);
        ok = prompt->Run(logic);
    }
    if (!ok) return decision;
    if (state.downloadSameChoice == DownloadSameOverwrite) {
        decision.answer = ExistingFileDecision::Overwrite;
    } else if (state.downloadApplyToAll) {
        decision.answer = ExistingFileDecision::Skip;
    } else {
        decision.answer = ExistingFileDecision::Rename;
        decision.targetPath = state.downloadSamePath;
    }
    return decision;
}

std::wstring ChooseSaveFolder(FolderChooser& chooser, SettingsStore& store, FileSystem& fs, DownloadView& view) {
    std::wstring chosen;
    if (chooser.Choose(chosen) && !chosen.empty()) {
        view.SetText(IdcDnSaveFolderEdit, chosen);
        return LoadSavePath(store, fs, chosen);
    }
    return LoadSavePath(store, fs, L"");
}

}  // namespace parvex
