// The main window from the keyboard: every Alt+letter leads to one place.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>
#include <map>
#include <string>

#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

using Keyboard = MainWindowTest;

// The letter after a single '&' ("Si&gnal" -> 'g'), lower case; 0 for none.
char mnemonicOf(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;  // "&&" is a literal ampersand
      continue;
    }
    return static_cast<char>(text[i + 1].toLower().toLatin1());
  }
  return 0;
}

// Two owners of one Alt+letter: Qt gives the key to one of them, and the
// other (the Analysis menu behind the Amplitude field) is out of reach from
// the keyboard. The walk covers the menu bar's titles and every label and
// button of the window that a user can see.
TEST_F(Keyboard, EveryMnemonicOfTheWindowIsUnique) {
  QWidget* window = gfx::widgetOf(fig);
  ASSERT_NE(window, nullptr);
  window->show();
  std::map<char, std::string> owner;
  const auto claim = [&](const QString& text) {
    const char key = mnemonicOf(text);
    if (key == 0) return;
    const auto [at, fresh] = owner.emplace(key, text.toStdString());
    EXPECT_TRUE(fresh) << "Alt+" << key << ": \"" << at->second << "\" and \"" << text.toStdString()
                       << "\"";
  };
  auto* bar = window->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  for (QAction* menu : bar->actions())
    if (menu->isVisible()) claim(menu->text());
  for (QLabel* label : window->findChildren<QLabel*>())
    if (label->isVisibleTo(window)) {
      claim(label->text());
      // A label's mnemonic without a buddy takes the key and goes nowhere.
      if (mnemonicOf(label->text()) != 0) {
        EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
      }
    }
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
    if (button->isVisibleTo(window)) claim(button->text());
  // What the guide promises.
  EXPECT_EQ(owner['a'], "&Analysis");
  EXPECT_EQ(owner['g'], "Si&gnal");
  EXPECT_EQ(owner['c'], "&Configuration");
}

}  // namespace
}  // namespace dot11a::test
