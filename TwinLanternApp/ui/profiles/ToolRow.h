#pragma once

#include "TwinLanternApp/ui/profiles/ToolRowModel.h"

#include "core/profiles/Profile.h"

#include <QWidget>

#include <vector>

class QHBoxLayout;
class QPushButton;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

// The tool's name over its caption, painted as one element that screen readers read as
// "name, caption".
class ToolRowText final : public QWidget {
    Q_OBJECT
public:
    explicit ToolRowText(QWidget* parent = nullptr);
    void set(const QString& name, const QString& caption, bool attention);
    QString name() const { return name_; }
    QString caption() const { return caption_; }
    bool attention() const { return attention_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString shownCaption() const;
    void updateToolTip();

    QString name_;
    QString caption_;
    bool attention_ = false;
};

// One tool of one profile: where it stands and the button that moves it on. Follows the
// model; its buttons call the model's actions.
class ToolRow final : public QWidget {
    Q_OBJECT
public:
    ToolRow(app::ModelBridge& bridge, Profile profile, ToolKind tool, QWidget* parent = nullptr);

    void setProfile(const Profile& profile);
    const Profile& profile() const { return profile_; }
    ToolKind tool() const { return tool_; }
    ToolRowText* text() const { return text_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }

private:
    void refresh();
    void run(ToolRowButton::Action action);

    app::ModelBridge& bridge_;
    Profile profile_;
    ToolKind tool_;
    ToolRowText* text_ = nullptr;
    QHBoxLayout* buttonArea_ = nullptr;
    std::vector<ToolRowButton> shown_;
    std::vector<QPushButton*> buttons_;
};

} // namespace twinlantern::ui
