#include "app/qt/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "app/form/messages.h"

namespace vlt {

namespace {

QMessageBox::StandardButton Show(QMessageBox::Icon icon, const QString& text,
                                 QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString::fromUtf8(kMessageTitle), text, buttons,
                    QApplication::activeWindow());
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void QtMessageBox::Inform(const QString& text) {
    Show(QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtMessageBox::ShowError(const QString& text) {
    Show(QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBox::AskYesNo(const QString& text) {
    return Show(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

}  // namespace vlt
