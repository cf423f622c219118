#pragma once

#include <QList>
#include <QScrollArea>

#include <array>

class QLabel;

namespace twinlantern::ui {

// The help window's page: a fixed text in four sections, scrolling when taller than the
// window.
class HelpView final : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int pageWidth = 520;
    static constexpr int pageHeight = 480;

    struct Section {
        const char* title;
        const char* body; // inline Markdown
    };
    static const std::array<Section, 4> sections;

    explicit HelpView(QWidget* parent = nullptr);

    // The sections' titles and bodies as shown, in order.
    const QList<QLabel*>& titleLabels() const { return titles_; }
    const QList<QLabel*>& bodyLabels() const { return bodies_; }

private:
    QList<QLabel*> titles_;
    QList<QLabel*> bodies_;
};

} // namespace twinlantern::ui
