"""The Debian package that `cpack -G DEB` makes from the build folder: it declares the libraries
the program links and holds the program, its resources and its desktop entry. Run by CTest
(`package`) with TINKLEWOOD_BUILD_DIR naming the build folder."""

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

BUILD_DIR = Path(os.environ.get("TINKLEWOOD_BUILD_DIR", Path(__file__).resolve().parents[1] / "build"))


class PackageTest(unittest.TestCase):
    def test_the_debian_package_declares_its_libraries_and_holds_the_program(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["cpack", "-G", "DEB", "-B", out], cwd=BUILD_DIR, check=True, capture_output=True)
            packages = list(Path(out).glob("tinklewood_*.deb"))
            self.assertEqual(len(packages), 1, f"made {packages}")
            info = subprocess.run(["dpkg-deb", "--field", str(packages[0]), "Depends"],
                                  check=True, capture_output=True, text=True).stdout
            # Debian names freeglut's library package libglut.
            for library in ("libopenal", "libsndfile", "libglut", "libfreetype", "libxkbcommon", "fonts-dejavu-core"):
                self.assertIn(library, info, f"{library} missing from Depends: {info}")
            contents = subprocess.run(["dpkg-deb", "--contents", str(packages[0])],
                                      check=True, capture_output=True, text=True).stdout
            for path in ("./usr/bin/tinklewood", "./usr/share/tinklewood/res/help.txt",
                         "./usr/share/tinklewood/res/alsoft.conf",
                         "./usr/share/applications/tinklewood.desktop"):
                self.assertIn(path, contents)


if __name__ == "__main__":
    unittest.main()
