"""The command line of sim/board."""

import argparse
import os
import re
import signal
import sys

from simboard import board, namespace, scenario, tools

DESCRIPTION = """\
Runs one simulated barrier board: the dravel service with the fake camera,
the engine stand-in, its own state manager and stream, in a mount namespace
of its own (private /tmp, /var/local, /mnt and /dev/log), from a
configuration folder, an access base, a scenario and a barrier direction.
Everything the run leaves goes into RUN/BOARD (see README.md, "Simulated
boards"); two boards of one run share RUN/net-base, as an entry and an exit
barrier share their network folder."""

EPILOG = """\
scenario: the fake camera's events (platform/camera/SCENARIO.md) and the
runner's own, at scenario seconds from the service's start:
  TIME photo              the operator's photo request (s_make_photo set to 1)
  TIME signal NAME...     signals to the service (TERM, USR1, 15), each once the
                          service took the one before; those sent while it is
                          stopped (STOP ... CONT) arrive together
  TIME run COMMAND...     a shell command inside the board (PATH has the tools,
                          $BOARD is the board's folder in the run, its log
                          $BOARD/log, $SERVICE_PID the service's process id)
  TIME wait COMMAND...    the scenario stands still at TIME (the camera's
                          picture, the runner's later lines) until the shell
                          command succeeds inside the board, tried every
                          0.05 s; after 60 s the board fails (exit status 1)
  TIME stop               SIGTERM, then up to 30 s for the service to end
  TIME restart-statemgrd  the state manager killed (SIGKILL) and started again,
                          with a new watch of its events
  TIME kill-statemgrd     the state manager killed (SIGKILL) for good
  TIME remove-stream      the stream manager's shared memory of the channel removed

A --tmpfs fills up for real: a scenario's run action can fill it, another
free it again, and the service meets a full file system in between.

Exit status: 0 the board ran (how the service ended is in RUN/BOARD/exit),
1 the board could not be set up or a wait gave up, 2 bad command line."""


