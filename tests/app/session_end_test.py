#!/usr/bin/env python3
"""The end of a desktop session through the real program and a session
manager of the X session protocol (XSMP, spoken through libSM and libICE):
a checkpoint saves and the program goes on; the save before the end of the
session saves what was typed with no box asking anything; the manager's
"die" ends it at once with status 0.

Usage: session_end_test.py PROGRAM. Exit status 77: Xvfb, xdotool or the
session libraries are missing. Uses the sound server of the test runner."""
import ctypes as C
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

P = C.c_void_p
try:
    ICE, SM = C.CDLL("libICE.so.6"), C.CDLL("libSM.so.6")
except OSError:
    sys.exit(77)
if not (shutil.which("Xvfb") and shutil.which("xdotool")):
    sys.exit(77)

events = []  # what the program told the manager, in order
conn = []

# The manager's side of the protocol: every client request is recorded;
# a client asking to interact (to show a box) is let, so nothing hangs.
Proc = lambda *args: C.CFUNCTYPE(None, P, P, *args)
def record(name):
    return lambda smsConn, data, *args: events.append((name, args))
def register(smsConn, data, previous):
    SM.SmsRegisterClientReply(P(smsConn), P(SM.SmsGenerateClientID(P(smsConn))))
    conn.append(P(smsConn))
    return 1
def interact_request(smsConn, data, dialog):
    events.append(("interact_request", ()))
    SM.SmsInteract(P(smsConn))
SM.SmsGenerateClientID.restype = P
callbacks = [C.CFUNCTYPE(C.c_int, P, P, C.c_char_p)(register), Proc(C.c_int)(interact_request),
             Proc(C.c_int)(record("interact_done")),
             Proc(C.c_int, C.c_int, C.c_int, C.c_int, C.c_int)(record("save_yourself_request")),
             Proc()(record("phase2_request")), Proc(C.c_int)(record("save_yourself_done")),
             Proc(C.c_int, P)(record("close")), Proc(C.c_int, P)(lambda *a: None), Proc(C.c_int, P)(lambda *a: None),
             Proc()(lambda *a: None)]
def new_client(smsConn, data, mask, table, failure):
    mask[0] = (1 << len(callbacks)) - 1
    slots = C.cast(table, C.POINTER(P * (2 * len(callbacks)))).contents
    for i, callback in enumerate(callbacks):
        slots[2 * i], slots[2 * i + 1] = C.cast(callback, P), None
    return 1
new_client_proc = C.CFUNCTYPE(C.c_int, P, P, C.POINTER(C.c_ulong), P, P)(new_client)
allow_local = C.CFUNCTYPE(C.c_int, C.c_char_p)(lambda host: 1)
io_error = C.CFUNCTYPE(None, P)(lambda c: None)  # the default handler would end this test
ICE.IceSetIOErrorHandler(io_error)
error = C.create_string_buffer(256)
count, listeners = C.c_int(), P()
if not SM.SmsInitialize(b"test", b"1", new_client_proc, None, allow_local, 256, error) or \
        not ICE.IceListenForConnections(C.byref(count), C.byref(listeners), 256, error):
    sys.exit("no session manager: " + error.value.decode())
listen = C.cast(listeners, C.POINTER(P * count.value)).contents
for listener in listen:
    ICE.IceSetHostBasedAuthProc(P(listener), allow_local)
ICE.IceComposeNetworkIdList.restype = C.c_char_p
ICE.IceAcceptConnection.restype = P
listen_fds = {ICE.IceGetListenConnectionNumber(P(o)): o for o in listen}
ice = {}

def pump(seconds, until=lambda: False):
    """Runs the manager's side until the condition holds or time is up."""
    end = time.time() + seconds
    while not until() and time.time() < end:
        for fd in select.select(list(listen_fds) + list(ice), [], [], 0.1)[0]:
            if fd in listen_fds:
                status = C.c_int()
                c = ICE.IceAcceptConnection(P(listen_fds[fd]), C.byref(status))
                if c:
                    ice[ICE.IceConnectionNumber(P(c))] = c
            elif ICE.IceProcessMessages(P(ice[fd]), None, None) != 0:
                del ice[fd]
    return until()

failures = []
def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what, file=sys.stderr)

START, END = b"||||||Voxtrella MP3 Start of Article||||||\r\n", b"||||||Voxtrella MP3 End of Article||||||\r\n"
home = tempfile.mkdtemp(prefix="voxtrella-session.")
saved = home + "/VXExport.txt"
with open(home + "/registry.ini", "w") as f:
    f.write('[Software\\VarnyxTech\\Voxtrella]\n"FirstTimeUser"="false"\n')
with open(saved, "wb") as f:
    f.write(b"".join(START + b"Kept %d||1\r\nArticle %d.\r\n" % (i, i) + END for i in range(3)))
xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp"], stdout=subprocess.PIPE)
program = None
try:
    display = ":" + xvfb.stdout.readline().decode().strip()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", VOXTRELLA_HOME=home,
               SESSION_MANAGER=ICE.IceComposeNetworkIdList(count, listeners).decode())
    env.pop("WAYLAND_DISPLAY", None)
    program = subprocess.Popen([sys.argv[1]], env=env)
    log = lambda: open(home + "/voxtrella.dbg", errors="replace").read() if os.path.exists(home + "/voxtrella.dbg") else ""
    if not pump(30, lambda: conn and "Exiting FormShow" in log()):
        sys.exit("the program did not register with the session manager:\n" + log())

    def save_yourself(shutdown):
        n = len(events)
        SM.SmsSaveYourself(conn[0], 2, shutdown, 2, 0)  # local and global, any interaction, not fast
        done = pump(15, lambda: any(e[0] == "save_yourself_done" for e in events[n:]))
        check(done and events[-1] == ("save_yourself_done", (1,)), "save (shutdown=%d) not done: %s" % (shutdown, events[n:]))
        check(not any(e[0] == "interact_request" for e in events[n:]), "a box waited for a click")

    # A checkpoint: saved, and the program goes on.
    save_yourself(0)
    pump(1)
    check(program.poll() is None, "a checkpoint ended the program")
    check("Session saving" in log(), "no save at the checkpoint")

    # Typed, then the session ends: saved before the manager's "die".
    window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Voxtrella MP3$"], env=env,
                            capture_output=True, text=True).stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
    subprocess.run(["xdotool", "type", "--delay", "20", "typed before logout "], env=env)
    pump(1)
    save_yourself(1)
    with open(saved, "rb") as f:
        content = f.read()
    check(b"typed before logout" in content and content.count(START) == 3, "not saved at the session's end")
    SM.SmsDie(conn[0])
    check(pump(10, lambda: program.poll() is not None), "still running after the manager's die")
    check(program.poll() == 0, "exit status %s" % program.poll())
    with open(saved, "rb") as f:
        check(f.read() == content, "the articles changed after the session's save")
finally:
    for process in (program, xvfb):
        if process and process.poll() is None:
            process.kill()
            process.wait()
    shutil.rmtree(home, ignore_errors=True)
print("session end: " + ("%d checks failed" % len(failures) if failures else "every check held"))
sys.exit(1 if failures else 0)
