#pragma once

// The editor window's design as data: the fonts, every control with its place, caption, font and
// tab index, and the lines that draw the boxes. Positions are twips, as the design was drawn;
// the window converts them at 15 twips to a device-independent pixel (96 dots per inch).

#include "image/statstable.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace stats::app {

inline constexpr int kTwipsPerPixel = 15;

[[nodiscard]] constexpr int pixels(int twips)
{
    return twips / kTwipsPerPixel;
}

inline constexpr int kClientWidth = 5835;
inline constexpr int kClientHeightAtStart = 7620;
inline constexpr int kClientHeightCollapsed = 7605;
inline constexpr int kClientHeightExpanded = 10935;

// The height of a row of the three entry lists: List1 shows five rows. The font engines give
// the lists' face different line spacings (Windows two pixels more than FreeType), so the
// rows take this height instead.
inline constexpr int kEntryRowHeight = 300;

inline constexpr std::string_view kWindowTitle = "Tavrel (-Ondak-) Base Stats Editor";

enum class FontKey { A, B, C, D, E, F, G, W };

struct FontSpec
{
    FontKey key;
    // The design's face first, then the free faces that look like it.
    std::array<std::string_view, 3> families;
    double points;
    bool bold;
    bool italic;
    bool smallCaps;
};

// In the order of FontKey, which indexes it.
inline constexpr std::array<FontSpec, 8> kFonts{{
    {FontKey::A, {"Calibri Bold Caps", "Carlito", "Liberation Sans"}, 12, true, true, true},
    {FontKey::B, {"Calibri Bold Caps", "Carlito", "Liberation Sans"}, 15.75, true, true, true},
    {FontKey::C, {"Arial", "Liberation Sans", "DejaVu Sans"}, 11.25, true, true, false},
    {FontKey::D, {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}, 9.75, true, false, false},
    {FontKey::E, {"Babylon5 Hollow", "DejaVu Sans", "Liberation Sans"}, 20.25, true, false, false},
    {FontKey::F, {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}, 8.25, true, false, false},
    {FontKey::G, {"Lobster Two", "Lobster", "DejaVu Serif"}, 15.75, false, false, false},
    {FontKey::W, {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}, 8.25, false, false, false},
}};

static_assert(
    [] {
        for (std::size_t i = 0; i < kFonts.size(); ++i) {
            if (static_cast<std::size_t>(kFonts[i].key) != i) {
                return false;
            }
        }
        return true;
    }(),
    "kFonts is indexed by FontKey");

enum class ControlKind {
    Button,       // a standard push button in the system's colours
    FaceButton,   // a push button with a face of its own colour
    HollowButton, // the open button, whose caption is drawn as outlines
    Label,
    ClickLabel,  // the one label that reacts to a click
    OpaqueLabel, // the two labels outside the client area, on the button face colour
    EditBox,
    ChoiceBox,
    EntryList,
};

struct ControlSpec
{
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    int left;
    int top;
    int width;
    int height;
    FontKey font;
    int tabIndex;
};

inline constexpr std::string_view kCredit = "Crafted with care in the Ondak workshop";

using K = ControlKind;
using F = FontKey;

