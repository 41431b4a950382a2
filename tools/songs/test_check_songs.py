#!/usr/bin/env python3
"""Run with: python3 -m unittest discover tools/songs (song-dump built; see check_songs.py)"""
import contextlib
import io
import tempfile
import unittest
from pathlib import Path

import check_songs


class CheckSongs(unittest.TestCase):
    def checked(self, text, name="song.song"):
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / name
            path.write_text(text)
            return check_songs.check(path)

    def problems(self, text, name="song.song"):
        return self.checked(text, name)[1]

    def test_a_well_formed_file_passes_with_or_without_mode_and_reads_as_the_program_reads_it(self):
        song, problems = self.checked("minor\n2 2 5 4 11\n2 2 0 minor 4 4\n", name="au_clair_de_la_lune.song")
        self.assertEqual(problems, [])
        self.assertEqual(song["title"], "Au Clair de la Lune")
        self.assertEqual((song["mode"], song["mode_changes"]), ("minor", [[1, "minor"]]))
        self.assertEqual((song["right"], song["left"]), ([[2, 5], [4, 11]], [[2, 0], [4, 4]]))
        self.assertEqual(self.problems("1 3 0\n1 6 4\n"), [], "only a mode line asks for equal ends")

    def test_each_broken_rule_is_reported(self):
        cases = {"1 1 0\n0\n": "1 beat",
                 "1 2 0.5\n0\n": "index 0.5",
                 "major\n1 2 0\n1 2 0 7\n": "1 word after",
                 "1 2 0\n": "count is missing",
                 "major\n1 4 0\n1 2 0\n": "end apart",
                 # What the program itself refuses, in its own words.
                 "1 2.5 0\n0\n": "duration 2.5",
                 "major\n1 2 13\n1 2 0\n": "index 13",
                 "major\n1 2 0\n1 2 5\n": "index 5",
                 "major\n1 2 0\n2 2 0\n": "announces 2 entries",
                 "Major\n1 2 0\n1 2 0\n": 'count "Major"'}
        for text, expected in cases.items():
            found = self.problems(text)
            self.assertEqual(len(found), 1, (text, found))
            self.assertIn(expected, found[0])
        self.assertIn("file name", self.problems("0 0", name="Ode-to-Joy.song")[0])

    def test_exit_status_follows_the_files(self):
        with tempfile.TemporaryDirectory() as folder, contextlib.redirect_stdout(io.StringIO()):
            (Path(folder) / "good.song").write_text("major 1 2 0 1 2 0")
            self.assertEqual(check_songs.main(["check", folder]), 1, "mode not alone on its line")
            (Path(folder) / "good.song").write_text("major\n1 2 0 1 2 0")
            self.assertEqual(check_songs.main(["check", folder]), 0)

    def test_the_songs_shipped_with_the_piano_pass(self):
        with contextlib.redirect_stdout(io.StringIO()) as out:
            self.assertEqual(check_songs.main(["check"]), 0, out.getvalue())
        self.assertGreaterEqual(out.getvalue().count(" minor "), 2)


if __name__ == "__main__":
    unittest.main()
