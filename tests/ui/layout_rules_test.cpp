// The resizing rule and the figures initialisation derives from the client
// size, on a template laid out the way MapDialogRect lays it out.
#include <cstdlib>

#include "gtest/gtest.h"
#include "ui/layout_rules.h"

namespace {

// Dialog units to pixels for base units of 7 x 14 (a 9-point shell font).
int X(int units) { return units * 7 / 4; }
int Y(int units) { return units * 14 / 8; }

ControlRect FromUnits(int x, int y, int w, int h) {
    ControlRect r = {X(x), Y(y), X(x + w) - X(x), Y(y + h) - Y(y)};
    return r;
}

const int StatusBarHeight = 22;

struct Template {
    MeasuredGeometry g;
    ControlRect HashedList, ShowAlteredButton, AddButton;
};

// clientHeight overrides the mapped 289 units so that even and odd heights
// can both be tried.
Template MakeTemplate(int clientHeight = 0) {
    Template t;
    MeasuredGeometry& g = t.g;
    g.clientWidth = X(360);
    g.clientHeight = clientHeight ? clientHeight : Y(289);
    g.OuterFrame = FromUnits(6, 3, 348, 251);
    g.TargetEdit = FromUnits(13, 26, 334, 12);
    g.ListButton = FromUnits(236, 12, 43, 13);
    g.RemoveButton = FromUnits(283, 12, 64, 13);
    g.RewriteButton = FromUnits(283, 49, 64, 13);
    g.CreateButton = FromUnits(283, 145, 64, 13);
    g.StartButton = FromUnits(265, 258, 43, 13);
    g.ExitButton = FromUnits(312, 258, 43, 13);
    g.UpperListFrame = FromUnits(11, 43, 338, 92);
    g.AlteredList = FromUnits(13, 63, 334, 70);
    g.LowerListFrame = FromUnits(11, 139, 338, 92);
    g.UnhashedLabel = FromUnits(16, 148, 70, 10);
    g.UnhashedList = FromUnits(13, 159, 334, 70);
    g.StatusText = FromUnits(16, 237, 328, 10);
    ControlRect bar = {0, g.clientHeight - StatusBarHeight, g.clientWidth, StatusBarHeight};
    g.StatusBar = bar;
    t.HashedList = FromUnits(13, 63, 334, 70);
    t.ShowAlteredButton = FromUnits(283, 49, 64, 13);
    t.AddButton = FromUnits(13, 12, 64, 13);
    return t;
}

LayoutMetricsRecord MetricsOf(const Template& t) {
    LayoutMetricsRecord m = {};
    MeasureLayoutMetrics(t.g, &m);
    ComputeMinimumTrackSize(t.g.clientWidth, t.g.clientHeight, &m);
    return m;
}

// The rectangle a placement gives, with kept values taken from before.
ControlRect Apply(const Placement& p, const ControlRect& before) {
    ControlRect r = before;
    if (!p.keepPosition) {
        r.left = p.x;
        r.top = p.y;
    }
    if (!p.keepSize) {
        r.width = p.width;
        r.height = p.height;
    }
    return r;
}

// Every control's rectangle after one layout, starting from the template.
struct Laid {
    ControlRect rect[PlacementCount];
};

ControlRect TemplateRect(const Template& t, LayoutControl c) {
    const MeasuredGeometry& g = t.g;
    switch (c) {
        case LayoutOuterFrame: return g.OuterFrame;
        case LayoutUpperListFrame: return g.UpperListFrame;
        case LayoutLowerListFrame: return g.LowerListFrame;
        case LayoutUnhashedLabel: return g.UnhashedLabel;
        case LayoutStatusText: return g.StatusText;
        case LayoutStatusBar: return g.StatusBar;
        case LayoutExitButton: return g.ExitButton;
        case LayoutStartButton: return g.StartButton;
        case LayoutUnhashedList: return g.UnhashedList;
        case LayoutCreateButton: return g.CreateButton;
        case LayoutHashedList: return t.HashedList;
        case LayoutAlteredList: return g.AlteredList;
        case LayoutShowAlteredButton: return t.ShowAlteredButton;
        case LayoutRewriteButton: return g.RewriteButton;
        case LayoutRemoveButton: return g.RemoveButton;
        case LayoutListButton: return g.ListButton;
        case LayoutAddButton: return t.AddButton;
        case LayoutTargetEdit: return g.TargetEdit;
    }
    return ControlRect();
}

Laid LayOut(const Template& t, int w, int h) {
    Placement placements[PlacementCount];
    ComputeLayout(MetricsOf(t), w, h, placements);
    Laid laid;
    for (const Placement& p : placements) laid.rect[p.control] = Apply(p, TemplateRect(t, p.control));
    return laid;
}

void ExpectRect(const ControlRect& r, int left, int top, int width, int height, const char* what) {
    EXPECT_EQ(r.left, left) << what;
    EXPECT_EQ(r.top, top) << what;
    EXPECT_EQ(r.width, width) << what;
    EXPECT_EQ(r.height, height) << what;
}

void ExpectMoved(const Laid& a, const Laid& b, LayoutControl c, int dx, int dy, int dw, int dh, const char* what) {
    ExpectRect(b.rect[c], a.rect[c].left + dx, a.rect[c].top + dy, a.rect[c].width + dw, a.rect[c].height + dh, what);
}

TEST(StatusBarAndMinimum, ClientOf600By482) {
    int32_t parts[3];
    ComputeStatusBarParts(600, parts);
    EXPECT_EQ(parts[0], 54);
    EXPECT_EQ(parts[1], 240);
    EXPECT_EQ(parts[2], -1);
    LayoutMetricsRecord m = {};
    ComputeMinimumTrackSize(600, 482, &m);
    EXPECT_EQ(m.minTrackWidth, 384);
    EXPECT_EQ(m.minTrackHeight, 318);
}

TEST(Layout, PlacesTheControlsInTheirOrderWithTheRightFlags) {
    Placement p[PlacementCount];
    ComputeLayout(MetricsOf(MakeTemplate()), 700, 600, p);
    const LayoutControl order[PlacementCount] = {
        LayoutOuterFrame,   LayoutUpperListFrame, LayoutLowerListFrame,   LayoutUnhashedLabel, LayoutStatusText,
        LayoutStatusBar,    LayoutExitButton,     LayoutStartButton,      LayoutUnhashedList,  LayoutCreateButton,
        LayoutHashedList,   LayoutAlteredList,    LayoutShowAlteredButton, LayoutRewriteButton, LayoutRemoveButton,
        LayoutListButton,   LayoutAddButton,      LayoutTargetEdit};
    for (int i = 0; i < PlacementCount; ++i) EXPECT_EQ(p[i].control, order[i]) << i;
    // Kept position: the frames, the two upper lists and the field.
    for (int i : {0, 1, 10, 11, 16, 17}) EXPECT_TRUE(p[i].keepPosition) << i;
    for (int i : {2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15}) EXPECT_FALSE(p[i].keepPosition) << i;
    // Kept size: the labels and buttons.
    for (int i : {3, 6, 7, 9, 12, 13, 14, 15, 16}) EXPECT_TRUE(p[i].keepSize) << i;
    for (int i : {0, 1, 2, 4, 5, 8, 10, 11, 17}) EXPECT_FALSE(p[i].keepSize) << i;
}

TEST(Layout, InitialClientSizeReproducesTheTemplate) {
    for (int height : {0, 504, 505}) {
        Template t = MakeTemplate(height);
        Laid laid = LayOut(t, t.g.clientWidth, t.g.clientHeight);
        for (int c = 0; c < PlacementCount; ++c) {
            ControlRect want = TemplateRect(t, static_cast<LayoutControl>(c));
            ExpectRect(laid.rect[c], want.left, want.top, want.width, want.height, "identity");
        }
    }
}

TEST(Layout, HundredPixelsTallerSplitsTheGrowthBetweenTheListAreas) {
    Template t = MakeTemplate(504);
    Laid a = LayOut(t, t.g.clientWidth, 504);
    Laid b = LayOut(t, t.g.clientWidth, 604);
    ExpectMoved(a, b, LayoutUpperListFrame, 0, 0, 0, 50, "upper frame grows 50");
    ExpectMoved(a, b, LayoutAlteredList, 0, 0, 0, 50, "altered list grows 50");
    ExpectMoved(a, b, LayoutHashedList, 0, 0, 0, 50, "hashed list grows 50");
    ExpectMoved(a, b, LayoutLowerListFrame, 0, 50, 0, 50, "lower frame down 50, grows 50");
    ExpectMoved(a, b, LayoutUnhashedList, 0, 50, 0, 50, "unhashed list down 50, grows 50");
    ExpectMoved(a, b, LayoutUnhashedLabel, 0, 50, 0, 0, "label down 50");
    ExpectMoved(a, b, LayoutCreateButton, 0, 50, 0, 0, "create down 50");
    ExpectMoved(a, b, LayoutOuterFrame, 0, 0, 0, 100, "outer frame grows 100");
    ExpectMoved(a, b, LayoutStatusText, 0, 100, 0, 0, "status text down 100");
    ExpectMoved(a, b, LayoutStartButton, 0, 100, 0, 0, "start down 100");
    ExpectMoved(a, b, LayoutExitButton, 0, 100, 0, 0, "exit down 100");
    ExpectMoved(a, b, LayoutStatusBar, 0, 100, 0, 0, "status bar down 100");
    for (LayoutControl top : {LayoutTargetEdit, LayoutAddButton, LayoutListButton, LayoutRemoveButton,
                              LayoutRewriteButton, LayoutShowAlteredButton}) {
        ExpectMoved(a, b, top, 0, 0, 0, 0, "top band stays");
    }
}

TEST(Layout, OnePixelMoreThanAnEvenHeightMovesOnlyTheBottomBand) {
    Template t = MakeTemplate(504);
    Laid a = LayOut(t, t.g.clientWidth, 600);
    Laid b = LayOut(t, t.g.clientWidth, 601);
    for (LayoutControl same : {LayoutUpperListFrame, LayoutLowerListFrame, LayoutAlteredList, LayoutHashedList,
                               LayoutUnhashedList, LayoutUnhashedLabel, LayoutCreateButton}) {
        ExpectMoved(a, b, same, 0, 0, 0, 0, "list areas stay");
    }
    ExpectMoved(a, b, LayoutOuterFrame, 0, 0, 0, 1, "outer frame");
    for (LayoutControl band : {LayoutStatusText, LayoutStartButton, LayoutExitButton, LayoutStatusBar}) {
        ExpectMoved(a, b, band, 0, 1, 0, 0, "bottom band down 1");
    }
}

TEST(Layout, WideningMovesTheRightAnchoredButtonsAndStretchesTheRest) {
    Template t = MakeTemplate();
    Laid a = LayOut(t, t.g.clientWidth, t.g.clientHeight);
    Laid b = LayOut(t, t.g.clientWidth + 100, t.g.clientHeight);
    for (LayoutControl moved : {LayoutListButton, LayoutRemoveButton, LayoutRewriteButton, LayoutShowAlteredButton,
                                LayoutCreateButton, LayoutStartButton, LayoutExitButton}) {
        ExpectMoved(a, b, moved, 100, 0, 0, 0, "right-anchored button");
    }
    for (LayoutControl wide : {LayoutOuterFrame, LayoutUpperListFrame, LayoutLowerListFrame, LayoutTargetEdit,
                               LayoutAlteredList, LayoutHashedList, LayoutUnhashedList, LayoutStatusText,
                               LayoutStatusBar}) {
        ExpectMoved(a, b, wide, 0, 0, 100, 0, "stretched");
    }
    ExpectMoved(a, b, LayoutAddButton, 0, 0, 0, 0, "add button");
    ExpectMoved(a, b, LayoutUnhashedLabel, 0, 0, 0, 0, "label");
}

TEST(Layout, MinimisedClientGivesNoNegativeSize) {
    Placement zero[PlacementCount];
    ComputeLayout(MetricsOf(MakeTemplate()), 0, 0, zero);
    for (const Placement& p : zero) {
        EXPECT_GE(p.width, 0) << p.control;
        EXPECT_GE(p.height, 0) << p.control;
    }
    // The right-anchored buttons may go off to the left; only sizes are clamped.
    EXPECT_LT(zero[6].x, 0);
}

TEST(LayoutMetrics, MeasuredFromTheTemplate) {
    Template t = MakeTemplate(504);
    LayoutMetricsRecord m = MetricsOf(t);
    const int W0 = t.g.clientWidth;
    EXPECT_EQ(m.outerFrameWidthGap, W0 - X(348));
    EXPECT_EQ(m.outerFrameHeightGap, 504 - (Y(254) - Y(3)));
    EXPECT_EQ(m.listButtonRightGap, W0 - X(236));
    EXPECT_EQ(m.listButtonTop, Y(12));
    EXPECT_EQ(m.createButtonMidGap, 252 - Y(145));
    EXPECT_EQ(m.listFrameHeightGap, 252 - (Y(135) - Y(43)));
    EXPECT_EQ(m.statusTextBottomGap, 504 - Y(237));
    EXPECT_EQ(m.statusBarHeight, StatusBarHeight);
    EXPECT_EQ(m.minTrackWidth, W0 * 64 / 100);
    EXPECT_EQ(m.minTrackHeight, 504 * 66 / 100);
}

}  // namespace
