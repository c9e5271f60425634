#pragma once

#include "transport/OAuthClientSettings.h"

struct OAuthTokens;

// The access tokens of OAuth2 log-ins, kept in memory for the life of the process
// (never stored) with their expiry by the clock. A log-in asks for one each time; one
// with less than RefreshMarginSeconds left is renewed with the stored refresh token
// first, and a refresh token the provider rotates replaces the stored one. Safe to use
// from the sequence's worker thread.
namespace OAuthAccessToken {

constexpr qint64 RefreshMarginSeconds = 5 * 60;

// The access token for the side's log-in. Throws KestrelError saying to sign in again
// when no refresh token is stored or the provider refuses it. Never asks the user.
QString current(MailServerSide side);

// Keeps the tokens a sign-in or refresh gave for the client, and stores a new refresh
// token for storedFor.
void remember(const OAuthClientSettings& client, const OAuthTokens& tokens,
              MailServerSide storedFor);

// Forgets every kept access token (tests).
void forgetAll();

} // namespace OAuthAccessToken
