#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include "TwinLanternApp/app/ModelBridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace twinlantern::ui {
namespace {

// Every presenter, so the one whose box went away unanswered can hand the alert on.
std::vector<AlertPresenter*>& presenters() {
    static std::vector<AlertPresenter*> all;
    return all;
}

// The one box on screen, whichever presenter opened it.
QPointer<QMessageBox>& shownBox() {
    static QPointer<QMessageBox> box;
    return box;
}

} // namespace

AlertPresenter::AlertPresenter(app::ModelBridge& bridge, QWidget* window)
    : AlertPresenter(bridge, Rules(), window) {}

AlertPresenter::AlertPresenter(app::ModelBridge& bridge, Rules rules, QWidget* window)
    : QObject(window), bridge_(bridge), window_(window), rules_(std::move(rules)) {
    presenters().push_back(this);
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::alert) {
            follow();
        }
    });
    // A window made hidden shows the waiting alert once it is shown.
    window_->installEventFilter(this);
    follow();
}

AlertPresenter::~AlertPresenter() {
    auto& all = presenters();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (box_ && shownBox() == box_) {
        // The window goes with its box still up: the alert isn't answered yet.
        shownBox() = nullptr;
        box_->hide();
        box_->deleteLater();
        box_ = nullptr;
        // Later, once the window is gone: the others' rules may still see it now.
        QTimer::singleShot(0, qApp, [] {
            for (AlertPresenter* other : std::vector<AlertPresenter*>(presenters())) {
                other->follow();
            }
        });
    }
}

bool AlertPresenter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Show) {
        follow();
    }
    return QObject::eventFilter(watched, event);
}

void AlertPresenter::follow() {
    const auto& alert = bridge_.model().alert();
    if (!alert) {
        if (box_) {
            QMessageBox* closing = box_;
            box_ = nullptr;
            if (shownBox() == closing) {
                shownBox() = nullptr;
            }
            closing->close();
            closing->deleteLater();
        }
        return;
    }
    if (box_) {
        box_->setText(qs(*alert));
        return;
    }
    if (shownBox() || (rules_.elsewhere && rules_.elsewhere()) ||
        (!window_->isVisible() && !rules_.aloneWhileHidden)) {
        return;
    }
    open(qs(*alert));
}

void AlertPresenter::open(const QString& text) {
    auto* box = owned<QMessageBox>(window_, QMessageBox::NoIcon, QStringLiteral("TwinLantern"),
                                   QString(), QMessageBox::NoButton);
    makePlain(box);
    box->setText(text);
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box->setWindowModality(Qt::WindowModal);
    box_ = box;
    shownBox() = box;
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (box_ == box) {
            box_ = nullptr;
            if (shownBox() == box) {
                shownBox() = nullptr;
            }
            box->deleteLater();
            // Dismissed by the user or the system: the alert is done.
            if (bridge_.model().alert()) {
                bridge_.model().setAlert(std::nullopt);
            }
        }
    });
    const bool alone = !window_->isVisible();
    const auto centre = [box] {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect placed(QPoint(), box->size());
            placed.moveCenter(screen->availableGeometry().center());
            box->move(placed.topLeft());
        }
    };
    if (alone) {
        // Over a hidden window it would sit where that window last was, or at the top
        // left: the middle of the screen instead (moved before, so Qt leaves it there).
        centre();
    }
    box->open();
    if (alone) {
        centre(); // at its size now that it is laid out
    }
}

} // namespace twinlantern::ui
