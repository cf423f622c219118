#pragma once

#include <QLabel>

#include <string_view>

namespace twinlantern::ui {

// The small dimmed caption under a control: inline Markdown (links and code spans
// styled), the full width, as many lines as it needs.
class Footnote final : public QLabel {
    Q_OBJECT
public:
    explicit Footnote(std::string_view markdown, QWidget* parent = nullptr);
    void setMarkdownText(std::string_view markdown);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColour();
};

} // namespace twinlantern::ui
