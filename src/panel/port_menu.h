// The "Com Port" menu: moves the link to COM1 or COM2. COM2 falls back to COM1 when it cannot be
// opened, and says so once COM1 is open.
#pragma once

#include <QObject>
#include <functional>

#include "link/link_error.h"

namespace tolvane {

class PortKeeper;
class UserMessages;

class PortMenu final : public QObject {
    Q_OBJECT

  public:
    using FailureReport = std::function<void(const LinkError&)>;

    // reportFailure is the panel's reaction to link failures that no handler deals with.
    PortMenu(PortKeeper& keeper, UserMessages& messages, FailureReport reportFailure,
             QObject* parent = nullptr);

    // "Com1,2400,N,8,1": close if open, then settings, port 1, open.
    void chooseCom1();
    // "Com2,2400,N,8,1": the same for port 2; if that fails, open COM1 instead and tell the user.
    void chooseCom2();

  private:
    PortKeeper& keeper_;
    UserMessages& messages_;
    FailureReport reportFailure_;
};

}  // namespace tolvane
