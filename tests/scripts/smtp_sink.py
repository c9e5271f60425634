#!/usr/bin/python3
"""A real SMTP server on 127.0.0.1 for tests and benchmarks.

Listens on a free port, prints that port on the first line of its output and
stores every message it accepts as <folder>/message-<n>.eml, with the envelope in
<folder>/message-<n>.json. Runs until its standard input closes or it is stopped.
With --user, the password to require is SMTP_SINK_PASSWORD in the environment; the
access token of a bearer sign-in is SMTP_SINK_BEARER_TOKEN.
"""

import argparse
import asyncio
import base64
import json
import logging
import os
import ssl
import sys
import urllib.parse
import urllib.request
import warnings

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class StoringHandler:
    def __init__(self, folder, implicit_tls):
        self.folder = folder
        self.implicit_tls = implicit_tls
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "message-%d" % self.count)
        with open(base + ".eml.part", "wb") as out:
            out.write(envelope.original_content)
        os.rename(base + ".eml.part", base + ".eml")
        with open(base + ".json", "w") as out:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                       "tls": self.implicit_tls or session.ssl is not None,
                       "authenticated": bool(session.authenticated)}, out)
        return "250 Message accepted for delivery"


def introspect(url, token):
    """Whether the authorization server's introspection (RFC 7662) calls the token active."""
    data = urllib.parse.urlencode({"token": token}).encode()
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open(urllib.request.Request(url, data=data), timeout=30) as answer:
        return json.load(answer).get("active") is True


class BearerHandler(StoringHandler):
    """Offers OAUTHBEARER and XOAUTH2 and takes one access token, or those the
    introspection endpoint calls active."""

    def __init__(self, folder, implicit_tls, token, introspect_url=None):
        super().__init__(folder, implicit_tls)
        self.token = token.encode() if token else None
        self.introspect_url = introspect_url

    async def accepts(self, given):
        if self.introspect_url is None:
            return given == [self.token]
        if len(given) != 1:
            return False
        loop = asyncio.get_running_loop()
        return await loop.run_in_executor(None, introspect, self.introspect_url,
                                          given[0].decode(errors="replace"))

    async def auth_OAUTHBEARER(self, server, args):
        return await self.bearer(server, args)

    async def auth_XOAUTH2(self, server, args):
        return await self.bearer(server, args)

    async def bearer(self, server, args):
        blob = base64.b64decode(args[1]) if len(args) > 1 else await server.challenge_auth("")
        if blob is MISSING:
            return AuthResult(success=False, handled=True)
        given = [field[len(b"auth=Bearer "):] for field in blob.split(b"\x01")
                 if field.startswith(b"auth=Bearer ")]
        if await self.accepts(given):
            return AuthResult(success=True, auth_data=blob)
        # The error goes as a challenge; the client's answer ends the exchange.
        await server.challenge_auth(json.dumps({"status": "401", "schemes": "bearer"}))
        # A token from the authorization server is a real secret: it is not repeated.
        shown = b"".join(given).decode(errors="replace") if self.introspect_url is None else ""
        return AuthResult(success=False, handled=False,
                          message="535 5.7.8 token %s refused" % shown if shown
                          else "535 5.7.8 token refused")


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        if (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
                and auth_data.password == password.encode()):
            return AuthResult(success=True)
        return AuthResult(success=False, handled=False)
    return authenticate


async def serve(arguments):
    tls_context = None
    if arguments.cert:
        tls_context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls_context.load_cert_chain(arguments.cert, arguments.key)
    bearer = bool(arguments.bearer_token or arguments.introspect_url)
    if bearer:
        handler = BearerHandler(arguments.folder, arguments.implicit_tls, arguments.bearer_token,
                                arguments.introspect_url)
    else:
        handler = StoringHandler(arguments.folder, arguments.implicit_tls)
    authenticator = None
    if arguments.user:
        authenticator = make_authenticator(arguments.user, arguments.password)

    # With --implicit-tls the connection is encrypted from the first byte (RFC 8314),
    # otherwise the certificate serves STARTTLS, which is then required.
    starttls_context = None if arguments.implicit_tls else tls_context

    def factory():
        return SMTP(handler, hostname="sink.test", tls_context=starttls_context,
                    require_starttls=starttls_context is not None,
                    authenticator=authenticator,
                    auth_required=authenticator is not None or bearer,
                    # aiosmtpd counts only STARTTLS as encryption; an implicit-TLS
                    # connection is encrypted from its first byte.
                    auth_require_tls=not arguments.implicit_tls,
                    data_size_limit=arguments.size_limit,
                    timeout=600)

    loop = asyncio.get_running_loop()
    server = await loop.create_server(factory, host="127.0.0.1", port=0,
                                      ssl=tls_context if arguments.implicit_tls else None)
    print(server.sockets[0].getsockname()[1], flush=True)
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()


def main():
    # Refused handshakes and logins are what some tests expect; keep their output quiet.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("folder")
    parser.add_argument("--cert", help="certificate (PEM) for STARTTLS or implicit TLS")
    parser.add_argument("--key", help="private key (PEM) of the certificate")
    parser.add_argument("--implicit-tls", action="store_true",
                        help="TLS from the first byte instead of STARTTLS")
    parser.add_argument("--user", help="require AUTH with this user name")
    parser.add_argument("--introspect-url",
                        help="require AUTH with an access token that this OAuth2 "
                             "introspection endpoint calls active")
    parser.add_argument("--size-limit", type=int, default=64 * 1024 * 1024,
                        help="largest message accepted, 0 for no limit")
    arguments = parser.parse_args()
    # Secrets come through the environment, where other users cannot read them.
    arguments.password = os.environ.get("SMTP_SINK_PASSWORD", "")
    arguments.bearer_token = os.environ.get("SMTP_SINK_BEARER_TOKEN", "")
    asyncio.run(serve(arguments))


if __name__ == "__main__":
    main()
