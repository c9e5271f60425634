#!/usr/bin/python3
"""A scripted OAuth2 authorization server on 127.0.0.1 for tests.

Listens on a free port and prints that port on the first line of its output (and
writes it to --port-file). Runs until its standard input closes or it is stopped.

  GET  /authorize   answers 302 to redirect_uri with code and state (or an error)
  POST /token       authorization_code (PKCE S256 checked), refresh_token (rotated),
                    urn:ietf:params:oauth:grant-type:device_code
  POST /device      device authorization
  POST /introspect  token=... -> {"active": true, "username": ...} for an issued,
                    unexpired, unrevoked access token, else {"active": false}
  POST /control     JSON that changes the faults below at run time; answers the counts
  GET  /control     the counts: how many tokens of each grant were issued

Faults (options, or keys of /control): device_answers, a list of errors the device
grant answers before it succeeds ("authorization_pending", "slow_down",
"expired_token", "access_denied"); authorize_error; wrong_state; access_lifetime
(seconds); rotate; revoke_all (every refresh and access token issued so far).
No token is ever printed.
"""

import argparse
import base64
import hashlib
import json
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class State:
    def __init__(self, arguments):
        self.lock = threading.Lock()
        self.client_id = arguments.client_id
        self.client_secret = arguments.client_secret
        self.username = arguments.username
        self.access_lifetime = arguments.access_lifetime
        self.rotate = not arguments.no_rotate
        self.device_answers = [a for a in arguments.device_answers.split(",") if a]
        self.interval = arguments.interval
        self.authorize_error = arguments.authorize_error
        self.wrong_state = False
        self.codes = {}          # code -> (challenge, redirect_uri)
        self.device_codes = set()
        self.refresh_tokens = set()
        self.access_tokens = {}  # token -> expiry (time.time())
        self.counts = {"authorization_code": 0, "refresh_token": 0, "device_code": 0,
                       "refused": 0, "device_polls": 0}

    def issue(self, grant, with_refresh=True):
        self.counts[grant] += 1
        access = "at-" + secrets.token_urlsafe(24)
        self.access_tokens[access] = time.time() + self.access_lifetime
        answer = {"access_token": access, "token_type": "Bearer",
                  "expires_in": self.access_lifetime}
        if with_refresh:
            refresh = "rt-" + secrets.token_urlsafe(24)
            self.refresh_tokens.add(refresh)
            answer["refresh_token"] = refresh
        return answer

    def control(self, changes):
        if "device_answers" in changes:
            self.device_answers = list(changes["device_answers"])
        for key in ("authorize_error", "wrong_state", "access_lifetime", "rotate", "interval"):
            if key in changes:
                setattr(self, key, changes[key])
        if changes.get("revoke_all"):
            self.refresh_tokens.clear()
            self.access_tokens.clear()


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode()).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode()


