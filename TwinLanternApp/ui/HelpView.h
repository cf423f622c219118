#pragma once

#include <QScrollArea>

#include <array>

class QLabel;

namespace twinlantern::ui {

// The help window's page: a fixed text in four sections.
class HelpView final : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int width = 520;
    static constexpr int height = 480;

    struct Section {
        const char* title;
        const char* body; // Markdown
    };
    static const std::array<Section, 4> sections;

    explicit HelpView(QWidget* parent = nullptr);

    // The titles and bodies as shown, in order.
    QList<QLabel*> titleLabels() const { return titles_; }
    QList<QLabel*> bodyLabels() const { return bodies_; }

private:
    QList<QLabel*> titles_;
    QList<QLabel*> bodies_;
};

} // namespace twinlantern::ui
