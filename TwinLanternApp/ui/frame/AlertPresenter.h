#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

// Shows the model's alert over a window: a window-modal box titled "TwinLantern" with
// the message verbatim and one "OK". Dismissing it clears the alert; when the model
// clears the alert itself, the box closes. Every window has a presenter, but one alert
// is one box: the first presenter to show it keeps it until it closes. Main thread only.
class AlertPresenter final : public QObject {
    Q_OBJECT
public:
    struct Rules {
        // True while the window the user is in is another's, which shows the alert.
        std::function<bool()> elsewhere;
        // While the window is hidden: a box of its own, centred on the screen, rather
        // than none until the window shows.
        bool aloneWhileHidden = false;
    };

    AlertPresenter(app::ModelBridge& bridge, QWidget* window);
    AlertPresenter(app::ModelBridge& bridge, Rules rules, QWidget* window);
    ~AlertPresenter() override;
    // The box on screen; null while there is no alert or another window shows it.
    QMessageBox* box() const { return box_; }
    // Shows, updates or closes the box as the alert and the windows now are.
    void follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void open(const QString& text);

    app::ModelBridge& bridge_;
    QWidget* window_;
    Rules rules_;
    QPointer<QMessageBox> box_;
};

} // namespace twinlantern::ui
