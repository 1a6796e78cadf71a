// Remembered values in a small text file: "name=value" lines in UTF-8, at
// $PARVEX_SETTINGS or ~/.config/parvex/settings. The file plays the part of
// the registry key: it exists or it does not.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "settings_store.h"
#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

std::string SettingsFilePath() {
    if (const char* p = std::getenv("PARVEX_SETTINGS")) return p;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/parvex/settings";
}

class FileSettingsStore : public SettingsStore {
public:
    bool Open() override {
        std::string path = SettingsFilePath();
        std::ifstream in(path);
        if (!in) {
            // A missing file is the missing key of the registry; traced all the same.
            TraceFailure(L"open settings", FromUtf8(path), errno);
            return false;
        }
        values_.clear();
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
        }
        open_ = true;
        return true;
    }
    bool Create() override {
        std::string path = SettingsFilePath();
        for (size_t i = 1; i < path.size(); ++i)
            if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0700);
        values_.clear();
        open_ = Save();
        return open_;
    }
    StoreResult Read(const std::wstring& name, std::wstring& value) override {
        if (!open_) return StoreResult::Error;
        auto it = values_.find(ToUtf8(name));
        if (it == values_.end()) return StoreResult::NotFound;
        value = FromUtf8(it->second);
        return StoreResult::Ok;
    }
    bool Write(const std::wstring& name, const std::wstring& value) override {
        if (!open_) return false;
        std::string v = ToUtf8(value);
        // A line break would split the value on the next read.
        if (v.find('\n') != std::string::npos) return false;
        values_[ToUtf8(name)] = v;
        return Save();
    }
    bool Remove(const std::wstring& name) override {
        if (!open_) return false;
        return values_.erase(ToUtf8(name)) == 0 || Save();
    }
    void Close() override { open_ = false; }

private:
    bool Save() {
        std::string path = SettingsFilePath();
        errno = 0;
        std::ofstream out(path, std::ios::trunc);
        for (auto& kv : values_) out << kv.first << '=' << kv.second << '\n';
        if (out.flush()) return true;
        TraceFailure(L"write settings", FromUtf8(path), errno);
        return false;
    }
    std::map<std::string, std::string> values_;
    bool open_ = false;
};

}  // namespace

std::unique_ptr<SettingsStore> MakePlatformSettingsStore() { return std::make_unique<FileSettingsStore>(); }

}  // namespace parvex
