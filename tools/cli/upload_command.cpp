// parvex-cli upload: admits the files the way the file dialog does, runs
// UploadStart and shows the run on the terminal.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "commands.h"
#include "options.h"
#include "terminal.h"
#include "common/file_system.h"
#include "common/format.h"
#include "common/url.h"
#include "common/utf8.h"
#include "common/settings.h"
#include "upload/upload_list_access.h"
#include "upload/upload_start.h"
#include "uploadlist/upload_list.h"

namespace parvex::cli {
namespace {

std::atomic<int> interrupted{0};

void OnInterrupt(int) { interrupted = 1; }

class TerminalPrompts : public UploadPrompts {
public:
    TerminalPrompts(const UploadOptions& options, bool interactive) : options_(options), interactive_(interactive) {}

    MessageAnswer AskSameFile(UploadPromptState& state) override {
        if (!options_.same.empty()) return Scripted(state);
        if (!interactive_) return IdCancel;
        std::lock_guard<std::mutex> lock(TerminalMutex());
        std::fprintf(stderr,
                     "\n업로드 폴더내에 같은 파일이 존재합니다.\n  파일명 : %s\n  크   기 : %.f\n"
                     "[o] 덮어쓰기  [r] 파일명변경  [s] 건너뛰기  (oa, sa: 모든 파일에 옵션적용) ",
                     Narrow(state.sameFileName).c_str(), state.sameFileSize);
        for (;;) {
            std::string line;
            if (!ReadLine(line)) return IdCancel;
            if (line == "o" || line == "oa") {
                state.applyToAll = line == "oa";
                state.sameFileChoice = UploadSameOverwrite;
                return IdOk;
            }
            if (line == "s" || line == "sa") {
                state.applyToAll = line == "sa";
                state.sameFileChoice = UploadSameSkip;
                return IdCancel;
            }
            if (line == "r") return AskNewName(state);
            std::fprintf(stderr, "o, oa, r, s or sa: ");
        }
    }

    MessageAnswer AskMissingFile(const std::wstring& name) override {
        if (options_.missing == "cancel") return IdCancel;
        if (options_.missing == "skip") return IdOk;
        if (!interactive_) {
            // Nobody agreed to leave the file out: it is skipped so that the
            // others still go, but the upload does not count as complete.
            std::lock_guard<std::mutex> lock(TerminalMutex());
            std::fprintf(stderr, "\n%s%s: the file is gone; skipped (--missing=skip to accept that)\n", MessagePrefix(),
                         Narrow(name).c_str());
            ++unattendedSkips_;
            return IdOk;
        }
        std::lock_guard<std::mutex> lock(TerminalMutex());
        std::fprintf(stderr, "\n    다음 파일이 이동되었거나 삭제되었습니다.\n  %s\n[s] 건너뛰기  [c] 업로드 취소 ",
                     Narrow(name).c_str());
        for (;;) {
            std::string line;
            if (!ReadLine(line)) return IdCancel;
            if (line == "s" || line.empty()) return IdOk;
            if (line == "c") return IdCancel;
            std::fprintf(stderr, "s or c: ");
        }
    }

private:
    MessageAnswer Scripted(UploadPromptState& state) {
        if (options_.same == "overwrite") {
            state.sameFileChoice = UploadSameOverwrite;
            return IdOk;
        }
        if (options_.same.rfind("rename:", 0) == 0) {
            std::wstring name = FromUtf8(options_.same.substr(7));
            std::wstring proposal = SameFileRenameProposal(state.sameFileName);
            // The new name taken too: asking again would only bring the same
            // answer back, so the file is skipped.
            if (RenameRefusal(proposal, name, nullptr).empty()) {
                ApplySameFileRename(state, name);
                return IdOk;
            }
        }
        state.sameFileChoice = UploadSameSkip;
        return IdCancel;
    }

