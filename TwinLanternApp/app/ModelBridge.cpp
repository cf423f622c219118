#include "TwinLanternApp/app/ModelBridge.h"

namespace twinlantern::app {

ModelBridge::ModelBridge(AppModel& model, QObject* parent)
    : QObject(parent), model_(model),
      subscription_(model.observe([this](ModelField field) { emit changed(field); })) {
    qRegisterMetaType<ModelField>();
}

} // namespace twinlantern::app
