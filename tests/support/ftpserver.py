#!/usr/bin/python3
"""A real FTP server on loopback for the tests (pyftpdlib).

Prints "PORT <n>" once it listens, then serves until killed or until its
standard input closes. Faults can be injected by name so tests can see
how the client copes with a server that refuses or stops answering.
"""
import argparse
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--account", action="append", default=[],
                    help="user:password (home is --root)")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--refuse-stor", default=None,
                    help="refuse STOR of any path holding this text (553)")
    ap.add_argument("--silent-on", default=None,
                    help="never answer this command (e.g. STOR, CWD)")
    ap.add_argument("--no-passive", action="store_true",
                    help="refuse EPSV and PASV")
    ap.add_argument("--log-commands", action="store_true",
                    help='print every command line received ("CMD <hex>")')
    ap.add_argument("--stall-data", action="store_true",
                    help="stop reading an upload's data after its first chunk")
    args = ap.parse_args()

    authorizer = DummyAuthorizer()
    for acc in args.account or ["tessary:secret"]:
        user, password = acc.split(":", 1)
        authorizer.add_user(user, password, args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0
    Handler.banner = "Tessary test server ready."
    Handler.use_sendfile = False
    # Each line below reaches standard output before the client reads the
    # reply it belongs to, so a test that has its reply has the line too.
    def handle_auth_success(self, home, password, msg_login):
        sys.stdout.write("LOGIN %s\n" % self.username)
        sys.stdout.flush()
        return FTPHandler.handle_auth_success(self, home, password, msg_login)
    Handler.handle_auth_success = handle_auth_success

    # Every command line as received, hex-encoded so any byte survives, the
    # password masked.
    if args.log_commands:
        def pre_process_command(self, line, cmd, arg):
            shown = "PASS ****" if cmd == "PASS" else line
            sys.stdout.write("CMD %s\n" % shown.encode("utf-8", "surrogateescape").hex())
            sys.stdout.flush()
            return FTPHandler.pre_process_command(self, line, cmd, arg)
        Handler.pre_process_command = pre_process_command

    if args.refuse_stor:
        original = FTPHandler.ftp_STOR

        def ftp_STOR(self, file, mode="w"):
            if args.refuse_stor in file:
                self.respond("553 Refused by the test server.")
                return
            return original(self, file, mode)
        Handler.ftp_STOR = ftp_STOR

    if args.silent_on:
        cmd = args.silent_on.upper()

        def silent(self, *a, **kw):
            return None  # no reply: the client has to give up by itself
        setattr(Handler, "ftp_" + cmd, silent)

    if args.no_passive:
        def refuse(self, *a, **kw):
            self.respond("502 Passive mode is off on this server.")
        Handler.ftp_PASV = refuse
        Handler.ftp_EPSV = refuse

    if args.stall_data:
        class StallingDTP(DTPHandler):
            def handle_read(self):
                DTPHandler.handle_read(self)
                if self.tot_bytes_received > 0 and not self._closed:
                    self.modify_ioloop_events(0)  # never read again
            handle_read_event = handle_read
        Handler.dtp_handler = StallingDTP

    server = FTPServer(("127.0.0.1", args.port), Handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()

    def watch_stdin():
        try:
            while sys.stdin.read(1):
                pass
        finally:
            os._exit(0)
    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    main()
