// "Save Pos": the eight channel fields become the next recorded step.
#pragma once

namespace tolvane {

class PositionTable;
class SequenceView;

class Recorder {
  public:
    Recorder(SequenceView& view, PositionTable& table) : view_(view), table_(table) {}

    // Stores each field's number unchanged (a fraction stays) and shows the next step number.
    // A field without a number saves nothing: the user hears which one, the table stays as it was.
    void save();

  private:
    SequenceView& view_;
    PositionTable& table_;
};

}  // namespace tolvane
