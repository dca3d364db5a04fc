"""The built programs and libraries a board runs, and what the machine must
offer, so that a missing piece is named before anything starts."""

import os
import re
import shutil
import subprocess

ARM_ROOT = "/usr/arm-linux-gnueabi"


class Tools:
    def __init__(self, build, arm_build=None):
        self.build = build
        self.arm_build = arm_build
        service_build = arm_build or build
        self.dravel = os.path.join(service_build, "dravel")
        self.camera = os.path.join(service_build, "platform/camera/libcamera-fake.so")
        self.statemgrd = os.path.join(build, "platform/statemgr/statemgrd")
        self.stmgrclient = os.path.join(build, "platform/statemgr/stmgrclient")
        self.shmgr_dump = os.path.join(build, "tools/shmgr-dump/shmgr-dump")
        self.accessbase = os.path.join(build, "tools/accessbase/accessbase")
        self.archive_keeper = os.path.join(build, "tools/archive-keeper/archive-keeper")
        self.qemu = shutil.which("qemu-arm") if arm_build else None

    def path_dirs(self):
        """Folders the board's PATH starts with: the service runs
        "stmgrclient rise ..." by name, as on the board, and a scenario
        runs the tools by name, the operator's page, dravel-web, among them."""
        return [os.path.dirname(self.stmgrclient), os.path.dirname(self.accessbase),
                os.path.dirname(self.archive_keeper), os.path.join(self.build, "tools/dravel-web")]

    def missing(self, need_accessbase):
        """What is not there, as sentences."""
        problems = []
        wanted = [(self.dravel, "the service"), (self.camera, "the fake camera"),
                  (self.statemgrd, "the state manager"), (self.stmgrclient, "stmgrclient"),
                  (self.shmgr_dump, "shmgr-dump")]
        if need_accessbase:
            wanted.append((self.accessbase, "the accessbase tool (for a CSV access base)"))
        for path, what in wanted:
            if not os.path.isfile(path):
                problems.append("%s is not built: no %s" % (what, path))
        if self.arm_build:
            if not self.qemu:
                problems.append("qemu-arm is not installed (Debian package qemu-user)")
            if not os.path.isdir(ARM_ROOT):
                problems.append("the ARM C library is missing: no %s (Debian package "
                                "g++-arm-linux-gnueabi)" % ARM_ROOT)
        for folder in ("/tmp", "/var/local", "/mnt"):
            if not os.path.isdir(folder):
                problems.append("%s does not exist here, so the board cannot mount its own "
                                "over it" % folder)
        return problems

    def preload(self, extra=()):
        """LD_PRELOAD for the x86 service: the fake camera and then the
        `extra` libraries, behind the sanitizer runtime when the service was
        built with one (it must come first)."""
        libraries = [self.camera] + list(extra)
        try:
            linked = subprocess.run(["ldd", self.dravel], capture_output=True, text=True).stdout
        except OSError:
            linked = ""
        for name in ("libasan", "libubsan"):
            found = re.search(r"\s(%s\.so[^\s]*) => (\S+)" % name, linked)
            if found:
                libraries.insert(0, found.group(2))
                break
        return " ".join(libraries)

    def service_command(self, env, detach, extra_preload=()):
        """(executable, argv) of the service as "dravel", with the board's
        libraries and then `extra_preload`; the ARMv5 service runs under
        qemu-arm."""
        options = [] if detach else ["-f"]
        if not self.arm_build:
            env["LD_PRELOAD"] = self.preload(extra_preload)
            if "libasan" in env["LD_PRELOAD"]:
                suppressions = os.path.join(os.path.dirname(os.path.dirname(__file__)),
                                            "service.supp")
                env["LSAN_OPTIONS"] = ":".join(
                    filter(None, [env.get("LSAN_OPTIONS"), "suppressions=" + suppressions]))
            return self.dravel, ["dravel"] + options
        # qemu-arm itself is an x86 program: the ARM camera goes into the
        # guest's environment only.
        argv = [self.qemu, "-L", ARM_ROOT, "-0", "dravel", "-E",
                "LD_PRELOAD=" + ":".join([self.camera] + list(extra_preload)),
                self.dravel] + options
        return self.qemu, argv
