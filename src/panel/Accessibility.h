#pragma once

#include "Layout.h"

#include <QString>

#include <array>
#include <string_view>

class QWidget;

// What a screen reader says for the window's controls, where their captions alone do not
// say it, and the accessible side of the controls that the window is built with.
namespace accessibility {

// A control's spoken name: the caption of the label heading its group, then its own caption
// in its place within pattern ("%1"; arrows in words). A control with no row is spoken by its
// caption, as is the view button, whose caption changes with the view.
struct Spoken
{
    std::string_view control;
    std::string_view heading; // a label of the layout; empty: none
    std::string_view pattern = "%1";
};

// clang-format off
inline constexpr auto kSpoken = std::to_array<Spoken>({
    {"Command17", "Label1"},  {"Command18", "Label1"},  {"Command27", {}, "INPUT %1"}, {"Command28", {}, "INPUT %1"},
    {"Command23", "Label7"},  {"Command24", "Label7"},  {"Command19", "Label4"},  {"Command20", "Label4"},
    {"Command21", "Label5"},  {"Command22", "Label5"},  {"Command25", "Label8"},  {"Command26", "Label8"},
    {"Command31", "Label6"},  {"Command32", "Label6"},  {"Command54", "Label20"}, {"Command55", "Label20"},
    {"Command1", "Label3"},   {"Command2", "Label3"},   {"Command30", "Label16"}, {"Command42", "Label16"},
    {"Command48", "Label17"}, {"Command49", "Label17"}, {"Command50", "Label18"}, {"Command51", "Label18"},
    {"Command5", {}, "Cursor %1"}, {"Command7", {}, "Cursor %1"}, {"Command8", {}, "Cursor %1"},
    {"Command9", {}, "Cursor %1"}, {"Command33", {}, "%1: port and speed"},
    {"Option1", {}, "Port %1"},    {"Option2", {}, "Port %1"},
    {"Option3", {}, "Speed %1 baud"}, {"Option4", {}, "Speed %1 baud"},
    {"Image1", {}, "TOLVEK logo"},
});
// clang-format on

// A framed group's name: the caption of the label heading it, or, for a group without one,
// what it is.
struct Group
{
    std::string_view frame;
    std::string_view heading; // a label inside the frame; empty: named
    std::string_view named = {};
};

// clang-format off
inline constexpr auto kGroups = std::to_array<Group>({
    {"Frame1", "Label1"},  {"Frame2", "Label2"},  {"Frame6", "Label7"},   {"Frame3", "Label4"},
    {"Frame4", "Label5"},  {"Frame7", "Label8"},  {"Frame5", "Label6"},   {"Frame11", "Label20"},
    {"Frame15", "Label26"}, {"Frame8", {}, "Port"}, {"Frame10", {}, "Speed"}, {"Frame9", {}, "Monitor"},
});
// clang-format on

// The value lines keep their text as their name, so that it is read; this says what it is.
struct Described
{
    std::string_view control;
    std::string_view description;
};

inline constexpr auto kDescribed = std::to_array<Described>({
    {"Label11", "TXD: last text sent"},
    {"Label12", "RXD: text received"},
    {"Label25", "Status"},
});

// The heading, then pattern with the caption (an arrow in words) for %1; runs of spaces as one.
QString spokenName(std::string_view heading, std::string_view caption, std::string_view pattern);

// Gives window's controls their accessible interface. Call before the controls are made:
// Qt keeps the first interface made for a widget.
void prepare(QWidget *window);
// Names and describes one control of the layout.
void describe(QWidget *widget, const layout::Control &control);

namespace detail {

inline constexpr std::size_t kNone = std::size_t(-1);

// Indices rather than pointers: the checks below must stay constant expressions under every
// compiler and sanitizer, and cheap enough for a compiler's evaluation limit.
constexpr std::size_t spokenIndex(std::string_view control)
{
    for (std::size_t i = 0; i < kSpoken.size(); ++i)
        if (kSpoken[i].control == control)
            return i;
    return kNone;
}

constexpr std::size_t controlIndex(std::string_view name)
{
    for (std::size_t i = 0; i < layout::kControls.size(); ++i)
        if (layout::kControls[i].name == name)
            return i;
    return kNone;
}

constexpr bool rowsNameControls()
{
    for (const Spoken &s : kSpoken) {
        const std::size_t h = s.heading.empty() ? kNone : controlIndex(s.heading);
        if (controlIndex(s.control) == kNone || s.pattern.empty()
            || (!s.heading.empty() && (h == kNone || layout::kControls[h].kind != layout::Kind::Label)))
            return false;
    }
    for (const Described &d : kDescribed)
        if (const std::size_t c = controlIndex(d.control); c == kNone || !layout::kControls[c].sunkenBorder)
            return false;
    return true;
}

// Every frame has one row, whose heading is a label of that frame.
constexpr bool framesAreNamed()
{
    std::size_t frames = 0;
    for (const layout::Control &c : layout::kControls) {
        frames += c.kind == layout::Kind::Frame;
        int rows = 0;
        for (const Group &g : kGroups) {
            if (g.frame != c.name)
                continue;
            ++rows;
            const std::size_t h = g.heading.empty() ? kNone : controlIndex(g.heading);
            if (c.kind != layout::Kind::Frame || g.heading.empty() == g.named.empty()
                || (!g.heading.empty()
                    && (h == kNone || layout::kControls[h].kind != layout::Kind::Label
                        || layout::kControls[h].container != c.name)))
                return false;
        }
        if (rows != int(c.kind == layout::Kind::Frame))
            return false;
    }
    return frames == kGroups.size();
}

// What goes into a button's spoken name; equal parts, equal names.
struct Parts
{
    std::string_view heading, pattern, caption;
    constexpr bool operator==(const Parts &) const = default;
};

constexpr Parts partsOf(const layout::Control &c)
{
    const std::size_t s = spokenIndex(c.name);
    if (s == kNone)
        return {{}, "%1", c.caption};
    const Spoken &row = kSpoken[s];
    return {row.heading.empty() ? std::string_view{} : layout::kControls[controlIndex(row.heading)].caption,
            row.pattern, c.caption};
}

constexpr bool buttonsSpeakApart()
{
    std::array<Parts, layout::kControls.size()> parts{};
    std::array<bool, layout::kControls.size()> isButton{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const layout::Control &c = layout::kControls[i];
        isButton[i] = c.kind == layout::Kind::Button || c.kind == layout::Kind::Option;
        if (isButton[i])
            parts[i] = partsOf(c);
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        for (std::size_t j = i + 1; j < parts.size(); ++j)
            if (isButton[i] && isButton[j] && parts[i] == parts[j])
                return false;
    return true;
}

} // namespace detail

static_assert(detail::rowsNameControls());
static_assert(detail::framesAreNamed());
static_assert(detail::buttonsSpeakApart());

} // namespace accessibility
