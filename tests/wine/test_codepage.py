"""The installer on a Windows whose ANSI code page is 1252, not 936: its texts
must still read and draw as the Chinese texts they are."""

from harness import CHINESE, Config, Driver, HOST, WESTERN, WIZARD, WineTest, run_tests, wait_until
# The module, not its names: its test class must not run here again.
import test_wizard_layout as layout

QUESTION_TITLE = "退出安装"
QUESTION = "确定退出此软件的安装吗？"
IDNO = 7
WELCOME_COLOUR = (88, 48, 224)


class CodePageTest(WineTest):
    def open_wizard(self, locale):
        program = self.start(locale)
        wizard = wait_until(lambda: (lambda w: w if w["visible"] else None)(self.d.window(WIZARD)),
                            message=f"wizard shown under {locale}")
        wait_until(lambda: self.d.focus(WIZARD) == "按钮1", message="focus on 按钮1")
        return program, wizard

    def client_picture(self, wizard, name):
        """The wizard's client area once drawn (the rule on row 192 is the last
        control painted), as rows of RGB bytes."""
        x0, y0 = wizard["client"]["left"], wizard["client"]["top"]

        def drawn():
            shot = self.session.screen_pixels(name)
            return shot if shot.pixel(x0 + 160, y0 + 192) == (0, 0, 0) else None

        shot = wait_until(drawn, message="wizard drawn")
        rows = [bytes(shot.data[((y0 + y) * shot.width + x0) * 3:
                                ((y0 + y) * shot.width + x0 + 320) * 3]) for y in range(240)]
        return shot, rows

    def test_the_locale_sets_the_ansi_code_page(self):
        western = Driver(self.session, Config.driver, WESTERN)
        self.addCleanup(western.close)
        self.assertEqual(western.call("acp"), 1252)
        self.assertEqual(self.d.call("acp"), 936)

    def test_texts_read_back_as_chinese_under_1252(self):
        program, wizard = self.open_wizard(WESTERN)
        host = self.d.window(HOST)
        self.assertEqual((host["name"], wizard["name"]), ("HostWindow", "WizardWindow"))
        self.assertEqual(host["caption"], HOST)
        self.assertEqual(wizard["caption"], WIZARD)
        controls = self.d.controls(WIZARD)
        for name, *_, text in layout.CONTROLS:
            if text is not None:
                with self.subTest(control=name):
                    self.assertEqual(controls[name]["text"], text)
        self.assertEqual(controls["编辑框1"]["text"].split("\r\n")[0], layout.release_notes_first_line())
        self.assertEqual(self.d.control(HOST, "标签1")["text"], "Brenmoor")

        self.d.call("close", WIZARD)
        box = self.d.wait_msgbox()["box"]
        self.assertEqual((box["title"], box["text"]), (QUESTION_TITLE, QUESTION))
        self.d.call("msgbox_press", IDNO)
        wait_until(lambda: self.d.msgbox_count() == 0, message="question gone after No")
        self.assertTrue(program.running())

    def test_texts_draw_under_1252_as_under_936(self):
        program, wizard = self.open_wizard(CHINESE)
        _, chinese = self.client_picture(wizard, "wizard-936")
        program.stop()
        self.d.wait_gone(WIZARD)

        _, wizard = self.open_wizard(WESTERN)
        shot, western = self.client_picture(wizard, "wizard-1252")
        # Glyphs, not boxes: the welcome text fills both halves of 标签1.
        x0, y0 = wizard["client"]["left"], wizard["client"]["top"]
        for half in (0, 160):
            with self.subTest(half=half):
                self.assertGreater(
                    shot.count(WELCOME_COLOUR, x0 + half, y0 + 64, x0 + half + 160, y0 + 112), 50)
        differing = [y for y in range(240) if western[y] != chinese[y]]
        self.assertEqual(differing, [], "client rows drawn differently under 1252")


if __name__ == "__main__":
    run_tests()
