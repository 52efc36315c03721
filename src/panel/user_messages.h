// Messages to the user, behind an interface that tests answer.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace tolvane {

// Messages to the user: modal, one OK button, no icon, the program's name as the title.
// Behind an interface so that tests can answer them and record their texts.
class UserMessages {
  public:
    virtual ~UserMessages() = default;
    // Returns once the user has closed the message.
    virtual void show(const QString& text) = 0;
};

class ModalMessageBox final : public UserMessages {
  public:
    // Messages are centred over, and modal to, this window once it is set.
    void setOwner(QWidget* window) { owner_ = window; }
    void show(const QString& text) override;

  private:
    QPointer<QWidget> owner_;
};

}  // namespace tolvane
