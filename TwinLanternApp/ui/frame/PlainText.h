#pragma once

#include <QString>
#include <Qt>

#include <string>
#include <string_view>

class QAbstractButton;
class QLabel;
class QMessageBox;
class QWidget;

// User data shown verbatim. Qt guesses rich text in labels and message boxes
// ("<b>Work</b>" would turn bold) and reads "&" in action and button texts as a
// mnemonic, so everything that can hold data goes through here.
namespace twinlantern::ui {

// UTF-8 to Qt and back; invalid bytes become U+FFFD.
QString qs(std::string_view utf8);
std::string utf8(const QString& text);

// For action, button, checkbox and tab texts: "&" doubled so it shows as itself; in
// menus a tab would split the text in two, so it becomes a space.
QString mnemonicSafe(const QString& text);
QString mnemonicSafe(std::string_view utf8);

// A profile name inside other text (a sentence, a title, a menu item): one isolated
// run (text::bidiIsolated), so it can't move or reverse the words around it.
QString isolatedName(std::string_view name);
// A profile name shown on its own: the isolated run after the interface's direction
// mark, so the label takes the interface's direction and alignment, never the name's.
QString nameText(std::string_view name);
// A plain label showing a name on its own (nameText).
QLabel* nameLabel(std::string_view name, QWidget* parent = nullptr);

// A label that shows its text as plain text, never rich text.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);
void setPlainText(QLabel* label, const QString& text);

// A button whose text is data-safe (see mnemonicSafe).
void setButtonText(QAbstractButton* button, const QString& text);

// Tooltips guess rich text too: one that would be read as rich text is escaped.
QString plainToolTip(const QString& text);

// A message box whose text and informative text are plain.
void makePlain(QMessageBox* box);

} // namespace twinlantern::ui
