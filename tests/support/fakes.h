// Test doubles of the platform interfaces, shared by every test program.
#pragma once
#include <cstring>
#include <cwchar>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/cookies.h"
#include "common/message_box.h"
#include "common/settings_store.h"

namespace parvex::testing {

// A settings key in memory, with switches for the failures a registry has.
class MemorySettingsStore : public SettingsStore {
public:
    bool keyExists = false;
    bool createFails = false;
    bool readFails = false;  // any error other than "value missing"
    bool writeFails = false;  // a key the user may read but not write
    bool isOpen = false;
    std::map<std::wstring, std::wstring> values;
    int writes = 0;

    bool Open() override { return isOpen = keyExists; }
    bool Create() override {
        if (createFails) return false;
        keyExists = true;
        return isOpen = true;
    }
    StoreResult Read(const std::wstring& name, std::wstring& value) override {
        if (!isOpen || readFails) return StoreResult::Error;
        auto it = values.find(name);
        if (it == values.end()) return StoreResult::NotFound;
        value = it->second;
        return StoreResult::Ok;
    }
    bool Write(const std::wstring& name, const std::wstring& value) override {
        if (!isOpen || writeFails) return false;
        values[name] = value;
        ++writes;
        return true;
    }
    bool Remove(const std::wstring& name) override {
        if (!isOpen || writeFails) return false;
        values.erase(name);
        return true;
    }
    void Close() override { isOpen = false; }
};

// Cookies per URL with the size negotiation of the platform call.
class FakeCookieStore : public CookieStore {
public:
    std::map<std::wstring, std::wstring> cookies;
    std::vector<std::wstring> askedUrls;
    int calls = 0;

    bool GetCookie(const std::wstring& url, wchar_t* buffer, uint32_t* size) override {
        ++calls;
        askedUrls.push_back(url);
        auto it = cookies.find(url);
        if (it == cookies.end()) return false;
        uint32_t needed = static_cast<uint32_t>(it->second.size()) + 1;
        if (*size < needed) {
            *size = needed;
            return false;
        }
        std::wmemcpy(buffer, it->second.c_str(), needed);
        *size = needed;
        return true;
    }
};

// Records every message box and answers from a queue (IdOk when it is empty).
class RecordingMessageBox : public MessageBoxHost {
public:
    struct Shown {
        std::wstring text, caption;
        unsigned style;
    };
    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers;

    MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        std::lock_guard<std::mutex> lock(mutex_);
        shown.push_back({text, caption, style});
        if (answers.empty()) return (style & 0xF) == MbYesNo ? IdNo : IdOk;
        MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown.size();
    }

private:
    std::mutex mutex_;
};

// A clock that moves only when told to; SleepMs advances it.
class FakeClock : public Clock {
public:
    uint32_t tick = 1000;
    LocalTime now;
    uint32_t TickMs() override { return tick; }
    void SleepMs(uint32_t ms) override { tick += ms; }
    LocalTime Now() override { return now; }
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("parvex-test-" + std::to_string(rd()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::wstring wpath() const { return path_.wstring(); }
    // Writes a file of the given bytes and returns its full path.
    std::filesystem::path Write(const std::filesystem::path& name, const std::string& bytes) const {
        auto p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

private:
    std::filesystem::path path_;
};

}  // namespace parvex::testing
