// The password check's digest, and the client's authentication steps up to the send
// queue: what goes out on Authenticate, when a kept secret answers a new challenge by
// itself, and the two members scripts read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/auth_hash.h"
#include "client/obs_remote_client.h"
#include "support/portable_lock.h"
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
    // SHA-256 of nothing.
    EXPECT_EQ(Base64Sha256("", ""), "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=");
    // The two texts are simply joined.
    EXPECT_EQ(Base64Sha256("ab", "c"), Base64Sha256("a", "bc"));
    // An empty password gives the digest of the salt alone, still 44 characters.
    EXPECT_EQ(Base64Sha256("", Salt), Base64Sha256(Salt, ""));
    EXPECT_EQ(Base64Sha256("", Salt).size(), 44u);
    std::string binary("\0\xff\x80", 3);
    EXPECT_EQ(Base64Sha256(binary, std::string(100000, 'z')).size(), 44u);
}

class AuthenticationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachRecordingHost(host, client);
        client.State.store(Ready);
    }
    void TearDown() override { client.State.store(Disconnected); }
    void PasswordRequired(const char* salt, const char* challenge)
    {
        client.HaveAuthInfo.store(true);
        client.AuthSalt.Set(salt);
        client.AuthChallenge.Set(challenge);
        client.IsAuthenticated.store(false);
    }
    std::vector<std::string> TakeQueue()
    {
        CSectionGuard guard(&client.Session.SendLock);
        std::vector<std::string> queue(client.Session.SendQueue.begin(), client.Session.SendQueue.end());
        client.Session.SendQueue.clear();
        return queue;
    }
    std::vector<std::string> Followers(uint32_t first)
    {
        return {
            "{\"request-type\":\"GetCurrentScene\",\"message-id\":\"" + std::to_string(first) + "\"}",
            "{\"request-type\":\"GetSceneList\",\"message-id\":\"" + std::to_string(first + 1) + "\"}",
            "{\"request-type\":\"GetStreamingStatus\",\"message-id\":\"" + std::to_string(first + 2) + "\"}",
            "{\"request-type\":\"GetVolumes\",\"message-id\":\"" + std::to_string(first + 3) + "\"}",
        };
    }

    RecordingHost host;
    OBSRemoteClient client;
};

TEST_F(AuthenticationTest, AuthenticateAnswersTheChallengeAndAsksForTheState)
{
    PasswordRequired(Salt, Challenge);
    client.Authenticate(Password);
    EXPECT_EQ(client.AuthSecret.Get(), Secret);
    std::vector<std::string> expected = {
        std::string("{\"request-type\":\"Authenticate\",\"auth\":\"") + Auth + "\",\"message-id\":\"1\"}"};
    for (const std::string& text : Followers(2)) {
        expected.push_back(text);
    }
    EXPECT_EQ(TakeQueue(), expected);
    EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AuthenticationTest, SendAuthenticationWithoutSecretSendsNothing)
{
    PasswordRequired(Salt, Challenge);
    client.SendAuthentication();
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_EQ(client.NextMessageId, 1u);
    EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AuthenticationTest, KeptSecretAnswersANewConnectionsChallengeOnlyWhileTheSaltHolds)
{
    PasswordRequired(Salt, "first connection's challenge");
    client.Authenticate(Password);
    TakeQueue();

    // A new connection: same salt, fresh challenge.
    PasswordRequired(Salt, Challenge);
    client.ReauthenticateIfPossible();
    std::vector<std::string> queue = TakeQueue();
    ASSERT_EQ(queue.size(), 5u);
    EXPECT_EQ(queue[0], std::string("{\"request-type\":\"Authenticate\",\"auth\":\"") + Auth + "\",\"message-id\":\"6\"}");
    EXPECT_EQ(std::vector<std::string>(queue.begin() + 1, queue.end()), Followers(7));

    // The password was changed in OBS: a new salt. Trying would only use up an attempt.
    PasswordRequired("a new salt", "another challenge");
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(TakeQueue().empty());

    // No password required, or not connected: nothing either.
    PasswordRequired(Salt, "");
    client.ReauthenticateIfPossible();
    client.State.store(Connecting);
    PasswordRequired(Salt, Challenge);
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_TRUE(host.Lines().empty());
}

TEST_F(AuthenticationTest, NoSecretYetMeansNoAutomaticAttempt)
{
    PasswordRequired(Salt, Challenge);
    client.ReauthenticateIfPossible();
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_EQ(client.NextMessageId, 1u);
}

TEST_F(AuthenticationTest, AcceptanceIsRaisedOncePerChange)
{
    client.MarkAuthenticated(); // no password: already accepted, no event
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 0u);
    client.IsAuthenticated.store(false);
    client.MarkAuthenticated();
    client.MarkAuthenticated();
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 1u);
    EXPECT_TRUE(client.IsAuthenticated.load());
}

TEST_F(AuthenticationTest, MembersHaveNoValueWhileNotConnectedOrBeforeTheAnswer)
{
    bool value = true;
    EXPECT_FALSE(client.QueryAuthRequired(value)); // no GetAuthRequired answer yet
    EXPECT_TRUE(client.QueryIsAuthenticated(value));
    EXPECT_TRUE(value);

    PasswordRequired(Salt, Challenge);
    EXPECT_TRUE(client.QueryAuthRequired(value));
    EXPECT_TRUE(value);
    EXPECT_TRUE(client.QueryIsAuthenticated(value));
    EXPECT_FALSE(value);

    PasswordRequired("", "");
    EXPECT_TRUE(client.QueryAuthRequired(value));
    EXPECT_FALSE(value);

    for (uint32_t state : {Disconnected, Connecting, Disconnecting}) {
        client.State.store(state);
        EXPECT_FALSE(client.QueryAuthRequired(value));
        EXPECT_FALSE(client.QueryIsAuthenticated(value));
    }
}

} // namespace