def parse(argv):
    parser = argparse.ArgumentParser(
        prog="sim/board", description=DESCRIPTION, epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
    parser.add_argument("--run", metavar="DIR", help="the run folder (made when missing)")
    parser.add_argument("--board", metavar="NAME",
                        help="the board's folder in the run (default: entry for --direction "
                             "in, exit for out, else board)")
    parser.add_argument("--config", metavar="DIR",
                        help="configuration folder (streams.ini, TZ) to copy into the board; "
                             "none: the service runs on its defaults")
    parser.add_argument("--access", metavar="FILE",
                        help="access base: a .tpa file as is, or a .csv that accessbase imports")
    parser.add_argument("--scenario", metavar="FILE", help="scenario file (below)")
    parser.add_argument("--direction", choices=("in", "out"),
                        help="barrier type to set in the board's streams.ini")
    parser.add_argument("--net-base", metavar="DIR",
                        help="host folder mounted as the board's net-base folder "
                             "(default RUN/net-base)")
    parser.add_argument("--speed", type=float, default=1.0, metavar="X",
                        help="scenario seconds per real second (CAMERA_SPEED; default 1); 0 "
                             "gives frames as fast as the service takes them")
    parser.add_argument("--duration", type=float, metavar="SECONDS",
                        help="stop the board after this many scenario seconds")
    parser.add_argument("--until-passages", type=int, metavar="N",
                        help="stop the board once N lines were added to the pass journal")
    parser.add_argument("--lpr-odd", metavar="PLATES",
                        help="plates the engine answers oddly (LPR_ODD, see README.md)")
    parser.add_argument("--startup-signal", action="append", default=[], metavar="SIG",
                        help="send SIG while the service is inside its start-up (repeatable); "
                             "the TZ file reaches it through a FIFO for that")
    parser.add_argument("--ignore", action="append", default=[], metavar="SIG",
                        help="start the service with SIG ignored, as a shell's background job")
    parser.add_argument("--fail", choices=("shmgr", "statemgr"),
                        help="leave the stream manager or the state manager out")
    parser.add_argument("--restart", choices=("no", "on-failure"), default="no",
                        help="start the service again when it ends, as systemd's Restart= "
                             "does: on-failure after an exit status other than 0 or a "
                             "signal other than HUP, INT, TERM and PIPE (default no)")
    parser.add_argument("--detach", action="store_true",
                        help="start the service as on the board, without -f")
    parser.add_argument("--frame-log", action="store_true",
                        help="log every camera frame with its time in RUN/BOARD/frames")
    parser.add_argument("--stream", choices=("all", "passages", "none"), default="all",
                        help="blocks shmgr-dump shows (default all)")
    parser.add_argument("--sample", type=float, default=1.0, metavar="SECONDS",
                        help="how often memory and descriptors are sampled (default 1)")
    parser.add_argument("--preload", action="append", default=[], metavar="LIB",
                        help="a library loaded into the service after the fake camera "
                             "(repeatable; LD_PRELOAD, with --arm-build the guest's)")
    parser.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                        help="set in the service's environment only (repeatable); RUN/BOARD/"
                             "command lists it with the rest")
    parser.add_argument("--tmpfs", action="append", default=[], metavar="DIR=SIZE",
                        help="a tmpfs of SIZE (mount's size=, e.g. 512k, 4m) on DIR inside the "
                             "board, starting with what DIR held: DIR lies below the board's "
                             "/mnt, /tmp or /var/local, or is the net-base folder. What it "
                             "holds at the end is copied to the board's own folder for DIR "
                             "(RUN/BOARD/mnt/... and so on); repeatable")
    parser.add_argument("--build", default=os.path.join(os.path.dirname(here), "build"),
                        metavar="DIR", help="build folder of the x86 programs (default build/)")
    parser.add_argument("--arm-build", metavar="DIR",
                        help="run the ARMv5 service and board libraries of DIR under qemu-arm")
    parser.add_argument("--check", action="store_true",
                        help="only check that everything a board needs is there")
    args = parser.parse_args(argv)
    if not args.run and not args.check:
        parser.error("--run DIR is needed")
    for name in args.startup_signal + args.ignore:
        if scenario.signal_number(name) is None:
            parser.error("%s is not a signal" % name)
    if args.board and not all(c.isalnum() or c in "-_" for c in args.board):
        parser.error("a board name has letters, digits, - and _ only")
    if args.speed < 0 or args.sample <= 0:
        parser.error("--speed is 0 or more and --sample more than 0")
    args.preload = [os.path.realpath(library) for library in args.preload]
    for library in args.preload:
        if not os.path.isfile(library):
            parser.error("--preload %s: no such file" % library)
    args.env = [_setting(parser, setting) for setting in args.env]
    args.tmpfs = [_tmpfs(parser, setting) for setting in args.tmpfs]
    return args


def _setting(parser, text):
    name, equals, value = text.partition("=")
    if not equals or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name):
        parser.error("--env %s: NAME=VALUE, with a name of letters, digits and _" % text)
    if name == "LD_PRELOAD":
        parser.error("--env LD_PRELOAD would drop the fake camera; use --preload")
    return name, value


def _tmpfs(parser, text):
    folder, equals, size = text.rpartition("=")
    # mount's size=: bytes, k, m or g, or a share of the memory.
    if not equals or not folder.startswith("/") or not re.fullmatch(r"[0-9]+[kmgKMG%]?", size):
        parser.error("--tmpfs %s: DIR=SIZE, an absolute folder and a size such as 512k" % text)
    return os.path.normpath(folder), size


def main(argv):
    args = parse(argv)
    kit = tools.Tools(os.path.realpath(args.build),
                      os.path.realpath(args.arm_build) if args.arm_build else None)
    problems = kit.missing(bool(args.access and args.access.endswith(".csv")))
    why = namespace.can_enter()
    if why:
        problems.append("no mount namespace can be made (%s); run as root, or allow user "
                        "namespaces (sysctl kernel.unprivileged_userns_clone=1)" % why)
    if problems:
        print("sim/board: this machine cannot run a board yet:", file=sys.stderr)
        for problem in problems:
            print("  - " + problem, file=sys.stderr)
        return 1
    if args.check:
        print("sim/board: everything a board needs is there")
        return 0
    namespace.enter()
    the_board = board.Board(args, kit)

    def interrupt(signum, frame):
        the_board.interrupted = True

    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGINT, interrupt)
    try:
        return the_board.run()
    except (board.SetupError, RuntimeError, OSError) as error:
        print("sim/board: %s" % error, file=sys.stderr)
        return 1
