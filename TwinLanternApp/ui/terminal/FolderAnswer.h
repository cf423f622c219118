#pragma once

#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "core/base/Paths.h"
#include "core/rules/RuleResolver.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace twinlantern::ui {

class ProfileDot;

// The warning triangle in the palette's orange, painted when drawn so it follows a
// change of look. Decoration: the text beside it speaks.
class WarningSign final : public QWidget {
    Q_OBJECT
public:
    explicit WarningSign(int size, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int size_;
};

// The folder test's answer: the profile that applies and why, then the resolver's
// warnings, one orange row each.
class FolderAnswer final : public QWidget {
    Q_OBJECT
public:
    explicit FolderAnswer(QWidget* parent = nullptr);

    void setResolution(const Resolution& resolution, const Paths& paths);

    QWidget* answerRow() const { return answer_; }
    ProfileDot* dot() const { return dot_; }
    ElidedLabel* nameLabel() const { return name_; }
    ElidedLabel* whyLabel() const { return why_; }
    // The warnings' labels and texts, in order, as shown.
    QList<QLabel*> warningLabels() const;
    QStringList warnings() const;

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restyle();

    QWidget* answer_ = nullptr;
    ProfileDot* dot_ = nullptr;
    ElidedLabel* name_ = nullptr;
    ElidedLabel* why_ = nullptr;
    QWidget* warningBox_ = nullptr;
    QVBoxLayout* warningRows_ = nullptr;
    QList<QLabel*> warningLabels_;
};

} // namespace twinlantern::ui
