// Where every control of the main window sits. Geometry is kept in twips, 15 to a pixel at
// 96 dots per inch, measured from the top-left corner of the client area below the menu bar.
#pragma once

#include <QRect>

namespace tolvane::layout {

inline constexpr int kTwipsPerPixel = 15;

struct TwipRect {
    int left, top, width, height;
};

constexpr QRect toPixels(TwipRect r) {
    return {r.left / kTwipsPerPixel, r.top / kTwipsPerPixel, r.width / kTwipsPerPixel,
            r.height / kTwipsPerPixel};
}

inline constexpr TwipRect kClientArea{0, 0, 6885, 6570};

// The eight channel columns stand 840 twips apart.
inline constexpr int kColumnPitch = 840;
constexpr TwipRect channelText(int channel) {
    return {120 + kColumnPitch * channel, 240, 735, 285};
}
constexpr TwipRect channelPicture(int channel) {
    return {240 + kColumnPitch * channel, 600, 495, 3975};
}
constexpr TwipRect channelSlider(int channel) {
    return {360 + kColumnPitch * channel, 720, 255, 3735};
}
constexpr TwipRect centerButton(int channel) {
    return {120 + kColumnPitch * channel, 4800, 735, 375};
}

inline constexpr TwipRect kFrame{0, 4560, 6855, 735};
inline constexpr TwipRect kExitButton{960, 5520, 855, 375};
inline constexpr TwipRect kSaveButton{2160, 5520, 855, 375};
inline constexpr TwipRect kPlaybackButton{3360, 5520, 855, 375};
inline constexpr TwipRect kDelayText{4920, 5520, 855, 285};
inline constexpr TwipRect kDelayLabel{4800, 5880, 1215, 255};
inline constexpr TwipRect kStepText{2160, 6000, 855, 285};
inline constexpr TwipRect kDelaySlider{4560, 6120, 1575, 255};

inline constexpr int kChannelMinimum = 1;
inline constexpr int kChannelMaximum = 254;
inline constexpr int kDelayMinimum = 0;
inline constexpr int kDelayMaximum = 5;

}  // namespace tolvane::layout
