// A peer that takes up the client's permessage-deflate offer (the plug-in itself ignores
// it): the session still reaches Ready, and a large compressed answer arrives whole.
#include <gtest/gtest.h>
#include <libwebsockets.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "client/obs_remote_client.h"
#include "tests/support/client_test_support.h"

namespace {

std::string Answer; // written before the peer's thread starts
std::atomic<bool> Offered{false}, Answered{false}, Stopping{false};

// Notes the offered extensions and answers the first received text with the scene list.
int PeerCallback(lws* wsi, lws_callback_reasons reason, void*, void*, size_t)
{
    if (reason == LWS_CALLBACK_ESTABLISHED) {
        char offer[256] = {};
        lws_hdr_copy(wsi, offer, sizeof(offer), WSI_TOKEN_EXTENSIONS);
        Offered.store(std::strstr(offer, "permessage-deflate") != nullptr);
    } else if (reason == LWS_CALLBACK_RECEIVE && !Answered.exchange(true)) {
        lws_callback_on_writable(wsi);
    } else if (reason == LWS_CALLBACK_SERVER_WRITEABLE) {
        std::string buffer = std::string(LWS_PRE, '\0') + Answer; // the library writes its header in front
        lws_write(wsi, reinterpret_cast<unsigned char*>(&buffer[LWS_PRE]), Answer.size(), LWS_WRITE_TEXT);
    }
    return 0;
}

TEST(CompressionTest, PeerTakingUpPermessageDeflateWorks)
{
    std::string sources, scenes; // 100 scenes of 20 sources
    for (int i = 0; i < 20; ++i) {
        sources += R"(,{"name":"src)" + std::to_string(i) + R"(","render":true,"cx":1280.0,"cy":720.0})";
    }
    for (int s = 0; s < 100; ++s) {
        scenes += R"(,{"name":"S)" + std::to_string(s) + R"(","sources":[)" + sources.substr(1) + "]}";
    }
    Answer = R"({"status":"ok","message-id":"4","current-scene":"S0","scenes":[)" + scenes.substr(1) + "]}";
    static const lws_protocols protocols[] = {{"obsapi", PeerCallback, 0, 4096, 0, nullptr, 0}, {}};
    static const lws_extension extensions[] = {
        {"permessage-deflate", lws_extension_callback_pm_deflate, "permessage-deflate"}, {}};
    lws_context_creation_info info{};
    info.iface = "127.0.0.1"; // port 0: any free port
    // IPv4 only: otherwise the listener is an IPv6 socket, which takes IPv4 clients on
    // Linux but not on Windows, where IPv6 sockets are IPv6-only unless asked otherwise.
    info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
    info.protocols = protocols;
    info.extensions = extensions;
    info.gid = info.uid = -1;
    std::unique_ptr<lws_context, void (*)(lws_context*)> peer(lws_create_context(&info), lws_context_destroy);
    ASSERT_NE(peer, nullptr);
    std::thread service([&] {
        while (!Stopping.load()) {
            lws_service(peer.get(), 0);
        }
    });

    RecordingHost host;
    OBSRemoteClient client;
    AttachRecordingHost(host, client);
    client.Endpoint.Host = "127.0.0.1";
    client.Endpoint.Port = static_cast<uint16_t>(lws_get_vhost_port(lws_get_vhost_by_name(peer.get(), "default")));
    client.Connect();
    EXPECT_TRUE(host.WaitForEvent("OBSRemote:SceneListRsp"));
    EXPECT_EQ(client.State.load(), Ready);
    EXPECT_EQ(client.Model.SceneCount(), 100u);
    SceneInfo* last = client.Model.FindScene("S99", false);
    EXPECT_EQ(last != nullptr ? SceneModel::SourceCount(last) : 0u, 20u);
    EXPECT_TRUE(Offered.load());
    client.Disconnect();
    Stopping.store(true);
    lws_cancel_service(peer.get());
    service.join();
}

} // namespace
