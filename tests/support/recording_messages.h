// Messages to the user that answer themselves and keep their texts, for tests.
#pragma once

#include <QStringList>
#include <functional>

#include "panel/user_messages.h"

namespace tolvane::test_support {

// Answers every message at once and keeps its text; onShow runs while a message is "open".
class RecordingMessages final : public UserMessages {
  public:
    void show(const QString& text) override {
        texts << text;
        if (onShow) {
            onShow(text);
        }
    }

    QStringList texts;
    std::function<void(const QString&)> onShow;
};

}  // namespace tolvane::test_support
