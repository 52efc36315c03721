#pragma once

#include "panel/user_messages.h"

namespace tolvane::bench {

// Messages nobody reads: a benchmark has no user to answer them.
class SilentMessages final : public UserMessages {
  public:
    void show(const QString& /*text*/) override {}
};

}  // namespace tolvane::bench
