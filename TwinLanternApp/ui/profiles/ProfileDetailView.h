#pragma once

#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "core/profiles/ProfileDocument.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class ColourPicker;
class ToolRow;
class UseForPicker;

// The round "x" that removes a folder row.
class RemoveFolderButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit RemoveFolderButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// One folder rule of the profile: its folder, "missing" when it isn't there, and the
// button that removes the rule.
struct FolderRow {
    FolderRule rule;
    QWidget* row = nullptr;
    ElidedLabel* path = nullptr;
    QLabel* missing = nullptr;
    RemoveFolderButton* remove = nullptr;
};

// The editor of one profile. Everything but the Name field follows the model; the
// field keeps what is typed until it is committed (Return, or the editor going away).
class ProfileDetailView final : public QWidget {
    Q_OBJECT
public:
    using OnDeleted = std::function<void()>;

    ProfileDetailView(app::ModelBridge& bridge, Profile profile, OnDeleted onDeleted,
                      QWidget* parent = nullptr);

    const Profile& profile() const { return profile_; }
    // The latest stored copy: every part but the Name field follows it.
    void setProfile(const Profile& profile);
    // Saves a changed, non-blank name with its default badge; otherwise puts the stored
    // name back.
    void commitName();
    // Going away without another commit (the tab committed already).
    void retire() { retired_ = true; }
    // Opens the delete confirmation.
    void confirmDelete();

    QLineEdit* nameField() const { return name_; }
    ColourPicker* colours() const { return colours_; }
    UseForPicker* tools() const { return tools_; }
    QLabel* systemNote() const { return systemNote_; }
    std::vector<ToolRow*> toolRows() const;
    const std::vector<FolderRow>& folderRows() const { return folders_; }
    QPushButton* addFolderButton() const { return addFolder_; }
    QPushButton* deleteButton() const { return delete_; }
    QMessageBox* deleteConfirmation() const { return confirmation_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void refreshToolRows();
    void refreshFolders();
    void chooseFolder();
    void deleteConfirmed();

    app::ModelBridge& bridge_;
    Profile profile_;
    OnDeleted onDeleted_;
    bool retired_ = false;
    QLineEdit* name_ = nullptr;
    // The stored name the field last showed: a field still holding it was not edited
    // and follows a rename made elsewhere, so leaving it never renames back.
    QString shownName_;
    ColourPicker* colours_ = nullptr;
    UseForPicker* tools_ = nullptr;
    QLabel* systemNote_ = nullptr;
    QVBoxLayout* toolArea_ = nullptr;
    std::vector<ToolKind> shownTools_;
    std::map<ToolKind, ToolRow*> toolRows_;
    QVBoxLayout* folderArea_ = nullptr;
    std::vector<FolderRow> folders_;
    QPushButton* addFolder_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPointer<QMessageBox> confirmation_;
};

} // namespace twinlantern::ui