    // Called with the terminal lock held.
    MessageAnswer AskNewName(UploadPromptState& state) {
        std::wstring old = SameFileRenameProposal(state.sameFileName);
        for (;;) {
            std::fprintf(stderr, "새 파일명 (%s): ", Narrow(old).c_str());
            std::string line;
            // An empty answer backs out of the rename; the prompt comes back.
            if (!ReadLine(line) || line.empty()) return IdOk;
            std::wstring name = FromUtf8(line);
            std::wstring caption;
            std::wstring refusal = RenameRefusal(old, name, &caption);
            if (refusal.empty()) {
                ApplySameFileRename(state, name);
                return IdOk;
            }
            std::fprintf(stderr, "[%s] %s\n", Narrow(caption).c_str(), Narrow(refusal).c_str());
        }
    }

public:
    // Files skipped because they were gone and nobody could be asked.
    int UnattendedSkips() const { return unattendedSkips_; }

private:
    const UploadOptions& options_;
    bool interactive_;
    int unattendedSkips_ = 0;  // written by the worker, read after it ended
};

// The progress dialog on the terminal: one redrawn line on a terminal, the
// row results as lines either way.
class TerminalView : public UploadProgressView {
public:
    TerminalView(const std::wstring& title, bool drawBar) : title_(Narrow(title)), drawBar_(drawBar) {}

    void RunOpened(const CUploadProgress& dialog) override {
        std::lock_guard<std::mutex> lock(TerminalMutex());
        names_.clear();
        for (const UploadEntry* e : dialog.runEntries) names_.push_back(Narrow(e->fileName));
        std::fprintf(stderr, "%s%s: %zu file(s)\n", MessagePrefix(), title_.c_str(), names_.size());
        if (!dialog.statusText.empty()) std::fprintf(stderr, "%s\n", Narrow(dialog.statusText).c_str());
        speed_ = timeLeft_ = sent_ = total_ = "계산중";
        runBar_ = 0;
    }
    void RunEnded(const CUploadProgress& dialog) override {
        std::lock_guard<std::mutex> lock(TerminalMutex());
        ClearLine();
        if (!dialog.runLog.empty()) {
            std::string log = Narrow(dialog.runLog);
            for (size_t at; (at = log.find("\r\n")) != std::string::npos;) log.replace(at, 2, "\n");
            if (log.back() != '\n') log += '\n';
            std::fprintf(stdout, "%s", log.c_str());
            std::fflush(stdout);
        }
    }
    void SetText(int id, const std::wstring& text) override {
        std::lock_guard<std::mutex> lock(TerminalMutex());
        switch (id) {
        case IdcUpFileName:
            file_ = Narrow(text);
            waiting_ = false;
            break;
        case IdcUpSpeed:
            speed_ = Narrow(text);
            break;
        case IdcUpTimeLeft:
            timeLeft_ = Narrow(text);
            break;
        case IdcUpRunSent:
            sent_ = Narrow(text);
            Draw();
            break;
        case IdcUpRunTotal:
            total_ = Narrow(text);
            break;
        default:
            break;
        }
    }
    void ResetBar(int id) override { SetBar(id, 0); }
    void SetBar(int id, int position) override {
        std::lock_guard<std::mutex> lock(TerminalMutex());
        if (id == IdcUpFileBar) {
            // The whole file is out: next comes the server's answer.
            waiting_ = position == 100;
            if (waiting_) Draw();
            return;
        }
        runBar_ = position;
        Draw();
    }
    void SetRowStatus(int row, const std::wstring& status) override {
        std::lock_guard<std::mutex> lock(TerminalMutex());
        if (status == kRowTransferring) return;
        ClearLine();
        std::string name = row >= 0 && static_cast<size_t>(row) < names_.size() ? names_[row] : "?";
        std::fprintf(stdout, "  %s  %s\n", Narrow(status).c_str(), name.c_str());
        std::fflush(stdout);
    }
    void Close() override {}

private:
    void Draw() {
        if (!drawBar_) return;
        constexpr int kWidth = 30;
        int filled = runBar_ * kWidth / 100;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(kWidth - filled), '-');
        std::fprintf(stderr, "\r\033[K[%s] %3d%%  %s %s  %s/s  남은시간 %s  %s%s", bar.c_str(), runBar_, sent_.c_str(),
                     total_.c_str(), speed_.c_str(), timeLeft_.c_str(), file_.c_str(),
                     waiting_ ? "  (waiting for the server's answer)" : "");
        std::fflush(stderr);
        lineShown_ = true;
    }
    void ClearLine() {
        if (!lineShown_) return;
        std::fprintf(stderr, "\r\033[K");
        lineShown_ = false;
    }

