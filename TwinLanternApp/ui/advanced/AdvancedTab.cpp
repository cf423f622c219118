#include "TwinLanternApp/ui/advanced/AdvancedTab.h"
#include "TwinLanternApp/ui/advanced/SetupCheckSection.h"
#include "TwinLanternApp/ui/frame/Confirmation.h"
#include "TwinLanternApp/ui/frame/LinuxWords.h"

#include "TwinLanternApp/ui/advanced/AdvancedTabImport.h"
#include "TwinLanternApp/ui/advanced/AdvancedTabSections.h"
#include "TwinLanternApp/ui/advanced/ShortcutRecorder.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Footnote.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/terminal/PromptSnippetSheet.h"

#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <exception>

namespace twinlantern::ui {

namespace {

QPushButton* button(const QString& text, QWidget* parent) {
    auto* made = owned<QPushButton>(parent);
    setButtonText(made, text);
    return made;
}

QGroupBox* section(const QString& title, QWidget* parent) {
    auto* box = owned<QGroupBox>(parent);
    box->setTitle(title);
    return box;
}

const QString jsonFilter = QStringLiteral("JSON (*.json)");

platform::LoginItem appLoginItem(const app::AppModel& model) {
    return platform::LoginItem(model.paths().home, model.context().environment,
                               app::AppServices::currentExecutable());
}

} // namespace

AdvancedTab::AdvancedTab(app::AppModel& model, AdvancedTabServices services, QWidget* parent)
    : QWidget(parent), model_(model), services_(std::move(services)) {
    auto* outer = owned<QVBoxLayout>(this);
    outer->setContentsMargins(0, 0, 0, 0);
    // Five sections are taller than the window: the form scrolls.
    scroll_ = owned<QScrollArea>(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(scroll_);
    auto* form = owned<QWidget>(scroll_);
    auto* column = owned<QVBoxLayout>(form);

    updates_ = owned<UpdatesSection>(form, services_.updater ? *services_.updater
                                                             : app::UpdaterService::shared());
    column->addWidget(updates_);

    auto* startup = owned<QGroupBox>(form);
    auto* startupRows = owned<QVBoxLayout>(startup);
    login_ = owned<OpenAtLoginToggle>(startup, services_.loginItem.value_or(appLoginItem(model_)));
    startupRows->addWidget(login_);
    shortcut_ = owned<ShortcutSection>(startup);
    startupRows->addWidget(shortcut_);
    column->addWidget(startup);

    setup_ = owned<SetupCheckSection>(form, model_);
    column->addWidget(setup_);

    QGroupBox* more = section(QStringLiteral("More"), form);
    auto* moreRows = owned<QVBoxLayout>(more);
    launchers_ = button(QStringLiteral("Make Dock Launchers"), more);
    launchers_->setToolTip(
        plainToolTip(QStringLiteral("Creates “Claude — Work” style apps in "
                                    "~/Applications/TwinLantern to keep in the Dock")));
    connect(launchers_, &QPushButton::clicked, this, [this] { model_.rebuildLaunchers(); });
    moreRows->addWidget(launchers_, 0, Qt::AlignLeft);
    prompt_ = button(QStringLiteral("Show Profile in Prompt…"), more);
    connect(prompt_, &QPushButton::clicked, this, [this] { showPrompt(); });
    moreRows->addWidget(prompt_, 0, Qt::AlignLeft);
    auto* transfer = handedOver<QHBoxLayout>();
    moreRows->addLayout(transfer);
    export_ = button(QStringLiteral("Export Profiles…"), more);
    connect(export_, &QPushButton::clicked, this, [this] { exportProfiles(); });
    transfer->addWidget(export_);
    import_ = button(QStringLiteral("Import Profiles…"), more);
    connect(import_, &QPushButton::clicked, this, [this] { importProfiles(); });
    transfer->addWidget(import_);
    transfer->addStretch(1);
    help_ = button(QStringLiteral("Help"), more);
    connect(help_, &QPushButton::clicked, this, [this] {
        if (services_.openHelp) {
            services_.openHelp();
        }
    });
    moreRows->addWidget(help_, 0, Qt::AlignLeft);
    column->addWidget(more);

    auto* removal = owned<QGroupBox>(form);
    auto* removalRows = owned<QVBoxLayout>(removal);
    remove_ = button(QStringLiteral("Remove Everything TwinLantern Added…"), removal);
    markDestructive(remove_);
    connect(remove_, &QPushButton::clicked, this, [this] { confirmRemoveAll(); });
    removalRows->addWidget(remove_, 0, Qt::AlignLeft);
    column->addWidget(removal);
    column->addStretch(1);
    scroll_->setWidget(form);
    // The last section's footer stays under the form, whole, however far it scrolls.
    footnote_ = owned<Footnote>(this, linuxWords::loginsStayHere);
    footnote_->setWordWrap(true);
    const QMargins margins = column->contentsMargins();
    footnote_->setContentsMargins(margins.left(), 0, margins.right(), margins.bottom());
    outer->addWidget(footnote_);
    fitButtonsToText();
}

void AdvancedTab::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        fitButtonsToText();
    }
}

