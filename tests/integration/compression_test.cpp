// A peer that takes up the client's permessage-deflate offer (the plug-in itself ignores
// it): the session still reaches Ready, and a large compressed answer arrives whole.
#include <gtest/gtest.h>
#include <libwebsockets.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/obs_remote_client.h"
#include "tests/support/client_test_support.h"

namespace {

// Answers every received text with one large scene list; remembers the offered extensions.
struct DeflatePeer {
    static int Callback(lws* wsi, lws_callback_reasons reason, void*, void*, size_t)
    {
        DeflatePeer* peer = static_cast<DeflatePeer*>(lws_context_user(lws_get_context(wsi)));
        if (peer == nullptr) {
            return 0;
        }
        switch (reason) {
        case LWS_CALLBACK_ESTABLISHED: {
            char offer[256] = {};
            lws_hdr_copy(wsi, offer, sizeof(offer), WSI_TOKEN_EXTENSIONS);
            std::lock_guard<std::mutex> guard(peer->Lock);
            peer->Offer = offer;
            break;
        }
        case LWS_CALLBACK_RECEIVE:
            if (!peer->Answered) {
                peer->Answered = true;
                lws_callback_on_writable(wsi);
            }
            break;
        case LWS_CALLBACK_SERVER_WRITEABLE: {
            std::vector<unsigned char> buffer(LWS_PRE + peer->Answer.size());
            std::memcpy(buffer.data() + LWS_PRE, peer->Answer.data(), peer->Answer.size());
            lws_write(wsi, buffer.data() + LWS_PRE, peer->Answer.size(), LWS_WRITE_TEXT);
            break;
        }
        default:
            break;
        }
        return 0;
    }

    DeflatePeer()
    {
        Answer = "{\"status\": \"ok\", \"message-id\": \"4\", \"current-scene\": \"S0\", \"scenes\": [";
        for (int s = 0; s < 100; ++s) {
            Answer += (s > 0 ? ", " : "") + std::string("{\"name\": \"S") + std::to_string(s) + "\", \"sources\": [";
            for (int i = 0; i < 20; ++i) {
                Answer += (i > 0 ? ", " : "") + std::string("{\"name\": \"src") + std::to_string(i) +
                          "\", \"render\": true, \"x\": 0.0, \"y\": 0.0, \"cx\": 1280.0, \"cy\": 720.0}";
            }
            Answer += "]}";
        }
        Answer += "]}";

        static const lws_protocols protocols[] = {{"obsapi", Callback, 0, 4096, 0, nullptr, 0},
                                                  {nullptr, nullptr, 0, 0, 0, nullptr, 0}};
        static const lws_extension extensions[] = {
            {"permessage-deflate", lws_extension_callback_pm_deflate, "permessage-deflate"}, {nullptr, nullptr, nullptr}};
        lws_context_creation_info info;
        std::memset(&info, 0, sizeof(info));
        info.port = 0; // any free port
        info.iface = "127.0.0.1";
        info.protocols = protocols;
        info.extensions = extensions;
        info.gid = -1;
        info.uid = -1;
        info.user = this;
        lws_set_log_level(0, nullptr);
        Context = lws_create_context(&info);
        if (Context != nullptr) {
            Port = lws_get_vhost_port(lws_get_vhost_by_name(Context, "default"));
            Thread = std::thread([this] {
                while (!Stopping.load()) {
                    lws_service(Context, 0);
                }
            });
        }
    }
    ~DeflatePeer()
    {
        Stopping.store(true);
        if (Context != nullptr) {
            lws_cancel_service(Context);
            Thread.join();
            lws_context_destroy(Context);
        }
    }

    lws_context* Context = nullptr;
    int Port = 0;
    std::string Answer;
    std::mutex Lock;
    std::string Offer; // under Lock
    bool Answered = false;
    std::atomic<bool> Stopping{false};
    std::thread Thread;
};

TEST(CompressionTest, PeerTakingUpPermessageDeflateWorks)
{
    DeflatePeer peer;
    ASSERT_NE(peer.Context, nullptr);
    ASSERT_GT(peer.Port, 0);

    RecordingHost host;
    OBSRemoteClient client;
    AttachRecordingHost(host, client);
    client.Endpoint.Address = "127.0.0.1";
    client.Endpoint.Port = static_cast<uint16_t>(peer.Port);
    client.Connect();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:SceneListRsp"));
    EXPECT_EQ(client.State.load(), Ready);
    EXPECT_EQ(client.Model.SceneCount(), 100u);
    EXPECT_EQ(SceneModel::SourceCount(client.Model.FindScene("S99", false)), 20u);
    client.Disconnect();
    std::lock_guard<std::mutex> guard(peer.Lock);
    EXPECT_NE(peer.Offer.find("permessage-deflate"), std::string::npos) << peer.Offer;
}

} // namespace