// In creation order, which is also the drawing order within each layer.
inline constexpr std::array<ControlSpec, 50> kControls{{
    {"Command1", K::HollowButton, "<--Open Rom->", 120, 120, 5535, 420, F::E, 0},
    {"Command7", K::Button, "Show Search", 240, 840, 2535, 375, F::D, 45},
    {"Command6", K::Button, "Hide Search", 3360, 840, 2295, 375, F::D, 44},

    {"Label8", K::Label, "List 1", 240, 1560, 1935, 255, F::A, 33},
    {"List1", K::EntryList, "", 240, 1800, 2055, 1485, F::A, 32},
    {"Label9", K::Label, "List 2", 240, 3360, 1935, 255, F::A, 34},
    {"List2", K::EntryList, "", 240, 3720, 2055, 1485, F::A, 31},
    {"Label20", K::Label, "Alternate forms", 240, 5280, 1935, 255, F::A, 48},
    {"List3", K::EntryList, "", 240, 5640, 2055, 1770, F::A, 47},

    {"Label12", K::Label, "base stats", 2640, 1440, 1215, 255, F::A, 21},
    {"Label2", K::Label, "Hp", 2640, 1920, 975, 255, F::A, 16},
    {"Label3", K::Label, "Attack", 3720, 1920, 975, 255, F::A, 15},
    {"Label4", K::Label, "Defense", 4800, 1920, 855, 255, F::A, 14},
    {"hp", K::EditBox, "", 2640, 2160, 855, 285, F::W, 10},
    {"atk", K::EditBox, "", 3720, 2160, 855, 285, F::W, 9},
    {"def", K::EditBox, "", 4800, 2160, 855, 285, F::W, 8},
    {"Label5", K::Label, "Speed", 2640, 2520, 855, 255, F::A, 13},
    {"Label6", K::Label, "Sp.atk", 3720, 2520, 855, 255, F::A, 12},
    {"Label7", K::Label, "Sp.def", 4800, 2520, 735, 255, F::A, 11},
    {"spd", K::EditBox, "", 2640, 2760, 855, 285, F::W, 7},
    {"spatk", K::EditBox, "", 3720, 2760, 855, 285, F::W, 6},
    {"spdef", K::EditBox, "", 4800, 2760, 855, 285, F::W, 5},

    {"Label13", K::Label, "types", 2640, 3360, 1335, 255, F::A, 22},
    {"ty1", K::ChoiceBox, "", 2640, 3600, 1575, 315, F::W, 19},
    {"ty2", K::ChoiceBox, "", 2640, 4200, 1575, 315, F::W, 18},
    {"Label10", K::ClickLabel, "Gender ", 4440, 3360, 975, 255, F::A, 20},
    {"gr", K::EditBox, "", 4440, 3600, 1215, 285, F::W, 17},
    {"Label18", K::Label, "Catch Rate", 4440, 3960, 1215, 255, F::A, 42},
    {"cr", K::EditBox, "", 4440, 4200, 1215, 285, F::W, 41},

    {"Label14", K::Label, "abilities", 2640, 4920, 1455, 255, F::A, 27},
    {"ab1", K::ChoiceBox, "", 2640, 5160, 1455, 315, F::W, 24},
    {"ab2", K::ChoiceBox, "", 2640, 5640, 1455, 315, F::W, 25},
    {"Label11", K::Label, "Dream World", 4200, 5280, 1455, 375, F::A, 26},
    {"dw", K::ChoiceBox, "", 4200, 5640, 1455, 315, F::W, 23},

    {"Label15", K::Label, "wild hold items", 2640, 6360, 2895, 255, F::A, 30},
    {"wh1", K::ChoiceBox, "", 2640, 6600, 2895, 315, F::W, 29},
    {"wh2", K::ChoiceBox, "", 2640, 7080, 2895, 315, F::W, 28},

    {"Label16", K::Label, "Search List 1", 240, 7800, 2055, 255, F::A, 37},
    {"Text1", K::EditBox, "", 240, 8040, 2415, 285, F::W, 35},
    {"Command4", K::FaceButton, "search", 240, 8400, 2415, 375, F::B, 36},
    {"Command2", K::FaceButton, "Save List 1", 240, 9000, 2415, 375, F::B, 1},
    {"Command9", K::FaceButton, "Save Alternate forms", 240, 9480, 2415, 375, F::C, 49},

    {"Label17", K::Label, "Search List 2", 3480, 7800, 2055, 255, F::A, 40},
    {"Text2", K::EditBox, "", 3120, 8040, 2415, 285, F::W, 39},
    {"Command5", K::FaceButton, "search", 3120, 8400, 2415, 375, F::B, 38},
    {"Command3", K::FaceButton, "Save List 2", 3120, 9000, 2415, 375, F::B, 4},
    {"Command8", K::Button, "Exit", 3120, 9480, 2415, 375, F::D, 46},

    {"Label19", K::Label, kCredit, 120, 10080, 4815, 855, F::G, 43},

    // Beyond the client area's right edge: they exist but are never seen.
    {"Label1", K::OpaqueLabel, "Rom:", 8280, 6600, 495, 255, F::F, 2},
    {"romname", K::OpaqueLabel, "", 9480, 8040, 2295, 255, F::W, 3},
}};

// Every editor field has a control of its name, of its field's kind: an edit box for a number,
// a choice box for a choice.
static_assert(std::ranges::all_of(image::kFields, [](const image::FieldInfo &field) {
    const auto *control = std::ranges::find(kControls, field.name, &ControlSpec::name);
    const ControlKind wanted =
        field.kind() == image::FieldKind::Number ? ControlKind::EditBox : ControlKind::ChoiceBox;
    return control != kControls.end() && control->kind == wanted;
}));

struct LineSpec
{
    std::string_view name;
    int x1;
    int y1;
    int x2;
    int y2;
};

struct BoxSpec
{
    int left;
    int top;
    int right;
    int bottom;
    // Names of the top, right, bottom and left edges.
    std::array<std::string_view, 4> edges;
};

inline constexpr std::array<BoxSpec, 9> kBoxes{{
    {120, 720, 2880, 1320, {"Line31", "Line33", "Line32", "Line34"}},
    {3120, 720, 5760, 1320, {"Line35", "Line37", "Line36", "Line38"}},
    {120, 1440, 2400, 7560, {"Line17", "Line18", "Line19", "Line20"}},
    {2520, 1440, 5760, 3120, {"Line1", "Line2", "Line3", "Line4"}},
    {2520, 3240, 5760, 4680, {"Line6", "Line5", "Line8", "Line7"}},
    {2520, 4800, 5760, 6120, {"Line10", "Line9", "Line12", "Line11"}},
    {2520, 6240, 5760, 7560, {"Line14", "Line13", "Line16", "Line15"}},
    {120, 7680, 2760, 9960, {"Line21", "Line23", "Line29", "Line24"}},
    {3000, 7680, 5640, 9960, {"Line25", "Line27", "Line30", "Line28"}},
}};

// The two lower boxes are split by a divider at y = 8880.
inline constexpr std::array<LineSpec, 2> kDividers{{
    {"Line22", 120, 8880, 2760, 8880},
    {"Line26", 3000, 8880, 5640, 8880},
}};

/// All 38 lines: four edges per box, then the dividers.
[[nodiscard]] constexpr std::array<LineSpec, 38> allLines()
{
    std::array<LineSpec, 38> lines{};
    std::size_t n = 0;
    for (const auto &box : kBoxes) {
        lines[n++] = {box.edges[0], box.left, box.top, box.right, box.top};
        lines[n++] = {box.edges[1], box.right, box.top, box.right, box.bottom};
        lines[n++] = {box.edges[2], box.left, box.bottom, box.right, box.bottom};
        lines[n++] = {box.edges[3], box.left, box.top, box.left, box.bottom};
    }
    for (const auto &divider : kDividers) {
        lines[n++] = divider;
    }
    return lines;
}

} // namespace stats::app
