#pragma once

#include <QObject>
#include <QPointer>

#include <QMessageBox>
class QWidget;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

// Shows the model's alert over a window: a window-modal box titled "TwinLantern" with
// the message verbatim and one "OK". Dismissing it clears the alert; when the model
// clears the alert itself, the box closes.
class AlertPresenter final : public QObject {
    Q_OBJECT
public:
    AlertPresenter(app::ModelBridge& bridge, QWidget* window);
    // The box on screen; null while there is no alert.
    QMessageBox* box() const { return box_; }

private:
    void follow();

    app::ModelBridge& bridge_;
    QWidget* window_;
    QPointer<QMessageBox> box_;
};

} // namespace twinlantern::ui
