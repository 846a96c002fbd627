// The libcurl transport against a raw HTTP server on 127.0.0.1: the headers it
// sends, the body-size limit to the byte, and the header list it must free.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "host/PlatformInfo.h"
#include "restclient/CurlTransport.h"
#include "tests/support/ScopedTempDir.h"

namespace {

using afs_rest::CCurlTransport;

// Answers each of `bodySizes` in turn (one connection each) with that many
// bytes, and keeps the request heads it read.
class CRawServer {
public:
    explicit CRawServer(std::vector<size_t> bodySizes) {
        nListen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (bind(nListen, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(nListen, 4) != 0 ||
            getsockname(nListen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("CRawServer: cannot listen");
        uPort = ntohs(address.sin_port);
        thread = std::thread([this, bodySizes] {
            for (size_t bytes : bodySizes) Answer(accept(nListen, nullptr, nullptr), bytes);
        });
    }
    ~CRawServer() {
        thread.join();
        close(nListen);
    }
    uint16_t uPort = 0;
    std::vector<std::string> listHeads;

private:
    void Answer(int connection, size_t bytes) {
        std::string head;
        char buffer[4096];
        ssize_t got = 0;
        while (head.find("\r\n\r\n") == std::string::npos && (got = recv(connection, buffer, sizeof(buffer), 0)) > 0)
            head.append(buffer, static_cast<size_t>(got));
        listHeads.push_back(head);
        const auto sendAll = [connection](const char* data, size_t size) {
            for (ssize_t put = 0; size > 0; data += put, size -= static_cast<size_t>(put))
                if ((put = send(connection, data, size, MSG_NOSIGNAL)) <= 0) return false;  // the client gave up
            return true;
        };
        const std::string status = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bytes) + "\r\n\r\n";
        const std::string block(size_t{1} << 20, 'x');
        bool bOpen = sendAll(status.data(), status.size());
        for (size_t left = bytes; bOpen && left > 0; left -= std::min(left, block.size()))
            bOpen = sendAll(block.data(), std::min(left, block.size()));
        close(connection);
    }
    int nListen = -1;
    std::thread thread;
};

afs_rest::ServerAddress Local(uint16_t port) {
    afs_rest::ServerAddress address;
    address.strScheme = "http";
    address.strHost = "127.0.0.1";
    address.uPort = port;
    return address;
}

TEST(CurlTransport, BodiesUpToTheLimitArriveWholeAndOneByteMoreFails) {
    const size_t kLimit = CCurlTransport::kMaxBodyBytes;
    CRawServer server({kLimit, kLimit + 1});
    CCurlTransport transport(Local(server.uPort), "user", "pw", afs_rest::TransportSettings());
    afs_rest::HttpResponse response;
    transport.Perform(afs_rest::HttpRequest{"GET", "big", ""}, response);
    EXPECT_EQ(afs_rest::eAnswered, response.eOutcome) << response.strError;
    EXPECT_EQ(200, response.lStatus);
    EXPECT_EQ(kLimit, response.strBody.size());
    transport.Perform(afs_rest::HttpRequest{"GET", "bigger", ""}, response);
    EXPECT_EQ(afs_rest::eFailed, response.eOutcome);
    EXPECT_EQ("the response is larger than 268435456 bytes", response.strError);
    EXPECT_EQ(0u, response.strBody.size());
    ASSERT_EQ(2u, server.listHeads.size());
    EXPECT_EQ(0u, server.listHeads[0].find("GET /api/nutanix/v3/big HTTP/1.1\r\n")) << server.listHeads[0];
    for (const char* header : {"\r\nContent-Type: application/json\r\n", "\r\nAccept: application/json\r\n",
                               "\r\nAuthorization: Basic dXNlcjpwdw==\r\n"})
        EXPECT_NE(std::string::npos, server.listHeads[0].find(header)) << header;
}

// A leaked header list shows as heap that stays in use after the transports are gone.
TEST(CurlTransport, TransportsLeaveNoMemoryBehind) {
    const auto make = [](int count) {
        for (int i = 0; i < count; ++i) CCurlTransport(Local(9), "user", "pw", afs_rest::TransportSettings());
    };
    make(20);
    const size_t uBefore = mallinfo2().uordblks;
    make(1000);
    EXPECT_LT(mallinfo2().uordblks, uBefore + 16 * 1024);
}

TEST(CurlTransport, SettingsFallBackToDefaultsAndAreCutToOneDay) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "10 300 [] 0"},
        {"[RestClient]\nConnectTimeoutSeconds = 5\nTransferTimeoutSeconds = 0\nCABundle = /ca.pem\n"
         "InsecureSkipTLSVerify = 1\n", "5 300 [/ca.pem] 1"},
        {"[RestClient]\nConnectTimeoutSeconds = x\nTransferTimeoutSeconds = 86401\nInsecureSkipTLSVerify = 2\n",
         "10 86400 [] 0"},
        {"[RestClient]\nConnectTimeoutSeconds = 86400\nTransferTimeoutSeconds = 7\n[Other]\nCABundle = /x\n",
         "86400 7 [] 0"},
    };
    CScopedTempDir tempDir;
    for (const auto& test : cases) {
        const afs_rest::TransportSettings settings =
            afs_rest::LoadTransportSettings(ZKPlatformInfo(tempDir.WriteFile("settings.ini", test.first)));
        EXPECT_EQ(test.second, std::to_string(settings.lConnectTimeoutSeconds) + " " +
                                   std::to_string(settings.lTransferTimeoutSeconds) + " [" + settings.strCABundle +
                                   "] " + std::to_string(settings.bInsecureSkipTLSVerify))
            << test.first;
    }
}

}  // namespace
