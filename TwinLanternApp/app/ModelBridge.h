#pragma once

#include "TwinLanternApp/model/AppModel.h"

#include <QObject>

Q_DECLARE_METATYPE(twinlantern::app::ModelField)

namespace twinlantern::app {

// The model's notices as a Qt signal, one emission per notice, for the windows.
class ModelBridge final : public QObject {
    Q_OBJECT
public:
    explicit ModelBridge(AppModel& model, QObject* parent = nullptr);
    AppModel& model() const { return model_; }

signals:
    void changed(twinlantern::app::ModelField field);

private:
    AppModel& model_;
    ModelNotices::Subscription subscription_;
};

} // namespace twinlantern::app
