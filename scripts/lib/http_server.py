#!/usr/bin/env python3
"""The test run's HTTP server on 127.0.0.1 (Python's standard library only).

    http_server.py --port N

Every request is answered by the first route whose prefix matches its path; a route is a
function (handler, query) -> Reply. Request lines may be in origin form ("GET /x HTTP/1.1")
or absolute form ("GET http://host:80/x HTTP/1.1", as clients send to a proxy); the route
sees the path either way and the absolute host is recorded.

Routes (query parameters in brackets):
  /respond   [status=200] [body=text] [type=text/plain] [location=URL] [delay=ms] [chunked=1]
             a reply made of its parameters
  /redirect  [status=302] to=URL             a redirect to URL
  /pattern   size=N [chunked=1] [chunk=bytes] [pause=ms]
             N bytes of the line pattern below; chunked with a pause after the first chunk
  /slow      [ms=1000] [body=text]           answers after ms milliseconds
  /late-opener [ms=12000]                    after ms, a dialog page whose ModalDialogParentReference
                                             reports its argument's type through the opener's
                                             page (this server's pages may not use the bridge)
  /cut       length=N [body=text]            announces Content-Length N, sends the body (shorter)
                                             and closes the connection
  /record    key=K [status=200]              keeps the request (method, target, headers, body)
                                             under K and answers "recorded <body length>"
  /recorded  key=K                           the body recorded under K, byte for byte (404 when none)
  /recorded-request key=K                    the request line, the absolute host and the headers
                                             recorded under K, one per line
  /webmail/SITE/PROVIDER/PAGE                scripted web-mail sites (gmail, hotmail, yahoo): see
                                             WEBMAIL below; SITE keeps each test's session
                                             cookie apart (the cookie's path is /webmail/SITE/)

The pattern: the 64-byte line "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\\n"
repeated and cut to N bytes.
"""

import argparse
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PATTERN_LINE = b"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\n"
REASONS = {200: "OK", 201: "Created", 204: "No Content", 301: "Moved Permanently", 302: "Found",
           303: "See Other", 304: "Not Modified", 307: "Temporary Redirect", 400: "Bad Request",
           403: "Forbidden", 404: "Not Found", 500: "Internal Server Error", 503: "Service Unavailable"}

RECORDS = {}
RECORDS_LOCK = threading.Lock()


class Reply:
    def __init__(self, status=200, body=b"", content_type="text/plain", headers=None, chunked=False,
                 chunk_size=8192, delay_ms=0, pause_ms=0, declared_length=None):
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("latin-1")
        self.content_type = content_type
        self.headers = headers or []
        self.chunked = chunked
        self.chunk_size = max(1, chunk_size)
        self.delay_ms = delay_ms
        self.pause_ms = pause_ms
        self.declared_length = declared_length


def number(query, name, default):
    try:
        return int(query.get(name, [str(default)])[0])
    except ValueError:
        return default


def text(query, name, default=""):
    return query.get(name, [default])[0]


def pattern(size):
    whole, rest = divmod(max(0, size), len(PATTERN_LINE))
    return PATTERN_LINE * whole + PATTERN_LINE[:rest]


def respond(handler, query):
    headers = []
    if "location" in query:
        headers.append(("Location", text(query, "location")))
    return Reply(number(query, "status", 200), text(query, "body").encode("latin-1"),
                 text(query, "type", "text/plain"), headers, text(query, "chunked") == "1",
                 delay_ms=number(query, "delay", 0))


def redirect(handler, query):
    target = text(query, "to", "/respond")
    return Reply(number(query, "status", 302), ("redirect to " + target).encode("latin-1"),
                 headers=[("Location", target)])


def cut(handler, query):
    return Reply(body=text(query, "body").encode("latin-1"), declared_length=number(query, "length", 0))


def pattern_route(handler, query):
    pause = number(query, "pause", 0)
    return Reply(body=pattern(number(query, "size", 0)), chunked=text(query, "chunked") == "1" or pause > 0,
                 chunk_size=number(query, "chunk", 8192), pause_ms=pause)


