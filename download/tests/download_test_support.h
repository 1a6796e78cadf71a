// Doubles of the download dialog and prompts for the download tests: they
// record what the core shows and answer from scripts, from any thread.
#pragma once
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/download_engine.h"
#include "download/download_state.h"
#include "download/same_file.h"
#include "tests/support/fakes.h"
#include "tests/support/wait_for.h"

// Their own namespace: other test folders have doubles of the same names in
// the same test program.
namespace parvex::dltest {

using parvex::testing::RecordingMessageBox;

class RecordingView : public DownloadView {
public:
    struct Row {
        std::wstring name, status;
    };

    void SetCaption(const std::wstring& text) override {
        std::lock_guard<std::mutex> l(m_);
        caption_ = text;
    }
    void InsertRow(int row, const std::wstring& name) override {
        std::lock_guard<std::mutex> l(m_);
        if (row < 0 || row > static_cast<int>(rows_.size())) row = static_cast<int>(rows_.size());
        rows_.insert(rows_.begin() + row, Row{name, L""});
    }
    void SetRowStatus(int row, const std::wstring& status) override {
        std::lock_guard<std::mutex> l(m_);
        if (row >= 0 && row < static_cast<int>(rows_.size())) rows_[row].status = status;
        statusLog_.push_back(status);
    }
    void DeleteRow(int row) override {
        std::lock_guard<std::mutex> l(m_);
        if (row >= 0 && row < static_cast<int>(rows_.size())) rows_.erase(rows_.begin() + row);
        selected_.erase(row);
    }
    void DeleteAllRows() override {
        std::lock_guard<std::mutex> l(m_);
        rows_.clear();
        selected_.clear();
    }
    std::vector<int> SelectedRows() override {
        std::lock_guard<std::mutex> l(m_);
        return std::vector<int>(selected_.begin(), selected_.end());
    }
    void SetColumnWidths(int, int) override {}
    void SetText(int id, const std::wstring& text) override {
        std::lock_guard<std::mutex> l(m_);
        texts_[id] = text;
        ++textSets_[id];
    }
    void SetProgress(int id, int percent) override {
        std::lock_guard<std::mutex> l(m_);
        progress_[id] = percent;
        ++progressSets_[id];
    }
    void EnableControl(int id, bool enable) override {
        std::lock_guard<std::mutex> l(m_);
        enabled_[id] = enable;
    }
    MessageBoxHost& Messages() override { return messages; }

    void Select(std::set<int> rows) {
        std::lock_guard<std::mutex> l(m_);
        selected_ = std::move(rows);
    }
    std::vector<Row> Rows() {
        std::lock_guard<std::mutex> l(m_);
        return rows_;
    }
    // Every status set, in order.
    std::vector<std::wstring> StatusLog() {
        std::lock_guard<std::mutex> l(m_);
        return statusLog_;
    }
    std::wstring Text(int id) {
        std::lock_guard<std::mutex> l(m_);
        return texts_[id];
    }
    int TextSets(int id) {
        std::lock_guard<std::mutex> l(m_);
        return textSets_[id];
    }
    int ProgressSets(int id) {
        std::lock_guard<std::mutex> l(m_);
        return progressSets_[id];
    }
    int Progress(int id) {
        std::lock_guard<std::mutex> l(m_);
        return progress_[id];
    }
    bool Enabled(int id) {
        std::lock_guard<std::mutex> l(m_);
        auto it = enabled_.find(id);
        return it == enabled_.end() || it->second;
    }
    std::wstring Caption() {
        std::lock_guard<std::mutex> l(m_);
        return caption_;
    }

