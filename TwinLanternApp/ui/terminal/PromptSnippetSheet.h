#pragma once

#include "TwinLanternApp/model/AppModel.h"

#include <QDialog>

class QButtonGroup;
class QLabel;
class QPushButton;
class QScrollArea;

namespace twinlantern::ui {

// A text of ours shown verbatim for copying: caption size, monospaced, selectable, on a
// soft rounded box.
QLabel* snippetBox(const QString& text, QWidget* parent);

// "Show Profile in Prompt…": the prompt snippet for zsh, bash or Starship, and Copy.
// Made afresh each time it opens, so it starts on zsh.
class PromptSnippetSheet final : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 520;

    explicit PromptSnippetSheet(app::AppModel& model, QWidget* parent = nullptr);

    QString shell() const { return shell_; }
    QButtonGroup* shellPicker() const { return picker_; }
    QLabel* snippet() const { return snippet_; }
    QScrollArea* snippetScroll() const { return scroll_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* doneButton() const { return done_; }

private:
    void choose(const QString& shell);
    void copy();

    app::AppModel& model_;
    QString shell_ = QStringLiteral("zsh");
    QButtonGroup* picker_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QLabel* snippet_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* done_ = nullptr;
};

} // namespace twinlantern::ui
