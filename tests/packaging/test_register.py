"""qorstoragewcx-register against the configuration a first start of Double
Commander 1.0.10 writes (default-doublecmd.xml)."""
import os
import pathlib
import shutil
import subprocess
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
COMMAND = ROOT / "packaging/qorstoragewcx-register"
DEFAULT_CONFIG = pathlib.Path(__file__).resolve().parent / "default-doublecmd.xml"
EXTENSIONS = ["doc", "xls", "ppt", "msg", "msi", "msp", "mst", "db", "vsd", "pub"]


def wcx_entries(config):
    return [(entry.findtext("ArchiveExt"), entry.findtext("Path"), entry.findtext("Flags"), entry.get("Enabled"))
            for entry in ET.parse(config).getroot().iterfind("Plugins/WcxPlugins/WcxPlugin")]


class Register(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="register-"))
        self.addCleanup(shutil.rmtree, self.tmp)
        self.plugin = self.tmp / "lib/qorStorageWCX.wcx"
        self.plugin.parent.mkdir()
        self.plugin.touch()
        self.config_dir = self.tmp / "doublecmd"
        self.config_dir.mkdir()
        self.config = self.config_dir / "doublecmd.xml"
        shutil.copy(DEFAULT_CONFIG, self.config)

    def run_command(self, *args, expect=0):
        result = subprocess.run(["/usr/bin/python3", COMMAND, "--config-dir", self.config_dir, "--plugin",
                                 self.plugin, *args], capture_output=True, text=True)
        self.assertEqual(result.returncode, expect, result.stderr)
        return result

    def ours(self):
        return [entry for entry in wcx_entries(self.config) if entry[1] == str(self.plugin)]

    def test_register_twice_then_undo(self):
        others = wcx_entries(DEFAULT_CONFIG)
        self.run_command()
        self.assertEqual(self.ours(), [(ext, str(self.plugin), "335", "True") for ext in EXTENSIONS])
        self.assertEqual([entry for entry in wcx_entries(self.config) if entry not in self.ours()], others)
        backup = self.config_dir / "doublecmd.xml.qorstoragewcx.bak"
        self.assertEqual(backup.read_bytes(), DEFAULT_CONFIG.read_bytes())

        registered = self.config.read_bytes()
        self.assertIn("nothing to change", self.run_command().stdout)
        self.assertEqual(self.config.read_bytes(), registered)

        # The backup keeps what was there before registering, through an undo
        # and a second registering.
        self.run_command("--undo")
        self.assertEqual(self.config.read_bytes(), DEFAULT_CONFIG.read_bytes())
        self.run_command()
        self.assertEqual(self.config.read_bytes(), registered)
        self.assertEqual(backup.read_bytes(), DEFAULT_CONFIG.read_bytes())

    def test_another_plugins_extension_and_entries_stay(self):
        config = ET.parse(DEFAULT_CONFIG, ET.XMLParser(target=ET.TreeBuilder(insert_comments=True)))
        config.getroot().insert(0, ET.Comment(" kept "))
        plugins = config.getroot().find("Plugins/WcxPlugins")
        other = ET.SubElement(plugins, "WcxPlugin", Enabled="False")
        for tag, text in (("ArchiveExt", "msi"), ("Path", "/opt/other/msi.wcx"), ("Flags", "4")):
            ET.SubElement(other, tag).text = text
        config.write(self.config, encoding="UTF-8", xml_declaration=True)
        # Kept in a dotfiles folder, linked from where Double Commander looks.
        kept = self.tmp / "dotfiles.xml"
        self.config.rename(kept)
        self.config.symlink_to(kept)
        result = self.run_command()
        self.assertIn("/opt/other/msi.wcx", result.stdout)
        self.assertEqual([entry[0] for entry in self.ours()], [ext for ext in EXTENSIONS if ext != "msi"])
        self.assertTrue(self.config.is_symlink())
        self.assertIn("<!-- kept -->", kept.read_text())
        self.run_command("--undo")
        self.assertEqual(wcx_entries(self.config), wcx_entries(DEFAULT_CONFIG) + [
            ("msi", "/opt/other/msi.wcx", "4", "False")])

    def test_without_a_configuration_only_the_plugin_section_is_written(self):
        self.config.unlink()
        self.run_command()
        root = ET.parse(self.config).getroot()
        self.assertEqual([child.tag for child in root], ["Plugins"])
        self.assertEqual(len(self.ours()), len(EXTENSIONS))
        self.assertFalse((self.config_dir / "doublecmd.xml.qorstoragewcx.bak").exists())
        umask = os.umask(0)
        os.umask(umask)
        self.assertEqual(self.config.stat().st_mode & 0o777, 0o666 & ~umask)

    def test_refusals_change_nothing(self):
        self.config.write_text("<doublecmd><Plugins>")
        self.assertIn("not valid XML", self.run_command(expect=1).stderr)
        self.assertEqual(self.config.read_text(), "<doublecmd><Plugins>")

        shutil.copy(DEFAULT_CONFIG, self.config)
        self.plugin.unlink()
        self.assertIn("missing", self.run_command(expect=1).stderr)
        self.plugin.touch()

        # A process named doublecmd stands in for Double Commander.
        fake = self.plugin.parent / "doublecmd"
        shutil.copy("/bin/sleep", fake)
        running = subprocess.Popen([fake, "60"])
        self.addCleanup(running.wait)
        self.addCleanup(running.kill)
        while pathlib.Path(f"/proc/{running.pid}/comm").read_text().strip() != "doublecmd":
            time.sleep(0.01)
        for args in ((), ("--undo",)):
            self.assertIn("Double Commander is running", self.run_command(*args, expect=1).stderr)
        self.assertEqual(self.config.read_bytes(), DEFAULT_CONFIG.read_bytes())
        self.assertEqual(sorted(os.listdir(self.config_dir)), ["doublecmd.xml"])


if __name__ == "__main__":
    unittest.main()
