// parvex-cli download: queues PATH NAME pairs as one batch, opens a session
// whose "dialog" is the terminal, runs it at once and prints the outcome.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "options.h"
#include "terminal.h"
#include "common/folders.h"
#include "common/format.h"
#include "common/utf8.h"
#include "common/settings.h"
#include "download/download_engine.h"
#include "download/download_state.h"
#include "download/file_name_rules.h"
#include "download/same_file.h"

namespace parvex::cli {
namespace {

class TerminalView : public DownloadView {
public:
    explicit TerminalView(MessageBoxHost& boxes) : boxes_(boxes), tty_(isatty(2) != 0) {}
    void SetCaption(const std::wstring& text) override {
        std::fprintf(stderr, "%s%s\n", MessagePrefix(), Narrow(text).c_str());
    }
    void InsertRow(int row, const std::wstring& name) override {
        if (row < 0 || row > static_cast<int>(rows_.size())) row = static_cast<int>(rows_.size());
        rows_.insert(rows_.begin() + row, name);
    }
    void SetRowStatus(int row, const std::wstring& status) override {
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        // The waiting rows of a fresh list are not news.
        if (status == kRowDownloadWaiting) return;
        EndProgressLine();
        std::fprintf(stderr, "%-8s %d. %s\n", Narrow(status).c_str(), row, Narrow(rows_[row]).c_str());
    }
    void DeleteRow(int row) override {
        if (row >= 0 && row < static_cast<int>(rows_.size())) rows_.erase(rows_.begin() + row);
    }
    void DeleteAllRows() override { rows_.clear(); }
    std::vector<int> SelectedRows() override { return {}; }
    void SetColumnWidths(int, int) override {}
    void SetText(int id, const std::wstring& text) override {
        switch (id) {
        case IdcDnFileNameLabel:
            // Set once the connection stands; the reply's head comes next.
            file_ = text;
            if (tty_) {
                std::fprintf(stderr, "\r\033[K%s  (waiting for the server's answer)", Narrow(file_).c_str());
                lineOpen_ = true;
            }
            break;
        case IdcDnFileSizeLabel:
            // " / 0Byte" when the size was not declared: left out.
            fileSize_ = text == L" / 0Byte" ? std::wstring() : text;
            break;
        case IdcDnSpeedLabel:
            speed_ = text;
            break;
        case IdcDnFileBytesLabel:
            fileBytes_ = text;
            break;
        case IdcDnTimeLeftLabel:
            left_ = text == L"..." ? std::wstring() : L"  " + text;
            break;
        case IdcDnDoneBytesLabel:
            // The last of the counters, set at most twice a second.
            if (tty_) {
                std::fprintf(stderr, "\r\033[K%s  %s%s  %s/s%s", Narrow(file_).c_str(), Narrow(fileBytes_).c_str(),
                             Narrow(fileSize_).c_str(), Narrow(speed_).c_str(), Narrow(left_).c_str());
                lineOpen_ = true;
            }
            break;
        default:
            break;
        }
    }
    void SetProgress(int, int) override {}
    void EnableControl(int, bool) override {}
    MessageBoxHost& Messages() override {
        EndProgressLine();
        return boxes_;
    }

private:
    void EndProgressLine() {
        if (lineOpen_) std::fputc('\n', stderr);
        lineOpen_ = false;
    }
    MessageBoxHost& boxes_;
    bool tty_;
    bool lineOpen_ = false;
    std::vector<std::wstring> rows_;
    std::wstring file_, fileSize_, speed_, fileBytes_, left_;
};

class TerminalDialog : public DownloadDialog {
public:
    explicit TerminalDialog(MessageBoxHost& boxes) : view_(boxes) {}
    DownloadView& View() override { return view_; }

private:
    TerminalView view_;
};

class TerminalDialogFactory : public DownloadDialogFactory {
public:
    explicit TerminalDialogFactory(MessageBoxHost& boxes) : boxes_(boxes) {}
    std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls&) override { return std::make_shared<TerminalDialog>(boxes_); }

private:
    MessageBoxHost& boxes_;
};

class TerminalNamePrompt : public NameEntryPrompt {
public:
    bool Run(NameEntryLogic& logic) override {
        std::wstring edit = logic.Open();
        for (;;) {
            std::fprintf(stderr, "파일명을 변경해 주십시요. [%s] (empty line cancels): ", Narrow(edit).c_str());
            std::string line;
            if (!ReadLine(line) || line.empty()) return false;
            std::wstring text = FromUtf8(line);
            if (logic.Ok(text)) return true;
            edit = text;
        }
    }
};

class TerminalSamePrompt : public SameFilePrompt {
public:
    bool Run(SameFileLogic& logic) override {
        logic.Open();
        std::fprintf(stderr, "\n다운로드 폴더내에 같은 파일이 존재합니다.\n  파일명 : %s\n  크   기 : %s\n",
                     Narrow(logic.NameText()).c_str(), Narrow(logic.SizeText()).c_str());
        for (;;) {
            std::fprintf(stderr, "[o] 덮어쓰기  %s[c] 취소  [a] 모든 파일에 옵션적용 (%s): ",
                         logic.RenameEnabled() ? "[r] 파일명변경  " : "", logic.ApplyToAll() ? "on" : "off");
            std::string line;
            PromptEnd end = PromptEnd::StayOpen;
            if (!ReadLine(line)) {
                end = logic.Close();
            } else if (line == "o") {
                end = logic.Overwrite();
            } else if (line == "r" && logic.RenameEnabled()) {
                end = logic.Rename();
            } else if (line == "c") {
                end = logic.Cancel();
            } else if (line == "a") {
                logic.ToggleApplyToAll();
            }
            if (end != PromptEnd::StayOpen) return end == PromptEnd::Ok;
        }
    }
};

// --exists: the same answer for every existing file. A rename tries its
// one name; when that is taken the file is skipped.
class FixedAnswer : public SameFilePrompt {
public:
    FixedAnswer(char action, std::wstring name) : action_(action) { names_.name = std::move(name); }
    bool Run(SameFileLogic& logic) override {
        logic.Open();
        names_.tried = false;
        PromptEnd end = PromptEnd::StayOpen;
        if (action_ == 'o') end = logic.Overwrite();
        if (action_ == 'r') end = logic.Rename();
        if (end == PromptEnd::StayOpen) end = logic.Cancel();
        return end == PromptEnd::Ok;
    }
    NameEntryPrompt& Names() { return names_; }

private:
    struct OneName : NameEntryPrompt {
        std::wstring name;
        bool tried = false;
        bool Run(NameEntryLogic& logic) override {
            logic.Open();
            if (tried) return false;
            tried = true;
            std::wstring text = name;
            return logic.Ok(text);
        }
    };
    char action_;
    OneName names_;
};

// The signal handler's way out: a byte down this pipe, read by the thread
// that cancels the run (a handler may take no lock). Written by main before
// the handler is set.
int g_interruptPipe[2] = {-1, -1};
// Written by the signal handler, read by the worker's message boxes and main.
std::atomic<bool> g_interrupted{false};

// The first Ctrl-C cancels: the run notices within a tenth of a second, even
// while the server sends nothing. A second one ends the program outright;
// the file being written then stays under its temporary name only.
extern "C" void OnInterrupt(int) {
    g_interrupted = true;
    const char cancel = 'c';
    ssize_t sent = write(g_interruptPipe[1], &cancel, 1);
    (void)sent;
    static const char note[] = "\ncancelling; Ctrl-C again quits at once\n";
    ssize_t ignored = write(2, note, sizeof note - 1);
    (void)ignored;
    std::signal(SIGINT, SIG_DFL);
}

// After a Ctrl-C the question whether to delete the cut-off file is not
// asked: whoever pressed it wants out, and without the part.
class InterruptibleBoxes : public MessageBoxHost {
public:
    explicit InterruptibleBoxes(MessageBoxHost& inner) : inner_(inner) {}
    MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        if (!g_interrupted || (style & 0xF) != MbYesNo) return inner_.Show(text, caption, style);
        std::lock_guard<std::mutex> lock(TerminalMutex());
        std::fprintf(stderr, "\n[%s] %s\n(interrupted: yes)\n", Narrow(caption).c_str(), Narrow(text).c_str());
        return IdYes;
    }

private:
    MessageBoxHost& inner_;
};

