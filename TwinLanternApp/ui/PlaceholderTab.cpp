#include "TwinLanternApp/ui/PlaceholderTab.h"
#include "TwinLanternApp/ui/Owned.h"
#include "TwinLanternApp/ui/PlainText.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace twinlantern::ui {

QWidget* placeholderTab(const QString& name) {
    auto* page = handedOver<QWidget>();
    auto* layout = handedOver<QVBoxLayout>(page);
    QLabel* label = plainLabel(name, page);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    return page;
}

} // namespace twinlantern::ui
