#include "client/auth_answers.h"

#include <cstring>

#include "client/json_read.h"
#include "client/obs_remote_client.h"

// A rejected password shows only in the error text ("Authentication Failed. Attempts
// Remaining: 9"); the letter case is the plug-in's own. Scripts get every error text, also
// an empty one when the plug-in sent none. A rejected secret is discarded, so no reconnect
// sends it again; nothing else in the client changes.
void HandleErrorResponse(OBSRemoteClient& client, json_t* message)
{
    const char* text = ReadString(message, "error");
    if (text == nullptr) {
        text = "";
    }
    if (std::strstr(text, "Authentication Failed") != nullptr) {
        client.DiscardAuthSecret();
        client.Raise(ClientEvent::AuthFailed);
    }
    const char* args[] = {text};
    client.Raise(ClientEvent::Error, 1, args);
}

// A demand for a password without the salt and challenge to answer it with cannot be acted
// on: such an answer is dropped and the client keeps what it knew. Each connection brings
// its own challenge, so this is where a secret kept from an earlier Authenticate can answer
// it, before scripts hear that a password is wanted.
void HandleAuthRequiredResponse(OBSRemoteClient& client, json_t* message)
{
    bool required = ReadFlag(message, "authRequired");
    const char* salt = ReadString(message, "salt");
    const char* challenge = ReadString(message, "challenge");
    if (required && (salt == nullptr || challenge == nullptr)) {
        return;
    }
    client.HaveAuthInfo.store(true);
    const char* flag = "0";
    if (required) {
        client.AuthSalt.Set(salt);
        client.AuthChallenge.Set(challenge);
        client.IsAuthenticated.store(false);
        client.ReauthenticateIfPossible();
        flag = "1";
    } else {
        client.AuthSalt.Clear();
        client.AuthChallenge.Clear();
        client.IsAuthenticated.store(true);
    }
    const char* args[] = {flag};
    client.Raise(ClientEvent::AuthRequiredRsp, 1, args);
}