// The terminal's side of a session: its boxes, dialog and prompts.
struct TerminalSession {
    TerminalMessageBox terminalBoxes;
    InterruptibleBoxes boxes{terminalBoxes};
    TerminalDialogFactory factory{boxes};
    FixedCookieStore cookieStore;
    TerminalSamePrompt terminalSame;
    TerminalNamePrompt terminalNames;
    FixedAnswer fixed;
    HttpDownloadEngine engine;

    // The only question asked is whether to delete a cut-off file.
    TerminalSession(const DownloadOptions& options, bool interactive)
        : terminalBoxes(interactive, IdYes),
          cookieStore(options.cookie),
          fixed(options.existsAction, options.renameTo) {}

    DownloadPlatform Platform(const DownloadOptions& options, bool interactive) {
        DownloadPlatform platform;
        platform.controlMessages = &boxes;
        platform.promptMessages = &boxes;
        platform.dialogFactory = &factory;
        platform.engine = &engine;
        if (options.haveCookie) platform.cookies = &cookieStore;
        if (options.existsAction) {
            platform.sameFilePrompt = &fixed;
            platform.nameEntryPrompt = &fixed.Names();
        } else if (interactive) {
            platform.sameFilePrompt = &terminalSame;
            platform.nameEntryPrompt = &terminalNames;
        }
        return platform;
    }
};

