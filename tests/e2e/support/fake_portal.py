#!/usr/bin/env python3
"""A stand-in for the desktop's GlobalShortcuts portal, for tests.

Owns org.freedesktop.portal.Desktop on the bus at --address and offers
org.freedesktop.portal.GlobalShortcuts (version 1) at
/org/freedesktop/portal/desktop. CreateSession and BindShortcuts return their
Request handle and answer later with the Request's Response signal, as the
real portal does; Session.Close is accepted. Every call is written as one
JSON line to --log (flushed at once). It prints "ready" on standard output
once it owns the name.

Lines on standard input drive it; it ends at end of input:
  activate ID [SESSION]   emit Activated for shortcut ID, in the last
                          session made (or in SESSION, an object path)
  close-session [SESSION] the desktop ends the last session made (or SESSION)

Options:
  --create-response N     CreateSession answers with response N (default 0)
  --bind-response N       BindShortcuts answers with response N (default 0)
  --bind-only IDS         bind only these ids (comma-separated; "" = none)
  --no-interface          the portal runs but offers no GlobalShortcuts

Needs python3-dbus-next (Debian's python3 only).
"""
import argparse
import asyncio
import json
import os
import sys
import time

from dbus_next import Message, MessageType, Variant
from dbus_next.aio import MessageBus
from dbus_next.constants import NameFlag, RequestNameReply

SERVICE = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.GlobalShortcuts"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
PROPS = "org.freedesktop.DBus.Properties"


def plain(v):
    """dbus-next values as JSON-friendly ones."""
    if isinstance(v, Variant):
        return plain(v.value)
    if isinstance(v, dict):
        return {k: plain(x) for k, x in v.items()}
    if isinstance(v, (list, tuple)):
        return [plain(x) for x in v]
    return v


class FakePortal:
    def __init__(self, bus, opts, log):
        self.bus = bus
        self.opts = opts
        self.log = log
        self.sessions = []

    def record(self, **what):
        self.log.write(json.dumps(what) + "\n")
        self.log.flush()

    def later(self, msg):
        # after the method's return has gone out, as a real dialog would
        def send():
            self.record(event=msg.member, path=msg.path, body=plain(msg.body))
            self.bus.send(msg)
        asyncio.get_running_loop().call_soon(send)

    @staticmethod
    def request_path(msg, options):
        sender = msg.sender.lstrip(":").replace(".", "_")
        return f"{PATH}/request/{sender}/{options['handle_token'].value}"

    def handle(self, msg):
        if msg.message_type != MessageType.METHOD_CALL:
            return None
        call = (msg.interface, msg.member)
        if call == (PROPS, "Get") and msg.path == PATH:
            self.record(call="Get", args=plain(msg.body))
            if msg.body[0] != IFACE or self.opts.no_interface:
                return Message.new_error(msg, "org.freedesktop.DBus.Error.InvalidArgs",
                                         f"No such interface “{msg.body[0]}”")
            if msg.body[1] != "version":
                return Message.new_error(msg, "org.freedesktop.DBus.Error.InvalidArgs",
                                         "No such property")
            return Message.new_method_return(msg, "v", [Variant("u", 1)])
        if msg.interface == IFACE and self.opts.no_interface:
            return Message.new_error(msg, "org.freedesktop.DBus.Error.UnknownMethod",
                                     "No such interface")
        if call == (IFACE, "CreateSession") and msg.path == PATH:
            (options,) = msg.body
            self.record(call="CreateSession", sender=msg.sender, options=plain(options))
            handle = self.request_path(msg, options)
            sender = msg.sender.lstrip(":").replace(".", "_")
            session = f"{PATH}/session/{sender}/{options['session_handle_token'].value}"
            code = self.opts.create_response
            results = {}
            if code == 0:
                self.sessions.append(session)
                results["session_handle"] = Variant("s", session)
            self.later(Message.new_signal(handle, REQUEST, "Response", "ua{sv}",
                                          [code, results]))
            return Message.new_method_return(msg, "o", [handle])
        if call == (IFACE, "BindShortcuts") and msg.path == PATH:
            session, shortcuts, parent, options = msg.body
            self.record(call="BindShortcuts", session=session, shortcuts=plain(shortcuts),
                        parent_window=parent, options=plain(options))
            handle = self.request_path(msg, options)
            code = self.opts.bind_response
            results = {}
            if code == 0:
                wanted = None if self.opts.bind_only is None else \
                    [i for i in self.opts.bind_only.split(",") if i]
                bound = [[sid, {"description": props["description"],
                                "trigger_description": Variant(
                                    "s", plain(props.get("preferred_trigger", "")))}]
                         for sid, props in shortcuts if wanted is None or sid in wanted]
                results["shortcuts"] = Variant("a(sa{sv})", bound)
            self.later(Message.new_signal(handle, REQUEST, "Response", "ua{sv}",
                                          [code, results]))
            return Message.new_method_return(msg, "o", [handle])
        if call == (SESSION, "Close"):
            self.record(call="Close", path=msg.path)
            if msg.path in self.sessions:
                self.sessions.remove(msg.path)
            return Message.new_method_return(msg)
        return None

    def command(self, line):
        words = line.split()
        if not words:
            return
        if words[0] == "activate" and len(words) in (2, 3):
            session = words[2] if len(words) == 3 else (self.sessions[-1] if self.sessions else PATH)
            self.record(event="Activated", id=words[1], session=session)
            self.bus.send(Message.new_signal(PATH, IFACE, "Activated", "osta{sv}",
                                             [session, words[1], int(time.time() * 1000), {}]))
        elif words[0] == "close-session" and len(words) in (1, 2):
            session = words[1] if len(words) == 2 else (self.sessions[-1] if self.sessions else PATH)
            if session in self.sessions:
                self.sessions.remove(session)
            self.record(event="Closed", session=session)
            self.bus.send(Message.new_signal(session, SESSION, "Closed", "a{sv}", [{}]))
        else:
            self.record(event="unknown command", line=line)


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--address", required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--create-response", type=int, default=0)
    ap.add_argument("--bind-response", type=int, default=0)
    ap.add_argument("--bind-only", default=None)
    ap.add_argument("--no-interface", action="store_true")
    opts = ap.parse_args()

    bus = await MessageBus(bus_address=opts.address).connect()
    log = open(opts.log, "a", encoding="utf-8")
    portal = FakePortal(bus, opts, log)
    bus.add_message_handler(portal.handle)
    reply = await bus.request_name(SERVICE, NameFlag.DO_NOT_QUEUE)
    if reply != RequestNameReply.PRIMARY_OWNER:
        print(f"fake_portal: could not own {SERVICE}: {reply}", file=sys.stderr, flush=True)
        return 1

    loop = asyncio.get_running_loop()
    done = loop.create_future()

    pending = b""

    def on_input():
        # raw reads: a buffered readline could keep a second line from us
        nonlocal pending
        chunk = os.read(sys.stdin.fileno(), 4096)
        if not chunk:
            loop.remove_reader(sys.stdin.fileno())
            if not done.done():
                done.set_result(0)
            return
        pending += chunk
        *lines, pending = pending.split(b"\n")
        for line in lines:
            portal.command(line.decode("utf-8", "replace"))

    loop.add_reader(sys.stdin.fileno(), on_input)
    print("ready", flush=True)
    return await done


if __name__ == "__main__":
    sys.exit(asyncio.run(main()))
