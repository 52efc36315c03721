#include "sequence/sequence.h"

#include "sequence/sequence_view.h"

namespace tolvane {

void Sequence::start() {
    view_.showStep(stepNumberText(table_.posCount()));
    delay_.start();
}

}  // namespace tolvane