// Queues the pairs as one batch; the number the list refused.
int QueueFiles(DownloadState& state, const std::vector<std::string>& positional) {
    const int pairs = static_cast<int>(positional.size() / 2);
    int refused = 0;
    for (int i = 0; i < pairs; ++i) {
        if (state.AddDownloadFile(FromUtf8(positional[2 * i]), FromUtf8(positional[2 * i + 1]), 0, pairs) != 0)
            ++refused;
    }
    return refused;
}

// Opens the session's dialog and points it at --dest; false when it did not open.
bool OpenSession(DownloadState& state, const std::string& dest) {
    state.DownloadStart();
    std::shared_ptr<DownloadDialog> dialog = state.Dialog();
    if (!dialog) {
        std::fprintf(stderr, "%sthe download session could not be opened\n", MessagePrefix());
        return false;
    }
    if (!dest.empty()) {
        std::wstring folder = FromUtf8(dest);
        CreateFolderChain(LocalFileSystem(), folder + L"\\x");
        state.SetSaveFolder(folder);
        dialog->View().SetText(IdcDnSaveFolderEdit, folder);
    }
    std::fprintf(stderr, "%ssave folder: %s\n", MessagePrefix(), Narrow(state.SaveFolder()).c_str());
    return true;
}

// Runs the batch with Ctrl-C cancelling it.
void RunInterruptibly(DownloadState& state) {
    if (pipe(g_interruptPipe) != 0) {
        state.StartRun();
        state.WaitRunFinished();
        return;
    }
    // Sleeps until the handler's byte ('c': cancel the run) or main's ('q':
    // the run is over).
    std::thread listener([&state] {
        char what = 0;
        while (read(g_interruptPipe[0], &what, 1) == 1 && what == 'c') state.CancelOrClose();
    });
    std::signal(SIGINT, OnInterrupt);
    state.StartRun();
    state.WaitRunFinished();
    std::signal(SIGINT, SIG_DFL);
    const char quit = 'q';
    ssize_t sent = write(g_interruptPipe[1], &quit, 1);
    (void)sent;
    listener.join();
    close(g_interruptPipe[0]);
    close(g_interruptPipe[1]);
}

// Entries of the batch: files, and names ending in a separator that only
// ask for a folder; each with how many of them were done, and the files
// skipped on request (--exists=skip or the prompt's cancel), which count as
// done.
struct BatchCount {
    int files = 0, filesDone = 0, folders = 0, foldersDone = 0, skipped = 0;
};

// A file counts as downloaded only once its bytes were written, which is
// what "done" means for a name that does not ask for a folder.
BatchCount CountBatch(const std::vector<std::string>& positional, const std::vector<DownloadEntry>& entries) {
    BatchCount count;
    for (size_t i = 1; i < positional.size(); i += 2)
        ++(NamesFolder(FromUtf8(positional[i])) ? count.folders : count.files);
    for (auto& e : entries) {
        bool folder = NamesFolder(e.fileName);
        if (e.state == DownloadEntry::Done) ++(folder ? count.foldersDone : count.filesDone);
        if (e.state == DownloadEntry::Cancelled && !folder) ++count.skipped;
    }
    return count;
}

// Closes the session, prints the outcome and gives the exit code.
int FinishSession(DownloadState& state, const DownloadOptions& options, int refused) {
    BatchCount count = CountBatch(options.positional, state.Entries());
    bool cancelled = g_interrupted;
    state.CancelOrClose();
    state.WaitSessionClosed();

    if (g_interrupted) {
        std::printf("%s%d of %d downloaded, interrupted\n", MessagePrefix(), count.filesDone, count.files);
        return 130;
    }
    std::printf("%s%d of %d downloaded", MessagePrefix(), count.filesDone, count.files);
    if (count.folders) std::printf(", %d of %d folders made", count.foldersDone, count.folders);
    if (count.skipped && !cancelled) std::printf(", %d skipped", count.skipped);
    std::printf("%s%s\n", refused ? ", duplicates refused" : "", cancelled ? ", cancelled" : "");
    bool allDone = !cancelled && refused == 0 && count.filesDone + count.skipped == count.files &&
                   count.foldersDone == count.folders;
    if (!allDone) ReportConnectProblem(options.host);
    return allDone ? 0 : 1;
}

}  // namespace

int RunDownloadCommand(int argc, char** argv) {
    DownloadOptions options;
    if (int code = ParseDownloadCommandLine(argc, argv, options); code != kRunCommand) return code;

    bool interactive = isatty(0) != 0;
    TerminalSession session(options, interactive);
    InitDefaultFolder(PlatformDocumentsFolder);
    Settings().downloadHostUrl = FromUtf8(options.host);
    if (options.haveTitle) Settings().downloadTitle = FromUtf8(options.title);

    DownloadState state(session.Platform(options, interactive));
    if (!options.resume) state.SetResuming(ResumePolicy{false});
    int refused = QueueFiles(state, options.positional);
    if (!OpenSession(state, options.dest)) return 1;
    RunInterruptibly(state);
    return FinishSession(state, options, refused);
}

}  // namespace parvex::cli
