// The password check's digest, and the client's authentication steps up to the send
// queue: what goes out on Authenticate, when a kept secret answers a new challenge by
// itself, and the two members scripts read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/auth_hash.h"
#include "client/obs_remote_client.h"
#include "client/requests.h"
#include "tests/support/client_test_support.h"

namespace {

const char* const Password = "supersecretpassword";
const char* const Salt = "PZVbYpvAnZut2SS6JNJytDm9";
const char* const Challenge = "ztTBnnuqrqaKDzRM3xcVdbYm";
const char* const Secret = "Ln68W1UNXYyY7xDwp+h5foYLI6bzI1qZjKokTa5ZdwE=";
const char* const Auth = "zZgWipvwSGrw748kHN4gNpBC1IaeiiWX3Hjkrm849Sc=";

TEST(AuthHashTest, KnownVectors)
{
    EXPECT_EQ(Base64Sha256(Password, Salt), Secret);
    EXPECT_EQ(Base64Sha256(Secret, Challenge), Auth);
    EXPECT_EQ(Base64Sha256("", ""), "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU="); // SHA-256 of nothing
    // An empty password gives the digest of the salt alone, still 44 characters.
    EXPECT_EQ(Base64Sha256("", Salt), Base64Sha256(Salt, ""));
    EXPECT_EQ(Base64Sha256("", Salt).size(), 44u);
}

// The Authenticate request with this id, then the four requests that ask for the state.
std::vector<std::string> AuthenticateAndFollowers(const std::string& auth, uint32_t id)
{
    std::vector<std::string> texts = {ComposeRequest(RequestBody::Authenticate(auth), id)};
    for (const char* type : {"GetCurrentScene", "GetSceneList", "GetStreamingStatus", "GetVolumes"}) {
        texts.push_back(ComposeRequest(RequestBody::Plain(type), ++id));
    }
    return texts;
}

TEST(AuthenticationTest, AuthenticateAndTheKeptSecretAnswerChallengesWhileTheSaltHolds)
{
    RecordingHost host;
    OBSRemoteClient client;
    AttachRecordingHost(host, client);
    client.State.store(Ready);
    auto demand = [&](const char* salt, const char* challenge) {
        client.HaveAuthInfo.store(true);
        client.AuthSalt.Set(salt);
        client.AuthChallenge.Set(challenge);
        client.IsAuthenticated.store(false);
    };
    bool value = true;
    EXPECT_FALSE(client.QueryAuthRequired(value)); // no GetAuthRequired answer yet
    EXPECT_TRUE(client.QueryIsAuthenticated(value) && value);

    // No secret yet: nothing goes out and no id is used.
    demand(Salt, "first connection's challenge");
    EXPECT_TRUE(client.QueryAuthRequired(value) && value);
    EXPECT_TRUE(client.QueryIsAuthenticated(value) && !value);
    client.SendAuthentication();
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(TakeQueued(client).empty());

    client.Authenticate(Password);
    EXPECT_EQ(client.AuthSecret.Get(), Secret);
    EXPECT_EQ(TakeQueued(client), AuthenticateAndFollowers(Base64Sha256(Secret, "first connection's challenge"), 1));

    // Until an answer shows the plug-in accepted it, the secret answers no new challenge.
    demand(Salt, Challenge);
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(TakeQueued(client).empty());
    client.MarkAuthenticated();

    // A new connection with the same salt and this challenge is answered with the kept secret.
    demand(Salt, Challenge);
    client.ReauthenticateIfPossible();
    EXPECT_EQ(TakeQueued(client), AuthenticateAndFollowers(Auth, 6));

    // A new salt (the password was changed in OBS), no password required, or not connected:
    // trying would only use up one of the plug-in's attempts.
    demand("a new salt", "another challenge");
    client.ReauthenticateIfPossible();
    demand(Salt, ""); // no password required
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(client.QueryAuthRequired(value) && !value);
    demand(Salt, Challenge);
    client.State.store(Connecting);
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(TakeQueued(client).empty());
    EXPECT_FALSE(client.QueryAuthRequired(value));
    EXPECT_FALSE(client.QueryIsAuthenticated(value));
    EXPECT_TRUE(host.Lines().empty());

    // Acceptance is raised once per change: not again while already accepted.
    client.MarkAuthenticated();
    client.MarkAuthenticated();
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 2u); // the first acceptance, then this one
    client.State.store(Disconnected);
}

} // namespace