def slow(handler, query):
    return Reply(body=text(query, "body", "slow").encode("latin-1"), delay_ms=number(query, "ms", 1000))


LATE_OPENER_PAGE = (b"<script>function ModalDialogParentReference(o){o.Document.parentWindow.execScript("
                    b"\"window.external.CallApplicationMethod('TRACE','late opener \"+typeof(o)+\"\\\\n')\")}"
                    b"</script>")


def late_opener(handler, query):
    return Reply(body=LATE_OPENER_PAGE, delay_ms=number(query, "ms", 12000))


def record(handler, query):
    key = text(query, "key")
    with RECORDS_LOCK:
        RECORDS[key] = {"line": handler.requestline, "host": handler.absolute_host,
                        "headers": list(handler.headers.items()), "body": handler.request_body}
    return Reply(number(query, "status", 200), b"recorded %d" % len(handler.request_body))


def recorded(handler, query):
    with RECORDS_LOCK:
        entry = RECORDS.get(text(query, "key"))
    if entry is None:
        return Reply(404, b"nothing recorded")
    return Reply(body=entry["body"], content_type="application/octet-stream")


def recorded_request(handler, query):
    with RECORDS_LOCK:
        entry = RECORDS.get(text(query, "key"))
    if entry is None:
        return Reply(404, b"nothing recorded")
    lines = [entry["line"], "absolute-host: " + (entry["host"] or "")]
    lines += ["%s: %s" % (name, value) for name, value in entry["headers"]]
    return Reply(body=("\n".join(lines) + "\n").encode("latin-1"))


# Scripted web-mail sites. Pages: mail (the inbox when signed in, else the sign-in page),
# login (the sign-in form's POST), inbox, inboxmain (the inbox frame), logout (clears the
# session cookie and shows the mail page again), cookiefail, logins (how many sign-ins the site
# has received for the provider, as text), snooped (what the sign-in page's script of a "snoop"
# site got, as text). A SITE whose name holds
# "cookiefail" answers the first good sign-in with the cookie-failure page; one holding
# "slowlogin" answers sign-ins after 3 s; one holding "snoop" shows a sign-in page whose script
# asks window.external for the account's stored password and sends what it got with the form.
WEBMAIL_ACCOUNTS = {
    "gmail": {"alice": ("alice-pw", 12), "bob": ("bob-pw", 0), "o'neil": ("oneil-pw", 4)},
    "hotmail": {"carol@hotmail.com": ("carol-pw", 5)},
    "yahoo": {"dave": ("dave-pw", 3), "erin": ("erin-pw", 7)},
}
WEBMAIL_SIGN_IN = {
    "gmail": ("Welcome to Gmail", "email", "Username and password do not match."),
    "hotmail": ("Sign In", "login", "That password is incorrect."),
    "yahoo": ("Yahoo! Mail - The best web-based Email!", "login", "Invalid ID or password."),
}
WEBMAIL_STATE = {"cookiefail": set(), "logins": {}, "snooped": {}}
WEBMAIL_SNOOP = (
    "<input type=\"hidden\" id=\"snooped\" name=\"snooped\" value=\"\">"
    "<script>var got; try { got = \"answer:\" + window.external.CallApplicationMethod(\"GetPreference\", "
    "\"emailPropertyType.password.accountType.GMail.0\"); } catch (e) { got = \"no external\"; }"
    "document.getElementById(\"snooped\").setAttribute(\"value\", got);</script>")
WEBMAIL_LOCK = threading.Lock()


def webmail_page(title, body, frames=None):
    if frames:
        inner = "<frameset rows=\"20%,*\">" + "".join(
            "<frame name=\"%s\" src=\"%s\">" % (name, src) for name, src in frames) + "</frameset>"
    else:
        inner = "<body>" + body + "</body>"
    html = "<html><head><title>%s</title></head>%s</html>" % (title, inner)
    return Reply(body=html.encode("latin-1"), content_type="text/html")