void AdvancedTab::fitButtonsToText() {
    // Fusion gives a button with a short text a minimum width: "Help" came out wider than
    // the buttons above it. Each is its text plus the style's own padding instead.
    for (QPushButton* each : {launchers_, prompt_, export_, import_, help_}) {
        QStyleOptionButton option;
        option.initFrom(each); // no text: the style's minimum width is for texts
        const QFontMetrics metrics(each->font());
        const QSize text(metrics.size(Qt::TextShowMnemonic, each->text()));
        each->setFixedWidth(
            each->style()->sizeFromContents(QStyle::CT_PushButton, &option, text, each).width());
    }
}

void AdvancedTab::showPrompt() {
    if (sheet_) {
        return;
    }
    // Made afresh each time, so it starts on zsh.
    auto* sheet = owned<PromptSnippetSheet>(this, model_);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet_ = sheet;
    connect(sheet, &QDialog::finished, this, [this] { sheet_ = nullptr; });
    sheet->open();
}

QFileDialog* AdvancedTab::jsonPanel(QFileDialog::AcceptMode mode,
                                    std::function<void(const std::string&)> chosen) {
    auto* panel = owned<QFileDialog>(this);
    panel->setAcceptMode(mode);
    panel->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    panel->setNameFilter(jsonFilter);
    panel->setDirectory(qs(model_.paths().home)); // not the process's working folder
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel_ = panel;
    connect(panel, &QFileDialog::finished, this,
            [this, panel, chosen = std::move(chosen)](int result) {
                panel_ = nullptr;
                const QStringList files = panel->selectedFiles();
                if (result == QDialog::Accepted && !files.isEmpty()) {
                    chosen(utf8(files.first()));
                }
            });
    return panel;
}

void AdvancedTab::exportProfiles() {
    if (panel_) {
        return;
    }
    QFileDialog* panel = jsonPanel(QFileDialog::AcceptSave, [this](const std::string& path) {
        // Replaced atomically: a failed write leaves an earlier export as it was.
        try {
            model_.exportTo(path);
        } catch (const std::exception& error) {
            model_.setAlert(std::string(error.what()));
            return;
        }
        model_.showToast("Exported. Logins are never included.");
    });
    panel->setDefaultSuffix(QStringLiteral("json"));
    panel->selectFile(QStringLiteral("TwinLantern profiles.json"));
    panel->open();
}

void AdvancedTab::importProfiles() {
    if (panel_) {
        return;
    }
    jsonPanel(QFileDialog::AcceptOpen, [this](const std::string& path) {
        ImportRead read = readImportFile(path);
        switch (read.kind) {
        case ImportRead::Kind::ignored:
            return; // unreadable, or a FIFO, a device or a folder
        case ImportRead::Kind::tooLarge:
            model_.setAlert(std::string("That file isn't a TwinLantern profiles export."));
            return;
        case ImportRead::Kind::bytes:
            break;
        }
        const std::string message = model_.importData(read.bytes);
        if (!message.empty()) {
            model_.showToast(message);
        }
    })->open();
}

void AdvancedTab::confirmRemoveAll() {
    if (confirmation_) {
        return;
    }
    const QString title = QStringLiteral("Remove everything TwinLantern added?");
    auto* box =
        owned<QMessageBox>(this, QMessageBox::Warning, title, QString(), QMessageBox::NoButton);
    makePlain(box);
    box->setText(title);
    box->setInformativeText(
        QStringLiteral("Signs out and deletes every TwinLantern profile (including their Claude "
                       "Desktop chats), removes the launchers and puts your shell file back. "
                       "Your usual accounts aren't touched."));
    QPushButton* removeAll =
        box->addButton(QStringLiteral("Remove Everything"), QMessageBox::DestructiveRole);
    markDestructive(removeAll);
    fitTitle(box);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    confirmation_ = box;
    connect(box, &QMessageBox::finished, this, [this, box, removeAll] {
        confirmation_ = nullptr;
        if (box->clickedButton() == removeAll) {
            model_.removeEverything(); // the model reports how it went
        }
    });
    box->open();
}

} // namespace twinlantern::ui
