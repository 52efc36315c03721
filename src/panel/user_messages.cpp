#include "panel/user_messages.h"

#include <QApplication>
#include <QMessageBox>

namespace tolvane {

void ModalMessageBox::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tolvane"), text, QMessageBox::Ok,
                    owner_ ? owner_.data() : QApplication::activeWindow());
    box.setObjectName(QStringLiteral("message"));
    box.exec();
}

}  // namespace tolvane
