"""scripts/run.sh as a user meets it, with the machine's commands stood in for (package
queries and installs, cmake, the user switch): it installs and builds only what the two
programs need, leaves the tests out where their packages are missing, and, started through
sudo, starts the program as the user who called sudo, whose the build folder with the
program's working files becomes. scripts/setup.sh without --program, as test.sh calls it, still installs everything."""

import os
import shutil
import subprocess
import tempfile
import unittest

TESTS = os.environ.get("ZOR17_TESTS", os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPTS = os.path.join(os.path.dirname(TESTS), "scripts")

PROGRAM_PACKAGES = {"build-essential", "g++", "cmake", "ninja-build", "pkg-config", "qt6-base-dev",
                    "qt6-serialport-dev", "qt6-translations-l10n", "libgl-dev", "libpcap-dev", "libiberty-dev",
                    "util-linux"}
TEST_PACKAGES = {"git", "libgtest-dev", "libgmock-dev", "libbenchmark-dev", "clang", "libclang-rt-14-dev", "llvm",
                 "tshark", "socat", "python3", "python3-pymodbus", "python3-serial", "python3-serial-asyncio",
                 "iproute2", "xvfb", "xauth", "nodejs", "npm"}

# Every stand-in writes its name and arguments as one line into $CALLS.
RECORD = 'echo "$(basename "$0") $*" >> "$CALLS"\n'
STANDINS = {
    "dpkg-query": RECORD + '[ "$INSTALLED" = all ] && printf "install ok installed"\nexit 0\n',
    "id": RECORD + 'echo "$FAKE_UID"\n',
    "nproc": "echo 2\n",
    **{name: RECORD for name in ("apt-get", "sudo", "debconf-set-selections", "cmake", "chown", "runuser")},
}
# The few real tools the scripts use beside them; nothing else of the machine is in reach.
TOOLS = ("bash", "dirname", "basename", "grep", "mkdir")


class RunScript(unittest.TestCase):
    def run_script(self, script, args, uid, sudo_user=None, installed="none"):
        """Runs a copy of the script in a tree of its own; the lines the stand-ins recorded."""
        tree = tempfile.mkdtemp(prefix="zor17-run-")
        self.addCleanup(shutil.rmtree, tree, True)
        os.makedirs(os.path.join(tree, "scripts"))
        for name in ("run.sh", "setup.sh"):
            shutil.copy(os.path.join(SCRIPTS, name), os.path.join(tree, "scripts", name))
        standins = os.path.join(tree, "standins")
        os.makedirs(standins)
        for name, body in STANDINS.items():
            with open(os.path.join(standins, name), "w") as f:
                f.write("#!/bin/sh\n" + body)
            os.chmod(os.path.join(standins, name), 0o755)
        tools = os.path.join(tree, "tools")
        os.makedirs(tools)
        for name in TOOLS:
            os.symlink(shutil.which(name), os.path.join(tools, name))
        # The npm packages are there; Node.js itself is not.
        os.makedirs(os.path.join(tree, "tests", "node_modules", "@bacnet-js", "client"))
        program = os.path.join(tree, "build", "default", "bin", "ZOR17-RS485")
        os.makedirs(os.path.dirname(program))
        with open(program, "w") as f:
            f.write("#!/bin/sh\n" + RECORD)
        os.chmod(program, 0o755)
        calls = os.path.join(tree, "calls")
        env = {"PATH": standins + ":" + tools, "CALLS": calls, "FAKE_UID": str(uid), "INSTALLED": installed,
               "HOME": tree}
        if sudo_user:
            env["SUDO_USER"] = sudo_user
        done = subprocess.run([shutil.which("bash"), os.path.join(tree, "scripts", script)] + args, cwd=tree, env=env,
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        with open(calls) as f:
            return [line.split() for line in f.read().splitlines()]

    @staticmethod
    def installs(calls):
        packages = set()
        for c in calls:
            if c[:1] == ["sudo"]:
                c = c[1:]
            if c[:2] == ["apt-get", "install"]:
                packages |= {p for p in c[2:] if not p.startswith("-")}
        return packages

    def test_run_builds_the_programs_and_starts_them_as_the_user_who_called_sudo(self):
        cases = [
            # (how it was started, uid, SUDO_USER, packages there, program started as)
            ("sudo by alice", 0, "alice", "none", ["runuser", "-u", "alice", "--", "build/default/bin/ZOR17-RS485",
                                                    "--x"]),
            ("root itself", 0, None, "none", ["ZOR17-RS485", "--x"]),
            ("sudo by root", 0, "root", "all", ["ZOR17-RS485", "--x"]),
            ("an ordinary user", 1000, None, "none", ["ZOR17-RS485", "--x"]),
        ]
        for how, uid, sudo_user, installed, started in cases:
            with self.subTest(how):
                calls = self.run_script("run.sh", ["--x"], uid, sudo_user, installed)
                self.assertEqual(self.installs(calls), PROGRAM_PACKAGES if installed == "none" else set())
                self.assertNotIn("npm", [c[0] for c in calls])
                tests = "OFF" if installed == "none" else "ON"
                # The presets make warnings errors; the user's build does not stop at one.
                self.assertIn(["cmake", "--preset", "default", "-DZOR17_BUILD_TESTS=" + tests,
                               "-DZOR17_BUILD_BENCH=" + tests, "-DCMAKE_COMPILE_WARNING_AS_ERROR=OFF"], calls)
                self.assertIn(["cmake", "--build", "--preset", "default", "-j", "2", "--target", "ZOR17-RS485",
                               "ZOR17"], calls)
                self.assertEqual(calls[-1], started)
                handed_over = [c for c in calls if c[0] == "chown"]
                if started[0] == "runuser":
                    # The whole build folder with the working files in it: the user builds there too.
                    self.assertEqual(handed_over, [["chown", "-R", "alice:", "build"]])
                else:
                    self.assertEqual(handed_over, [])

    def test_setup_without_program_installs_the_tests_too(self):
        calls = self.run_script("setup.sh", [], 0)
        self.assertEqual(self.installs(calls), PROGRAM_PACKAGES | TEST_PACKAGES)


if __name__ == "__main__":
    unittest.main()
