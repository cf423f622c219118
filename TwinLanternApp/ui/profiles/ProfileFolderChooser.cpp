#include "TwinLanternApp/ui/profiles/ProfileFolderChooser.h"

#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QFileDialog>

namespace twinlantern::ui {

const char* const profileFolderMessage =
    "Everything inside this folder will use this profile in the terminal.";

QFileDialog* chooseProfileFolder(QWidget* parent, const std::string& home,
                                 std::function<void(const std::string&)> chosen) {
    auto* panel = owned<QFileDialog>(parent->window(), parent->window());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own panel: the same everywhere, and one that tests can drive.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setDirectory(qs(home));
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    panel->setWindowTitle(qs(profileFolderMessage));
    panel->setAccessibleName(qs(profileFolderMessage));
    panel->setWindowModality(Qt::WindowModal);
    QObject::connect(panel, &QFileDialog::fileSelected, panel,
                     [chosen = std::move(chosen)](const QString& path) {
                         if (!path.isEmpty() && chosen) {
                             chosen(utf8(path));
                         }
                     });
    panel->open();
    return panel;
}

} // namespace twinlantern::ui
