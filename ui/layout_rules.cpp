#include "ui/layout_rules.h"

void ComputeMinimumTrackSize(int32_t clientWidth, int32_t clientHeight, LayoutMetricsRecord* metrics) {
    metrics->minTrackWidth = clientWidth * 64 / 100;
    metrics->minTrackHeight = clientHeight * 66 / 100;
}

void ComputeStatusBarParts(int32_t clientWidth, int32_t parts[3]) {
    parts[0] = clientWidth * 9 / 100;
    parts[1] = clientWidth * 40 / 100;
    parts[2] = -1;
}

void MeasureLayoutMetrics(const MeasuredGeometry& g, LayoutMetricsRecord* m) {
    const int32_t W0 = g.clientWidth;
    const int32_t H0 = g.clientHeight;
    const int32_t M0 = H0 / 2;
    m->outerFrameWidthGap = W0 - g.OuterFrame.width;
    m->outerFrameHeightGap = H0 - g.OuterFrame.height;
    m->targetEditWidthGap = W0 - g.TargetEdit.width;
    m->targetEditHeight = g.TargetEdit.height;
    m->listButtonRightGap = W0 - g.ListButton.left;
    m->listButtonTop = g.ListButton.top;
    m->removeButtonRightGap = W0 - g.RemoveButton.left;
    m->removeButtonTop = g.RemoveButton.top;
    m->rewriteButtonRightGap = W0 - g.RewriteButton.left;
    m->rewriteButtonTop = g.RewriteButton.top;
    m->createButtonRightGap = W0 - g.CreateButton.left;
    m->createButtonMidGap = M0 - g.CreateButton.top;
    m->startButtonRightGap = W0 - g.StartButton.left;
    m->startButtonBottomGap = H0 - g.StartButton.top;
    m->exitButtonRightGap = W0 - g.ExitButton.left;
    m->exitButtonBottomGap = H0 - g.ExitButton.top;
    m->listFrameWidthGap = W0 - g.UpperListFrame.width;
    m->listFrameHeightGap = M0 - g.UpperListFrame.height;
    m->listWidthGap = W0 - g.AlteredList.width;
    m->listHeightGap = M0 - g.AlteredList.height;
    m->lowerFrameLeft = g.LowerListFrame.left;
    m->lowerFrameMidGap = M0 - g.LowerListFrame.top;
    m->unhashedLabelLeft = g.UnhashedLabel.left;
    m->unhashedLabelMidGap = M0 - g.UnhashedLabel.top;
    m->unhashedListLeft = g.UnhashedList.left;
    m->unhashedListMidGap = M0 - g.UnhashedList.top;
    m->statusTextWidthGap = W0 - g.StatusText.width;
    m->statusTextHeight = g.StatusText.height;
    m->statusTextLeft = g.StatusText.left;
    m->statusTextBottomGap = H0 - g.StatusText.top;
    m->statusBarHeight = g.StatusBar.height;
}

static int32_t NotNegative(int32_t size) { return size < 0 ? 0 : size; }

static Placement Place(LayoutControl control, int32_t x, int32_t y, int32_t width, int32_t height) {
    Placement p = {control, false, false, x, y, NotNegative(width), NotNegative(height)};
    return p;
}

static Placement Resize(LayoutControl control, int32_t width, int32_t height) {
    Placement p = Place(control, 0, 0, width, height);
    p.keepPosition = true;
    return p;
}

static Placement Move(LayoutControl control, int32_t x, int32_t y) {
    Placement p = Place(control, x, y, 0, 0);
    p.keepSize = true;
    return p;
}

void ComputeLayout(const LayoutMetricsRecord& m, int32_t W, int32_t H, Placement out[PlacementCount]) {
    const int32_t h = H / 2;
    out[0] = Resize(LayoutOuterFrame, W - m.outerFrameWidthGap, H - m.outerFrameHeightGap);
    out[1] = Resize(LayoutUpperListFrame, W - m.listFrameWidthGap, h - m.listFrameHeightGap);
    out[2] = Place(LayoutLowerListFrame, m.lowerFrameLeft, h - m.lowerFrameMidGap, W - m.listFrameWidthGap,
                   h - m.listFrameHeightGap);
    out[3] = Move(LayoutUnhashedLabel, m.unhashedLabelLeft, h - m.unhashedLabelMidGap);
    out[4] = Place(LayoutStatusText, m.statusTextLeft, H - m.statusTextBottomGap, W - m.statusTextWidthGap,
                   m.statusTextHeight);
    out[5] = Place(LayoutStatusBar, 0, H - m.statusBarHeight, W, m.statusBarHeight);
    out[6] = Move(LayoutExitButton, W - m.exitButtonRightGap, H - m.exitButtonBottomGap);
    out[7] = Move(LayoutStartButton, W - m.startButtonRightGap, H - m.startButtonBottomGap);
    out[8] = Place(LayoutUnhashedList, m.unhashedListLeft, h - m.unhashedListMidGap, W - m.listWidthGap,
                   h - m.listHeightGap);
    out[9] = Move(LayoutCreateButton, W - m.createButtonRightGap, h - m.createButtonMidGap);
    out[10] = Resize(LayoutHashedList, W - m.listWidthGap, h - m.listHeightGap);
    out[11] = Resize(LayoutAlteredList, W - m.listWidthGap, h - m.listHeightGap);
    // ShowAlteredButton shares RewriteButton's place.
    out[12] = Move(LayoutShowAlteredButton, W - m.rewriteButtonRightGap, m.rewriteButtonTop);
    out[13] = Move(LayoutRewriteButton, W - m.rewriteButtonRightGap, m.rewriteButtonTop);
    out[14] = Move(LayoutRemoveButton, W - m.removeButtonRightGap, m.removeButtonTop);
    out[15] = Move(LayoutListButton, W - m.listButtonRightGap, m.listButtonTop);
    // Only its place in the sibling order changes.
    Placement add = Place(LayoutAddButton, 0, 0, 0, 0);
    add.keepPosition = true;
    add.keepSize = true;
    out[16] = add;
    out[17] = Resize(LayoutTargetEdit, W - m.targetEditWidthGap, m.targetEditHeight);
}
