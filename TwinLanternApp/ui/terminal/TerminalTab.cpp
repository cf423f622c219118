#include "TwinLanternApp/ui/terminal/TerminalTab.h"
#include "TwinLanternApp/ui/frame/Confirmation.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/Footnote.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/ProfileFolderChooser.h"
#include "TwinLanternApp/ui/terminal/PromptSnippetSheet.h"
#include "TwinLanternApp/ui/terminal/FolderAnswer.h"
#include "core/shell/ShellIntegration.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace twinlantern::ui {

namespace {

const QString onText = QStringLiteral("On. Open a new terminal window to pick it up.");
const QString offText = QStringLiteral("Off. claude and codex use your usual accounts everywhere.");

QString withoutOuterLineBreaks(std::string_view text) {
    while (!text.empty() && (text.front() == '\n' || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return qs(text);
}

template <typename Layout> Layout* bareLayout(QWidget* owner) {
    auto* layout = owned<Layout>(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    owner->setLayout(layout);
    return layout;
}

} // namespace

TerminalTab::TerminalTab(app::AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    // A form taller than the window when "What this changes" is open: it scrolls.
    auto* outer = bareLayout<QVBoxLayout>(this);
    auto* scroll = owned<QScrollArea>(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(scroll);
    auto* page = owned<QWidget>(scroll);
    auto* column = owned<QVBoxLayout>(page);
    page->setLayout(column);

    // The switch, the repair row and what it changes.
    auto* shell = owned<QGroupBox>(page);
    auto* shellRows = owned<QVBoxLayout>(shell);
    shell->setLayout(shellRows);
    switch_ = owned<QCheckBox>(shell);
    setButtonText(switch_, QStringLiteral("Use profiles in the terminal"));
    connect(switch_, &QCheckBox::clicked, this, [this](bool on) { switchClicked(on); });
    shellRows->addWidget(switch_);
    statusLine_ = plainLabel(QString(), shell);
    statusLine_->setWordWrap(true);
    statusLine_->setForegroundRole(QPalette::PlaceholderText);
    statusLine_->setContentsMargins(style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                        style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing),
                                    0, 0, 0);
    shellRows->addWidget(statusLine_);

    warningRow_ = owned<QWidget>(shell);
    auto* warning = bareLayout<QHBoxLayout>(warningRow_);
    warning->addWidget(owned<WarningSign>(warningRow_, QFontMetrics(font()).height()), 0,
                       Qt::AlignVCenter);
    warningText_ = plainLabel(
        QStringLiteral("Something in your shell file now comes after TwinLantern's line"),
        warningRow_);
    warningText_->setWordWrap(true);
    warning->addWidget(warningText_, 1);
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
    disclosure_->setFocusPolicy(Qt::StrongFocus);
    shellRows->addWidget(disclosure_);
    details_ = owned<QWidget>(shell);
    auto* detailRows = bareLayout<QVBoxLayout>(details_);
    detailRows->addWidget(owned<Footnote>(
        details_, "Adds `claude` and `codex` shortcuts in ~/.twinlantern and one marked block at "
                  "the end of your shell file (backed up first). Turning it off puts the file "
                  "back exactly."));
    block_ = snippetBox(withoutOuterLineBreaks(ShellIntegration::block()), details_);
    block_->setAccessibleName(QStringLiteral("Shell file block"));
    block_->setWordWrap(true); // long lines must not widen the tab past its window
    detailRows->addWidget(block_);
    details_->setVisible(false);
    connect(disclosure_, &QToolButton::toggled, this, [this](bool open) {
        disclosure_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        details_->setVisible(open);
    });
    shellRows->addWidget(details_);
    column->addWidget(shell);
    column->addWidget(owned<Footnote>(
        page, "In a profile's folders, `claude` and `codex` use that profile's account. Add "
              "folders in the Profiles tab."));

    // The terminal default.
    auto* defaults = owned<QGroupBox>(page);
    auto* defaultRows = owned<QFormLayout>(defaults);
    defaults->setLayout(defaultRows);
    picker_ = owned<ElidedComboBox>(defaults);
    picker_->setAccessibleName(QStringLiteral("In other folders, use"));
    // Sized for a usual name, not the longest one, which it cuts in the middle.
    picker_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    picker_->setMinimumContentsLength(24);
    QLabel* pickerLabel = plainLabel(QStringLiteral("In other folders, use"), defaults);
    pickerLabel->setBuddy(picker_);
    defaultRows->addRow(pickerLabel, picker_);
    connect(picker_, &QComboBox::activated, this, [this](int index) { pick(index); });
    column->addWidget(defaults);

    // The folder test.
    auto* test = owned<QGroupBox>(page);
    test->setTitle(QStringLiteral("Test a folder"));
    auto* testRows = owned<QVBoxLayout>(test);
    test->setLayout(testRows);
    auto* field = owned<QWidget>(test);
    auto* fieldRow = bareLayout<QHBoxLayout>(field);
    folder_ = owned<QLineEdit>(field);
    folder_->setPlaceholderText(QStringLiteral("~/Work/project"));
    folder_->setAccessibleName(QStringLiteral("Folder"));
    fieldRow->addWidget(folder_, 1);
    choose_ = owned<QPushButton>(field);
    setButtonText(choose_, QStringLiteral("Choose…"));
    connect(choose_, &QPushButton::clicked, this, [this] { chooseFolder(); });
    fieldRow->addWidget(choose_);
    testRows->addWidget(field);
    result_ = owned<FolderAnswer>(test);
    testRows->addWidget(result_);
    connect(folder_, &QLineEdit::textChanged, this, [this] { updateResult(); });
    column->addWidget(test);
    column->addStretch(1);
    scroll->setWidget(page);

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
    restyle();
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

void TerminalTab::switchClicked(bool on) {
    if (on) {
        model_.installShell();
    } else {
        confirmOff();
    }
    // The switch holds no value of its own: it shows the model's status again, so it
    // stays on while the confirmation is open.
    updateShell();
}

void TerminalTab::confirmOff() {
    if (confirmation_) {
        return;
    }
    auto* box = owned<QMessageBox>(this);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(QStringLiteral("Turn off profiles in the terminal?"));
    box->setText(QStringLiteral("Turn off profiles in the terminal?"));
    box->setInformativeText(QStringLiteral(
        "Your shell file goes back exactly as it was. Profiles and sign-ins are kept."));
    makePlain(box);
    QPushButton* turnOff = box->addButton(QStringLiteral("Turn Off"), QMessageBox::AcceptRole);
    fitTitle(box);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(turnOff);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, turnOff] {
        confirmation_ = nullptr;
        if (box->clickedButton() == turnOff) {
            model_.uninstallShell();
        }
        updateShell();
    });
    confirmation_ = box;
    box->open();
}

void TerminalTab::chooseFolder() {
    if (panel_) {
        return;
    }
    QPointer<TerminalTab> self(this);
    panel_ = chooseProfileFolder(this, model_.paths().home, [self](const std::string& path) {
        if (self) {
            self->folder_->setText(qs(self->model_.paths().abbreviate(path)));
        }
    });
}

void TerminalTab::pick(int index) {
    const QString id = picker_->itemData(index).toString();
    std::optional<ProfileID> chosen;
    if (!id.isEmpty()) {
        chosen = ProfileID(utf8(id));
    }
    model_.setTerminalDefault(chosen);
    updatePicker(); // whatever the document holds after the change, or after a failure
}

void TerminalTab::updateShell() {
    const auto& status = model_.shellStatus();
    const bool installed = status && status->isInstalled();
    switch_->setChecked(installed);
    const QString& line = installed ? onText : offText;
    setPlainText(statusLine_, line);
    switch_->setAccessibleDescription(line);
    warningRow_->setVisible(blockNotLast());
}

void TerminalTab::updatePicker() {
    const ProfileDocument& document = model_.document();
    // The entries are made again only when the profiles changed, so a choice being
    // made keeps its list.
    bool same = picker_->count() == static_cast<int>(document.profiles.size()) + 1;
    for (std::size_t i = 0; same && i < document.profiles.size(); ++i) {
        const int entry = static_cast<int>(i) + 1;
        same = picker_->itemData(entry).toString() == qs(document.profiles[i].id.rawValue) &&
               picker_->itemText(entry) == nameText(document.profiles[i].name);
    }
    const QSignalBlocker quiet(picker_);
    if (!same) {
        picker_->clear();
        picker_->addItem(QStringLiteral("My usual accounts"), QString());
        for (const Profile& profile : document.profiles) {
            picker_->addItem(nameText(profile.name), qs(profile.id.rawValue));
        }
    }
    int selected = 0;
    for (std::size_t i = 0; i < document.profiles.size(); ++i) {
        if (document.cliDefault == document.profiles[i].id) {
            selected = static_cast<int>(i) + 1;
        }
    }
    picker_->setCurrentIndex(selected);
}

void TerminalTab::updateResult() {
    // Exactly as typed: spaces are a (relative) path, taken from the home folder.
    const std::string path = utf8(folder_->text());
    result_->setVisible(!path.empty());
    if (path.empty()) {
        return;
    }
    const std::string& home = model_.paths().home;
    result_->setResolution(RuleResolver{model_.document(), home}.resolve(path, home),
                           model_.paths());
}

void TerminalTab::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyle();
    }
}

void TerminalTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // `.twinlantern` files may have changed while the tab was away.
    updateResult();
}

void TerminalTab::restyle() {
    appearance::setTextColor(warningText_, appearance::orange(palette()));
}

} // namespace twinlantern::ui
