// The race of a server's addresses on WinSock: a name whose first address
// drops the connection request and whose second is the reference mail
// server that the test command starts. The name's addresses come from the
// test's own network (no system file to edit); the sockets are the module's.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/socket.h"
#include "common/utf8.h"
#include "tests/support/fakes.h"
#include "tests/win/test_server_win.h"
#include "upload/upload_start.h"

using namespace parvex;

namespace {

NetAddress Loopback(uint8_t last) {
    NetAddress a;
    a.bytes[0] = 127;
    a.bytes[3] = last;
    return a;
}

// WinSock, with twin.test at 127.0.0.2 first and 127.0.0.1 second.
class TwinNetwork : public Network {
public:
    bool Resolve(const std::string& host, std::vector<NetAddress>& addresses) override {
        if (host != "twin.test") return PlatformNetwork().Resolve(host, addresses);
        addresses = {Loopback(2), Loopback(1)};
        return true;
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        return PlatformNetwork().Connect(address, port);
    }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        ++begun;
        return PlatformNetwork().BeginConnect(address, port);
    }
    int begun = 0;  // by the worker, read after its run
};

// A listener on 127.0.0.2 whose queue is full: connection requests to it
// are dropped unanswered, as by a host that is gone.
class DeadAddress {
public:
    explicit DeadAddress(u_short port) {
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(0x7F000002);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        listening = bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 0) == 0;
        for (SOCKET& s : fillers_) {
            s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
    }
    ~DeadAddress() {
        for (SOCKET s : fillers_) closesocket(s);
        closesocket(listener_);
    }
    bool listening = false;

private:
    SOCKET listener_;
    SOCKET fillers_[2];
};

struct Quiet : UploadProgressView, UploadPrompts {
    void SetText(int, const std::wstring&) override {}
    void ResetBar(int) override {}
    void SetBar(int, int) override {}
    void SetRowStatus(int, const std::wstring&) override {}
    void Close() override {}
    MessageAnswer AskSameFile(UploadPromptState&) override { return IdCancel; }
    MessageAnswer AskMissingFile(const std::wstring&) override { return IdCancel; }
};

struct OneFile : UploadListAccess {
    std::vector<UploadEntry> entries;
    std::vector<UploadEntry> Entries() override { return entries; }
    double TotalSize() override { return entries.empty() ? 0 : entries[0].size; }
    void Clear() override { entries.clear(); }
};

}  // namespace

TEST(ConnectRaceWin, ADeadFirstAddressGivesWayToTheLiveSecond) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    std::wstring port = parvex::testing::TestServerPort();
    ASSERT_FALSE(port.empty()) << "PARVEX_TEST_SERVER_PORT is not set";
    {
        DeadAddress dead(static_cast<u_short>(std::stoi(port)));
        ASSERT_TRUE(dead.listening);
        parvex::testing::TempDir dir;
        const std::string bytes = "over the second address";
        std::wstring path = dir.wpath() + L"\\twin-win.txt";
        parvex::testing::WriteAll(path, bytes);
        OneFile list;
        list.entries.push_back(UploadEntry());
        UploadEntry& e = list.entries.back();
        e.localPath = path;
        e.fileName = L"twin-win.txt";
        e.uniqueName = L"u.1";
        e.size = static_cast<double>(bytes.size());

        ProcessSettings settings;
        settings.uploadUrl = L"http://twin.test:" + port + L"/upload";
        settings.formFileNameField = L"name";
        settings.formUniqueNameField = L"unique";
        settings.formFileField = L"file";
        Quiet quiet;
        parvex::testing::RecordingMessageBox boxes;
        parvex::testing::FakeCookieStore cookies;
        TwinNetwork network;
        ThreadedUploadRunHost host(quiet);
        UploadStartServices services;
        services.cookies = &cookies;
        services.controlBoxes = &boxes;
        services.runHost = &host;
        services.engine = PlatformUploadServices(boxes, quiet);
        services.engine.network = &network;

        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(UploadStart(0, settings, list, services), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(network.begun, 2);
        EXPECT_EQ(parvex::testing::ReadAll(parvex::testing::TestServerStore() + L"\\twin-win.txt"), bytes);
    }
    WSACleanup();
}
