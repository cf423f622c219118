#include "TwinLanternApp/ui/TerminalTab.h"

#include "TwinLanternApp/ui/Appearance.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"
#include "TwinLanternApp/ui/PromptSnippetSheet.h"
#include "TwinLanternApp/ui/TestResult.h"
#include "core/shell/ShellIntegration.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace twinlantern::ui {

namespace {

QString trimmedLineBreaks(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == '\n' || text[begin] == '\r')) {
        ++begin;
    }
    while (end > begin && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    return qs(std::string_view(text).substr(begin, end - begin));
}

QLabel* footnote(const QString& text, QWidget* parent) {
    QLabel* label = plainLabel(text, parent);
    label->setWordWrap(true);
    label->setFont(appearance::font(appearance::TextStyle::footnote));
    appearance::setTextColor(label, appearance::secondaryLabel(label->palette()));
    return label;
}

} // namespace

TerminalTab::TerminalTab(app::AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = owned<QVBoxLayout>(this);
    setLayout(column);

    // Section 1: the switch, the repair row and what it changes.
    auto* shell = owned<QGroupBox>(this);
    auto* shellRows = owned<QVBoxLayout>(shell);
    shell->setLayout(shellRows);
    switch_ = owned<QCheckBox>(shell);
    setButtonText(switch_, QStringLiteral("Use profiles in the terminal"));
    connect(switch_, &QCheckBox::clicked, this, [this] { switchClicked(); });
    shellRows->addWidget(switch_);
    statusLine_ = plainLabel(QString(), shell);
    statusLine_->setWordWrap(true);
    appearance::setTextColor(statusLine_, appearance::secondaryLabel(statusLine_->palette()));
    shellRows->addWidget(statusLine_);

    warningRow_ = owned<QWidget>(shell);
    auto* warning = owned<QHBoxLayout>(warningRow_);
    warning->setContentsMargins(0, 0, 0, 0);
    warningRow_->setLayout(warning);
    QLabel* icon = owned<QLabel>(warningRow_);
    const int side = QFontMetrics(font()).height();
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
    warning->addWidget(icon);
    QLabel* warningText = plainLabel(
        QStringLiteral("Something in your shell file now comes after TwinLantern's line"),
        warningRow_);
    warningText->setWordWrap(true);
    appearance::setTextColor(warningText, appearance::orange(warningText->palette()));
    warning->addWidget(warningText, 1);
    fix_ = owned<QPushButton>(warningRow_);
    setButtonText(fix_, QStringLiteral("Fix"));
    connect(fix_, &QPushButton::clicked, this, [this] { model_.installShell(); });
    warning->addWidget(fix_);
    shellRows->addWidget(warningRow_);

    disclosure_ = owned<QToolButton>(shell);
    disclosure_->setText(QStringLiteral("What this changes"));
    disclosure_->setCheckable(true);
    disclosure_->setChecked(false);
    disclosure_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    disclosure_->setArrowType(Qt::RightArrow);
    disclosure_->setAutoRaise(true);
    shellRows->addWidget(disclosure_);
    details_ = owned<QWidget>(shell);
    auto* detailRows = owned<QVBoxLayout>(details_);
    detailRows->setContentsMargins(0, 0, 0, 0);
    details_->setLayout(detailRows);
    detailRows->addWidget(footnote(
        QStringLiteral("Adds `claude` and `codex` shortcuts in ~/.twinlantern and one marked block "
                       "at the end of your shell file (backed up first). Turning it off puts the "
                       "file back exactly."),
        details_));
    block_ = snippetBox(trimmedLineBreaks(ShellIntegration::block()), details_);
    block_->setAccessibleName(QStringLiteral("Shell file block"));
    detailRows->addWidget(block_);
    details_->setVisible(false);
    connect(disclosure_, &QToolButton::toggled, this, [this](bool open) {
        disclosure_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        details_->setVisible(open);
    });
    shellRows->addWidget(details_);
    column->addWidget(shell);
    column->addWidget(footnote(
        QStringLiteral("In a profile's folders, `claude` and `codex` use that profile's account. "
                       "Add folders in the Profiles tab."),
        this));

    // Section 2: the terminal default.
    auto* defaults = owned<QGroupBox>(this);
    auto* defaultRows = owned<QFormLayout>(defaults);
    defaults->setLayout(defaultRows);
    picker_ = owned<QComboBox>(defaults);
    picker_->setAccessibleName(QStringLiteral("In other folders, use"));
    QLabel* pickerLabel = plainLabel(QStringLiteral("In other folders, use"), defaults);
    pickerLabel->setBuddy(picker_);
    defaultRows->addRow(pickerLabel, picker_);
    connect(picker_, &QComboBox::activated, this, [this](int index) {
        const QString id = picker_->itemData(index).toString();
        std::optional<ProfileID> chosen;
        if (!id.isEmpty()) {
            chosen = ProfileID(utf8(id));
        }
        model_.setTerminalDefault(chosen);
        updatePicker(); // whatever the document holds after the change
    });
    column->addWidget(defaults);

    // Section 3: the folder test.
    auto* test = owned<QGroupBox>(this);
    test->setTitle(QStringLiteral("Test a folder"));
    auto* testRows = owned<QVBoxLayout>(test);
    test->setLayout(testRows);
    auto* field = owned<QWidget>(test);
    auto* fieldRow = owned<QHBoxLayout>(field);
    fieldRow->setContentsMargins(0, 0, 0, 0);
    field->setLayout(fieldRow);
    folder_ = owned<QLineEdit>(field);
    folder_->setPlaceholderText(QStringLiteral("~/Work/project"));
    folder_->setAccessibleName(QStringLiteral("Folder"));
    fieldRow->addWidget(folder_, 1);
    choose_ = owned<QPushButton>(field);
    setButtonText(choose_, QStringLiteral("Choose…"));
    connect(choose_, &QPushButton::clicked, this, [this] { chooseFolder(); });
    fieldRow->addWidget(choose_);
    testRows->addWidget(field);
    result_ = owned<TestResult>(test);
    testRows->addWidget(result_);
    connect(folder_, &QLineEdit::textChanged, this, [this] { updateResult(); });
    column->addWidget(test);
    column->addStretch(1);

    subscription_ = model_.observe([this](app::ModelField changed) {
        if (changed == app::ModelField::shellStatus) {
            updateShell();
        } else if (changed == app::ModelField::document) {
            updatePicker();
            updateResult();
        }
    });
    updateShell();
    updatePicker();
    updateResult();
}

