// Doubles for the upload engine's tests: a recording progress view, scripted
// prompts, a list, and wrappers that watch or spoil the real network and
// file system.
#pragma once
#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/file_system.h"
#include "common/format.h"
#include "common/socket.h"
#include "common/utf8.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_files.h"
#include "tests/support/test_data.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/ports.h"
#include "tests/support/wait_for.h"
#include "upload/upload_start.h"

namespace parvex::testing {

class RecordingView : public UploadProgressView {
public:
    struct Text {
        int id;
        std::wstring text;
    };
    // Called (outside the lock) after each change, on the worker thread.
    std::function<void(int id, const std::wstring& text)> onText;
    std::function<void(int id, int position)> onBar;
    std::function<void(int row, const std::wstring& status)> onRow;

    void RunOpened(const CUploadProgress& dialog) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++runs_;
        statusLines_.push_back(dialog.statusText);
        rows_.assign(dialog.runEntries.size(), L"대기");
        rowHistory_.assign(dialog.runEntries.size(), {});
        runNames_.emplace_back();
        for (auto* e : dialog.runEntries) runNames_.back().push_back(e->fileName);
    }
    void RunEnded(const CUploadProgress& dialog) override {
        std::lock_guard<std::mutex> lock(mutex_);
        logs_.push_back(dialog.runLog);
        cancelled_.push_back(dialog.Cancelled());
        finalRows_.push_back(rows_);
    }
    std::vector<std::wstring> logs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return logs_;
    }
    std::vector<bool> cancelled() {
        std::lock_guard<std::mutex> lock(mutex_);
        return cancelled_;
    }
    // Row statuses of every run as it ended.
    std::vector<std::vector<std::wstring>> finalRows() {
        std::lock_guard<std::mutex> lock(mutex_);
        return finalRows_;
    }
    void SetText(int id, const std::wstring& text) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            texts_.push_back({id, text});
        }
        if (onText) onText(id, text);
    }
    void ResetBar(int id) override { SetBar(id, 0); }
    void SetBar(int id, int position) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bars_[id] = position;
        }
        if (onBar) onBar(id, position);
    }
    void SetRowStatus(int row, const std::wstring& status) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (row >= 0 && static_cast<size_t>(row) < rows_.size()) {
                rows_[row] = status;
                rowHistory_[row].push_back(status);
            }
        }
        if (onRow) onRow(row, status);
    }
    void Close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++closes_;
    }

    // Snapshots, read after the run.
    int runs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return runs_;
    }
    int closes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return closes_;
    }
    std::vector<std::wstring> rows() {
        std::lock_guard<std::mutex> lock(mutex_);
        return rows_;
    }
    std::vector<std::wstring> statusLines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return statusLines_;
    }
    std::vector<std::vector<std::wstring>> runNames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return runNames_;
    }
    std::vector<std::wstring> TextsOf(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::wstring> out;
        for (auto& t : texts_)
            if (t.id == id) out.push_back(t.text);
        return out;
    }
    int bar(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        return bars_.count(id) ? bars_[id] : -1;
    }

private:
    std::mutex mutex_;
    int runs_ = 0, closes_ = 0;
    std::vector<std::wstring> rows_, statusLines_;
    std::vector<std::vector<std::wstring>> rowHistory_, runNames_;
    std::vector<Text> texts_;
    std::vector<std::wstring> logs_;
    std::vector<bool> cancelled_;
    std::vector<std::vector<std::wstring>> finalRows_;
    std::map<int, int> bars_;
};

// Answers the prompts from queues; an empty queue skips.
class ScriptedPrompts : public UploadPrompts {
public:
    struct SameAnswer {
        MessageAnswer result = IdCancel;
        int choice = UploadSameNone;
        std::wstring newName;  // for UploadSameRename
        bool tickAll = false;
        std::function<void()> before;  // runs while the prompt is "open"
    };
    std::deque<SameAnswer> same;
    std::deque<MessageAnswer> missing;
    std::function<void()> onMissing;
    std::vector<std::wstring> askedSame, askedMissing;
    std::vector<double> askedSizes;

    MessageAnswer AskSameFile(UploadPromptState& state) override {
        askedSame.push_back(state.sameFileName);
        askedSizes.push_back(state.sameFileSize);
        if (same.empty()) return IdCancel;
        SameAnswer a = same.front();
        same.pop_front();
        if (a.before) a.before();
        if (a.tickAll) state.applyToAll = true;
        if (a.choice == UploadSameRename) {
            ApplySameFileRename(state, a.newName);
        } else {
            state.sameFileChoice = a.choice;
        }
        return a.result;
    }
    MessageAnswer AskMissingFile(const std::wstring& name) override {
        askedMissing.push_back(name);
        if (onMissing) onMissing();
        if (missing.empty()) return IdOk;
        MessageAnswer a = missing.front();
        missing.pop_front();
        return a;
    }
};

