#pragma once

#include <QString>

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
    void show(const QString& text) override;
};

}  // namespace tolvane
