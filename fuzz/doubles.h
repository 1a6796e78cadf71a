// The doubles the fuzz targets share: a peer that answers with the fuzzer's
// bytes and message boxes nobody sees.
#pragma once
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <cstring>
#include <memory>
#include <string>

#include "common/message_box.h"
#include "common/socket.h"
#include "uploadlist/upload_list.h"

namespace parvex::fuzz {

// Hands the reply over in pieces of a size the input chooses, then closes;
// takes whatever is sent.
class ScriptedSocket : public Socket {
public:
    ScriptedSocket(std::string reply, size_t piece) : reply_(std::move(reply)), piece_(piece ? piece : 1) {}
    bool SendAll(const void*, size_t) override { return true; }
    IoResult Recv(void* buffer, size_t count) override {
        size_t n = std::min({count, piece_, reply_.size() - pos_});
        std::memcpy(buffer, reply_.data() + pos_, n);
        pos_ += n;
        return IoResult::Received(n);
    }
    long Available() override { return static_cast<long>(std::min(piece_, reply_.size() - pos_)); }
    int WaitReadable(int) override { return 1; }
    void Shutdown() override {}

private:
    std::string reply_;
    size_t piece_;
    size_t pos_ = 0;
};

// Every connection gets the same scripted reply.
class ScriptedNetwork : public Network {
public:
    ScriptedNetwork(std::string reply, size_t piece) : reply_(std::move(reply)), piece_(piece) {}
    bool Resolve(const std::string&, std::vector<NetAddress>& addresses) override {
        addresses.assign(1, NetAddress());
        return true;
    }
    std::unique_ptr<Socket> Connect(const NetAddress&, uint16_t) override {
        return std::make_unique<ScriptedSocket>(reply_, piece_);
    }

private:
    std::string reply_;
    size_t piece_;
};

// A folder of the process's own under TMPDIR, in the platform's spelling and
// in the core's ("\" separators), removed at the end.
struct TempFolder {
    std::filesystem::path path;
    std::wstring core;
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "parvex-fuzz-XXXXXX").string();
        path = mkdtemp(&pattern[0]);
        core = path.wstring();
        for (wchar_t& c : core)
            if (c == L'/') c = L'\\';
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    // Empties the folder for the next input.
    void Clear() {
        std::error_code ec;
        for (auto& item : std::filesystem::directory_iterator(path, ec)) std::filesystem::remove_all(item.path(), ec);
    }
};

// Answers every box with its first button.
class QuietBoxes : public MessageBoxHost {
public:
    MessageAnswer Show(const std::wstring&, const std::wstring&, unsigned style) override {
        ++shown;
        return (style & 0xF) == MbYesNo ? IdYes : IdOk;
    }
    int shown = 0;
};

// An upload list whose boxes nobody sees.
struct QuietList {
    QuietBoxes boxes;
    UploadListModel model{Host()};
    UploadListHost Host() {
        UploadListHost host;
        host.messages = &boxes;
        return host;
    }
};

}  // namespace parvex::fuzz
