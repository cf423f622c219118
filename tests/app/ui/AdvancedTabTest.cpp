#include "TwinLanternApp/ui/advanced/AdvancedTab.h"

#include "TwinLanternApp/ui/advanced/AdvancedTabImport.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/terminal/PromptSnippetSheet.h"
#include "core/base/Json.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/Profiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

const std::string exported = "Exported. Logins are never included.";
const std::string notAnExport = "That file isn't a TwinLantern profiles export.";

// The tab in a window of the settings window's size, over a real model on a temporary
// home with two profiles; help requests counted.
class AdvancedTabTest : public ::testing::Test {
protected:
    test::UiModel ui;
    int helpOpened = 0;
    QWidget window;
    AdvancedTab* tab = nullptr;

    void SetUp() override {
        ui.fixture.writeDocument({1,
                                  {twinlantern::testing::profile("work-1", "Work"),
                                   twinlantern::testing::profile("home-1", "Home")},
                                  {},
                                  {}});
        ui.start();
        ui.fixture.captureFeedback();
        auto* column = owned<QVBoxLayout>(&window);
        tab = owned<AdvancedTab>(&window, *ui.model, AdvancedTabServices{.openHelp = [this] {
            ++helpOpened;
        }});
        column->addWidget(tab);
        window.resize(620, 500);
        test::showActive(&window);
    }

    std::string home() const { return ui.fixture.home.home(); }

    // The one dialog of type T on screen among the window's children.
    template <typename T> T* shown() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
        T* found = nullptr;
        for (T* dialog : window.findChildren<T*>()) {
            if (dialog->isVisible()) {
                EXPECT_EQ(found, nullptr) << "two on screen";
                found = dialog;
            }
        }
        return found;
    }
    QFileDialog* openPanel(QPushButton* button) {
        button->click();
        QFileDialog* panel = shown<QFileDialog>();
        EXPECT_NE(panel, nullptr);
        return panel;
    }
    // Chooses path in the panel; a replace question the save panel asks is answered yes.
    void choose(QFileDialog* panel, const std::string& path) {
        panel->selectFile(QString::fromStdString(path));
        // With the name field focused the open panel leaves it alone: typed, as a person
        // would.
        if (panel->selectedFiles() != QStringList{QString::fromStdString(path)}) {
            auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(path));
        }
        ASSERT_EQ(panel->selectedFiles(), QStringList{QString::fromStdString(path)});
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&answer] {
            if (auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                answer.stop();
                question->button(QMessageBox::Yes)->click();
            }
        });
        answer.start(10);
        static_cast<QDialog*>(panel)->accept(); // QFileDialog's own, as its button does
        ui.settle();
    }
    // What the user was told: the toast, or the alert.
    std::optional<std::string> toast() const { return ui.model->toast(); }
    std::optional<std::string> alert() const { return ui.model->alert(); }
    void dismissAll() {
        ui.model->setAlert(std::nullopt);
        ui.fixture.scheduler.advance(std::chrono::seconds(5)); // the toast's time is up
        ASSERT_FALSE(toast());
    }
};

TEST_F(AdvancedTabTest, ThePanelsOpenInTheHomeFolderWhereverTheAppWasStarted) {
    tltest::TempDir elsewhere;
    const tltest::WorkingFolder startedIn(elsewhere.path());
    for (QPushButton* button : {tab->exportButton(), tab->importButton()}) {
        SCOPED_TRACE(button->text().toStdString());
        QFileDialog* panel = openPanel(button);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->directory().absolutePath().toStdString(), home());
        panel->reject();
        ui.settle();
    }
}

TEST_F(AdvancedTabTest, ThePanelsOfferTheExportNameAndJsonAndCancellingChangesNothing) {
    const auto before = tltest::folderEntries(home());
    const std::string profiles = tltest::readFile(ui.fixture.home.paths.profilesFile());

    QFileDialog* save = openPanel(tab->exportButton());
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->nameFilters(), QStringList{QStringLiteral("JSON (*.json)")});
    ASSERT_EQ(save->selectedFiles().size(), 1);
    EXPECT_TRUE(
        save->selectedFiles().front().endsWith(QStringLiteral("/TwinLantern profiles.json")));
    EXPECT_TRUE(save->windowModality() != Qt::NonModal);
    save->reject();
    ui.settle();

    QFileDialog* open = openPanel(tab->importButton());
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(open->nameFilters(), QStringList{QStringLiteral("JSON (*.json)")});
    open->selectFile(QString::fromStdString(home() + "/anything.json"));
    open->reject();
    ui.settle();

    EXPECT_EQ(shown<QFileDialog>(), nullptr);
    EXPECT_FALSE(toast());
    EXPECT_FALSE(alert());
    EXPECT_EQ(tltest::folderEntries(home()), before);
    EXPECT_EQ(tltest::readFile(ui.fixture.home.paths.profilesFile()), profiles);
}

