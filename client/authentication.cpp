// The client's side of the plug-in's password check: the kept secret, the answer to a
// connection's challenge, and the two members scripts read.
//
// secret = Base64(SHA-256(password ‖ salt)) stays valid as long as the plug-in's password
// (and with it the salt) is unchanged; each connection brings a fresh challenge, answered
// with Base64(SHA-256(secret ‖ challenge)). The plug-in locks itself after ten failed
// attempts, so a secret serves reconnects only once the plug-in has accepted it.
#include "client/auth_hash.h"
#include "client/obs_remote_client.h"
#include "client/requests.h"
#include "support/portable_lock.h"

void OBSRemoteClient::Authenticate(const char* password)
{
    if (!IsConnected()) {
        Print("HVEOBSRemote: Authenticate: Not connected");
        return;
    }
    std::string salt = AuthSalt.Get();
    {
        CWinLock guard(&Session.SendLock);
        AuthSecret.Set(Base64Sha256(password != nullptr ? password : "", salt));
        AuthSecretSalt.Set(salt);
        AuthSecretAccepted = false;
    }
    SendAuthentication();
    RequestRefresh();
}

void OBSRemoteClient::SendAuthentication()
{
    if (!IsConnected()) {
        Print("HVEOBSRemote: Authenticate: Not connected");
        return;
    }
    std::string secret = AuthSecret.Get();
    if (secret.empty()) {
        return;
    }
    std::string auth = Base64Sha256(secret, AuthChallenge.Get());
    SendRequest(*this, "Authenticate", NameRequestBuffer, RequestBody::Authenticate(auth));
}

void OBSRemoteClient::ReauthenticateIfPossible()
{
    if (!IsConnected() || AuthChallenge.Empty()) {
        return;
    }
    {
        CWinLock guard(&Session.SendLock);
        if (!AuthSecretAccepted || AuthSecret.Empty() || AuthSecretSalt.Get() != AuthSalt.Get()) {
            return;
        }
    }
    SendAuthentication();
    RequestRefresh();
}

// Raises "OBSRemote:AuthAccepted" once per change from not accepted to accepted. Before
// the plug-in accepts, it answers every such request with "Not Authenticated", so the
// change shows that the secret last sent was right.
void OBSRemoteClient::MarkAuthenticated()
{
    if (!IsAuthenticated.exchange(true)) {
        {
            CWinLock guard(&Session.SendLock);
            AuthSecretAccepted = !AuthSecret.Empty();
        }
        Raise(ClientEvent::AuthAccepted);
    }
}

void OBSRemoteClient::DiscardAuthSecret()
{
    CWinLock guard(&Session.SendLock);
    AuthSecret.Clear();
    AuthSecretSalt.Clear();
    AuthSecretAccepted = false;
}

bool OBSRemoteClient::QueryAuthRequired(bool& required)
{
    if (!IsConnected() || !HaveAuthInfo.load()) {
        return false;
    }
    required = !AuthChallenge.Empty();
    return true;
}

bool OBSRemoteClient::QueryIsAuthenticated(bool& authenticated)
{
    if (!IsConnected()) {
        return false;
    }
    authenticated = IsAuthenticated.load();
    return true;
}
