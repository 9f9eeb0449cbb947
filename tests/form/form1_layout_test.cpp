// The table the views build Form1 from: what the window's drawing and its users rely on.

#include "app/form/form1_layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using vlt::ControlKind;
using vlt::ControlPlace;
using vlt::kForm1Controls;

bool Focusable(const ControlPlace& place) {
    return place.kind == ControlKind::Button || place.kind == ControlKind::TextBox;
}

TEST(Form1Layout, NamesAreUniqueAndFound) {
    std::set<std::string_view> names;
    for (const ControlPlace& place : kForm1Controls) {
        EXPECT_TRUE(names.insert(place.name).second) << place.name;
        EXPECT_EQ(vlt::FindControl(place.name), &place);
    }
    EXPECT_EQ(vlt::FindControl("CommonDialog1"), nullptr);
}

TEST(Form1Layout, EveryControlLiesInTheClientArea) {
    for (const ControlPlace& place : kForm1Controls) {
        EXPECT_GE(place.left, 0) << place.name;
        EXPECT_GE(place.top, 0) << place.name;
        EXPECT_GT(place.width, 0) << place.name;
        EXPECT_GT(place.height, 0) << place.name;
        EXPECT_LE(place.left + place.width, vlt::kClientWidthTwips) << place.name;
        EXPECT_LE(place.top + place.height, vlt::kClientHeightTwips) << place.name;
    }
    EXPECT_EQ(vlt::kClientWidthTwips / vlt::kTwipsPerPixel, 725);
    EXPECT_EQ(vlt::kClientHeightTwips / vlt::kTwipsPerPixel, 386);
}

// Tab visits the buttons and boxes in table order; labels and the bar take no focus.
TEST(Form1Layout, FocusFollowsTheTabIndex) {
    std::vector<std::string_view> order;
    for (const ControlPlace& place : kForm1Controls) {
        if (Focusable(place)) {
            order.push_back(place.name);
        }
    }
    EXPECT_EQ(order,
              (std::vector<std::string_view>{"Command1", "Text1", "Command3", "Text2", "Text3",
                                             "Text5", "Command4", "Text6", "Command2"}));
}

TEST(Form1Layout, EachBoxHasItsControlAndALabelLevelWithIt) {
    for (const vlt::Box box : {vlt::Box::Key, vlt::Box::EncryptInput, vlt::Box::EncryptOutput,
                               vlt::Box::DecryptInput, vlt::Box::DecryptOutput}) {
        const std::string_view name = vlt::ControlName(box);
        const ControlPlace* control = vlt::FindControl(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->kind, ControlKind::TextBox);
        EXPECT_EQ(vlt::BoxNamed(name), box);
        int labels = 0;
        for (const ControlPlace& label : kForm1Controls) {
            if (label.names != name) {
                continue;
            }
            ++labels;
            EXPECT_EQ(label.kind, ControlKind::Label);
            EXPECT_FALSE(label.caption.empty());
            EXPECT_LE(label.left + label.width, control->left + control->width / 10) << name;
            EXPECT_GE(label.top, control->top) << name;
            EXPECT_LT(label.top, control->top + control->height) << name;
        }
        EXPECT_EQ(labels, 1) << name;
    }
    EXPECT_EQ(vlt::BoxNamed("Text4"), std::nullopt);
    EXPECT_EQ(vlt::BoxNamed("Command1"), std::nullopt);
}

// A file dropped onto a side's boxes or "..." fills that side, whose controls are drawn
// in its half of the window, above or below the bar.
TEST(Form1Layout, DropsGoToTheSideTheyLandOn) {
    const ControlPlace* bar = vlt::FindControl("ProgressBar1");
    ASSERT_NE(bar, nullptr);
    std::vector<std::string_view> encrypt;
    std::vector<std::string_view> decrypt;
    for (const ControlPlace& place : kForm1Controls) {
        if (!place.dropSide) {
            continue;
        }
        const bool above = place.top + place.height <= bar->top;
        EXPECT_EQ(above, *place.dropSide == vlt::Operation::Encrypt) << place.name;
        (*place.dropSide == vlt::Operation::Encrypt ? encrypt : decrypt).push_back(place.name);
    }
    EXPECT_EQ(encrypt, (std::vector<std::string_view>{"Text1", "Command3", "Text2"}));
    EXPECT_EQ(decrypt, (std::vector<std::string_view>{"Text5", "Command4", "Text6"}));
}

// The build names the system in the contact line; the form tests are Linux's.
TEST(Form1Layout, TheContactLineNamesTheSystem) {
    EXPECT_EQ(vlt::FindControl("Label4")->caption,
              "Veltrimax for Linux - https://veltrimax.invalid - support@veltrimax.invalid");
}

TEST(Form1Layout, OnlyTheBrowseButtonsTakeTheBoldFont) {
    for (const ControlPlace& place : kForm1Controls) {
        EXPECT_EQ(place.browseFont, place.caption == "...") << place.name;
        if (place.browseFont) {
            EXPECT_EQ(place.kind, ControlKind::Button);
        }
    }
}

}  // namespace