class VectorList : public UploadListAccess {
public:
    std::vector<UploadEntry> entries;
    int clears = 0;
    std::vector<UploadEntry> Entries() override { return entries; }
    double TotalSize() override {
        double t = 0;
        for (auto& e : entries) t += e.size;
        return t;
    }
    void Clear() override {
        entries.clear();
        ++clears;
    }
};

// The real network, counting connections and recording the size of every
// send (over TLS: of the records); onSend runs after each send (on the
// sending thread).
class WatchingNetwork : public Network {
public:
    // Written by the worker thread, read by the test thread.
    std::vector<size_t> sends;  // of all sockets, in order, under mutex_
    std::atomic<int> connects{0};
    std::atomic<int> blockedSends{0};  // sends that found the peer's window full
    std::function<void(size_t count)> onSend;  // set before the run starts
    // Runs on the waiting thread each time a wait for the peer's bytes has
    // spent a slice without any, that is while the worker waits on the
    // server; gets the number of sends so far. Set before the run starts.
    std::function<void(size_t sends)> onIdleWait;
    // Names with addresses of the test's own, in that order (no system file
    // to edit); the resolver answers for the others.
    std::map<std::string, std::vector<NetAddress>> names;
    bool Resolve(const std::string& host, std::vector<NetAddress>& addresses) override {
        if (!names.count(host)) return PlatformNetwork().Resolve(host, addresses);
        addresses = names.at(host);
        return true;
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        return ConnectBounded(*this, address, port, ServerWait(), kConnectTimeoutMs);
    }
    // The watched sockets carry TLS records when the upload URL is https.
    std::unique_ptr<TlsSession> StartTls(const std::string& host) override { return PlatformNetwork().StartTls(host); }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        ++connects;
        auto real = PlatformNetwork().BeginConnect(address, port);
        if (!real) return nullptr;
        return std::make_unique<Watched>(std::move(real), *this);
    }
    std::vector<size_t> Sends() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sends;
    }

private:
    class Watched : public Socket {
    public:
        Watched(std::unique_ptr<Socket> s, WatchingNetwork& n) : s_(std::move(s)), n_(n) {}
        bool SendAll(const void* d, size_t n) override {
            Record(n);
            return s_->SendAll(d, n);
        }
        IoResult SendSome(const void* d, size_t n) override {
            IoResult sent = s_->SendSome(d, n);
            if (sent.status == IoStatus::Later) ++n_.blockedSends;
            if (sent.HasBytes()) Record(sent.bytes);
            return sent;
        }
        IoResult Recv(void* b, size_t n) override { return s_->Recv(b, n); }
        long Available() override { return s_->Available(); }
        int WaitReadable(int ms) override {
            int r = s_->WaitReadable(ms);
            if (r == 0 && ms > 0 && n_.onIdleWait) n_.onIdleWait(n_.Sends().size());
            return r;
        }
        int WaitWritable(int ms) override { return s_->WaitWritable(ms); }
        int WaitConnected(int ms) override { return s_->WaitConnected(ms); }
        void Shutdown() override { s_->Shutdown(); }

    private:
        void Record(size_t n) {
            {
                std::lock_guard<std::mutex> lock(n_.mutex_);
                n_.sends.push_back(n);
            }
            if (n_.onSend) n_.onSend(n);
        }
        std::unique_ptr<Socket> s_;
        WatchingNetwork& n_;
    };
    std::mutex mutex_;
};

// The real file system, except that files read short by `shortBy` bytes
// while still reporting their full size.
class ShortReadingFiles : public ForwardingFileSystem {
public:
    long long shortBy = 0;
    std::unique_ptr<File> OpenRead(const std::wstring& p, bool exclusive) override {
        auto f = inner_.OpenRead(p, exclusive);
        if (!f) return nullptr;
        return std::make_unique<Short>(std::move(f), shortBy);
    }

private:
    class Short : public ForwardingFile {
    public:
        Short(std::unique_ptr<File> f, long long by) : ForwardingFile(std::move(f)), left_(f_->Size() - by) {}
        long long Read(void* b, size_t n) override {
            if (left_ <= 0) return 0;
            long long got = f_->Read(b, static_cast<size_t>(std::min<long long>(static_cast<long long>(n), left_)));
            if (got > 0) left_ -= got;
            return got;
        }