class Handler(BaseHTTPRequestHandler):
    state = None

    def log_message(self, format, *args):
        pass

    def send_json(self, status, body, headers=()):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def refuse(self, error, status=400):
        self.state.counts["refused"] += 1
        self.send_json(status, {"error": error, "error_description": "scripted " + error})

    def form(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length).decode()
        if self.headers.get("Content-Type", "").startswith("application/json"):
            return json.loads(body or "{}")
        return {k: v[0] for k, v in urllib.parse.parse_qs(body, keep_blank_values=True).items()}

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        with self.state.lock:
            if url.path == "/authorize":
                return self.authorize(query)
            if url.path == "/control":
                return self.send_json(200, self.state.counts)
        self.send_json(404, {"error": "not_found"})

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        form = self.form()
        with self.state.lock:
            if path == "/token":
                return self.token(form)
            if path == "/device":
                return self.device(form)
            if path == "/introspect":
                return self.introspect(form)
            if path == "/control":
                self.state.control(form)
                return self.send_json(200, self.state.counts)
        self.send_json(404, {"error": "not_found"})

    def authorize(self, query):
        state = self.state
        redirect = query.get("redirect_uri", "")
        if (query.get("client_id") != state.client_id
                or not redirect.startswith("http://127.0.0.1:")
                or query.get("code_challenge_method") != "S256"
                or not query.get("code_challenge")):
            return self.send_json(400, {"error": "invalid_request"})
        answer = {"state": query.get("state", "")}
        if state.wrong_state:
            answer["state"] = "not-" + answer["state"]
        if state.authorize_error:
            answer["error"] = state.authorize_error
        else:
            code = "code-" + secrets.token_urlsafe(16)
            state.codes[code] = (query["code_challenge"], redirect)
            answer["code"] = code
        location = redirect + ("&" if "?" in redirect else "?") + urllib.parse.urlencode(answer)
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def client_ok(self, form):
        if form.get("client_id") != self.state.client_id:
            return False
        return not self.state.client_secret or form.get("client_secret") == self.state.client_secret

    def token(self, form):
        state = self.state
        if not self.client_ok(form):
            return self.refuse("invalid_client", 401)
        grant = form.get("grant_type")
        if grant == "authorization_code":
            found = state.codes.pop(form.get("code", ""), None)
            if (found is None or found[1] != form.get("redirect_uri")
                    or challenge_of(form.get("code_verifier", "")) != found[0]):
                return self.refuse("invalid_grant")
            return self.send_json(200, state.issue("authorization_code"))
        if grant == "refresh_token":
            refresh = form.get("refresh_token", "")
            if refresh not in state.refresh_tokens:
                return self.refuse("invalid_grant")
            if state.rotate:
                state.refresh_tokens.discard(refresh)
            return self.send_json(200, state.issue("refresh_token", with_refresh=state.rotate))
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            state.counts["device_polls"] += 1
            if form.get("device_code") not in state.device_codes:
                return self.refuse("invalid_grant")
            if state.device_answers:
                return self.refuse(state.device_answers.pop(0))
            state.device_codes.discard(form.get("device_code"))
            return self.send_json(200, state.issue("device_code"))
        return self.refuse("unsupported_grant_type")

    def device(self, form):
        if not self.client_ok(form):
            return self.refuse("invalid_client", 401)
        code = "dc-" + secrets.token_urlsafe(16)
        self.state.device_codes.add(code)
        base = "http://127.0.0.1:%d/activate" % self.server.server_address[1]
        self.send_json(200, {"device_code": code, "user_code": "WDJB-MJHT",
                             "verification_uri": base,
                             "verification_uri_complete": base + "?user_code=WDJB-MJHT",
                             "expires_in": 900, "interval": self.state.interval})

    def introspect(self, form):
        expiry = self.state.access_tokens.get(form.get("token", ""))
        if expiry is None or expiry < time.time():
            return self.send_json(200, {"active": False})
        self.send_json(200, {"active": True, "username": self.state.username,
                             "scope": "mail", "exp": int(expiry)})


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port-file", help="also write the port into this file")
    parser.add_argument("--client-id", default="kestrel-test")
    parser.add_argument("--client-secret", default="",
                        help="require this client secret (none by default)")
    parser.add_argument("--username", default="user@example.test",
                        help="the user /introspect names")
    parser.add_argument("--access-lifetime", type=int, default=3600,
                        help="seconds an access token lasts")
    parser.add_argument("--no-rotate", action="store_true",
                        help="keep the refresh token on refresh instead of replacing it")
    parser.add_argument("--device-answers", default="",
                        help="errors the device grant answers first, separated by commas")
    parser.add_argument("--interval", type=int, default=5, help="device polling interval")
    parser.add_argument("--authorize-error", default="", help="/authorize answers this error")
    Handler.state = State(parser.parse_args())
    arguments = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    port = server.server_address[1]
    if arguments.port_file:
        with open(arguments.port_file, "w") as out:
            out.write("%d\n" % port)
    print(port, flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
