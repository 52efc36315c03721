// The control panel: the window wired to the serial link. Owns the window and the handlers of its
// events; start-up, Exit, and the one reaction to link failures that no handler catches.
#pragma once

#include <QObject>
#include <memory>

#include "link/link_error.h"
#include "ports/port_devices.h"

namespace tolvane {

class ChannelControl;
class MainWindow;
class PortKeeper;
class PortMenu;
class Sequence;
class SerialLink;
class UserMessages;
class WindowSequenceView;

class Panel final : public QObject {
    Q_OBJECT

  public:
    Panel(SerialLink& link, UserMessages& messages, QObject* parent = nullptr);
    // With the ports' devices looked for, and waited for, another way than the system's.
    Panel(SerialLink& link, UserMessages& messages, PortLookup lookup, QObject* parent = nullptr);
    ~Panel() override;

    MainWindow& window() const { return *window_; }
    // The recorded steps and the playback state behind Save Pos, Playback and the delay slider.
    const Sequence& sequence() const { return *sequence_; }

    // Start-up, before the window is first shown: opens COM1, fills the fields and centres all
    // eight channels, sixteen commands in all. A port that will not open is reported once the
    // event loop runs, over the shown window; the panel works on without it, and opens it when
    // its device is plugged in.
    void load();
    // Exit: closes the port if open and ends the program.
    void exitProgram();
    // True once the program is ending; a running playback stops at its next look.
    bool closing() const { return closing_; }

    // Tells the user about a link failure that no handler deals with itself.
    void reportLinkError(const LinkError& error);

  signals:
    // The program should end now (Exit or the close box).
    void finished();

  private:
    void end();
    void play();

    SerialLink& link_;
    UserMessages& messages_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<ChannelControl> channels_;
    std::unique_ptr<PortKeeper> keeper_;
    std::unique_ptr<PortMenu> portMenu_;
    std::unique_ptr<WindowSequenceView> sequenceView_;
    std::unique_ptr<Sequence> sequence_;
    bool closing_ = false;
};

}  // namespace tolvane
