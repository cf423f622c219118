#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include "core/base/Text.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>

namespace twinlantern::ui {

QString qs(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

QString mnemonicSafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&') {
            out += u"&&";
        } else if (c == u'\t') {
            out += u' ';
        } else {
            out += c;
        }
    }
    return out;
}

QString mnemonicSafe(std::string_view utf8) {
    return mnemonicSafe(qs(utf8));
}

QString isolatedName(std::string_view name) {
    return qs(text::bidiIsolated(name));
}

QString nameText(std::string_view name) {
    const QChar mark = QGuiApplication::layoutDirection() == Qt::RightToLeft
                           ? QChar(0x200F)  // RIGHT-TO-LEFT MARK
                           : QChar(0x200E); // LEFT-TO-RIGHT MARK
    return mark + isolatedName(name);
}

QLabel* nameLabel(std::string_view name, QWidget* parent) {
    return plainLabel(nameText(name), parent);
}

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = owned<QLabel>(parent);
    setPlainText(label, text);
    return label;
}

void setPlainText(QLabel* label, const QString& text) {
    if (auto* elided = qobject_cast<ElidedLabel*>(label)) {
        elided->setText(text); // its tooltip follows
        return;
    }
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

void setButtonText(QAbstractButton* button, const QString& text) {
    button->setText(mnemonicSafe(text));
}

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text)) {
        return text;
    }
    return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

void makePlain(QMessageBox* box) {
    box->setTextFormat(Qt::PlainText);
    // The informative text has no format of its own; its label is found and set plain.
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
    }
}

} // namespace twinlantern::ui
