#pragma once

#include "wire/MonitorTiming.h"

#include <QtGlobal>

#include <array>
#include <chrono>
#include <optional>
#include <string_view>

// Everything the panel can say to the projector, with the button that says it and how, and
// the name a script says it by. The window is wired from these tables; no other code names a
// command.
namespace vocabulary {

using std::chrono::milliseconds;

enum class Activation : quint8 { Click, Hold };
enum class PressForm : quint8 { Standard, Arrow };
enum class ReleaseForm : quint8 { Standard, Zoom };

struct Command
{
    std::string_view name; // lower-case, stable: scripts and room-control systems use it
    std::string_view button;
    std::string_view caption; // on the button's face, UTF-8
    std::string_view text;    // sent with one carriage return after it
    Activation activation = Activation::Click;
    bool setsArrowTiming = false; // click: also prepares the arrows' timing
    quint8 repeatCode = 0;        // hold: what Timer1 resends
    PressForm press = PressForm::Standard;
    std::optional<milliseconds> repeatInterval; // hold: Timer1's interval set at the press
    ReleaseForm release = ReleaseForm::Standard;
};

constexpr Command click(std::string_view name, std::string_view button, std::string_view caption, std::string_view text,
                        bool setsArrowTiming = false)
{
    return {name,
            button,
            caption,
            text,
            Activation::Click,
            setsArrowTiming,
            0,
            PressForm::Standard,
            std::nullopt,
            ReleaseForm::Standard};
}

constexpr Command hold(std::string_view name, std::string_view button, std::string_view caption, std::string_view text,
                       quint8 code, PressForm press, std::optional<milliseconds> repeat,
                       ReleaseForm release = ReleaseForm::Standard)
{
    return {name, button, caption, text, Activation::Hold, false, code, press, repeat, release};
}

inline constexpr milliseconds kAdjusterRepeat{250};
inline constexpr milliseconds kSelectRepeat{500};

inline constexpr auto kCommands = std::to_array<Command>({
    click("power-on", "Command17", "ON", "C00"),
    click("c01", "Command52", "C01", "C01"),
    click("power-off", "Command18", "OFF", "C02"),
    click("input-pc", "Command27", "PC", "C05"),
    click("input-video", "Command28", "VIDEO", "C07"),
    hold("vol-up", "Command1", "+", "C09", 1, PressForm::Standard, kAdjusterRepeat),
    hold("vol-down", "Command2", "-", "C0A", 2, PressForm::Standard, kAdjusterRepeat),
    click("audio-mute-on", "Command19", "ON", "C0B"),
    click("audio-mute-off", "Command20", "OFF", "C0C"),
    click("video-mute-on", "Command21", "ON", "C0D"),
    click("video-mute-off", "Command22", "OFF", "C0E"),
    click("screen-normal", "Command31", "Normal", "C0F"),
    click("screen-wide", "Command32", "WIDE", "C10"),
    click("menu-on", "Command23", "ON", "C1C", true),
    click("menu-off", "Command24", "OFF", "C1D"),
    click("display-clear", "Command3", "DISPLAY CLEAR", "C1E"),
    hold("bright-up", "Command30", "+", "C20", 15, PressForm::Standard, kAdjusterRepeat),
    hold("bright-down", "Command42", "-", "C21", 16, PressForm::Standard, kAdjusterRepeat),
    click("image", "Command53", "IMAGE", "C27"),
    click("power-management-on", "Command54", "ON", "C2A"),
    click("power-management-off", "Command55", "OFF", "C2B"),
    hold("zoom-up", "Command48", "+", "C30", 17, PressForm::Standard, kAdjusterRepeat, ReleaseForm::Zoom),
    hold("zoom-down", "Command49", "-", "C31", 18, PressForm::Standard, kAdjusterRepeat, ReleaseForm::Zoom),
    hold("cursor-right", "Command8", "→", "C3A", 6, PressForm::Arrow, std::nullopt),
    hold("cursor-left", "Command9", "←", "C3B", 5, PressForm::Arrow, std::nullopt),
    hold("cursor-up", "Command5", "↑", "C3C", 3, PressForm::Arrow, std::nullopt),
    hold("cursor-down", "Command7", "↓", "C3D", 4, PressForm::Arrow, std::nullopt),
    hold("r-click", "Command40", "R-CLICK", "C3E", 14, PressForm::Standard, kSelectRepeat),
    hold("select", "Command6", "SELECT", "C3F", 13, PressForm::Standard, kSelectRepeat),
    click("freeze-on", "Command25", "ON", "C43"),
    click("freeze-off", "Command26", "OFF", "C44"),
    click("a-image", "Command13", "A-IMAGE", "C89", true),
    click("p-timer", "Command14", "P-TIMER", "C8A"),
    hold("keystone-up", "Command50", "+", "C8E", 19, PressForm::Standard, kAdjusterRepeat),
    hold("keystone-down", "Command51", "-", "C8F", 20, PressForm::Standard, kAdjusterRepeat),
});

// The status queries, and how the status line reads each one's reply.
enum class Reading : quint8 { Status, Mode, LampTime, Setting, Temperatures };

struct Query
{
    std::string_view name;
    std::string_view button;
    std::string_view caption;
    std::string_view text;
    Reading reading;
};

inline constexpr auto kQueries = std::to_array<Query>({
    {"status", "Command44", "STATUS", "CR0", Reading::Status},
    {"mode", "Command45", "MODE", "CR1", Reading::Mode},
    {"lamp-time", "Command46", "L-TIME", "CR3", Reading::LampTime},
    {"setting", "Command47", "SETTING", "CR4", Reading::Setting},
    {"temp", "Command56", "TEMP", "CR6", Reading::Temperatures},
});

// Timer2 (reply time-out) and Timer4 (monitor clear) outside and during holds.
inline constexpr MonitorTiming kNormalTiming{milliseconds{500}, milliseconds{1000}};
inline constexpr MonitorTiming kHoldTiming{milliseconds{200}, milliseconds{245}};

// How the arrow buttons time their monitor, as the last MENU ON, A-IMAGE or D.Zoom release left
// it; the values are the ones the panel has always kept.
enum class ArrowMode : quint8 { Unchanged = 0, AfterMenu = 1, AfterZoom = 3 };

// The arrows' timing by ArrowMode; Unchanged leaves the intervals as they are.
constexpr std::optional<MonitorTiming> arrowTiming(ArrowMode mode)
{
    switch (mode) {
    case ArrowMode::Unchanged:
        return std::nullopt;
    case ArrowMode::AfterMenu:
        return MonitorTiming{milliseconds{150}, milliseconds{190}};
    case ArrowMode::AfterZoom:
        return MonitorTiming{milliseconds{5}, milliseconds{5}};
    }
    Q_UNREACHABLE();
}

inline constexpr milliseconds kRepeatAtStart{200}; // Timer1 before anything sets it
inline constexpr milliseconds kRepeatAfterMenu{200};
inline constexpr milliseconds kRepeatAfterZoom{5};

constexpr const Command *commandForRepeatCode(quint8 code)
{
    for (const Command &c : kCommands)
        if (c.activation == Activation::Hold && c.repeatCode == code)
            return &c;
    return nullptr;
}

// The caption of the button that says a command or query. A button that says none does not
// compile: the window's layout takes these captions from here.
consteval std::string_view caption(std::string_view button)
{
    for (const Command &c : kCommands)
        if (c.button == button)
            return c.caption;
    for (const Query &q : kQueries)
        if (q.button == button)
            return q.caption;
    throw "no command or query on this button";
}

namespace detail {

constexpr bool isUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

constexpr bool wellFormed()
{
    for (const Command &c : kCommands) {
        if (c.text.size() != 3 || c.text[0] != 'C' || !isUpperHex(c.text[1]) || !isUpperHex(c.text[2]))
            return false;
        const bool isHold = c.activation == Activation::Hold;
        if (isHold != (c.repeatCode != 0) || (isHold && c.setsArrowTiming))
            return false;
        if (isHold && (c.press == PressForm::Arrow) == c.repeatInterval.has_value())
            return false;
        if (isHold && commandForRepeatCode(c.repeatCode) != &c)
            return false;
    }
    for (const Query &q : kQueries)
        if (q.text.size() != 3 || q.text.substr(0, 2) != "CR" || q.text[2] < '0' || q.text[2] > '9')
            return false;
    return true;
}

constexpr bool uniqueButtonsAndTexts()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        for (std::size_t j = i + 1; j < kCommands.size(); ++j)
            if (kCommands[i].button == kCommands[j].button || kCommands[i].text == kCommands[j].text)
                return false;
    return true;
}

constexpr std::size_t holdCount()
{
    std::size_t n = 0;
    for (const Command &c : kCommands)
        n += c.activation == Activation::Hold;
    return n;
}

// A name is lower-case letters and digits in words joined by single hyphens.
constexpr bool wellNamed(std::string_view name)
{
    if (name.empty() || name.front() == '-' || name.back() == '-' || name.find("--") != name.npos)
        return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

constexpr bool namesWellFormedAndUnique()
{
    std::array<std::string_view, kCommands.size() + kQueries.size()> names{};
    std::size_t n = 0;
    for (const Command &c : kCommands)
        names[n++] = c.name;
    for (const Query &q : kQueries)
        names[n++] = q.name;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!wellNamed(names[i]))
            return false;
        for (std::size_t j = i + 1; j < names.size(); ++j)
            if (names[i] == names[j])
                return false;
    }
    return true;
}

} // namespace detail

static_assert(detail::wellFormed());
static_assert(detail::namesWellFormedAndUnique());
static_assert(detail::uniqueButtonsAndTexts());
static_assert(kCommands.size() == 35 && detail::holdCount() == 14 && kQueries.size() == 5);

} // namespace vocabulary