TEST_F(AdvancedTabTest, ExportWritesTheDocumentOrSaysWhyWithoutAToast) {
    const std::string target = home() + "/out/TwinLantern profiles.json";
    tltest::makeDirs(home() + "/out");
    choose(openPanel(tab->exportButton()), target);
    EXPECT_EQ(tltest::readFile(target), ui.model->exportData());
    EXPECT_EQ(tltest::fileMode(target), 0644u);
    EXPECT_EQ(toast(), exported);
    EXPECT_FALSE(alert());
    dismissAll();

    // Under a file: the model's message, no toast, nothing made.
    tltest::writeFile(home() + "/plain", "a file");
    choose(openPanel(tab->exportButton()), home() + "/plain/TwinLantern profiles.json");
    std::string expected = "Couldn't write ~/plain/TwinLantern profiles.json: ";
    expected += std::strerror(ENOTDIR);
    EXPECT_EQ(alert(), expected);
    EXPECT_FALSE(toast());
    EXPECT_EQ(tltest::readFile(home() + "/plain"), "a file");
}

TEST_F(AdvancedTabTest, AnExportThatCannotBeWrittenWholeKeepsTheEarlierOne) {
    const std::string target = home() + "/TwinLantern profiles.json";
    tltest::writeFile(target, "earlier export", 0600);
    QFileDialog* panel = openPanel(tab->exportButton());
    ASSERT_NE(panel, nullptr);
    {
        // A file-size cap far below the export; SIGXFSZ would end the test.
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit capped{8, old.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &capped), 0);
        choose(panel, target);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
    }
    std::string expected = "Couldn't write ~/TwinLantern profiles.json: ";
    expected += std::strerror(EFBIG);
    EXPECT_EQ(alert(), expected);
    EXPECT_FALSE(toast());
    EXPECT_EQ(tltest::readFile(target), "earlier export");
    EXPECT_EQ(tltest::fileMode(target), 0600u);
    for (const auto& entry : tltest::folderEntries(home())) {
        EXPECT_EQ(entry.find(".tmp."), std::string::npos) << entry;
    }

    // Without the cap the same choice replaces it, mode kept.
    dismissAll();
    choose(openPanel(tab->exportButton()), target);
    EXPECT_EQ(tltest::readFile(target), ui.model->exportData());
    EXPECT_EQ(tltest::fileMode(target), 0600u);
    EXPECT_EQ(toast(), exported);
}

