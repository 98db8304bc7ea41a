#pragma once

#include "commands/Vocabulary.h"

#include <array>
#include <chrono>
#include <optional>
#include <string_view>

// Where every control of the window stands and how it looks, in twips (15 to a pixel at
// 96 dpi). The window is built from this table alone; the buttons that speak to the projector
// wear the captions their commands have in the vocabulary.
namespace layout {

enum class Kind : unsigned char { Frame, Label, Button, Option, Line, Image };
enum class Align : unsigned char { Left, Right, Center };
enum class FontCode : unsigned char { None, A, B, C, D, E, F, G };

struct Rgb
{
    unsigned char r, g, b;
};

struct Control
{
    std::string_view name;
    Kind kind;
    std::string_view caption;     // UTF-8
    std::string_view container;   // empty: the window
    int left, top, width, height; // a line's two end points: x1, y1, x2, y2
    int tab;                      // place in the tab order; -1: none
    FontCode font;
    std::optional<Rgb> back; // empty: the system's own face
    std::optional<Rgb> text; // empty: the system's text colour
    Align align;
    bool sunkenBorder;
    bool hiddenAtStart;
    bool selectedAtStart = false; // option buttons
};

struct Font
{
    FontCode code;
    std::string_view face; // UTF-8
    bool fixedPitch;
    double points;
    int weight;
};

inline constexpr std::string_view kGothic = "ＭＳ ゴシック";
inline constexpr std::string_view kPGothic = "ＭＳ Ｐゴシック";

inline constexpr auto kFonts = std::to_array<Font>({
    {FontCode::A, kGothic, true, 9, 700},
    {FontCode::B, kGothic, true, 9, 400},
    {FontCode::C, kGothic, true, 8.25, 700},
    {FontCode::D, kGothic, true, 8.25, 400},
    {FontCode::E, kPGothic, false, 9, 400},
    {FontCode::F, kPGothic, false, 9, 700},
    {FontCode::G, kPGothic, false, 9.75, 700},
});

// Faces that stand in where the Gothic faces are missing; both show Japanese.
inline constexpr std::string_view kFixedFallback = "IPAGothic";
inline constexpr std::string_view kProportionalFallback = "IPAPGothic";

inline constexpr std::string_view kTitle = "TOLVEK   RV 5 & LT 8   CONTROL  Ver.1.31";
inline constexpr Rgb kWindowBack{192, 192, 192};
inline constexpr Rgb kLineColour{128, 128, 255};
inline constexpr int kLinePixels = 2;
inline constexpr int kTwipsPerInch = 1440;

// The client area as designed, and the depths the monitor view switches among.
inline constexpr int kClientWidth = 9270;
inline constexpr int kFullDepth = 6615;
inline constexpr int kIntermediateDepth = 6260;
inline constexpr int kClosedDepth = 4815;
inline constexpr int kOpenThreshold = 5615; // this deep or deeper counts as open

// The view button's captions once it is in use; its caption at start ("show the data") is in
// the table.
inline constexpr std::string_view kCloseCaption = "CLOSE";
inline constexpr std::string_view kHideDataCaption = "データを表示しない"; // "do not show the data"

// How long the port panel stays up when nothing is chosen (Timer3).
inline constexpr std::chrono::milliseconds kPortPanelShown{5000};

// clang-format off
inline constexpr auto kControls = std::to_array<Control>({
    {"Frame1", Kind::Frame, "", "", 120, 120, 1932, 975, 0, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label1", Kind::Label, "POWER", "Frame1", 480, 240, 1092, 252, 2, FontCode::A, Rgb{192, 192, 192}, Rgb{192, 0, 0}, Align::Center, false, false},
    {"Command17", Kind::Button, vocabulary::caption("Command17"), "Frame1", 240, 600, 615, 300, 1, FontCode::A, Rgb{192, 255, 192}, std::nullopt, Align::Center, false, false},
    {"Command18", Kind::Button, vocabulary::caption("Command18"), "Frame1", 1080, 600, 615, 300, 26, FontCode::A, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Frame2", Kind::Frame, "", "", 2400, 120, 2790, 972, 3, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label2", Kind::Label, "INPUT SELECT", "Frame2", 480, 225, 1815, 255, 4, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command27", Kind::Button, vocabulary::caption("Command27"), "Frame2", 240, 600, 1035, 300, 35, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command28", Kind::Button, vocabulary::caption("Command28"), "Frame2", 1560, 600, 975, 300, 36, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Frame6", Kind::Frame, "", "", 5520, 120, 1932, 972, 14, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label7", Kind::Label, "MENU", "Frame6", 480, 240, 972, 252, 15, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command23", Kind::Button, vocabulary::caption("Command23"), "Frame6", 240, 600, 615, 300, 31, FontCode::A, Rgb{192, 255, 192}, std::nullopt, Align::Center, false, false},
    {"Command24", Kind::Button, vocabulary::caption("Command24"), "Frame6", 1080, 600, 615, 300, 32, FontCode::A, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Image1", Kind::Image, "", "", 7920, 0, 1200, 390, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Frame3", Kind::Frame, "", "", 120, 1155, 1560, 1035, 8, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label4", Kind::Label, "AUDIO MUTE", "Frame3", 120, 240, 1350, 255, 9, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command19", Kind::Button, vocabulary::caption("Command19"), "Frame3", 120, 675, 615, 300, 27, FontCode::A, Rgb{192, 255, 192}, std::nullopt, Align::Center, false, false},
    {"Command20", Kind::Button, vocabulary::caption("Command20"), "Frame3", 804, 675, 615, 300, 28, FontCode::A, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Frame4", Kind::Frame, "", "", 1800, 1170, 1740, 1035, 10, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label5", Kind::Label, "VIDEO MUTE", "Frame4", 120, 225, 1455, 255, 11, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command21", Kind::Button, vocabulary::caption("Command21"), "Frame4", 240, 675, 615, 300, 29, FontCode::A, Rgb{192, 255, 192}, std::nullopt, Align::Center, false, false},
    {"Command22", Kind::Button, vocabulary::caption("Command22"), "Frame4", 960, 675, 615, 300, 30, FontCode::A, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Frame7", Kind::Frame, "", "", 3600, 1170, 1500, 1035, 22, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label8", Kind::Label, "FREEZE", "Frame7", 120, 225, 1185, 255, 23, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command25", Kind::Button, vocabulary::caption("Command25"), "Frame7", 84, 675, 615, 300, 33, FontCode::A, Rgb{192, 255, 192}, std::nullopt, Align::Center, false, false},
    {"Command26", Kind::Button, vocabulary::caption("Command26"), "Frame7", 795, 675, 615, 300, 34, FontCode::A, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Frame5", Kind::Frame, "", "", 5160, 1170, 1890, 1035, 12, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label6", Kind::Label, "VIDEO  SCREEN", "Frame5", 120, 240, 1695, 285, 13, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command31", Kind::Button, vocabulary::caption("Command31"), "Frame5", 120, 675, 855, 300, 37, FontCode::B, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command32", Kind::Button, vocabulary::caption("Command32"), "Frame5", 1080, 675, 732, 300, 38, FontCode::B, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Frame11", Kind::Frame, "", "", 7275, 1155, 1875, 1035, 69, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label20", Kind::Label, "POWER MANAGEMENT", "Frame11", 120, 120, 1665, 540, 72, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command54", Kind::Button, vocabulary::caption("Command54"), "Frame11", 210, 675, 612, 300, 70, FontCode::A, Rgb{192, 255, 192}, std::nullopt, Align::Center, false, false},
    {"Command55", Kind::Button, vocabulary::caption("Command55"), "Frame11", 1020, 675, 612, 300, 71, FontCode::A, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command5", Kind::Button, vocabulary::caption("Command5"), "", 1200, 2520, 855, 375, 17, FontCode::A, Rgb{255, 224, 192}, std::nullopt, Align::Center, false, false},
    {"Command9", Kind::Button, vocabulary::caption("Command9"), "", 240, 3000, 855, 375, 21, FontCode::A, Rgb{255, 224, 192}, std::nullopt, Align::Center, false, false},
    {"Command6", Kind::Button, vocabulary::caption("Command6"), "", 1200, 3000, 855, 375, 18, FontCode::B, Rgb{255, 128, 0}, std::nullopt, Align::Center, false, false},
    {"Command8", Kind::Button, vocabulary::caption("Command8"), "", 2160, 3000, 855, 375, 20, FontCode::A, Rgb{255, 224, 192}, std::nullopt, Align::Center, false, false},
    {"Command7", Kind::Button, vocabulary::caption("Command7"), "", 1200, 3480, 855, 375, 19, FontCode::A, Rgb{255, 224, 192}, std::nullopt, Align::Center, false, false},
    {"Command40", Kind::Button, vocabulary::caption("Command40"), "", 2280, 3675, 855, 300, 49, FontCode::D, Rgb{255, 224, 192}, std::nullopt, Align::Center, false, false},
    {"Line1", Kind::Line, "", "", 1080, 2400, 1080, 2880, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line2", Kind::Line, "", "", 2160, 2400, 2160, 2880, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line3", Kind::Line, "", "", 3120, 2880, 3120, 3480, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line4", Kind::Line, "", "", 2160, 3480, 2160, 3960, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line5", Kind::Line, "", "", 1080, 3480, 1080, 3960, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line6", Kind::Line, "", "", 120, 2880, 120, 3480, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line7", Kind::Line, "", "", 1080, 2400, 2160, 2400, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line8", Kind::Line, "", "", 120, 2880, 1080, 2880, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line9", Kind::Line, "", "", 2160, 2880, 3120, 2880, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line10", Kind::Line, "", "", 120, 3480, 1080, 3480, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line11", Kind::Line, "", "", 1080, 3960, 2160, 3960, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Line12", Kind::Line, "", "", 2160, 3480, 3120, 3480, -1, FontCode::None, std::nullopt, std::nullopt, Align::Left, false, false},
    {"Label3", Kind::Label, "VOL", "", 4080, 2520, 615, 255, 7, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command1", Kind::Button, vocabulary::caption("Command1"), "", 4200, 2880, 375, 255, 5, FontCode::A, Rgb{255, 192, 128}, std::nullopt, Align::Center, false, false},
    {"Command2", Kind::Button, vocabulary::caption("Command2"), "", 4200, 3240, 375, 255, 6, FontCode::A, Rgb{255, 192, 128}, std::nullopt, Align::Center, false, false},
    {"Label16", Kind::Label, "Bright", "", 5040, 2520, 735, 255, 56, FontCode::B, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command30", Kind::Button, vocabulary::caption("Command30"), "", 5160, 2880, 375, 255, 54, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command42", Kind::Button, vocabulary::caption("Command42"), "", 5160, 3240, 375, 255, 55, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Label17", Kind::Label, "D.Zoom", "", 6000, 2520, 855, 255, 59, FontCode::B, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command48", Kind::Button, vocabulary::caption("Command48"), "", 6240, 2880, 375, 255, 57, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command49", Kind::Button, vocabulary::caption("Command49"), "", 6240, 3240, 375, 255, 58, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Label18", Kind::Label, "Keystone", "", 6960, 2520, 975, 255, 62, FontCode::B, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command50", Kind::Button, vocabulary::caption("Command50"), "", 7200, 2880, 375, 255, 60, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command51", Kind::Button, vocabulary::caption("Command51"), "", 7200, 3240, 375, 255, 61, FontCode::A, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command13", Kind::Button, vocabulary::caption("Command13"), "", 8160, 2520, 975, 270, 24, FontCode::B, Rgb{0, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command53", Kind::Button, vocabulary::caption("Command53"), "", 8160, 2985, 972, 270, 68, FontCode::B, Rgb{192, 192, 255}, std::nullopt, Align::Center, false, false},
    {"Command14", Kind::Button, vocabulary::caption("Command14"), "", 8160, 3240, 972, 270, 67, FontCode::B, Rgb{192, 192, 255}, std::nullopt, Align::Center, false, false},
    {"Command3", Kind::Button, vocabulary::caption("Command3"), "", 8160, 3495, 975, 492, 16, FontCode::B, Rgb{192, 192, 255}, std::nullopt, Align::Center, false, false},
    {"Command33", Kind::Button, "COM", "", 4080, 4200, 1815, 375, 39, FontCode::E, std::nullopt, std::nullopt, Align::Center, false, false},
    {"Frame8", Kind::Frame, "", "", 3360, 3600, 2775, 1185, 40, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, true},
    {"Option1", Kind::Option, "COM1", "Frame8", 240, 240, 1095, 255, 41, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Option2", Kind::Option, "COM2", "Frame8", 1560, 240, 975, 255, 42, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Frame10", Kind::Frame, "", "Frame8", 120, 480, 2535, 615, 74, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Option3", Kind::Option, "19200", "Frame10", 120, 240, 1095, 255, 75, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false, true},
    {"Option4", Kind::Option, "9600", "Frame10", 1440, 240, 975, 255, 76, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Command16", Kind::Button, "END", "", 8160, 4320, 975, 375, 25, FontCode::A, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Frame9", Kind::Frame, "", "", 60, 4890, 6795, 1068, 43, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label9", Kind::Label, "TXD", "Frame9", 120, 240, 405, 255, 44, FontCode::B, Rgb{192, 192, 192}, std::nullopt, Align::Right, false, false},
    {"Label11", Kind::Label, "", "Frame9", 600, 195, 6105, 345, 46, FontCode::G, Rgb{255, 255, 255}, std::nullopt, Align::Left, true, false},
    {"Label10", Kind::Label, "RXD", "Frame9", 90, 615, 405, 300, 45, FontCode::B, Rgb{192, 192, 192}, std::nullopt, Align::Right, false, false},
    {"Label12", Kind::Label, "", "Frame9", 570, 600, 6135, 345, 47, FontCode::G, Rgb{255, 255, 255}, std::nullopt, Align::Left, true, false},
    {"Command34", Kind::Button, "データを表示する", "", 8040, 5040, 1050, 375, 48, FontCode::B, Rgb{192, 192, 192}, std::nullopt, Align::Center, false, true},
    {"Command44", Kind::Button, vocabulary::caption("Command44"), "", 7056, 5640, 924, 255, 50, FontCode::C, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command45", Kind::Button, vocabulary::caption("Command45"), "", 7056, 5880, 924, 255, 51, FontCode::C, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command46", Kind::Button, vocabulary::caption("Command46"), "", 7992, 5640, 1095, 255, 52, FontCode::C, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Command47", Kind::Button, vocabulary::caption("Command47"), "", 7992, 5880, 1095, 255, 53, FontCode::C, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
    {"Frame15", Kind::Frame, "", "", 690, 5970, 6180, 492, 64, FontCode::None, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label26", Kind::Label, "STATUS", "Frame15", 120, 210, 735, 180, 66, FontCode::D, Rgb{192, 192, 192}, std::nullopt, Align::Left, false, false},
    {"Label25", Kind::Label, "", "Frame15", 885, 120, 5250, 315, 65, FontCode::F, Rgb{255, 255, 255}, Rgb{255, 0, 0}, Align::Left, true, false},
    {"Command52", Kind::Button, vocabulary::caption("Command52"), "", 75, 6120, 540, 255, 63, FontCode::B, Rgb{255, 192, 192}, std::nullopt, Align::Center, false, false},
    {"Command56", Kind::Button, vocabulary::caption("Command56"), "", 7050, 6120, 930, 255, 73, FontCode::C, Rgb{192, 255, 255}, std::nullopt, Align::Center, false, false},
});
// clang-format on

constexpr const Control *find(std::string_view name)
{
    for (const Control &c : kControls)
        if (c.name == name)
            return &c;
    return nullptr;
}

namespace detail {

// Every control with a place in the tab order has its own, and the places run from 0 unbroken.
constexpr bool tabOrderIsComplete()
{
    int stops = 0;
    for (const Control &c : kControls)
        stops += c.tab >= 0;
    for (int place = 0; place < stops; ++place) {
        int seen = 0;
        for (const Control &c : kControls)
            seen += c.tab == place;
        if (seen != 1)
            return false;
    }
    return true;
}

constexpr bool containersComeFirst()
{
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].container.empty())
            continue;
        bool found = false;
        for (std::size_t j = 0; j < i; ++j)
            found = found || (kControls[j].name == kControls[i].container && kControls[j].kind == Kind::Frame);
        if (!found)
            return false;
    }
    return true;
}

} // namespace detail

static_assert(kControls.size() == 90);
static_assert(detail::tabOrderIsComplete());
static_assert(detail::containersComeFirst());

} // namespace layout
