"""The packages that scripts/package.sh makes from the builds: the Windows zip
holds what its pluginst.inf names (and the 64-bit library beside it), and the
.deb installs the plug-in where Double Commander keeps plug-ins, where it
then lists a compound file."""
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


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True, **kwargs)


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = pathlib.Path(tempfile.mkdtemp(prefix="packages-"))
        cls.out = cls.tmp / "out"
        cls.listed = [pathlib.Path(name) for name in run(ROOT / "scripts/package.sh", cls.out).stdout.split()]

    def package(self, suffix):
        [found] = [path for path in self.listed if path.name.endswith(suffix)]
        return found

    @classmethod
    def tearDownClass(cls):
        run("rm", "-rf", cls.tmp)

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

    def test_the_tarball_holds_the_plugin_and_its_install_notes(self):
        with tarfile.open(self.package("-linux-x86_64.tar.gz")) as archive:
            names = {pathlib.PurePosixPath(name).name for name in archive.getnames() if name.count("/") == 1}
            top = {name.split("/")[0] for name in archive.getnames()}
        self.assertEqual(names, {"qorStorageWCX.wcx", "INSTALL.txt"})
        self.assertEqual(len(top), 1)

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
        # The installed plug-in works: it packs and lists a file through wcxhost.
        (self.tmp / "notes.txt").write_text("notes\n")
        wcxhost = pathlib.Path(ENV["LINUX_BUILD"]) / "src/wcxhost"
        run(wcxhost, "--plugin", installed, "add", "notes.doc", "notes.txt", cwd=self.tmp)
        self.assertIn("notes.txt", run(wcxhost, "--plugin", installed, "list", "notes.doc", cwd=self.tmp).stdout)


if __name__ == "__main__":
    if not all(ENV.get(name) for name in ("LINUX_BUILD", "WIN64_BUILD", "WIN32_BUILD")):
        print("skipped: needs a Linux build and both Windows builds")
        sys.exit(77)
    unittest.main()