    std::string title_;
    bool drawBar_;
    bool lineShown_ = false;
    bool waiting_ = false;  // the file is sent, its reply not yet read
    std::vector<std::string> names_;
    std::string file_, speed_, timeLeft_, sent_, total_;
    int runBar_ = 0;
};

// Returned by the steps of the command when it goes on.
constexpr int kGoOn = -1;

// Every file must be there before anything is sent.
int CollectFiles(const UploadOptions& o, std::vector<std::wstring>& paths, double& totalBytes) {
    FileSystem& fs = LocalFileSystem();
    for (const std::string& f : o.files) {
        std::wstring path = CorePath(f);
        uint64_t size = 0;
        if (!fs.FileSize(path, size)) {  // false for a folder too
            std::fprintf(stderr, "%s%s is not a readable file\n", MessagePrefix(), f.c_str());
            return 2;
        }
        paths.push_back(path);
        totalBytes += static_cast<double>(size);
    }
    return kGoOn;
}

void ApplySettings(const UploadOptions& o) {
    ResetProcessSettings();
    ProcessSettings& settings = Settings();
    settings.uploadUrl = FromUtf8(o.url);
    settings.existUrl = FromUtf8(o.existUrl);
    settings.formFileNameField = o.fieldNames[0];
    settings.formUniqueNameField = o.fieldNames[1];
    settings.formFileField = o.fieldNames[2];
    settings.expectContinue = o.expectContinue ? 1 : 0;
    settings.uploadTitle = FromUtf8(o.title);
}

// The files go through the file dialog's admission; without limits given,
// the budgets just fit them all.
int AdmitFiles(const UploadOptions& o, const std::vector<std::wstring>& paths, double totalBytes,
               UploadListModel& model) {
    double fitsAllMb = std::floor(totalBytes / 1048576.0) + 1;
    model.SetUseType(static_cast<int>(o.useType));
    model.SetLimitUploadSize(o.limitSize >= 0 ? o.limitSize : fitsAllMb);
    if (o.limitCount >= 0) model.SetLimitUploadCount(static_cast<int>(o.limitCount));
    model.SetLimitUploadBigSize(o.bigSize >= 0 ? o.bigSize : fitsAllMb);
    model.AddChosenFiles(paths);
    if (model.Entries().size() == paths.size()) return kGoOn;
    std::fprintf(stderr, "%s%zu of %zu file(s) admitted; nothing was uploaded\n", MessagePrefix(),
                 model.Entries().size(), paths.size());
    return 1;
}

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

// UploadStart on the terminal; the exit code.
int RunUpload(const UploadOptions& o, UploadListModel& model, TerminalMessageBox& boxes, bool interactive) {
    TerminalPrompts terminalPrompts(o, interactive);
    TerminalView view(Settings().uploadTitle, isatty(2) != 0);
    ThreadedUploadRunHost host(view, &interrupted);
    FixedCookieStore cookies(o.cookie);
    ModelUploadList list(model);

    UploadStartServices services;
    services.cookies = &cookies;
    services.controlBoxes = &boxes;
    services.runHost = &host;
    services.engine = PlatformUploadServices(boxes, terminalPrompts);
    CatchInterrupt();

    int result = UploadStart(0, Settings(), list, services);
    if (interrupted) {
        std::fprintf(stdout, "%supload interrupted\n", MessagePrefix());
        return 130;
    }
    if (terminalPrompts.UnattendedSkips() > 0) result = 0;
    std::fprintf(stdout, "%s%s\n", MessagePrefix(), result == 1 ? "upload complete" : "upload failed");
    if (result != 1) ReportConnectProblem(o.url);
    return result == 1 ? 0 : 1;
}

}  // namespace

int RunUploadCommand(int argc, char** argv) {
    UploadOptions options;
    int r = ParseUploadCommandLine(argc, argv, options);
    std::vector<std::wstring> paths;
    double totalBytes = 0;
    if (r == kRunCommand) r = CollectFiles(options, paths, totalBytes);
    if (r != kGoOn) return r;

    bool interactive = isatty(0) != 0;
    TerminalMessageBox boxes(interactive, IdNo);
    ApplySettings(options);
    UploadListHost listHost;
    listHost.messages = &boxes;
    listHost.files = &LocalFileSystem();
    UploadListModel model(listHost);
    r = AdmitFiles(options, paths, totalBytes, model);
    return r != kGoOn ? r : RunUpload(options, model, boxes, interactive);
}

}  // namespace parvex::cli
