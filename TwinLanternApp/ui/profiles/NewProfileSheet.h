#pragma once

#include "core/profiles/Profile.h"

#include <QDialog>

#include <functional>
#include <set>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class UseForPicker;

// The sheet that makes one more profile: a name, its tools and, while no profile keeps
// the accounts already signed in, whether this one should. The model picks the colour.
class NewProfileSheet final : public QDialog {
    Q_OBJECT
public:
    using OnCreate = std::function<void(const Profile&)>;
    static constexpr int sheetWidth = 520;

    NewProfileSheet(app::ModelBridge& bridge, OnCreate onCreate, QWidget* parent = nullptr);

    // True while no profile uses system storage.
    bool canUseExisting() const;
    // System storage only while the toggle is on and still shown.
    Profile::Storage storage() const;

    QLineEdit* nameField() const { return name_; }
    UseForPicker* tools() const { return tools_; }
    QCheckBox* existingToggle() const { return existing_; }
    QLabel* explanation() const { return explanation_; }
    QPushButton* createButton() const { return create_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void follow();
    void createProfile();

    app::ModelBridge& bridge_;
    OnCreate onCreate_;
    bool filled_ = false;
    QLineEdit* name_ = nullptr;
    UseForPicker* tools_ = nullptr;
    QCheckBox* existing_ = nullptr;
    QLabel* explanation_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* create_ = nullptr;
};

} // namespace twinlantern::ui
