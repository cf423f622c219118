#pragma once

#include "core/base/Paths.h"
#include "core/rules/RuleResolver.h"

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace twinlantern::ui {

class ProfileDot;

// The folder test's answer: the profile that applies and why, then the resolver's
// warnings, one orange row each.
class TestResult final : public QWidget {
    Q_OBJECT
public:
    explicit TestResult(QWidget* parent = nullptr);

    void setResolution(const Resolution& resolution, const Paths& paths);

    QWidget* answerRow() const { return answer_; }
    QLabel* nameLabel() const { return name_; }
    QLabel* whyLabel() const { return why_; }
    // The warnings' texts, in order, as shown.
    QStringList warnings() const;

private:
    QWidget* answer_ = nullptr;
    ProfileDot* dot_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* why_ = nullptr;
    QWidget* warningBox_ = nullptr;
    QVBoxLayout* warningRows_ = nullptr;
    QList<QLabel*> warningLabels_;
};

} // namespace twinlantern::ui
