#pragma once

#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternApp/ui/advanced/AdvancedTabServices.h"
#include "TwinLanternApp/ui/terminal/PromptSnippetSheet.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

class QGroupBox;
class QPushButton;
class QScrollArea;

namespace twinlantern::ui {

class Footnote;
class OpenAtLoginToggle;
class SetupCheckSection;
class ShortcutSection;
class UpdatesSection;

// The settings window's Advanced tab: updates, opening at login and the hot key, the
// setup check, launchers, the prompt snippet, export and import, help, and removing
// everything.
class AdvancedTab final : public QWidget {
    Q_OBJECT
public:
    explicit AdvancedTab(app::AppModel& model, AdvancedTabServices services = {},
                         QWidget* parent = nullptr);

    QScrollArea* scrollArea() const { return scroll_; }
    UpdatesSection* updates() const { return updates_; }
    OpenAtLoginToggle* openAtLogin() const { return login_; }
    ShortcutSection* shortcut() const { return shortcut_; }
    SetupCheckSection* setupSection() const { return setup_; }
    QPushButton* launchersButton() const { return launchers_; }
    QPushButton* promptButton() const { return prompt_; }
    QPushButton* exportButton() const { return export_; }
    QPushButton* importButton() const { return import_; }
    QPushButton* helpButton() const { return help_; }
    QPushButton* removeButton() const { return remove_; }
    Footnote* footnote() const { return footnote_; }
    // Each while it is open, else null.
    PromptSnippetSheet* promptSheet() const { return sheet_; }
    QFileDialog* panel() const { return panel_; }
    QMessageBox* removeConfirmation() const { return confirmation_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitButtonsToText();
    // A JSON file panel, at most one at a time; chosen gets the accepted file.
    QFileDialog* jsonPanel(QFileDialog::AcceptMode mode,
                           std::function<void(const std::string&)> chosen);
    void exportProfiles();
    void importProfiles();
    void confirmRemoveAll();
    void showPrompt();

    app::AppModel& model_;
    AdvancedTabServices services_;
    QScrollArea* scroll_ = nullptr;
    UpdatesSection* updates_ = nullptr;
    OpenAtLoginToggle* login_ = nullptr;
    ShortcutSection* shortcut_ = nullptr;
    SetupCheckSection* setup_ = nullptr;
    QPushButton* launchers_ = nullptr;
    QPushButton* prompt_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* import_ = nullptr;
    QPushButton* help_ = nullptr;
    QPushButton* remove_ = nullptr;
    Footnote* footnote_ = nullptr;
    QPointer<PromptSnippetSheet> sheet_;
    QPointer<QFileDialog> panel_;
    QPointer<QMessageBox> confirmation_;
};

} // namespace twinlantern::ui
