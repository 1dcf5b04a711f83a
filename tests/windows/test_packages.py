"""The packages that scripts/package.sh makes from the builds: the Windows zip
holds what its pluginst.inf names (and the 64-bit library beside it), and the
.deb installs the plug-in where Double Commander keeps plug-ins, where it
then lists a compound file, with wcxhost, the command that registers the
plug-in and their man pages. With LINUX_ONLY set, the Linux packages alone."""
import gzip
import configparser
import os
import pathlib
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
ENV = os.environ
PLUGIN_IN_DEB = "usr/lib/doublecmd/plugins/wcx/qorStorageWCX/qorStorageWCX.wcx"
LINUX_COMMANDS = ("wcxhost", "qorstoragewcx-register")


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True, **kwargs)


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = pathlib.Path(tempfile.mkdtemp(prefix="packages-"))
        cls.out = cls.tmp / "out"
        cls.listed = [pathlib.Path(name) for name in run(ROOT / "scripts/package.sh", cls.out).stdout.split()]
        if ENV.get("LINUX_ONLY"):
            assert not any(path.name.endswith(".zip") for path in cls.listed)

    def package(self, suffix):
        [found] = [path for path in self.listed if path.name.endswith(suffix)]
        return found

    @classmethod
    def tearDownClass(cls):
        run("rm", "-rf", cls.tmp)

    def assertRegisters(self, command, plugin):
        config_dir = pathlib.Path(tempfile.mkdtemp(dir=self.tmp))
        run(command, "--config-dir", config_dir)
        self.assertIn(f"<Path>{plugin}</Path>", (config_dir / "doublecmd.xml").read_text())

    @unittest.skipIf(ENV.get("LINUX_ONLY"), "Linux packages only")
    def test_the_zip_holds_what_pluginst_inf_names(self):
        with zipfile.ZipFile(self.package("-windows.zip")) as archive:
            names = set(archive.namelist())
            inf = configparser.ConfigParser()
            inf.read_string(archive.read("pluginst.inf").decode("ascii"))
            self.assertIn(b"\r\n", archive.read("pluginst.inf"))
            archive.extractall(self.tmp / "zip")
        install = inf["plugininstall"]
        self.assertEqual((install["type"], install["defaultextension"]), ("wcx", "doc"))
        library = install["file"]
        self.assertEqual(names, {"pluginst.inf", library, library + "64"})
        for name, machine in ((library, "i686"), (library + "64", "x86_64")):
            run(ROOT / "tests/windows/check_plugin_dll.sh", self.tmp / "zip" / name, machine)

    def test_the_tarball_holds_the_plugin_its_commands_and_install_notes(self):
        with tarfile.open(self.package("-linux-x86_64.tar.gz")) as archive:
            members = {pathlib.PurePosixPath(member.name).name: member for member in archive.getmembers()
                       if member.name.count("/") == 1}
            top = {name.split("/")[0] for name in archive.getnames()}
            archive.extractall(self.tmp / "tarball")
        self.assertEqual(set(members), {"qorStorageWCX.wcx", "INSTALL.txt", *LINUX_COMMANDS})
        self.assertEqual(len(top), 1)
        for command in LINUX_COMMANDS:
            self.assertTrue(members[command].mode & 0o111, command)
        # Both commands find the plug-in beside them.
        unpacked = self.tmp / "tarball" / top.pop()
        self.assertRegisters(unpacked / "qorstoragewcx-register", unpacked / "qorStorageWCX.wcx")
        run(unpacked / "wcxhost", "add", self.tmp / "from-tarball.doc", unpacked / "INSTALL.txt")
        self.assertIn("INSTALL.txt", run(unpacked / "wcxhost", "list", self.tmp / "from-tarball.doc").stdout)

    def test_the_deb_installs_the_plugin_where_double_commander_keeps_plugins(self):
        deb = self.package("_amd64.deb")
        self.assertIn("./" + PLUGIN_IN_DEB, run("dpkg", "-c", deb).stdout)
        # Installed into a root of its own, with a package database of its own.
        root = self.tmp / "root"
        admin = root / "var/lib/dpkg"
        (admin / "info").mkdir(parents=True)
        (admin / "updates").mkdir()
        (admin / "status").touch()
        run("dpkg", f"--instdir={root}", f"--admindir={admin}", "--force-depends", "--force-not-root",
            "--force-script-chrootless", "-i", deb)
        installed = root / PLUGIN_IN_DEB
        self.assertTrue((root / "usr/share/doc/qorstoragewcx/README.Debian").is_file())
        self.assertIn("python3", run("dpkg-deb", "--field", deb, "Depends").stdout)
        for command in LINUX_COMMANDS:
            self.assertEqual((root / "usr/bin" / command).resolve(), (root / PLUGIN_IN_DEB).parent / command)
            with gzip.open(root / f"usr/share/man/man1/{command}.1.gz", "rt") as page:
                self.assertIn(".TH " + command.upper() + " 1", page.read())
        self.assertRegisters(root / "usr/bin/qorstoragewcx-register", root / PLUGIN_IN_DEB)
        # The installed plug-in works: it packs and lists a file through wcxhost.
        (self.tmp / "notes.txt").write_text("notes\n")
        wcxhost = pathlib.Path(ENV["LINUX_BUILD"]) / "src/wcxhost"
        run(wcxhost, "--plugin", installed, "add", "notes.doc", "notes.txt", cwd=self.tmp)
        self.assertIn("notes.txt", run(wcxhost, "--plugin", installed, "list", "notes.doc", cwd=self.tmp).stdout)


if __name__ == "__main__":
    needed = ("LINUX_BUILD",) if ENV.get("LINUX_ONLY") else ("LINUX_BUILD", "WIN64_BUILD", "WIN32_BUILD")
    if not all(ENV.get(name) for name in needed):
        print("skipped: needs a Linux build and, unless LINUX_ONLY is set, both Windows builds")
        sys.exit(77)
    unittest.main()