def webmail_sign_in(provider, bad, snoop=False):
    title, field, refusal = WEBMAIL_SIGN_IN[provider]
    body = ("<p>%s</p>" % refusal if bad else "<p>Sign in to read your mail.</p>") + (
        "<form name=\"signin\" action=\"login\" method=\"post\">"
        "<input type=\"text\" name=\"%s\" value=\"\">"
        "<input type=\"password\" name=\"passwd\" value=\"\">%s"
        "<input type=\"submit\" name=\"go\" value=\"Sign in\"></form>" % (field, WEBMAIL_SNOOP if snoop else ""))
    return webmail_page(title, body)


def webmail_user(handler, site, provider):
    for part in handler.headers.get("Cookie", "").split(";"):
        name, _, value = part.strip().partition("=")
        if name == "wm_" + provider and value:
            user = urllib.parse.unquote(value)
            if user in WEBMAIL_ACCOUNTS[provider]:
                return user
    return None


def webmail_inbox(provider, user):
    unread = WEBMAIL_ACCOUNTS[provider][user][1]
    if provider == "gmail":
        return webmail_page("Gmail - Inbox (%d)" % unread if unread else "Gmail - Inbox", "<p>%s</p>" % user)
    if provider == "hotmail":
        return webmail_page("MSN Hotmail - Today", "", [("top", "inboxmain?part=top"), ("main", "inboxmain")])
    return webmail_page("Yahoo! Mail - " + user, "", [("top", "inboxmain?part=top"), ("ymailmain", "inboxmain")])


def webmail_inbox_frame(provider, user, query):
    if text(query, "part") == "top":
        return webmail_page("top", "<p>Mail</p>")
    unread = WEBMAIL_ACCOUNTS[provider][user][1]
    if provider == "hotmail":
        return webmail_page("main", "<table><tr><td><a href=\"inbox\">Inbox (%d)</a></td></tr></table>" % unread)
    return webmail_page("ymailmain", "<div>You have <B>%d unread</B> messages</div>" % unread)


def webmail(handler, query):
    parts = handler.route_path.split("/")
    if len(parts) != 5 or parts[3] not in WEBMAIL_ACCOUNTS:
        return Reply(404, b"no such web-mail page")
    site, provider, page = parts[2], parts[3], parts[4]
    cookie_path = "/webmail/%s/" % site
    user = webmail_user(handler, site, provider)
    if page == "mail":
        return webmail_inbox(provider, user) if user else webmail_sign_in(provider, False, "snoop" in site)
    if page == "snooped":
        with WEBMAIL_LOCK:
            return Reply(body=WEBMAIL_STATE["snooped"].get((site, provider), "nothing sent").encode("latin-1"))
    if page == "logins":
        with WEBMAIL_LOCK:
            return Reply(body=b"%d" % WEBMAIL_STATE["logins"].get((site, provider), 0))
    if page == "login":
        with WEBMAIL_LOCK:
            WEBMAIL_STATE["logins"][(site, provider)] = WEBMAIL_STATE["logins"].get((site, provider), 0) + 1
        if "slowlogin" in site:
            time.sleep(3)
        form = urllib.parse.parse_qs(handler.request_body.decode("latin-1"), keep_blank_values=True)
        name = form.get(WEBMAIL_SIGN_IN[provider][1], [""])[0]
        password = form.get("passwd", [""])[0]
        if "snooped" in form:
            with WEBMAIL_LOCK:
                WEBMAIL_STATE["snooped"][(site, provider)] = form["snooped"][0]
        account = WEBMAIL_ACCOUNTS[provider].get(name)
        if not account or account[0] != password:
            return webmail_sign_in(provider, True)
        cookie = ("Set-Cookie", "wm_%s=%s; Path=%s" % (provider, urllib.parse.quote(name), cookie_path))
        target = "inbox"
        with WEBMAIL_LOCK:
            if "cookiefail" in site and site not in WEBMAIL_STATE["cookiefail"]:
                WEBMAIL_STATE["cookiefail"].add(site)
                target = "cookiefail"
        return Reply(302, b"signed in", headers=[cookie, ("Location", target)])
    if page == "inbox":
        return webmail_inbox(provider, user) if user else Reply(302, b"sign in first", headers=[("Location", "mail")])
    if page == "inboxmain":
        return webmail_inbox_frame(provider, user, query) if user else webmail_page("", "<p>signed out</p>")
    if page == "logout":
        # Overwritten with a value no account has: Wine's WinINet ignores an expired Set-Cookie
        # instead of deleting the cookie.
        cookie = ("Set-Cookie", "wm_%s=signed-out; Path=%s" % (provider, cookie_path))
        return Reply(302, b"signed out", headers=[cookie, ("Location", "mail")])
    if page == "cookiefail":
        return webmail_page("Google Accounts", "<p>Your browser's cookie functionality is turned off.</p>")
    return Reply(404, b"no such web-mail page")


