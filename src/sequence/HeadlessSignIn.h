#pragma once

class KestrelCommandLine;
class QTextStream;

// kestrelsolo --sign-in smtp|imap: the OAuth2 sign-in on the terminal. With a code
// (the address and code printed, then a wait until it is entered) unless --browser
// is given or the provider has no device sign-in for mail (Google); then the address
// to open in a browser on this computer is printed and the redirect awaited. The
// refresh token is stored for the server; it never appears in the output.
namespace HeadlessSignIn {

enum ExitStatus
{
    SignedIn = 0,
    Failed = 1,
    NotStarted = 2
};

// The prompt and clock must be installed; lines for the user go to out.
int run(QTextStream& out, const KestrelCommandLine& commandLine);

} // namespace HeadlessSignIn
