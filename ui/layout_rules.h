// The resizing rule of the main window as pure arithmetic: the metrics taken
// from the template's rectangles, and the 18 placements for a client size.
// Portable, so that it is tested natively; layout.cpp applies it with Win32.
#pragma once

#include <cstdint>

struct ControlRect {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// Window rectangles of the controls the layout measures, left and top in
// client coordinates of the main window, all in pixels.
struct MeasuredGeometry {
    int32_t clientWidth;   // W0
    int32_t clientHeight;  // H0
    ControlRect OuterFrame;
    ControlRect TargetEdit;
    ControlRect ListButton;
    ControlRect RemoveButton;
    ControlRect RewriteButton;
    ControlRect CreateButton;
    ControlRect StartButton;
    ControlRect ExitButton;
    ControlRect UpperListFrame;
    ControlRect AlteredList;
    ControlRect LowerListFrame;
    ControlRect UnhashedLabel;
    ControlRect UnhashedList;
    ControlRect StatusText;
    ControlRect StatusBar;
};

struct LayoutMetricsRecord {
    int32_t outerFrameWidthGap, outerFrameHeightGap;
    int32_t targetEditWidthGap, targetEditHeight;
    int32_t listButtonRightGap, listButtonTop;
    int32_t removeButtonRightGap, removeButtonTop;
    int32_t rewriteButtonRightGap, rewriteButtonTop;
    int32_t createButtonRightGap, createButtonMidGap;
    int32_t startButtonRightGap, startButtonBottomGap;
    int32_t exitButtonRightGap, exitButtonBottomGap;
    int32_t listFrameWidthGap, listFrameHeightGap;
    int32_t listWidthGap, listHeightGap;
    int32_t lowerFrameLeft, lowerFrameMidGap;
    int32_t unhashedLabelLeft, unhashedLabelMidGap;
    int32_t unhashedListLeft, unhashedListMidGap;
    int32_t statusTextWidthGap, statusTextHeight, statusTextLeft, statusTextBottomGap;
    int32_t statusBarHeight;
    int32_t minTrackWidth, minTrackHeight;
};

// 64 % and 66 % of the initial client size, truncated.
void ComputeMinimumTrackSize(int32_t clientWidth, int32_t clientHeight, LayoutMetricsRecord* metrics);
// Right edges of the three status bar parts: 9 % and 40 % of the width, -1.
void ComputeStatusBarParts(int32_t clientWidth, int32_t parts[3]);
// Every field but the minimum track size.
void MeasureLayoutMetrics(const MeasuredGeometry& geometry, LayoutMetricsRecord* metrics);

// The controls in the order they are placed.
enum LayoutControl {
    LayoutOuterFrame,
    LayoutUpperListFrame,
    LayoutLowerListFrame,
    LayoutUnhashedLabel,
    LayoutStatusText,
    LayoutStatusBar,
    LayoutExitButton,
    LayoutStartButton,
    LayoutUnhashedList,
    LayoutCreateButton,
    LayoutHashedList,
    LayoutAlteredList,
    LayoutShowAlteredButton,
    LayoutRewriteButton,
    LayoutRemoveButton,
    LayoutListButton,
    LayoutAddButton,
    LayoutTargetEdit,
};
const int PlacementCount = 18;

struct Placement {
    LayoutControl control;
    bool keepPosition;  // x and y are not to be changed
    bool keepSize;      // width and height are not to be changed
    int32_t x, y, width, height;
};

// Client size from the size message (W, H); the split line is H / 2. Widths
// and heights that come out negative are zero.
void ComputeLayout(const LayoutMetricsRecord& metrics, int32_t clientWidth, int32_t clientHeight,
                   Placement placements[PlacementCount]);
