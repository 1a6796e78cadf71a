// The save folder chooser and what happens when a downloaded file's name is
// taken: the same-file prompt (overwrite, rename, cancel, apply to all) and
// the name-entry rules shared with the upload side. The prompts' logic lives
// here; the dialogs (or the terminal) only show it and report the buttons.
#pragma once
#include <string>

#include "common/file_system.h"
#include "common/message_box.h"
#include "common/settings_store.h"
#include "download_entry.h"

namespace parvex {

class DownloadView;

// Values the prompts share with the worker. One per download session; the
// prompts run on the worker's thread, and no other thread touches them.
struct ConflictState {
    std::wstring downloadSamePath;
    double downloadSameSize = 0;
    int downloadSameChoice = 0;  // 1 overwrite, 2 rename, 3 cancel
    bool downloadApplyToAll = false;
    std::wstring renameText;
};

enum DownloadSameChoice : int { DownloadSameOverwrite = 1, DownloadSameRename = 2, DownloadSameCancel = 3 };

// How a prompt handler leaves its dialog.
enum class PromptEnd { StayOpen, Ok, Cancel };

// The rules of the name-entry dialog.
class NameEntryLogic {
public:
    NameEntryLogic(std::wstring& renameText, MessageBoxHost& messages) : renameText_(renameText), messages_(messages) {}
    // On opening: the text the edit starts with.
    std::wstring Open();
    // The OK button with the edit's text. False keeps the dialog open; the
    // edit may have been given its old text back.
    bool Ok(std::wstring& editText);
    const std::wstring& OldName() const { return oldName_; }

private:
    std::wstring& renameText_;
    MessageBoxHost& messages_;
    std::wstring oldName_;  // renameOldName
};

class NameEntryPrompt {
public:
    virtual ~NameEntryPrompt() = default;
    // Runs the name-entry dialog modally; true when it ended with OK.
    virtual bool Run(NameEntryLogic& logic) = 0;
};

// The rules of the same-file prompt.
class SameFileLogic {
public:
    SameFileLogic(ConflictState& state, FileSystem& fs, NameEntryPrompt& names, MessageBoxHost& messages)
        : state_(state), fs_(fs), names_(names), messages_(messages) {}
    // On opening: fills renameText; the texts of the name and size labels.
    void Open();
    std::wstring NameText() const;
    std::wstring SizeText() const;
    bool ApplyToAll() const { return state_.downloadApplyToAll; }
    bool RenameEnabled() const { return !state_.downloadApplyToAll; }
    void ToggleApplyToAll() { state_.downloadApplyToAll = !state_.downloadApplyToAll; }
    PromptEnd Overwrite();
    PromptEnd Rename();
    PromptEnd Cancel();
    // The close box and Escape.
    PromptEnd Close() { return PromptEnd::Cancel; }

private:
    ConflictState& state_;
    FileSystem& fs_;
    NameEntryPrompt& names_;
    MessageBoxHost& messages_;
};

class SameFilePrompt {
public:
    virtual ~SameFilePrompt() = default;
    // Runs the same-file prompt modally (from the worker's thread, without
    // owner); true when it ended with OK.
    virtual bool Run(SameFileLogic& logic) = 0;
};

struct ExistingFileDecision {
    enum Answer { Overwrite, Rename, Skip } answer = Skip;
    std::wstring targetPath;  // the new path after a rename
};

// A file exists at targetPath: ask (or apply the earlier choice to all).
// Overwrite leaves the existing file in place: the engine replaces it only
// with a complete new one. A missing prompt skips.
ExistingFileDecision DecideExistingFile(ConflictState& state, FileSystem& fs, SameFilePrompt* prompt,
                                        NameEntryPrompt* names, MessageBoxHost& messages, const DownloadEntry& entry,
                                        const std::wstring& targetPath);

class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    // The system folder browser titled "저장 폴더를 선택하십시요."; false when
    // cancelled or when the chosen item has no path.
    virtual bool Choose(std::wstring& folder) = 0;
};

// The change-folder button: returns the new save folder.
std::wstring ChooseSaveFolder(FolderChooser& chooser, SettingsStore& store, FileSystem& fs, DownloadView& view);

}  // namespace parvex