    private:
        long long left_;
    };
};

// The real file system, counting the bytes read from every file (on the
// reading thread; read by the test's).
class ReadCountingFiles : public ForwardingFileSystem {
public:
    std::atomic<uint64_t> bytesRead{0};
    std::unique_ptr<File> OpenRead(const std::wstring& p, bool exclusive) override {
        auto f = inner_.OpenRead(p, exclusive);
        if (!f) return nullptr;
        return std::make_unique<Counted>(std::move(f), bytesRead);
    }

private:
    class Counted : public ForwardingFile {
    public:
        Counted(std::unique_ptr<File> f, std::atomic<uint64_t>& count) : ForwardingFile(std::move(f)), count_(count) {}
        long long Read(void* b, size_t n) override {
            long long got = f_->Read(b, n);
            if (got > 0) count_ += static_cast<uint64_t>(got);
            return got;
        }

    private:
        std::atomic<uint64_t>& count_;
    };
};

// A clock that moves 100 ms at every reading, so that refresh throttles can
// be watched without waiting.
class SteppingClock : public Clock {
public:
    std::atomic<uint32_t> tick{5000};
    uint32_t TickMs() override { return tick.fetch_add(100) + 100; }
    void SleepMs(uint32_t ms) override { tick += ms; }
    LocalTime Now() override { return LocalTime(); }
};

// Sets the cancel of the run in progress as soon as `ready` holds, and keeps
// the moment it did.
class CancelWhen {
public:
    explicit CancelWhen(std::function<bool()> ready)
        : t_([this, ready] {
              WaitFor(ready, 30000);
              at_ = std::chrono::steady_clock::now();
              CancelUploadRun();
          }) {}
    ~CancelWhen() { Join(); }
    void Join() {
        if (t_.joinable()) t_.join();
    }
    // Time from the cancel to now.
    std::chrono::steady_clock::duration Since() {
        Join();
        return std::chrono::steady_clock::now() - at_;
    }

private:
    std::chrono::steady_clock::time_point at_;  // written by t_, read after joining it
    std::thread t_;
};

// Everything one UploadStart call needs, wired to the real loopback network.
struct UploadHarness {
    MailServerProcess& server;
    TempDir dir;
    VectorList list;
    RecordingView view;
    ScriptedPrompts prompts;
    RecordingMessageBox dialogBoxes;   // owned by the progress dialog
    RecordingMessageBox controlBoxes;  // owned by the control
    FakeCookieStore cookies;
    WatchingNetwork network;
    ProcessSettings settings;
    UploadStartServices services;
    ThreadedUploadRunHost host{view};
    FileSystem* files = &LocalFileSystem();
    Clock* clock = &SystemClock();
    // Only a silent server runs into this; tests that want one set it short.
    // Long by default so that a slow machine never turns a late answer into
    // a failure.
    uint32_t timeoutMs = 60000;
    uint32_t connectTimeoutMs = kConnectTimeoutMs;

    explicit UploadHarness(MailServerProcess& s) : server(s) {
        settings.uploadUrl = Widen(s.Url("/upload"));
        settings.formFileNameField = L"name";
        settings.formUniqueNameField = L"unique";
        settings.formFileField = L"file";
    }
    static std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

    // Writes a local file and lists it.
    UploadEntry& Add(const std::wstring& name, const std::string& bytes, int kind = KindGeneral) {
        auto path = dir.Write(std::filesystem::path(ToUtf8(name)), bytes);
        UploadEntry e;
        e.localPath = FromUtf8(path.string());
        e.fileName = name;
        e.uniqueName = L"u." + std::to_wstring(list.entries.size() + 1);
        e.kind = kind;
        e.size = static_cast<double>(bytes.size());
        e.listIndex = static_cast<int>(list.entries.size());
        list.entries.push_back(e);
        return list.entries.back();
    }
    int Start() { return StartWith(list, host); }
    int StartWith(UploadListAccess& entries, UploadRunHost& runHost) {
        services.cookies = &cookies;
        services.controlBoxes = &controlBoxes;
        services.runHost = &runHost;
        services.engine.network = &network;
        services.engine.files = files;
        services.engine.clock = clock;
        services.engine.boxes = &dialogBoxes;
        services.engine.prompts = &prompts;
        services.engine.silentServerTimeoutMs = timeoutMs;
        services.engine.connectTimeoutMs = connectTimeoutMs;
        return UploadStart(0, settings, entries, services);
    }
    std::string Stored(const std::string& name) { return ReadWholeFile(server.storeDir() + "/" + name); }
};

}  // namespace parvex::testing
