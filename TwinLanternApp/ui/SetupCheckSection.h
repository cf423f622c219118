#pragma once

#include "TwinLanternApp/model/AppModel.h"
#include "core/doctor/DoctorCheck.h"

#include <QGroupBox>

#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace twinlantern::ui {

// The Advanced tab's "Setup" section: on request, the deep setup check, listing only
// what needs fixing.
class SetupCheckSection final : public QGroupBox {
    Q_OBJECT
public:
    explicit SetupCheckSection(app::AppModel& model, QWidget* parent = nullptr);

    bool running() const { return running_; }
    const std::optional<std::vector<DoctorCheck>>& problems() const { return problems_; }
    QPushButton* checkButton() const { return button_; }
    QLabel* summary() const { return summary_; }
    // One per problem, in order: the row, its icon, title and fix (null without a fix).
    struct Row {
        QWidget* row;
        QLabel* icon;
        QLabel* title;
        QLabel* fix;
    };
    const std::vector<Row>& rows() const { return rows_; }

private:
    void run();
    void showProblems();

    app::AppModel& model_;
    std::optional<std::vector<DoctorCheck>> problems_;
    bool running_ = false;
    QPushButton* button_ = nullptr;
    QLabel* summary_ = nullptr;
    QWidget* list_ = nullptr; // replaced whole by each result
    QVBoxLayout* column_ = nullptr;
    std::vector<Row> rows_;
    // Ends with the section: a result arriving later finds nobody.
    std::shared_ptr<SetupCheckSection*> alive_ = std::make_shared<SetupCheckSection*>(this);
};

} // namespace twinlantern::ui