TEST_F(AdvancedTabTest, ImportShowsTheModelsAnswerAndIgnoresWhatIsNoFile) {
    const std::string other = home() + "/other.json";
    tltest::writeFile(other, jsonText(nlohmann::json(ProfileDocument{
                                 1, {twinlantern::testing::profile("club-1", "Club")}, {}, {}})));
    const std::string fifo = home() + "/x.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = home() + "/huge.json";
    tltest::writeFile(huge, "{");
    ASSERT_EQ(::truncate(huge.c_str(), off_t(maxImportBytes) + 1), 0);
    tltest::writeFile(home() + "/list.json", "[1, 2]");

    struct Case {
        std::string file;
        std::optional<std::string> toast;
        std::optional<std::string> alert;
    } cases[] = {
        {home() + "/list.json", std::nullopt, notAnExport},
        {huge, std::nullopt, notAnExport},
        {fifo, std::nullopt, std::nullopt}, // returns at once
        {"/dev/zero", std::nullopt, std::nullopt},
        {other, "Imported 1 profile. Sign each one in to use it.", std::nullopt},
        {other, "Imported 0 profiles. Sign each one in to use it.", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        choose(openPanel(tab->importButton()), c.file);
        EXPECT_EQ(toast(), c.toast);
        EXPECT_EQ(alert(), c.alert);
        dismissAll();
    }
    ASSERT_EQ(ui.model->document().profiles.size(), 3u);
    EXPECT_EQ(ui.model->document().profiles.back().name, "Club");
}

TEST_F(AdvancedTabTest, RemovingEverythingWaitsForTheConfirmationAndRunsOnce) {
    const std::string support = ui.fixture.home.paths.supportDirectory();
    const std::string profiles = tltest::readFile(ui.fixture.home.paths.profilesFile());

    tab->removeButton()->click();
    QMessageBox* box = shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Remove everything TwinLantern added?"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Signs out and deletes every TwinLantern profile (including their "
                             "Claude Desktop chats), removes the launchers and puts your shell "
                             "file back. Your usual accounts aren't touched."));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    QStringList texts;
    QAbstractButton* removeAll = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        texts.append(button->text());
        if (box->buttonRole(button) == QMessageBox::DestructiveRole) {
            removeAll = button;
        }
    }
    EXPECT_EQ(texts.size(), 2);
    ASSERT_NE(removeAll, nullptr);
    EXPECT_EQ(removeAll->text(), QStringLiteral("Remove Everything"));
    // The question is the window's title too, and the box is wide enough to show it whole.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box, tltest::patienceMs));
    EXPECT_EQ(box->windowHandle()->title(), QStringLiteral("Remove everything TwinLantern added?"));
    EXPECT_GE(box->width(), test::titleBarNeed(box));
    ASSERT_NE(box->button(QMessageBox::Cancel), nullptr);
    box->button(QMessageBox::Cancel)->click();
    ui.settle();
    EXPECT_TRUE(tltest::exists(support));
    EXPECT_EQ(tltest::readFile(ui.fixture.home.paths.profilesFile()), profiles);
    EXPECT_TRUE(ui.fixture.posted.empty());

    // Escape cancels as well.
    tab->removeButton()->click();
    box = shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    ui.settle();
    EXPECT_EQ(shown<QMessageBox>(), nullptr);
    EXPECT_TRUE(tltest::exists(support));

    tab->removeButton()->click();
    tab->removeButton()->click(); // one question at a time
    box = shown<QMessageBox>();
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == QMessageBox::DestructiveRole) {
            button->click();
        }
    }
    ui.settle();
    EXPECT_FALSE(tltest::exists(support));
    EXPECT_TRUE(ui.model->document().profiles.empty());
    EXPECT_EQ(ui.fixture.posted,
              std::vector<std::string>{"Everything TwinLantern added has been removed"});
    EXPECT_FALSE(alert());
}

TEST_F(AdvancedTabTest, ThePromptSheetOpensFreshOnZshEachTime) {
    tab->promptButton()->click();
    PromptSnippetSheet* first = tab->promptSheet();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(shown<PromptSnippetSheet>(), first);
    EXPECT_EQ(first->shell(), QStringLiteral("zsh"));
    for (QAbstractButton* button : first->shellPicker()->buttons()) {
        if (button->text() == QStringLiteral("bash")) {
            button->click();
        }
    }
    EXPECT_EQ(first->shell(), QStringLiteral("bash"));
    first->doneButton()->click();
    EXPECT_EQ(tab->promptSheet(), nullptr);
    EXPECT_EQ(shown<PromptSnippetSheet>(), nullptr);

    tab->promptButton()->click();
    PromptSnippetSheet* second = shown<PromptSnippetSheet>();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->shell(), QStringLiteral("zsh"));
    second->reject();
}

TEST_F(AdvancedTabTest, HelpAsksOnceAndTheLaunchersButtonSaysWhatItMakes) {
    tab->helpButton()->click();
    EXPECT_EQ(helpOpened, 1);
    EXPECT_EQ(tab->launchersButton()->text(), QStringLiteral("Make Dock Launchers"));
    EXPECT_EQ(tab->launchersButton()->toolTip(),
              QStringLiteral("Creates “Claude — Work” style apps in ~/Applications/TwinLantern "
                             "to keep in the Dock"));
}

TEST_F(AdvancedTabTest, TheMoreButtonsAreEachTheirTextAndTheSamePadding) {
    // "Help" alone in its row once came out wider than the rows above it.
    const auto padding = [](QPushButton* button) {
        return button->width() -
               QFontMetrics(button->font()).size(Qt::TextShowMnemonic, button->text()).width();
    };
    for (QPushButton* button :
         {tab->launchersButton(), tab->promptButton(), tab->exportButton(), tab->importButton()}) {
        SCOPED_TRACE(button->text().toStdString());
        EXPECT_EQ(padding(tab->helpButton()), padding(button));
    }
    EXPECT_LT(tab->helpButton()->width(), tab->exportButton()->width());
}

TEST_F(AdvancedTabTest, EveryControlIsNamedAndReachedByTab) {
    EXPECT_TRUE(test::unnamedControls(&window).empty());
    test::expectTabReachesEveryControl(&window);
}

} // namespace