bool TerminalTab::blockNotLast() const {
    const auto& status = model_.shellStatus();
    if (!status) {
        return false;
    }
    for (const auto& block : status->blocks) {
        if (!block.isLast) {
            return true;
        }
    }
    return false;
}

void TerminalTab::switchClicked() {
    // The switch holds no value of its own: it shows the model's status after either way.
    if (switch_->isChecked()) {
        model_.installShell();
    } else {
        confirmOff();
    }
    updateShell();
}

void TerminalTab::confirmOff() {
    if (confirmation_) {
        return;
    }
    confirmation_ = owned<QMessageBox>(this);
    confirmation_->setIcon(QMessageBox::Question);
    confirmation_->setWindowTitle(QStringLiteral("Turn off profiles in the terminal?"));
    confirmation_->setText(QStringLiteral("Turn off profiles in the terminal?"));
    confirmation_->setInformativeText(QStringLiteral(
        "Your shell file goes back exactly as it was. Profiles and sign-ins are kept."));
    makePlain(confirmation_);
    QPushButton* turnOff = confirmation_->addButton(QStringLiteral("Turn Off"),
                                                    QMessageBox::AcceptRole);
    confirmation_->addButton(QMessageBox::Cancel);
    confirmation_->setDefaultButton(turnOff);
    confirmation_->setWindowModality(Qt::WindowModal);
    confirmation_->setAttribute(Qt::WA_DeleteOnClose);
    connect(confirmation_, &QMessageBox::finished, this, [this, turnOff] {
        const bool confirmed = confirmation_->clickedButton() == turnOff;
        confirmation_ = nullptr;
        if (confirmed) {
            model_.uninstallShell();
        }
        updateShell();
    });
    confirmation_->open();
}

void TerminalTab::chooseFolder() {
    if (panel_) {
        return;
    }
    panel_ = owned<QFileDialog>(this);
    panel_->setFileMode(QFileDialog::Directory);
    panel_->setOption(QFileDialog::ShowDirsOnly, true);
    panel_->setAcceptMode(QFileDialog::AcceptOpen);
    panel_->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    panel_->setWindowTitle(
        QStringLiteral("Everything inside this folder will use this profile in the terminal."));
    panel_->setDirectory(qs(model_.paths().home));
    panel_->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel_, &QFileDialog::finished, this, [this](int result) {
        QFileDialog* panel = panel_;
        panel_ = nullptr;
        if (result != QDialog::Accepted) {
            return;
        }
        const QList<QUrl> urls = panel->selectedUrls();
        if (urls.isEmpty() || !urls.first().isLocalFile()) {
            return;
        }
        folder_->setText(qs(model_.paths().abbreviate(utf8(urls.first().toLocalFile()))));
    });
    panel_->open();
}

void TerminalTab::updateShell() {
    const auto& status = model_.shellStatus();
    const bool installed = status && status->isInstalled();
    switch_->setChecked(installed);
    const QString line =
        installed ? QStringLiteral("On. Open a new terminal window to pick it up.")
                  : QStringLiteral("Off. claude and codex use your usual accounts everywhere.");
    setPlainText(statusLine_, line);
    switch_->setAccessibleDescription(line);
    warningRow_->setVisible(blockNotLast());
}

void TerminalTab::updatePicker() {
    const ProfileDocument& document = model_.document();
    const QSignalBlocker quiet(picker_);
    picker_->clear();
    picker_->addItem(QStringLiteral("My usual accounts"), QString());
    int selected = 0;
    for (const Profile& profile : document.profiles) {
        picker_->addItem(qs(profile.name), qs(profile.id.rawValue));
        if (document.cliDefault == profile.id) {
            selected = picker_->count() - 1;
        }
    }
    picker_->setCurrentIndex(selected);
}

void TerminalTab::updateResult() {
    // Exactly as typed: spaces are a (relative) path, resolved from home.
    const std::string path = utf8(folder_->text());
    result_->setVisible(!path.empty());
    if (path.empty()) {
        return;
    }
    const std::string& home = model_.paths().home;
    result_->setResolution(resolveFolder(model_.document(), home, path, home), model_.paths());
}

} // namespace twinlantern::ui
