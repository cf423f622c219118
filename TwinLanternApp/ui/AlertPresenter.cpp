#include "TwinLanternApp/ui/AlertPresenter.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QMessageBox>
#include <QPushButton>

namespace twinlantern::ui {

AlertPresenter::AlertPresenter(app::ModelBridge& bridge, QWidget* window)
    : QObject(window), bridge_(bridge), window_(window) {
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::alert) {
            follow();
        }
    });
    follow();
}

void AlertPresenter::follow() {
    const auto& alert = bridge_.model().alert();
    if (!alert) {
        if (box_) {
            QMessageBox* closing = box_;
            box_ = nullptr;
            closing->close();
            closing->deleteLater();
        }
        return;
    }
    if (box_) {
        box_->setText(qs(*alert));
        return;
    }
    auto* box = owned<QMessageBox>(window_, QMessageBox::NoIcon, QStringLiteral("TwinLantern"),
                                   QString(), QMessageBox::NoButton);
    makePlain(box);
    box->setText(qs(*alert));
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box->setWindowModality(Qt::WindowModal);
    box_ = box;
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (box_ == box) {
            box_ = nullptr;
            box->deleteLater();
            // Dismissed by the user or the system: the alert is done.
            if (bridge_.model().alert()) {
                bridge_.model().setAlert(std::nullopt);
            }
        }
    });
    box->open();
}

} // namespace twinlantern::ui
