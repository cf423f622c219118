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

// A failure's filled octagon with a cross in red, or a warning's filled triangle with
// "!" in orange, painted when drawn so it follows a change of look. Decoration: the
// title beside it speaks.
class CheckIcon final : public QWidget {
    Q_OBJECT
public:
    CheckIcon(DoctorCheck::Level level, int size, QWidget* parent = nullptr);
    bool isFailure() const { return failure_; }
    QColor color() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool failure_;
    int size_;
};

// One problem: its icon and title, and below it the fix when it has one.
class SetupCheckRow final : public QWidget {
    Q_OBJECT
public:
    explicit SetupCheckRow(const DoctorCheck& check, QWidget* parent = nullptr);
    CheckIcon* icon() const { return icon_; }
    QLabel* title() const { return title_; }
    QLabel* fix() const { return fix_; } // null without a fix

private:
    CheckIcon* icon_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* fix_ = nullptr;
};

// The "Setup" section: on request, the deep setup check, listing only what needs
// fixing. Nothing runs until the button is pressed.
class SetupCheckSection final : public QGroupBox {
    Q_OBJECT
public:
    explicit SetupCheckSection(app::AppModel& model, QWidget* parent = nullptr);

    bool running() const { return running_; }
    // None before the first run ends; then the warnings and failures of the last run.
    const std::optional<std::vector<DoctorCheck>>& problems() const { return problems_; }
    QPushButton* checkButton() const { return button_; }
    QLabel* summary() const { return summary_; }
    // The problems' rows, in order.
    const std::vector<SetupCheckRow*>& rows() const { return rows_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void run();
    void finish(std::vector<DoctorCheck> checks);
    void showProblems();
    void restyle();

    app::AppModel& model_;
    std::optional<std::vector<DoctorCheck>> problems_;
    bool running_ = false;
    QPushButton* button_ = nullptr;
    QLabel* summary_ = nullptr;
    QWidget* list_ = nullptr; // replaced whole by each result
    QVBoxLayout* column_ = nullptr;
    std::vector<SetupCheckRow*> rows_;
    // Goes with the section: a result that arrives later finds nobody.
    std::shared_ptr<SetupCheckSection*> alive_ = std::make_shared<SetupCheckSection*>(this);
};

} // namespace twinlantern::ui
