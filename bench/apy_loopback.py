#!/usr/bin/env python3
"""Runs Apertium APy bound to 127.0.0.1 only (its own command line binds every interface).

Usage: apy_loopback.py PORT PAIRS_PATH [further apertium-apy options]
"""
import signal
import sys

import tornado.httpserver
import tornado.ioloop
from apertium_apy import apy


def main():
    port = int(sys.argv[1])
    args = apy.parse_args([sys.argv[2], '--port', str(port)] + sys.argv[3:])
    apy.setup_logging(args)
    application = apy.setup_application(args)
    server = tornado.httpserver.HTTPServer(application)
    server.listen(port, address='127.0.0.1')
    loop = tornado.ioloop.IOLoop.current()

    def stop(*_):
        loop.add_callback_from_signal(loop.stop)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    loop.start()


if __name__ == '__main__':
    main()
