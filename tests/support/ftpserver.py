#!/usr/bin/python3
"""A real FTP server on loopback for the tests (pyftpdlib), user "tessary",
password "secret". Prints "PORT <port> <pid>" once it listens and serves
until it is stopped or its parent ends. Faults are injected by name, so tests see how the
client copes with a server that refuses or stops answering."""
import argparse
import ctypes
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def say(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, default=0, help="listen here (0: any free port)")
    ap.add_argument("--refuse-stor", help="refuse STOR of a path holding this text")
    ap.add_argument("--refuse-code", default="553", help="the reply code of that refusal")
    ap.add_argument("--silent-on", help="never answer this command")
    ap.add_argument("--silent-after", type=int, default=0, help="never answer a STOR after this many")
    ap.add_argument("--no-passive", action="store_true", help="refuse EPSV and PASV")
    ap.add_argument("--log-commands", action="store_true", help='"CMD <hex>" for every command line')
    ap.add_argument("--stall-data", action="store_true", help="stop reading an upload after its first chunk")
    ap.add_argument("--drop-mid-stor-of",
                    help="close both connections once the first chunk of an upload to a path holding this is in")
    ap.add_argument("--drop-mid-retr-of", help="close both connections once a download of a path holding this text has begun")
    ap.add_argument("--max-logins", type=int, default=0, help="refuse (421) more connections than this at once")
    ap.add_argument("--throttle", type=int, default=0, help="take uploads at this many bytes a second")
    ap.add_argument("--sparse", action="store_true", help="store runs of zero bytes as holes")
    ap.add_argument("--drop-after-stor", action="store_true",
                    help="close the control connection once each upload's reply is sent")
    args = ap.parse_args()

    class Handler(FTPHandler):
        authorizer = DummyAuthorizer()
        auth_failed_timeout = 0
        banner = "Tessary test server ready."
        use_sendfile = False
        unicode_errors = "surrogateescape"  # names are bytes, not always UTF-8

        # Each line reaches standard output before the client reads the
        # reply it belongs to, so a test that has its reply has the line.
        def handle_auth_success(self, home, password, msg_login):
            say("LOGIN " + self.username)
            return FTPHandler.handle_auth_success(self, home, password, msg_login)

        def pre_process_command(self, line, cmd, arg):
            if args.log_commands:
                shown = "PASS ****" if cmd == "PASS" else line
                say("CMD " + shown.encode("utf-8", "surrogateescape").hex())
            return FTPHandler.pre_process_command(self, line, cmd, arg)

        def on_file_received(self, file):
            if args.drop_after_stor:
                self.close_when_done()  # the 226 goes out first, then the connection is gone

        stores = 0

        def ftp_STOR(self, file, mode="w"):
            Handler.stores += 1
            if args.silent_after and Handler.stores > args.silent_after:
                return None
            if args.refuse_stor and args.refuse_stor in file:
                return self.respond(args.refuse_code + " Refused by the test server.")
            return FTPHandler.ftp_STOR(self, file, mode)

    Handler.authorizer.add_user("tessary", "secret", args.root, perm="elradfmwMT")
    if args.silent_on:
        setattr(Handler, "ftp_" + args.silent_on.upper(), lambda self, *a: None)
    if args.no_passive:
        Handler.ftp_PASV = Handler.ftp_EPSV = lambda self, *a: self.respond("502 Passive mode is off.")
    if args.stall_data:
        class StallingDTP(DTPHandler):
            def handle_read(self):
                DTPHandler.handle_read(self)
                if self.tot_bytes_received > 0 and not self._closed:
                    self.modify_ioloop_events(0)  # never read again
            handle_read_event = handle_read
        Handler.dtp_handler = StallingDTP

    if args.drop_mid_stor_of:
        class DroppingDTP(DTPHandler):
            def handle_read(self):
                DTPHandler.handle_read(self)
                named = self.file_obj is not None and args.drop_mid_stor_of in self.file_obj.name
                if self.tot_bytes_received > 0 and named:
                    self.cmd_channel.close()  # takes the data connection with it
            handle_read_event = handle_read
        Handler.dtp_handler = DroppingDTP
    if args.drop_mid_retr_of:
        class DroppingSender(DTPHandler):
            def handle_write(self):
                DTPHandler.handle_write(self)
                named = self.file_obj is not None and args.drop_mid_retr_of in self.file_obj.name
                if named and self.tot_bytes_sent > 0 and not self._closed:
                    self.cmd_channel.close()
            handle_write_event = handle_write
        Handler.dtp_handler = DroppingSender
    if args.throttle:
        class SlowDTP(ThrottledDTPHandler):
            read_limit = args.throttle
            ac_in_buffer_size = min(65536, args.throttle)
        Handler.dtp_handler = SlowDTP
    if args.sparse:
        class HoleWriter:
            """Seeks over chunks of zeros: a 5 GB upload of them costs no disk."""
            def __init__(self, file):
                self.file = file
            def write(self, chunk):
                if chunk.count(0) == len(chunk):
                    self.file.seek(len(chunk), os.SEEK_CUR)
                else:
                    self.file.write(chunk)
            def close(self):
                self.file.truncate()
                self.file.close()
            def __getattr__(self, name):
                return getattr(self.file, name)

        class SparseFS(Handler.abstracted_fs):
            def open(self, filename, mode):
                f = super().open(filename, mode)
                return HoleWriter(f) if "w" in mode else f
        Handler.abstracted_fs = SparseFS

    server = FTPServer(("127.0.0.1", args.port), Handler)
    server.max_cons = 64
    if args.max_logins:
        server.max_cons_per_ip = args.max_logins
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG: never outlive the test
    say("PORT %d %d" % (server.socket.getsockname()[1], os.getpid()))
    server.serve_forever()


if __name__ == "__main__":
    logging.basicConfig(level=logging.CRITICAL)
    main()
