#pragma once

#include "TwinLanternApp/model/ProfilePlan.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"

#include <QWidget>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class ProfileDot;
class UseForPicker;

// One row of the plan: whether it is made, its name, tools, the existing-accounts toggle
// and its terminal folder. It edits the plan's row in place and says when it did.
class PlanRowView final : public QWidget {
    Q_OBJECT
public:
    PlanRowView(app::ModelBridge& bridge, app::ProfilePlan& plan, std::size_t index,
                std::function<void()> edited, QWidget* parent = nullptr);

    // Shows the row as the plan has it now, with the rule for the toggle over all rows;
    // the maker calls it first once the row is in the focus chain.
    void sync();

    const app::ProfilePlan::Entry& entry() const { return plan_.entries[index_]; }
    QCheckBox* includeBox() const { return include_; }
    QLineEdit* nameField() const { return name_; }
    UseForPicker* tools() const { return tools_; }
    QCheckBox* existingToggle() const { return existing_; }
    QPushButton* folderButton() const { return folderButton_; }
    ElidedLabel* folderText() const { return folderText_; }
    // The part under the header, disabled while the row is left out.
    QWidget* details() const { return details_; }

private:
    app::ProfilePlan::Entry& row() { return plan_.entries[index_]; }
    bool toggleShown() const;
    void chooseFolder();

    app::ModelBridge& bridge_;
    app::ProfilePlan& plan_;
    std::size_t index_;
    std::function<void()> edited_;
    QCheckBox* include_ = nullptr;
    ProfileDot* dot_ = nullptr;
    QLineEdit* name_ = nullptr;
    QWidget* details_ = nullptr;
    UseForPicker* tools_ = nullptr;
    QCheckBox* existing_ = nullptr;
    QWidget* folderRow_ = nullptr;
    QPushButton* folderButton_ = nullptr;
    ElidedLabel* folderText_ = nullptr;
};

// The first step: the plan's rows, "Add another profile" and the Keychain note. Made
// each time the step is shown, which fills the rows that have no tools yet.
class ProfilesStep final : public QWidget {
    Q_OBJECT
public:
    ProfilesStep(app::ModelBridge& bridge, app::ProfilePlan& plan, std::function<void()> edited,
                 QWidget* parent = nullptr);

    const std::vector<PlanRowView*>& rows() const { return rows_; }
    QPushButton* addButton() const { return add_; }

private:
    void addRow(std::size_t index);
    void rowEdited();

    app::ModelBridge& bridge_;
    app::ProfilePlan& plan_;
    std::function<void()> edited_;
    QVBoxLayout* list_ = nullptr;
    QPushButton* add_ = nullptr;
    std::vector<PlanRowView*> rows_;
};

} // namespace twinlantern::ui