    RecordingMessageBox messages;

private:
    std::mutex m_;
    std::wstring caption_;
    std::vector<Row> rows_;
    std::vector<std::wstring> statusLog_;
    std::set<int> selected_;
    std::map<int, std::wstring> texts_;
    std::map<int, int> textSets_;
    std::map<int, int> progress_;
    std::map<int, int> progressSets_;
    std::map<int, bool> enabled_;
};

// The engine the queue runs in every test.
inline DownloadEngine* TestEngine() {
    static HttpDownloadEngine engine;
    return &engine;
}

class TestDialog : public DownloadDialog {
public:
    DownloadView& View() override { return view; }
    void SendMerge(DownloadDialogCalls& state) override {
        ++merges;
        DownloadDialog::SendMerge(state);
    }
    void SendClose() override { closed = true; }
    RecordingView view;
    std::atomic<int> merges{0};
    std::atomic<bool> closed{false};
};

class TestDialogFactory : public DownloadDialogFactory {
public:
    std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls&) override {
        ++created;
        last = std::make_shared<TestDialog>();
        return last;
    }
    std::shared_ptr<TestDialog> last;
    int created = 0;
};

// Name entry answered from a script: each text is typed and OK pressed; the
// text kCancel presses cancel instead. An exhausted script cancels.
class ScriptedNamePrompt : public NameEntryPrompt {
public:
    static constexpr const wchar_t* kCancel = L"<cancel>";
    bool Run(NameEntryLogic& logic) override {
        ++runs;
        proposals.push_back(logic.Open());
        while (!script.empty()) {
            std::wstring text = script.front();
            script.pop_front();
            if (text == kCancel) return false;
            if (logic.Ok(text)) return true;
        }
        return false;
    }
    std::deque<std::wstring> script;
    std::vector<std::wstring> proposals;
    int runs = 0;
};

// The same-file prompt answered by a function per showing.
class ScriptedSamePrompt : public SameFilePrompt {
public:
    bool Run(SameFileLogic& logic) override {
        ++runs;
        logic.Open();
        names.push_back(logic.NameText());
        sizes.push_back(logic.SizeText());
        return answer(logic);
    }
    // Presses buttons in order until one ends the prompt: 'o' overwrite,
    // 'r' rename, 'c' cancel, 'x' close box, 'a' the apply-to-all box.
    static bool Press(SameFileLogic& logic, const std::string& buttons) {
        for (char b : buttons) {
            PromptEnd end = PromptEnd::StayOpen;
            switch (b) {
            case 'o': end = logic.Overwrite(); break;
            case 'r': end = logic.Rename(); break;
            case 'c': end = logic.Cancel(); break;
            case 'x': end = logic.Close(); break;
            case 'a': logic.ToggleApplyToAll(); break;
            }
            if (end != PromptEnd::StayOpen) return end == PromptEnd::Ok;
        }
        return false;
    }
    std::function<bool(SameFileLogic&)> answer = [](SameFileLogic& l) { return Press(l, "c"); };
    std::vector<std::wstring> names, sizes;
    int runs = 0;
};

// The doubles a download state needs, wired into one platform. Fixtures
// derive from it and point the host URL at their server.
struct DownloadTestRig {
    parvex::testing::MemorySettingsStore store;
    parvex::testing::FakeCookieStore cookies;
    RecordingMessageBox promptBoxes;
    ScriptedSamePrompt same;
    ScriptedNamePrompt names;
    TestDialogFactory factory;
    Clock* clock = nullptr;    // the system clock when null
    FileSystem* fs = nullptr;  // the platform's files when null
    Network* network = nullptr;  // the platform's when null
    std::unique_ptr<DownloadState> state;

    // Remembers saveFolder as the stored save folder.
    void StoreSaveFolder(const std::wstring& saveFolder) {
        store.keyExists = true;
        store.values[L"DownSavePath"] = saveFolder;
    }
    // A fresh state on the doubles.
    void MakeState() {
        state.reset();
        DownloadPlatform platform;
        platform.engine = TestEngine();
        platform.store = &store;
        platform.cookies = &cookies;
        platform.promptMessages = &promptBoxes;
        platform.sameFilePrompt = &same;
        platform.nameEntryPrompt = &names;
        platform.dialogFactory = &factory;
        platform.clock = clock;
        platform.fs = fs;
        platform.network = network;
        state = std::make_unique<DownloadState>(platform);
        // Broken transfers are tried again at once; the real waits have a
        // test of their own.
        state->SetResuming(ResumePolicy{true, 3, kRetryWaitMs});
    }
    static constexpr uint32_t kRetryWaitMs = 10;
};

using parvex::testing::WaitFor;

}  // namespace parvex::dltest
