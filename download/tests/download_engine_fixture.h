// The download engine against the reference mail server started for each
// test: a save folder, a served folder and the helpers the engine tests share.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/settings.h"
#include "download_test_support.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/test_data.h"

namespace parvex::dltest {

using parvex::testing::HashOfBytes;
using parvex::testing::HashOfFile;
using parvex::testing::MailServerProcess;
using parvex::testing::TempDir;

// Percent-escapes a fault value for the server's query string.
inline std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '.' || c == '-' || c == '_' || c == '/') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

struct DownloadEngineTest : ::testing::Test, DownloadTestRig {
    TempDir serve, save;
    std::unique_ptr<MailServerProcess> server;
    // Set before SetUp to have the server speak TLS and be named otherwise.
    std::vector<std::string> serverOptions;
    std::string serverHost = "127.0.0.1";

    void SetUp() override {
        std::vector<std::string> options = {"--serve", serve.path().string()};
        options.insert(options.end(), serverOptions.begin(), serverOptions.end());
        server = std::make_unique<MailServerProcess>(options);
        StoreSaveFolder(save.wpath());
        const std::string url = server->Url("/", serverHost);
        Settings().downloadHostUrl = std::wstring(url.begin(), url.end());
        MakeState();
    }
    void TearDown() override {
        state.reset();
        server.reset();
        ResetProcessSettings();
        Settings().downloadHostUrl.clear();
    }
    std::string Serve(const std::string& name, const std::string& bytes) {
        serve.Write(std::filesystem::u8path(name), bytes);
        return HashOfBytes(bytes);
    }
    std::filesystem::path Saved(const std::string& name) { return save.path() / std::filesystem::u8path(name); }
    std::string SavedHash(const std::string& name) { return HashOfFile(Saved(name).string()); }
    void Queue(const std::wstring& path, const std::wstring& name, double size = 0) {
        int count = 1;
        state->AddDownloadFile(path, name, size, count);
    }
    TestDialog& Open() {
        state->DownloadStart();
        return *factory.last;
    }
    // Opens the dialog, runs the whole queue and returns the dialog.
    TestDialog& Run() {
        TestDialog& dialog = Open();
        state->StartRun();
        state->WaitRunFinished();
        return dialog;
    }
    void Close() {
        state->CancelOrClose();
        state->WaitSessionClosed();
    }
    std::vector<std::wstring> Statuses(TestDialog& dialog) {
        std::vector<std::wstring> out;
        for (auto& r : dialog.view.Rows()) out.push_back(r.status);
        return out;
    }
    std::wstring Summary(TestDialog& dialog) {
        for (auto& s : dialog.view.messages.shown)
            if (s.caption == L"Download Complete Infomation") return s.text;
        return L"";
    }
    // The summary lines of names refused one after the other from row 0.
    static std::wstring RefusedLines(const std::vector<std::wstring>& names) {
        std::wstring lines;
        for (size_t i = 0; i < names.size(); ++i)
            lines += FormatText(L"%d. %ls -> 파일생성실패\r\n", static_cast<int>(i), names[i].c_str());
        return lines;
    }
    std::string Fault(const std::string& query) { return server->Get("/__fault?" + query); }
    // Fetches path as name in a dialog of its own until the server holds it
    // part-way, then cancels, answering the delete question with answer.
    void CancelPartWay(const std::wstring& path, const std::wstring& name, double size, MessageAnswer answer) {
        Fault("rate=200000&hold=100000&target=download&count=1");
        Queue(path, name, size);
        TestDialog& dialog = Open();
        dialog.view.messages.answers.push_back(answer);
        state->StartRun();
        ASSERT_TRUE(WaitFor([&] { return dialog.view.ProgressSets(IdcDnFileProgress) > 2; }));
        state->CancelOrClose();
        state->WaitRunFinished();
        Close();
    }
    // One entry in a dialog of its own, with a fault for each of its
    // requests (the first and every retry); the summary box's text comes back.
    std::wstring RunOne(const std::wstring& path, const std::wstring& name, const std::string& fault) {
        if (!fault.empty()) {
            EXPECT_EQ(Fault(fault + "&target=download"), "ok");
        }
        Queue(path, name, 10);
        TestDialog& dialog = Run();
        std::wstring summary = Summary(dialog);
        EXPECT_EQ(Statuses(dialog), std::vector<std::wstring>{L"실 패"});
        Close();
        if (!fault.empty()) server->Get("/__reset");
        return summary;
    }
};

}  // namespace parvex::dltest