# First matching prefix wins; add routes here.
ROUTES = [
    ("/respond", respond),
    ("/redirect", redirect),
    ("/pattern", pattern_route),
    ("/slow", slow),
    ("/late-opener", late_opener),
    ("/cut", cut),
    ("/recorded-request", recorded_request),
    ("/recorded", recorded),
    ("/record", record),
    ("/webmail/", webmail),
]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "WispTestHttp/1"

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), format % args))

    def handle_one_request(self):
        # Every method goes through the same dispatch.
        try:
            self.raw_requestline = self.rfile.readline(65537)
            if not self.raw_requestline:
                self.close_connection = True
                return
            if not self.parse_request():
                return
            self.dispatch()
            self.wfile.flush()
        except (ConnectionError, TimeoutError):
            self.close_connection = True

    def read_body(self):
        length = self.headers.get("Content-Length")
        if length is not None:
            return self.rfile.read(int(length))
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            body = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip(), 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return body
                body += self.rfile.read(size)
                self.rfile.readline()
        return b""

    def dispatch(self):
        target = self.path
        self.absolute_host = None
        if target.lower().startswith(("http://", "https://")):
            parts = urllib.parse.urlsplit(target)
            self.absolute_host = parts.netloc
            target = parts.path + ("?" + parts.query if parts.query else "")
        split = urllib.parse.urlsplit(target)
        self.route_path = split.path
        query = urllib.parse.parse_qs(split.query, keep_blank_values=True, encoding="latin-1")
        self.request_body = self.read_body()
        for prefix, route in ROUTES:
            if self.route_path.startswith(prefix):
                reply = route(self, query)
                break
        else:
            reply = Reply(404, b"no route for " + self.route_path.encode("latin-1"))
        self.send(reply)

    def send(self, reply):
        if reply.delay_ms > 0:
            time.sleep(reply.delay_ms / 1000.0)
        self.send_response(reply.status, REASONS.get(reply.status, "Status"))
        self.send_header("Content-Type", reply.content_type)
        for name, value in reply.headers:
            self.send_header(name, value)
        no_body = reply.status in (204, 304) or self.command == "HEAD"
        if reply.chunked and not no_body:
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for start in range(0, len(reply.body), reply.chunk_size):
                piece = reply.body[start:start + reply.chunk_size]
                self.wfile.write(b"%X\r\n%s\r\n" % (len(piece), piece))
                if start == 0 and reply.pause_ms > 0:
                    self.wfile.flush()
                    time.sleep(reply.pause_ms / 1000.0)
            self.wfile.write(b"0\r\n\r\n")
        elif reply.declared_length is not None:
            self.send_header("Content-Length", str(reply.declared_length))
            self.end_headers()
            self.wfile.write(reply.body)
            self.close_connection = True
        else:
            self.send_header("Content-Length", "0" if no_body else str(len(reply.body)))
            self.end_headers()
            if not no_body:
                self.wfile.write(reply.body)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    args = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()
